// bench_sql_upgrade: an ISAM file's rows converted into a new MariaDB
// table by the upgrade engine itself: a host registers the file's ISAM
// version and its newer SQL version and opens it through the open hook;
// the SQL check creates the table and the upgrade driver copies every
// record as one INSERT statement (the record copy building the column and
// value lists), 10000 to a transaction. Beside it, through the same
// connection, the same table created with CREATE TABLE and filled with
// multi-row INSERTs: both sides' times include the table's creation. Both
// tables are compared afterwards.
//
// Usage: bench_sql_upgrade <servers.env> [rows]   (default 100000; see run)
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
#include "velmora/runtime/system.h"
#include "velmora/runtime/text.h"
#include "velmora/sql.h"
#include "velmora/upgrade/conversion.h"
#include "velmora/upgrade/openhook.h"
#include "velmora/upgrade/registration.h"
#include "velmora/upgrade/settings.h"
#include "velmora/upgrade/sql_exec.h"
#include "velmora/upgrade/structure.h"
#include "velmora/upgrade/upgrade_file.h"
#include "velmora/upgrade/version_rows.h"

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

constexpr const char* kIsamName = "bench.tps";

// The old declaration (an ISAM file); the new one (the table) adds FLAG,
// so the records are converted, not copied.
std::unique_ptr<db::FileDecl> Declaration(bool withFlag, const std::string& table = {},
                                          const std::string& owner = {}) {
  db::DeclBuilder b("Bench", "BEN");
  if (withFlag)
    b.Driver("ODBC").Name(table).Owner(owner);
  else
    b.Driver("ISAM").Name(kIsamName);
  b.Attributes(db::kAttrCreate);
  b.Field(T::Long, "ID")
      .Field(T::String, "NAME", 30)
      .Field(T::CString, "NOTE", 40)
      .Field(T::Real, "AMOUNT")
      .Field(T::Decimal, "PRICE", 9, 2)
      .Field(T::Date, "DAY")
      .Field(T::Short, "QTY");
  if (withFlag) b.Field(T::Byte, "FLAG");
  b.Key("Id_Key", {1}, withFlag ? db::kKeyPrimary : db::kKeyDup);
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
  return "(" + std::to_string(r.id) + ", " + Quoted(r.name) + ", " + Quoted(r.note) + ", " + buf + "NULL)";  // FLAG: a new field without a value
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) Fail("usage: bench_sql_upgrade <servers.env> [rows]");
  auto env = sqltest_env::Servers(argv[1]);
  if (env.empty()) Fail(std::string("no servers in ") + argv[1]);
  const int rows = argc > 2 ? std::atoi(argv[2]) : 100000;
  const int perStatement = 1000;

  // A scratch program folder (the version store, settings, the ISAM file).
  char tmpl[] = "/tmp/bench_sql_upgrade_XXXXXX";
  std::filesystem::path dir = ::mkdtemp(tmpl);
  std::filesystem::current_path(dir);
  setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  // SQL_UPGRADE_TRACE=1: the engine's trace on stderr.
  const bool trace = std::getenv("SQL_UPGRADE_TRACE") != nullptr;
  if (trace) {
    rt::SetCommandLine({(dir / "velmora").string(), "/debugrvfull"});
    rt::SetDebugSink([](std::string_view line) { std::fprintf(stderr, "%.*s\n", int(line.size()), line.data()); });
  } else {
    rt::SetCommandLine({(dir / "velmora").string()});
  }
  rt::SetStopHandler([](std::string_view text) {
    Fail("the conversion stopped: " + std::string(text));
    return true;
  });

  const std::string flavour = "MYODBC 3";
  const std::string owner = sqltest_env::Owner(env, flavour, sqltest_env::Password(env, flavour));
  const std::string table = env["MARIADB_DATABASE"] + ".bench_engine";
  velmora::sql::setOdbcFlavour(flavour);
  std::string error;
  velmora::sql::Connection* c = velmora::sql::connectionFor("ODBC", owner, flavour, error);
  if (!c) Fail("connect: " + error);
  auto run = [&](const std::string& s) {
    if (!c->execute(s)) Fail(s.substr(0, 200) + ": " + c->error());
  };
  c->execute("DROP TABLE " + table);
  c->execute("DROP TABLE bench_plain");
  c->execute("DELETE FROM RV3SYS WHERE DS_FIELD2 = 'BEN'");

  // One run of the host program: its registration, then `file` opened
  // through the hook.
  auto tps = db::DeclBuilder("__GTPS", "__GTPS").Driver("ISAM").Field(T::Byte, "A").Build();
  auto statements = db::DeclBuilder("RV3SYS", "RV3");
  statements.Driver("ODBC").Name("RV3SYS");
  for (int i = 1; i <= 40; ++i) statements.Field(T::CString, "DS_FIELD" + std::to_string(i), 256);
  auto rv3 = statements.Build();
  rv3->SetOwner(owner);
  auto host = [&](db::FileDecl& file, rt::Short version) {
    if (rv3 && db::IsOpen(*rv3)) db::Close(*rv3);
    upg::CurrentSQLFile() = nullptr;
    upg::ResetSqlCheck();
    upg::ResetRegistration();
    upg::ResetSettings();
    upg::ReadSwitches();
    upg::ds_SetOption("odbcflavour", flavour);
    uint8_t byte = 0;
    upg::ds_AddDriver("Tps", *tps, 1, &byte);
    upg::ds_AddDriver("ODB", *rv3, 0, nullptr);
    upg::ds_UsingFile(file, version, "BEN", "Bench");
    // The table is made with the plain table's engine (the system table,
    // made at registration when missing, keeps the default).
    upg::ds_SetOption("mysqltype", "InnoDB");
    upg::InstallOpenHook();
    double t = Now();
    db::HookedOpen(file, db::kReadWrite | db::kDenyNone);
    return Now() - t;
  };

  // Version 1: the ISAM file, written directly.
  auto from = Declaration(false);
  host(*from, 1);
  if (db::IsOpen(*from)) db::Close(*from);
  db::Create(*from);
  db::Open(*from, db::kReadWrite | db::kDenyAll);
  if (rt::ErrorCode() != 0) Fail("the ISAM file: " + rt::ErrorText());
  db::Stream(*from);
  for (int n = 0; n < rows; ++n) {
    FillRecord(*from, MakeRow(n));
    db::Add(*from);
    if (rt::ErrorCode() != 0) Fail("the ISAM file: " + rt::ErrorText());
  }
  db::Flush(*from);
  db::Close(*from);

  // Version 2 is the table (renamed from the ISAM file, whose old table
  // is gone): the open converts the records into it.
  auto to = Declaration(true, table, owner);
  upg::OFN() = {{kIsamName, rt::Upper(table), "", "bench_gone"}};
  const double engine = host(*to, 2);
  if (rt::ErrorCode() != 0) Fail("open after the conversion: " + rt::ErrorText() + " " + rt::FileErrorText());
  db::Close(*to);

  // Plain: the table created (the engine's SQL check creates its own
  // inside the open), then the same rows, `perStatement` to a statement.
  double t0 = Now();
  run(std::string("CREATE TABLE bench_plain (") + kColumns + ") ENGINE=InnoDB");
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
  for (const std::string& t : {table, std::string("bench_plain")}) {
    run("SELECT COUNT(*), SUM(ID), SUM(QTY), SUM(PRICE), SUM(AMOUNT), SUM(TO_DAYS(DAY)), "
        "SUM(LENGTH(NAME)), SUM(LENGTH(NOTE)), SUM(CRC32(CONCAT(NAME, NOTE, DAY))), SUM(FLAG) FROM " + t);
    std::vector<velmora::sql::Value> row;
    if (!c->fetch(row)) Fail("no sums");
    std::string s;
    for (auto& v : row) s += (v ? *v : "NULL") + " ";
    while (c->fetch(row)) {
    }
    sums.push_back(s);
  }
  if (sums[1] != sums[0]) Fail("the tables differ: " + sums[0] + "/ " + sums[1]);
  run("DROP TABLE " + table);
  run("DROP TABLE bench_plain");
  run("DELETE FROM RV3SYS WHERE DS_FIELD2 = 'BEN'");

  upg::CurrentSQLFile() = nullptr;
  velmora::sql::closeThreadConnections();
  std::filesystem::current_path("/");
  std::filesystem::remove_all(dir);

  std::printf("rows %d, same contents in both tables (%s)\n", rows, sums[0].c_str());
  std::printf("engine conversion (open hook, SQL check, upgrade driver: one INSERT per record, 10000 to a "
              "transaction): %.3f s (%.0f rows/s)\n",
              engine, rows / engine);
  std::printf("plain CREATE TABLE and multi-row INSERT: %.3f s (%.0f rows/s), %d rows per INSERT\n", plain,
              rows / plain, perStatement);
  std::printf("sql-upgrade engine/plain ratio %.2f\n", engine / plain);
  return 0;
}
