// SQL connections through unixODBC (MariaDB's and FreeTDS's ODBC drivers).
#include <sql.h>
#include <sqlext.h>

#include "sql_internal.h"

namespace velmora::sql::detail {
namespace {

// The diagnostic records of a handle as one text, without the drivers'
// leading "[vendor][component]" tags.
std::string diagnostics(SQLSMALLINT type, SQLHANDLE handle, std::string* sqlstate = nullptr) {
  std::string out;
  for (SQLSMALLINT i = 1;; ++i) {
    SQLCHAR state[6] = {};
    SQLCHAR text[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    SQLRETURN rc = SQLGetDiagRec(type, handle, i, state, &native, text, sizeof text, &len);
    if (!SQL_SUCCEEDED(rc)) break;
    if (sqlstate && i == 1) *sqlstate = reinterpret_cast<char*>(state);
    std::string t(reinterpret_cast<char*>(text));
    while (!t.empty() && t[0] == '[') {
      size_t close = t.find(']');
      if (close == std::string::npos) break;
      t.erase(0, close + 1);
    }
    if (!out.empty()) out += "; ";
    out += t;
  }
  return out.empty() ? std::string("ODBC call failed") : out;
}

class OdbcConnection final : public Connection {
 public:
  ~OdbcConnection() override {
    if (stmt_) SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    if (dbc_) {
      // An open transaction is undone, or the disconnect would be refused.
      if (connected_ && inTransaction_) SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
      if (connected_) SQLDisconnect(dbc_);
      SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    }
    if (env_) SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }

  bool open(const std::string& connect) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_))) {
      env_ = nullptr;
      error_ = "ODBC driver manager unavailable";
      return false;
    }
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_))) {
      dbc_ = nullptr;
      error_ = diagnostics(SQL_HANDLE_ENV, env_);
      return false;
    }
    SQLSetConnectAttr(dbc_, SQL_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(10), 0);
    std::string c = connect;
    SQLRETURN rc = SQLDriverConnect(dbc_, nullptr, reinterpret_cast<SQLCHAR*>(c.data()),
                                    static_cast<SQLSMALLINT>(c.size()), nullptr, 0, nullptr,
                                    SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
      error_ = diagnostics(SQL_HANDLE_DBC, dbc_, &state_);
      return false;
    }
    connected_ = true;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_))) {
      stmt_ = nullptr;
      error_ = diagnostics(SQL_HANDLE_DBC, dbc_, &state_);
      return false;
    }
    return true;
  }

  bool execute(const std::string& statement) override {
    error_.clear();
    state_.clear();
    columns_ = 0;
    SQLFreeStmt(stmt_, SQL_CLOSE);
    std::string s = statement;
    SQLRETURN rc = SQLExecDirect(stmt_, reinterpret_cast<SQLCHAR*>(s.data()),
                                 static_cast<SQLINTEGER>(s.size()));
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
      error_ = diagnostics(SQL_HANDLE_STMT, stmt_, &state_);
      return false;
    }
    SQLSMALLINT n = 0;
    if (SQL_SUCCEEDED(SQLNumResultCols(stmt_, &n))) columns_ = n;
    return true;
  }

  bool fetch(std::vector<Value>& row) override {
    error_.clear();
    state_.clear();
    row.clear();
    if (columns_ <= 0) return false;
    SQLRETURN rc = SQLFetch(stmt_);
    if (rc == SQL_NO_DATA) {
      columns_ = 0;
      return false;
    }
    if (!SQL_SUCCEEDED(rc)) {
      error_ = diagnostics(SQL_HANDLE_STMT, stmt_, &state_);
      columns_ = 0;
      return false;
    }
    for (SQLSMALLINT col = 1; col <= columns_; ++col) {
      std::string value;
      bool isNull = false;
      for (;;) {
        char buf[4096];
        SQLLEN ind = 0;
        rc = SQLGetData(stmt_, static_cast<SQLUSMALLINT>(col), SQL_C_CHAR, buf, sizeof buf, &ind);
        if (rc == SQL_NO_DATA) break;
        if (!SQL_SUCCEEDED(rc)) {
          error_ = diagnostics(SQL_HANDLE_STMT, stmt_, &state_);
          return false;
        }
        if (ind == SQL_NULL_DATA) {
          isNull = true;
          break;
        }
        size_t got = (ind == SQL_NO_TOTAL || ind >= static_cast<SQLLEN>(sizeof buf))
                         ? sizeof buf - 1
                         : static_cast<size_t>(ind);
        value.append(buf, got);
        if (rc == SQL_SUCCESS) break;  // SQL_SUCCESS_WITH_INFO: more to come
      }
      row.push_back(isNull ? Value{} : Value{value});
    }
    return true;
  }

  const std::string& error() const override { return error_; }
  const std::string& state() const override { return state_; }

  // Autocommit off until SQLEndTran; the lock wait is the server's own.
  bool begin(int) override {
    error_.clear();
    state_.clear();
    if (inTransaction_) return true;
    SQLFreeStmt(stmt_, SQL_CLOSE);
    if (!connectAttr(SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF)) return false;
    inTransaction_ = true;
    return true;
  }
  bool commit() override { return endTransaction(SQL_COMMIT); }
  bool rollback() override { return endTransaction(SQL_ROLLBACK); }
  bool inTransaction() const override { return inTransaction_; }

 private:
  bool connectAttr(SQLINTEGER attribute, SQLULEN value) {
    SQLRETURN rc = SQLSetConnectAttr(dbc_, attribute, reinterpret_cast<SQLPOINTER>(value), 0);
    if (SQL_SUCCEEDED(rc)) return true;
    error_ = diagnostics(SQL_HANDLE_DBC, dbc_, &state_);
    return false;
  }

  // Ends the transaction and turns autocommit back on. A commit that
  // fails is rolled back first, so turning autocommit on (which commits
  // what is open) keeps nothing of it.
  bool endTransaction(SQLSMALLINT how) {
    error_.clear();
    state_.clear();
    if (!inTransaction_) return true;
    SQLFreeStmt(stmt_, SQL_CLOSE);
    columns_ = 0;
    SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, dbc_, how);
    bool ok = SQL_SUCCEEDED(rc);
    if (!ok) {
      error_ = diagnostics(SQL_HANDLE_DBC, dbc_, &state_);
      if (how == SQL_COMMIT) SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
    }
    inTransaction_ = false;
    std::string error = error_, state = state_;
    if (!connectAttr(SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_ON)) return false;
    error_ = error;
    state_ = state;
    return ok;
  }

  SQLHENV env_ = nullptr;
  SQLHDBC dbc_ = nullptr;
  SQLHSTMT stmt_ = nullptr;
  bool connected_ = false;
  bool inTransaction_ = false;
  SQLSMALLINT columns_ = 0;
  std::string error_;
  std::string state_;
};

}  // namespace

std::unique_ptr<Connection> openOdbc(const std::string& connect, std::string& error) {
  auto c = std::make_unique<OdbcConnection>();
  if (!c->open(connect)) {
    error = c->error();
    return nullptr;
  }
  return c;
}

}  // namespace velmora::sql::detail
