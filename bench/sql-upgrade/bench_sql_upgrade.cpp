// bench_sql_upgrade: rows converted into a new MariaDB table through the
// upgrade engine's INSERT path (the record copy building the column and
// value lists, one INSERT per record run through the statement file's SQL
// property) beside a plain multi-row INSERT of the same rows through the
// same ODBC connection. Both tables are compared afterwards.
//
// Usage: bench_sql_upgrade <servers.env> [rows [rows committed one by one]]
//        (default 100000 and as many; see run)
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../../platform/sql/tests/test_servers.h"
#include "velmora/files/files.h"
#include "velmora/runtime/cmdline.h"
#include "velmora/runtime/datetime.h"
#include "velmora/runtime/errors.h"
#include "velmora/sql.h"
#include "velmora/upgrade/conversion.h"
#include "velmora/upgrade/insert_lists.h"
#include "velmora/upgrade/registration.h"
#include "velmora/upgrade/settings.h"
#include "velmora/upgrade/sql_exec.h"
#include "velmora/upgrade/structure.h"

namespace {

using T = db::Type;

double Now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "bench_sql_upgrade: %s\n", what.c_str());
  std::exit(1);
}

// The old declaration; the new one adds FLAG (a conversion, not a copy).
std::unique_ptr<db::FileDecl> Declaration(bool withFlag) {
  db::DeclBuilder b("Bench", "BEN");
  b.Field(T::Long, "ID")
      .Field(T::String, "NAME", 30)
      .Field(T::CString, "NOTE", 40)
      .Field(T::Real, "AMOUNT")
      .Field(T::Decimal, "PRICE", 9, 2)
      .Field(T::Date, "DAY")
      .Field(T::Short, "QTY");
  if (withFlag) b.Field(T::Byte, "FLAG");
  return b.Build();
}

constexpr const char* kColumns =
    "ID INT NOT NULL, NAME VARCHAR(30), NOTE VARCHAR(39), AMOUNT DOUBLE, PRICE DECIMAL(9,2), "
    "DAY DATE, QTY SMALLINT, FLAG SMALLINT, PRIMARY KEY (ID)";

// Row n's values, shared by both paths.
struct Row {
  int id, qty, year, month, day;
  double amount;
  char name[32], note[40], price[16];
};
Row MakeRow(int n) {
  Row r{};
  r.id = n + 1;
  r.qty = n % 3000;
  r.year = 2000 + n % 20;
  r.month = 1 + n % 12;
  r.day = 1 + n % 28;
  r.amount = n * 0.25;
  std::snprintf(r.name, sizeof r.name, "Name %d%s", n, n % 7 == 0 ? " O'Neil" : "");
  std::snprintf(r.note, sizeof r.note, "note %d for row %d", n % 97, n);
  std::snprintf(r.price, sizeof r.price, "%d.%02d", n % 100000, n % 100);
  return r;
}

void FillRecord(db::FileDecl& f, const Row& r) {
  f.ClearRecord();
  auto at = [&](const char* label) {
    return f.Record() + f.Fields()[static_cast<size_t>(f.FieldIndex(label))].offset;
  };
  std::memcpy(at("BEN:ID"), &r.id, 4);
  uint8_t* name = at("BEN:NAME");
  std::memset(name, ' ', 30);
  std::memcpy(name, r.name, std::strlen(r.name));
  std::memcpy(at("BEN:NOTE"), r.note, std::strlen(r.note) + 1);
  std::memcpy(at("BEN:AMOUNT"), &r.amount, 8);
  upg::TextToDecimal(r.price, at("BEN:PRICE"), 5, 9, 2);
  uint32_t day = rt::PackDate(rt::DateOf(r.month, r.day, r.year));
  std::memcpy(at("BEN:DAY"), &day, 4);
  int16_t qty = static_cast<int16_t>(r.qty);
  std::memcpy(at("BEN:QTY"), &qty, 2);
}

std::string Quoted(const char* s) {
  std::string out = "'";
  for (; *s; ++s) {
    if (*s == '\'' || *s == '\\') out.push_back(*s);
    out.push_back(*s);
  }
  return out + "'";
}

