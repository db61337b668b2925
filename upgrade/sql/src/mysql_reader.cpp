// The MySQL catalogue reader: the table's columns and keys through an ODBC
// connection of its own, made by the driver library loaded at run time.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "velmora/runtime/system.h"
#include "velmora/runtime/text.h"
#include "velmora/upgrade/catalogue_rows.h"
#include "velmora/upgrade/mysql_reader.h"
#include "velmora/upgrade/openhook.h"
#include "velmora/upgrade/server_structure.h"
#include "velmora/upgrade/settings.h"
#include "velmora/upgrade/sql_check.h"
#include "velmora/upgrade/sql_exec.h"
#include "velmora/upgrade/sqlnames.h"
#include "velmora/upgrade/sqltext.h"
#include "velmora/win/library.h"

// The ODBC declarations come last: they define BOOL as a macro.
#include <sql.h>
#include <sqlext.h>

namespace upg {
namespace {

constexpr size_t kBoundColumns = 10;
constexpr size_t kColumnBuffer = 3001;

// One result row: the first ten columns as texts.
using MqRow = std::array<std::string, kBoundColumns>;

// The connection of one reading: the library, its entry points, the
// handles, and the diagnostics of the last failed call.
struct Odbc {
  win::HMODULE library = nullptr;
  decltype(&::SQLAllocEnv) allocEnv = nullptr;
  decltype(&::SQLAllocConnect) allocConnect = nullptr;
  decltype(&::SQLAllocStmt) allocStmt = nullptr;
  decltype(&::SQLPrepare) prepare = nullptr;
  decltype(&::SQLExecute) execute = nullptr;
  decltype(&::SQLError) error = nullptr;
  decltype(&::SQLFreeEnv) freeEnv = nullptr;
  decltype(&::SQLFreeConnect) freeConnect = nullptr;
  decltype(&::SQLFreeStmt) freeStmt = nullptr;
  decltype(&::SQLConnect) connect = nullptr;
  decltype(&::SQLDisconnect) disconnect = nullptr;
  decltype(&::SQLNumResultCols) numResultCols = nullptr;
  decltype(&::SQLBindCol) bindCol = nullptr;
  decltype(&::SQLFetch) fetch = nullptr;
  decltype(&::SQLDriverConnect) driverConnect = nullptr;

  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  bool connected = false;
  std::string connectString;  // ODBCConnectString
  std::string state, message;  // of the last failed call
};

std::string Handle(const void* h) { return std::to_string(reinterpret_cast<uintptr_t>(h)); }

// The entry point `name` into `fn`; the name joins `missing` when the
// library has none.
template <typename F>
void Take(win::HMODULE library, const char* name, F& fn, std::string& missing) {
  win::FARPROC p = win::GetProcAddress(library, name);
  if (!p) {
    missing += (missing.empty() ? "" : ", ") + std::string(name);
    return;
  }
  fn = reinterpret_cast<F>(p);
}

// The diagnostics of the failed call; when the driver cannot give them,
// the program ends with `fatal`.
void Diagnose(Odbc& o, const char* fatal) {
  SQLCHAR state[6] = {};
  SQLINTEGER native = 0;
  SQLCHAR text[256] = {};
  SQLSMALLINT length = 0;
  SQLRETURN rc = o.error(o.env, o.dbc, o.stmt, state, &native, text, 255, &length);
  if (rc != SQL_SUCCESS) {
    o.state.clear();
    o.message.clear();
    rt::Halt(kSqlErrorExitCode, fatal);
    return;
  }
  o.state = reinterpret_cast<const char*>(state);
  o.message = rt::Clip(reinterpret_cast<const char*>(text)) + " " + std::to_string(native);
}

// The readable line of a call's return code.
std::string ReportODBCResult(Odbc& o, SQLRETURN code, const std::string& label) {
  std::string c = std::to_string(code);
  switch (code) {
    case SQL_SUCCESS: return label + " completed successfully! [" + c + "]";
    case SQL_SUCCESS_WITH_INFO:
      Diagnose(o, "RV3 MySQL (1) Fatal Error occured!");
      return label + " completed successfully with info! [" + c + "] : " + o.message;
    case SQL_ERROR: Diagnose(o, "RV3 MySQL (2) Fatal Error occured!"); break;
    case SQL_INVALID_HANDLE: Diagnose(o, "RV3 MySQL (3) Fatal Error occured!"); break;
    case SQL_NEED_DATA: Diagnose(o, "RV3 MySQL (4) Fatal Error occured!"); break;
    case SQL_NO_DATA:
      o.state.clear();
      o.message = "Record not available!";
      return label + " DID NOT complete successfully! [" + c + "] : Record not available!";
    default: return {};
  }
  return label + " DID NOT complete successfully! [" + c + "] : " + o.message;
}

// Traces the line of a call that did not return 0; true when it succeeded.
bool Check(Odbc& o, SQLRETURN code, const std::string& label) {
  if (code != SQL_SUCCESS)
    Trace(Flag::B, "RV3 Error: " + MaskPasswords(ReportODBCResult(o, code, label)));
  return code == SQL_SUCCESS || code == SQL_SUCCESS_WITH_INFO;
}

bool ODBCConnect(Odbc& o, uintptr_t window) {
  Check(o, o.allocEnv(&o.env), "SQLAllocEnv [" + Handle(o.env) + "]");
  if (!o.env) return false;
  Check(o, o.allocConnect(o.env, &o.dbc),
        "SQLAllocConnect [" + Handle(o.env) + "," + Handle(o.dbc) + "]");
  if (!o.dbc) return false;
  std::string& cs = o.connectString;
  auto text = reinterpret_cast<SQLCHAR*>(cs.data());
  auto length = static_cast<SQLSMALLINT>(cs.size());
  SQLRETURN rc;
  if (rt::Upper(cs).find("DRIVER=") != std::string::npos) {
    std::array<SQLCHAR, 2048> out{};
    SQLSMALLINT outLength = 0;
    // Without a parent window no dialog can complete the string: the
    // driver then reports the server's own error instead of a failed prompt.
    SQLUSMALLINT completion = window ? SQL_DRIVER_COMPLETE_REQUIRED : SQL_DRIVER_NOPROMPT;
    rc = o.driverConnect(o.dbc, reinterpret_cast<SQLHWND>(window), text, length, out.data(),
                         static_cast<SQLSMALLINT>(out.size()), &outLength, completion);
  } else {
    rc = o.connect(o.dbc, text, length, nullptr, 0, nullptr, 0);
  }
  o.connected = Check(o, rc, "SQLConnect [" + Handle(o.dbc) + "] {" + cs + "," + ",-**-**-**-**" + "}");
  return o.connected;
}

void ODBCDisconnect(Odbc& o) {
  if (o.connected) Check(o, o.disconnect(o.dbc), "SQLDisconnect [" + Handle(o.dbc) + "]");
  o.connected = false;
  if (o.dbc) Check(o, o.freeConnect(o.dbc), "SQLFreeConnect [" + Handle(o.dbc) + "]");
  o.dbc = SQL_NULL_HDBC;
  if (o.env) Check(o, o.freeEnv(o.env), "SQLFreeEnv [" + Handle(o.env) + "]");
  o.env = SQL_NULL_HENV;
}

// Runs `text` and reads its whole result into `mq`; false when any step
// failed (the diagnostics are in o.state and o.message).
bool ODBCExecute(Odbc& o, std::string text, std::vector<MqRow>& mq) {
  mq.clear();
  if (!Check(o, o.allocStmt(o.dbc, &o.stmt),
             "SQLAllocStmt [" + Handle(o.dbc) + "," + Handle(o.stmt) + "]"))
    return false;
  std::string s = Handle(o.stmt);
  bool ok = Check(o, o.prepare(o.stmt, reinterpret_cast<SQLCHAR*>(text.data()),
                               static_cast<SQLINTEGER>(text.size())),
                  "SQLPrepare [" + s + "] {" + text + "}") &&
            Check(o, o.execute(o.stmt), "SQLExecute [" + s + "] {" + text + "}");
  if (ok) {
    SQLSMALLINT count = 0;
    ok = Check(o, o.numResultCols(o.stmt, &count), "SQLBindCol [" + std::to_string(count) + "]");
    // Each column its own buffer and length, so a NULL never shows the
    // value of the row before.
    std::array<std::array<char, kColumnBuffer>, kBoundColumns> buffers{};
    std::array<SQLLEN, kBoundColumns> lengths{};
    size_t bound = std::min<size_t>(count > 0 ? static_cast<size_t>(count) : 0, kBoundColumns);
    for (size_t i = 0; ok && i < bound; ++i)
      ok = Check(o, o.bindCol(o.stmt, static_cast<SQLUSMALLINT>(i + 1), SQL_C_CHAR,
                              buffers[i].data(), kColumnBuffer, &lengths[i]),
                 "SQLBindCol [" + std::to_string(i + 1) + "]");
    SQLRETURN rc = SQL_NO_DATA;
    while (ok) {
      rc = o.fetch(o.stmt);
      if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
      if (rc == SQL_SUCCESS_WITH_INFO) Check(o, rc, "SQLFetch [" + s + "]");
      MqRow row;
      for (size_t i = 0; i < bound; ++i) {
        if (lengths[i] == SQL_NULL_DATA) continue;
        std::string_view value(buffers[i].data(), kColumnBuffer - 1);
        row[i] = std::string(value.substr(0, value.find('\0')));
      }
      mq.push_back(std::move(row));
    }
    if (ok) {
      Check(o, rc, "SQLFetch [" + s + "]");
      ok = rc == SQL_NO_DATA;  // the normal end of the rows
    }
  }
  if (!ok) {
    mq.clear();
  }
  std::string state = o.state, message = o.message;
  Check(o, o.freeStmt(o.stmt, SQL_DROP), "SQLFreeStmt [" + s + "]");
  o.stmt = SQL_NULL_HSTMT;
  o.state = state;
  o.message = message;
  return ok;
}

bool Failed(const Odbc& o, std::string_view tag) {
  CatalogueFailed(tag, o.state, o.message);
  return false;
}

bool ReadColumns(Odbc& o, const std::string& table) {
  SFDQ().clear();
  std::vector<MqRow> mq;
  if (!ODBCExecute(o, "show columns from " + table, mq)) return Failed(o, "fields");
  Trace(Flag::C, "recs in mq: " + std::to_string(mq.size()));
  for (const MqRow& row : mq) {
    std::string field = rt::Clip(row[0]);
    std::string null = rt::Lower(rt::Clip(row[2]));
    Trace(Flag::C, "mysql nullable:  " + field + " " + null);
    rt::Byte nullable = null == "no" ? 0 : 1;
    rt::Byte autoNum = rt::Lower(rt::Clip(row[5])) == "auto_increment" ? 1 : 0;
    AddServerColumn(field, row[1], autoNum, nullable);
  }
  Trace(Flag::C, "recs in sfdq: " + std::to_string(SFDQ().size()));
  return true;
}

bool ReadKeys(Odbc& o, const std::string& table) {
  SKDQ().clear();
  std::vector<MqRow> mq;
  if (!ODBCExecute(o, "show keys from " + table, mq)) return Failed(o, "keys");
  Trace(Flag::C, "recs in mq: " + std::to_string(mq.size()));
  // The rows of one key follow each other in key order (columns 2
  // Non_unique, 3 Key_name, 5 Column_name, 6 Collation).
  ServerKey key;
  std::string current;
  bool open = false;
  for (const MqRow& row : mq) {
    std::string name = rt::Clip(row[2]);
    if (!open || name != current) {
      if (open) AddServerKey(std::move(key));
      bool primary = rt::Upper(name) == "PRIMARY";
      std::string att = std::strtol(rt::Trim(row[1]).c_str(), nullptr, 10) == 1 ? "dup"
                        : primary                                             ? "primary"
                                                                              : "";
      key = NewServerKey(name, att, primary ? 0 : 1, true);
      current = name;
      open = true;
    }
    // Collation "D" is a descending part; the comparison reads the
    // direction of every part, so each gets its signed position.
    AddKeyColumn(key, row[4], rt::Upper(rt::Clip(row[5])) == "D", false);
  }
  if (open) AddServerKey(std::move(key));
  Trace(Flag::C, "recs in skdq: " + std::to_string(SKDQ().size()));
  return true;
}

bool ReadStructure(Odbc& o, uintptr_t window) {
  const std::string& libraryName = MySQLDriverLibrary();
  o.library = win::LoadLibraryA(libraryName.c_str());
  if (!o.library) {
    CatalogueFailed("driver", "", "The ODBC driver library cannot be loaded: " + libraryName);
    return false;
  }
  std::string missing;
  Take(o.library, "SQLAllocEnv", o.allocEnv, missing);
  Take(o.library, "SQLAllocConnect", o.allocConnect, missing);
  Take(o.library, "SQLAllocStmt", o.allocStmt, missing);
  Take(o.library, "SQLPrepare", o.prepare, missing);
  Take(o.library, "SQLExecute", o.execute, missing);
  Take(o.library, "SQLError", o.error, missing);
  Take(o.library, "SQLFreeEnv", o.freeEnv, missing);
  Take(o.library, "SQLFreeConnect", o.freeConnect, missing);
  Take(o.library, "SQLFreeStmt", o.freeStmt, missing);
  Take(o.library, "SQLConnect", o.connect, missing);
  Take(o.library, "SQLDisconnect", o.disconnect, missing);
  Take(o.library, "SQLNumResultCols", o.numResultCols, missing);
  Take(o.library, "SQLBindCol", o.bindCol, missing);
  Take(o.library, "SQLFetch", o.fetch, missing);
  Take(o.library, "SQLDriverConnect", o.driverConnect, missing);
  bool ok = false;
  if (!missing.empty()) {
    CatalogueFailed("driver", "",
                    "The ODBC driver library " + libraryName + " lacks the entry points " + missing);
  } else if (!ODBCConnect(o, window)) {
    Failed(o, "connect");
  } else {
    // The database a "database.table" name gives, else the connection's.
    const SqlCheckState& check = SqlCheck();
    std::string owner = rt::Clip(check.tableOwner);
    std::string table = SqlTableName(Dialect::MySql, (owner.empty() ? "" : owner + ".") + rt::Clip(check.tableName));
    ok = ReadColumns(o, table) && ReadKeys(o, table);
  }
  if (o.env) ODBCDisconnect(o);
  if (!win::FreeLibrary(o.library)) Trace(Flag::B, "RV3: Error occurred: FreeLibrary");
  o.library = nullptr;
  return ok;
}

}  // namespace

std::string& MySQLDriverLibrary() {
  static std::string name = "libmaodbc.so";
  return name;
}

bool ds_MySQLStructure(uintptr_t waitWindow, std::string_view flavour) {
  Trace(Flag::D, "ds_MySQLStructure IN " + std::string(flavour));
  ReadNamesOf(Dialect::MySql);
  Odbc o;
  // ODBCConnectString: the file's connection string up to its first comma.
  const std::string& owner = OpenHookState().connectionString;
  o.connectString = rt::Clip(owner.substr(0, owner.find(',')));
  bool ok = ReadStructure(o, waitWindow);
  if (!ok) {
    // What was read before the failure is not the table.
    SFDQ().clear();
    SKDQ().clear();
  }
  Trace(Flag::D, "ds_MySQLStructure OUT");
  return ok;
}

}  // namespace upg
