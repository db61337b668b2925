// SQL connections through the Firebird client library, SQL dialect 3.
#include <ibase.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <vector>

#include "sql_internal.h"

namespace velmora::sql::detail {
namespace {

std::string statusText(const ISC_STATUS* status) {
  std::string out;
  const ISC_STATUS* p = status;
  char buf[1024];
  while (fb_interpret(buf, sizeof buf, &p) > 0) {
    if (!out.empty()) out += "; ";
    out += buf;
  }
  return out.empty() ? std::string("Firebird call failed") : out;
}

std::string scaled(ISC_INT64 v, int scale) {
  if (scale >= 0) {
    std::string s = std::to_string(v);
    return scale ? s + std::string(static_cast<size_t>(scale), '0') : s;
  }
  bool neg = v < 0;
  unsigned long long u = neg ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
  std::string digits = std::to_string(u);
  size_t places = static_cast<size_t>(-scale);
  if (digits.size() <= places) digits.insert(0, places - digits.size() + 1, '0');
  digits.insert(digits.size() - places, ".");
  return neg ? "-" + digits : digits;
}

class FirebirdConnection final : public Connection {
 public:
  ~FirebirdConnection() override {
    ISC_STATUS_ARRAY st;
    if (stmt_) isc_dsql_free_statement(st, &stmt_, DSQL_drop);
    if (tr_) isc_rollback_transaction(st, &tr_);
    if (db_) isc_detach_database(st, &db_);
  }

  bool open(const std::string& owner) {
    auto kv = parseOwner(owner);
    auto get = [&](std::initializer_list<const char*> keys) {
      for (const char* k : keys)
        if (auto it = kv.find(k); it != kv.end()) return it->second;
      return std::string();
    };
    std::string path = get({"DATABASE", "DBNAME"});
    std::string server = get({"SERVER", "HOST"});
    std::string port = get({"PORT"});
    if (!server.empty()) path = server + (port.empty() ? "" : "/" + port) + ":" + path;
    std::string user = get({"UID", "USER"});
    std::string password = get({"PWD", "PASSWORD"});
    std::string charset = get({"CHARSET"});
    if (charset.empty()) charset = "WIN1252";
    std::vector<char> dpb{isc_dpb_version1};
    auto add = [&](char tag, const std::string& v) {
      dpb.push_back(tag);
      dpb.push_back(static_cast<char>(v.size()));
      dpb.insert(dpb.end(), v.begin(), v.end());
    };
    if (!user.empty()) add(isc_dpb_user_name, user);
    if (!password.empty()) add(isc_dpb_password, password);
    add(isc_dpb_lc_ctype, charset);
    dpb.push_back(isc_dpb_sql_dialect);
    dpb.push_back(1);
    dpb.push_back(3);
    ISC_STATUS_ARRAY st;
    if (isc_attach_database(st, 0, path.c_str(), &db_, static_cast<short>(dpb.size()), dpb.data())) {
      error_ = statusText(st);
      db_ = 0;
      return false;
    }
    if (isc_dsql_allocate_statement(st, &db_, &stmt_)) {
      error_ = statusText(st);
      return false;
    }
    return true;
  }