std::string PlainValues(const Row& r) {
  char buf[160];
  std::snprintf(buf, sizeof buf, "%.17g, %s, '%04d%02d%02d', %d, ", r.amount, r.price, r.year, r.month,
                r.day, r.qty);
  return "(" + std::to_string(r.id) + ", " + Quoted(r.name) + ", " + Quoted(r.note) + ", " + buf + "0)";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) Fail("usage: bench_sql_upgrade <servers.env> [rows]");
  auto env = sqltest_env::Servers(argv[1]);
  if (env.empty()) Fail(std::string("no servers in ") + argv[1]);
  const int rows = argc > 2 ? std::atoi(argv[2]) : 100000;
  // The pass that commits every row (as the SQL file drivers do today) is
  // slow: its own row count may be smaller, 0 leaves it out.
  const int everyRowCommit = argc > 3 ? std::atoi(argv[3]) : rows;
  const int perStatement = 1000;
  const int kBatch = 10000;  // the conversion's batch

  // A scratch program folder so the engine's settings go nowhere else.
  char tmpl[] = "/tmp/bench_sql_upgrade_XXXXXX";
  std::filesystem::path dir = ::mkdtemp(tmpl);
  setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  rt::SetCommandLine({(dir / "velmora").string()});
  upg::ResetSettings();
  upg::ReadSwitches();
  upg::ds_SetOption("odbcflavour", "MYODBC 3");

  const std::string owner = sqltest_env::Owner(env, "MYODBC 3", sqltest_env::Password(env, "MYODBC 3"));
  // The engine's statement file and the plain path's connection: the same
  // connection of this thread.
  db::DeclBuilder sb("RV3SYS", "RV3");
  sb.Driver("ODBC").Name("");
  sb.Field(T::CString, "DS_FIELD1", 256);
  auto statements = sb.Build();
  statements->SetOwner(owner);
  db::Open(*statements, 0x10);
  if (rt::ErrorCode() != 0) Fail("open: " + rt::FileErrorText());
  upg::CurrentSQLFile() = statements.get();
  std::string error;
  velmora::sql::Connection* c = velmora::sql::connectionFor("ODBC", owner, "MYODBC 3", error);
  if (!c) Fail("connect: " + error);
  auto run = [&](const std::string& s) {
    if (!c->execute(s)) Fail(s.substr(0, 200) + ": " + c->error());
  };
  for (const char* t : {"bench_engine", "bench_batched", "bench_plain"}) {
    c->execute(std::string("DROP TABLE ") + t);
    run(std::string("CREATE TABLE ") + t + " (" + kColumns + ") ENGINE=InnoDB");
  }

  // The engine: the record copy into the INSERT lists, one statement a row.
  auto from = Declaration(false);
  auto to = Declaration(true);
  upg::ConversionDetected() = 1;
  upg::InsertDialect() = upg::Dialect::MySql;
  upg::DatePicture() = 12;
  upg::FilePrefix() = "BEN";
  upg::AfnQueue().clear();
  upg::LoadDstQueue(*to);
  upg::LoadSrcQueue(*from);
  // `batch` > 0: the rows `batch` to an explicit transaction (what the
  // conversion's batches would be if the SQL file drivers took them).
  auto convert = [&](const std::string& table, int batch, int count) {
    double start = Now();
    for (int n = 0; n < count; ++n) {
      if (batch > 0 && n % batch == 0 && upg::ExecuteSQLStatement("START TRANSACTION", 0) != 0)
        Fail("start transaction");
      FillRecord(*from, MakeRow(n));
      to->ClearRecord();
      upg::ClearInsertLists();
      upg::CopyRec(*from, *to);
      std::string sql =
          "INSERT INTO " + table + " (" + upg::Insert().names + ") VALUES (" + upg::Insert().values + ")";
      if (upg::ExecuteSQLStatement(sql, 0) != 0) Fail("engine insert of row " + std::to_string(n));
      if (batch > 0 && ((n + 1) % batch == 0 || n + 1 == count) && upg::ExecuteSQLStatement("COMMIT", 0) != 0)
        Fail("commit");
    }
    return Now() - start;
  };
  double engine = convert("bench_engine", 0, everyRowCommit);
  double batched = convert("bench_batched", kBatch, rows);
  upg::ConversionDetected() = 0;

  // Plain: the same rows, `perStatement` to a statement.
  double t0 = Now();
  std::string sql;
  for (int n = 0; n < rows; ++n) {
    if (sql.empty())
      sql = "INSERT INTO bench_plain (ID, NAME, NOTE, AMOUNT, PRICE, DAY, QTY, FLAG) VALUES ";
    else
      sql += ", ";
    sql += PlainValues(MakeRow(n));
    if ((n + 1) % perStatement == 0 || n + 1 == rows) {
      run(sql);
      sql.clear();
    }
  }
  double plain = Now() - t0;

  // Both tables hold the same rows.
  std::vector<std::string> sums;
  for (const char* t : {"bench_batched", "bench_plain", "bench_engine"}) {
    if (std::string(t) == "bench_engine" && everyRowCommit != rows) continue;
    run(std::string("SELECT COUNT(*), SUM(ID), SUM(QTY), SUM(PRICE), SUM(AMOUNT), SUM(TO_DAYS(DAY)), "
                    "SUM(LENGTH(NAME)), SUM(LENGTH(NOTE)), SUM(CRC32(CONCAT(NAME, NOTE, DAY))) FROM ") + t);
    std::vector<velmora::sql::Value> row;
    if (!c->fetch(row)) Fail("no sums");
    std::string s;
    for (auto& v : row) s += (v ? *v : "NULL") + " ";
    while (c->fetch(row)) {
    }
    sums.push_back(s);
  }
  for (size_t i = 1; i < sums.size(); ++i)
    if (sums[i] != sums[0]) Fail("the tables differ: " + sums[0] + "/ " + sums[i]);
  for (const char* t : {"bench_engine", "bench_batched", "bench_plain"}) run(std::string("DROP TABLE ") + t);

  upg::CurrentSQLFile() = nullptr;
  db::Close(*statements);
  velmora::sql::closeThreadConnections();
  std::filesystem::remove_all(dir);

  std::printf("rows %d, same contents in both tables (%s)\n", rows, sums[0].c_str());
  if (everyRowCommit > 0)
    std::printf("engine INSERT path, one INSERT per row, each committed: %d rows in %.3f s (%.0f rows/s)\n",
                everyRowCommit, engine, everyRowCommit / engine);
  std::printf("engine INSERT path, one INSERT per row, %d rows to a transaction: %.3f s (%.0f rows/s)\n", kBatch, batched,
              rows / batched);
  std::printf("plain multi-row INSERT: %.3f s (%.0f rows/s), %d rows per INSERT\n", plain, rows / plain,
              perStatement);
  std::printf("sql-upgrade engine (%d rows to a transaction)/plain ratio %.2f\n", kBatch, batched / plain);
  if (everyRowCommit > 0)
    std::printf("sql-upgrade engine (every row committed, as the SQL file drivers do today)/plain ratio %.2f\n",
                engine / everyRowCommit / (plain / rows));
  return 0;
}