  bool execute(const std::string& statement) override {
    error_.clear();
    state_.clear();
    closeResult();
    ISC_STATUS_ARRAY st;
    if (!inTransaction_ && isc_start_transaction(st, &tr_, 1, &db_, 0, nullptr)) return fail(st);
    out_.assign(XSQLDA_LENGTH(1), 0);
    sqlda()->version = SQLDA_VERSION1;
    sqlda()->sqln = 1;
    if (isc_dsql_prepare(st, &tr_, &stmt_, 0, statement.c_str(), 3, sqlda())) return fail(st);
    short n = sqlda()->sqld;
    if (n > 1) {
      out_.assign(XSQLDA_LENGTH(n), 0);
      sqlda()->version = SQLDA_VERSION1;
      sqlda()->sqln = n;
      if (isc_dsql_describe(st, &stmt_, 1, sqlda())) return fail(st);
    }
    if (n > 0) {
      buffers_.assign(static_cast<size_t>(n), {});
      nulls_.assign(static_cast<size_t>(n), 0);
      for (short i = 0; i < n; ++i) {
        XSQLVAR& v = sqlda()->sqlvar[i];
        buffers_[static_cast<size_t>(i)].assign(static_cast<size_t>(v.sqllen) + 2, 0);
        v.sqldata = buffers_[static_cast<size_t>(i)].data();
        v.sqlind = &nulls_[static_cast<size_t>(i)];
      }
    }
    if (isc_dsql_execute(st, &tr_, &stmt_, 3, nullptr)) return fail(st);
    if (n > 0) {
      open_ = true;
      return true;
    }
    if (!inTransaction_ && isc_commit_transaction(st, &tr_)) return fail(st);
    return true;
  }

  bool fetch(std::vector<Value>& row) override {
    error_.clear();
    state_.clear();
    row.clear();
    if (!open_) return false;
    ISC_STATUS_ARRAY st;
    ISC_STATUS rc = isc_dsql_fetch(st, &stmt_, 3, sqlda());
    if (rc == 100) {
      closeResult();
      return false;
    }
    if (rc) {
      fail(st);
      return false;
    }
    for (short i = 0; i < sqlda()->sqld; ++i) {
      const XSQLVAR& v = sqlda()->sqlvar[i];
      if ((v.sqltype & 1) && *v.sqlind < 0) {
        row.emplace_back();
        continue;
      }
      row.emplace_back(text(v));
      if (!error_.empty()) return false;
    }
    return true;
  }

  const std::string& error() const override { return error_; }
  const std::string& state() const override { return state_; }

  // One client transaction for every statement until commit or rollback;
  // a statement waits at most `lockWaitSeconds` for another's locks.
  bool begin(int lockWaitSeconds) override {
    error_.clear();
    state_.clear();
    if (inTransaction_) return true;
    closeResult();
    ISC_LONG wait = std::max(lockWaitSeconds, 1);
    const char tpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_concurrency, isc_tpb_wait,
                        isc_tpb_lock_timeout, 4,
                        static_cast<char>(wait & 0xFF), static_cast<char>((wait >> 8) & 0xFF),
                        static_cast<char>((wait >> 16) & 0xFF), static_cast<char>((wait >> 24) & 0xFF)};
    ISC_STATUS_ARRAY st;
    if (isc_start_transaction(st, &tr_, 1, &db_, static_cast<unsigned short>(sizeof tpb), tpb)) {
      tr_ = 0;
      return fail(st);
    }
    inTransaction_ = true;
    return true;
  }
  bool commit() override { return endTransaction(true); }
  bool rollback() override { return endTransaction(false); }
  bool inTransaction() const override { return inTransaction_; }

 private:
  // Ends the client transaction; a commit that fails is rolled back.
  bool endTransaction(bool commit) {
    error_.clear();
    state_.clear();
    if (!inTransaction_) return true;
    closeResult();
    inTransaction_ = false;
    ISC_STATUS_ARRAY st;
    bool ok = commit ? !isc_commit_transaction(st, &tr_) : !isc_rollback_transaction(st, &tr_);
    if (ok) {
      tr_ = 0;
      return true;
    }
    fail(st);
    return false;
  }

  XSQLDA* sqlda() { return reinterpret_cast<XSQLDA*>(out_.data()); }

  bool fail(const ISC_STATUS* st) {
    error_ = statusText(st);
    char code[6] = {};
    fb_sqlstate(code, st);
    state_.assign(code, strnlen(code, sizeof code));
    open_ = false;
    ISC_STATUS_ARRAY s2;
    isc_dsql_free_statement(s2, &stmt_, DSQL_close);
    // Inside a transaction the server has undone the failed statement only.
    if (inTransaction_) return false;
    if (tr_) isc_rollback_transaction(s2, &tr_);
    tr_ = 0;
    return false;
  }

  void closeResult() {
    ISC_STATUS_ARRAY st;
    if (open_) isc_dsql_free_statement(st, &stmt_, DSQL_close);
    open_ = false;
    if (inTransaction_) return;
    if (tr_) isc_commit_transaction(st, &tr_);
    tr_ = 0;
  }

  std::string text(const XSQLVAR& v) {
    const char* d = v.sqldata;
    char buf[64];
    switch (v.sqltype & ~1) {
      case SQL_TEXT: return std::string(d, static_cast<size_t>(v.sqllen));
      case SQL_VARYING: {
        short len;
        std::memcpy(&len, d, sizeof len);
        return std::string(d + 2, static_cast<size_t>(len));
      }
      case SQL_SHORT: { short x; std::memcpy(&x, d, sizeof x); return scaled(x, v.sqlscale); }
      case SQL_LONG: { ISC_LONG x; std::memcpy(&x, d, sizeof x); return scaled(x, v.sqlscale); }
      case SQL_INT64: { ISC_INT64 x; std::memcpy(&x, d, sizeof x); return scaled(x, v.sqlscale); }
      case SQL_FLOAT: {
        float x; std::memcpy(&x, d, sizeof x);
        auto r = std::to_chars(buf, buf + sizeof buf, x);
        return std::string(buf, r.ptr);
      }
      case SQL_DOUBLE: {
        double x; std::memcpy(&x, d, sizeof x);
        auto r = std::to_chars(buf, buf + sizeof buf, x);
        return std::string(buf, r.ptr);
      }
      case SQL_BOOLEAN: return *d ? "1" : "0";
      case SQL_TYPE_DATE: {
        struct tm t{}; isc_decode_sql_date(reinterpret_cast<const ISC_DATE*>(d), &t);
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
        return buf;
      }
      case SQL_TYPE_TIME: {
        struct tm t{}; isc_decode_sql_time(reinterpret_cast<const ISC_TIME*>(d), &t);
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec);
        return buf;
      }
      case SQL_TIMESTAMP: {
        struct tm t{}; isc_decode_timestamp(reinterpret_cast<const ISC_TIMESTAMP*>(d), &t);
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900,
                      t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
        return buf;
      }
      case SQL_BLOB: return blob(reinterpret_cast<const ISC_QUAD*>(d));
      default: return {};
    }
  }

  std::string blob(const ISC_QUAD* id) {
    ISC_STATUS_ARRAY st;
    isc_blob_handle h = 0;
    ISC_QUAD q = *id;
    if (isc_open_blob2(st, &db_, &tr_, &h, &q, 0, nullptr)) {
      error_ = statusText(st);
      return {};
    }
    std::string out;
    char seg[4096];
    for (;;) {
      unsigned short got = 0;
      ISC_STATUS rc = isc_get_segment(st, &h, &got, sizeof seg, seg);
      if (rc && rc != isc_segment) break;
      out.append(seg, got);
    }
    isc_close_blob(st, &h);
    return out;
  }

  isc_db_handle db_ = 0;
  isc_tr_handle tr_ = 0;
  isc_stmt_handle stmt_ = 0;
  bool open_ = false;
  bool inTransaction_ = false;
  std::vector<char> out_;
  std::vector<std::vector<char>> buffers_;
  std::vector<short> nulls_;
  std::string error_;
  std::string state_;
};

}  // namespace

std::unique_ptr<Connection> openFirebird(const std::string& owner, std::string& error) {
  auto c = std::make_unique<FirebirdConnection>();
  if (!c->open(owner)) {
    error = c->error();
    return nullptr;
  }
  return c;
}

}  // namespace velmora::sql::detail
