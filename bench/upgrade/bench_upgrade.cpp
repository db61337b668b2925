// bench_upgrade: the upgrade engine converting PageControls records (one
// field added, one retyped) beside SQLite copying the same rows with
// INSERT INTO new SELECT ... FROM old into a table with the same indexes,
// at the same durability (WAL, synchronous=FULL, one transaction).
// For each size it prints the records per second of each and the ratio
// (ours over SQLite), each side the best of a few rounds, so that a
// shared machine's noise does not decide it.
//
// Usage: bench_upgrade [--rounds N] [records ...]
//   (default 3 rounds of 1000, 10000, 100000 and 1000000 records; runs in
//   scratch folders under /tmp)
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "velmora/data/dictionary.h"
#include "velmora/files/files.h"
#include "velmora/runtime/cmdline.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/paths.h"
#include "velmora/upgrade/registration.h"
#include "velmora/upgrade/upgrade_file.h"

namespace {

double Now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "bench_upgrade: %s failed (%d %s %s)\n", what, rt::ErrorCode(), rt::ErrorText().c_str(),
               rt::FileErrorText().c_str());
  std::exit(1);
}

void CheckSql(int rc, sqlite3* db, const char* what) {
  if (rc == SQLITE_OK || rc == SQLITE_DONE || rc == SQLITE_ROW) return;
  std::fprintf(stderr, "bench_upgrade: %s failed: %s\n", what, sqlite3_errmsg(db));
  std::exit(1);
}

// The previous PageControls: the current declaration without its last
// field (added since) and with CONTROLX a SHORT (a LONG since).
constexpr const char* kAdded = "PAG:HIDDEN";
constexpr const char* kRetyped = "PAG:CONTROLX";

std::unique_ptr<db::FileDecl> Previous(const db::FileDecl& now) {
  db::DeclBuilder b(now.Label(), now.Prefix());
  b.Driver(now.DriverName()).Name(now.Name()).Attributes(now.Attributes());
  for (const db::FieldInfo& f : now.Fields()) {
    if (f.label == kAdded) continue;
    std::string name = f.label.substr(f.label.find(':') + 1);
    if (f.label == kRetyped)
      b.Field(db::Type::Short, name);
    else if (f.type == db::Type::String || f.type == db::Type::CString)
      b.Field(f.type, name, f.size);
    else
      b.Field(f.type, name);
  }
  for (const db::KeyDesc& k : now.Keys()) b.Key(k.label.substr(k.label.find(':') + 1), k.components, k.attrib);
  return b.Build();
}

void Fill(db::FileDecl& f, int n) {
  f.ClearRecord();
  for (const db::FieldInfo& fi : f.Fields()) {
    uint8_t* p = f.Record() + fi.offset;
    switch (fi.type) {
      case db::Type::Byte: *p = static_cast<uint8_t>(n % 2); break;
      case db::Type::Short: { int16_t v = static_cast<int16_t>(n % 3000); std::memcpy(p, &v, 2); break; }
      case db::Type::Long: { int32_t v = n; std::memcpy(p, &v, 4); break; }
      case db::Type::Real: { double v = n * 0.25; std::memcpy(p, &v, 8); break; }
      case db::Type::CString: std::snprintf(reinterpret_cast<char*>(p), fi.size, "%s %d", fi.label.c_str() + 4, n); break;
      default: break;
    }
  }
}

// One size's files, made once: the old file with the engine's version
// store (under data/ and beside), and the same rows in raw.db.
void Prepare(const std::filesystem::path& dir, int records) {
  std::filesystem::current_path(dir);
  std::filesystem::create_directories("data");
  setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  rt::SetCommandLine({rt::WindowsPath((dir / "velmora").string()), getenv("BENCH_ADD") ? "/AddRecords" : "/x"});
  const db::FileDecl& now = data::Declaration(data::FileId::PageControls);
  auto old = Previous(now);
  auto gtps = db::DeclBuilder("__GTPS", "__GTPS").Driver("ISAM").Field(db::Type::Byte, "A").Build();
  uint8_t byte = 0;
  upg::ResetRegistration();
  upg::ds_AddDriver("Tps", *gtps, 1, &byte);
  upg::ds_UsingFile(*old, 4, "PAG", "PageControls");

  db::Create(*old);
  db::Open(*old);
  Check(rt::ErrorCode() == 0, "open old");
  db::Stream(*old);
  sqlite3* sql = nullptr;
  CheckSql(sqlite3_open("raw.db", &sql), sql, "open raw");
  CheckSql(sqlite3_exec(sql, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;", nullptr, nullptr, nullptr), sql,
           "pragmas");
  std::string cols, marks;
  int n = 0;
  for (const db::FieldInfo& fi : old->Fields()) {
    std::string c = "c" + std::to_string(++n);
    bool text = fi.type == db::Type::CString || fi.type == db::Type::String;
    bool real = fi.type == db::Type::Real || fi.type == db::Type::SReal;
    cols += (cols.empty() ? "" : ", ") + c + (text ? " TEXT" : real ? " REAL" : " INTEGER");
    marks += std::string(marks.empty() ? "" : ", ") + "?";
  }
  CheckSql(sqlite3_exec(sql, ("CREATE TABLE old (id INTEGER PRIMARY KEY, " + cols + ")").c_str(), nullptr, nullptr,
                        nullptr),
           sql, "create old");
  sqlite3_stmt* ins = nullptr;
  CheckSql(sqlite3_prepare_v2(sql, ("INSERT INTO old VALUES (NULL, " + marks + ")").c_str(), -1, &ins, nullptr), sql,
           "prepare");
  sqlite3_exec(sql, "BEGIN", nullptr, nullptr, nullptr);
  for (int r = 1; r <= records; ++r) {
    Fill(*old, r);
    db::Add(*old);
    Check(rt::ErrorCode() == 0, "add");
    int k = 0;
    for (const db::FieldInfo& fi : old->Fields()) {
      ++k;
      const uint8_t* p = old->Record() + fi.offset;
      switch (fi.type) {
        case db::Type::Byte: sqlite3_bind_int(ins, k, *p); break;
        case db::Type::Short: { int16_t v; std::memcpy(&v, p, 2); sqlite3_bind_int(ins, k, v); break; }
        case db::Type::Long: { int32_t v; std::memcpy(&v, p, 4); sqlite3_bind_int(ins, k, v); break; }
        case db::Type::Real: { double v; std::memcpy(&v, p, 8); sqlite3_bind_double(ins, k, v); break; }
        default: sqlite3_bind_text(ins, k, reinterpret_cast<const char*>(p), -1, SQLITE_TRANSIENT); break;
      }
    }
    CheckSql(sqlite3_step(ins), sql, "insert");
    sqlite3_reset(ins);
  }
  sqlite3_exec(sql, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_finalize(ins);
  db::Close(*old);
  sqlite3_close(sql);
  std::filesystem::current_path("/");
}

// Ours: the program declares version 5 and opens the file, which converts it.
double RunOurs(const std::filesystem::path& dir, int records) {
  std::filesystem::current_path(dir);
  setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  rt::SetCommandLine({rt::WindowsPath((dir / "velmora").string()), getenv("BENCH_ADD") ? "/AddRecords" : "/x"});
  const db::FileDecl& now = data::Declaration(data::FileId::PageControls);
  auto gtps = db::DeclBuilder("__GTPS", "__GTPS").Driver("ISAM").Field(db::Type::Byte, "A").Build();
  uint8_t byte = 0;
  upg::ResetRegistration();
  upg::RVQ().clear();
  upg::ds_AddDriver("Tps", *gtps, 1, &byte);
  auto file = now.Clone();
  upg::ds_UsingFile(*file, 5, "PAG", "PageControls");
  upg::InstallOpenHook();
  const double t0 = Now();
  db::HookedOpen(*file, 0x42);
  const double took = Now() - t0;
  Check(rt::ErrorCode() == 0, "the converted open");
  Check(db::Records(*file) == static_cast<uint32_t>(records), "the converted count");
  Check(!upg::RVQ().empty(), "the conversion");
  db::Close(*file);
  std::filesystem::current_path("/");
  return took;
}

// SQLite: the new table with the same keys, filled from the old one.
double RunSqlite(const std::filesystem::path& dir) {
  const db::FileDecl& now = data::Declaration(data::FileId::PageControls);
  auto old = Previous(now);
  std::string colsNew, select;
  int n = 0;
  for (const db::FieldInfo& fi : old->Fields()) {
    std::string c = "c" + std::to_string(++n);
    bool text = fi.type == db::Type::CString || fi.type == db::Type::String;
    bool real = fi.type == db::Type::Real || fi.type == db::Type::SReal;
    colsNew += (colsNew.empty() ? "" : ", ") + c + (text ? " TEXT" : real ? " REAL" : " INTEGER");
    select += (select.empty() ? "" : ", ") + (fi.label == kRetyped ? "CAST(" + c + " AS INTEGER)" : c);
  }
  colsNew += ", c" + std::to_string(n + 1) + " INTEGER";
  select += ", 0";
  std::string keys;
  int kn = 0;
  for (const db::KeyDesc& k : now.Keys()) {
    std::string comps;
    for (int32_t c : k.components) comps += (comps.empty() ? "c" : ", c") + std::to_string(c);
    keys += "CREATE INDEX k" + std::to_string(++kn) + " ON new (" + comps + ");";
  }
  sqlite3* sql = nullptr;
  CheckSql(sqlite3_open((dir / "raw.db").c_str(), &sql), sql, "open raw");
  CheckSql(sqlite3_exec(sql, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;", nullptr, nullptr, nullptr), sql,
           "pragmas");
  const double t0 = Now();
  CheckSql(sqlite3_exec(sql,
                        ("BEGIN; CREATE TABLE new (id INTEGER PRIMARY KEY, " + colsNew + "); INSERT INTO new SELECT id, " +
                         select + " FROM old; " + keys + " COMMIT;")
                            .c_str(),
                        nullptr, nullptr, nullptr),
           sql, "insert select");
  const double took = Now() - t0;
  sqlite3_close(sql);
  return took;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 3;
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc)
      rounds = std::max(1, std::atoi(argv[++i]));
    else
      sizes.push_back(std::atoi(argv[i]));
  }
  if (sizes.empty()) sizes = {1000, 10000, 100000, 1000000};
  const db::FileDecl& now = data::Declaration(data::FileId::PageControls);
  for (int records : sizes) {
    char tmpl[] = "/tmp/bench_upgrade_XXXXXX";
    const std::filesystem::path base = ::mkdtemp(tmpl);
    const std::filesystem::path pristine = base / "pristine";
    std::filesystem::create_directories(pristine);
    Prepare(pristine, records);
    double ours = 1e300, raw = 1e300;
    for (int r = 0; r < rounds; ++r) {
      // Each round converts a fresh copy of the same files.
      const std::filesystem::path dir = base / ("round" + std::to_string(r));
      std::filesystem::copy(pristine, dir, std::filesystem::copy_options::recursive);
      ours = std::min(ours, RunOurs(dir, records));
      raw = std::min(raw, RunSqlite(dir));
      std::filesystem::remove_all(dir);
    }
    std::printf("upgrade %d records of %u bytes (%s added, %s retyped), best of %d: ours %.3f s %.0f records/s, "
                "sqlite %.3f s %.0f records/s, ratio %.2f\n",
                records, now.RecordLength(), kAdded, kRetyped, rounds, ours, records / ours, raw, records / raw,
                ours / raw);
    std::fflush(stdout);
    std::filesystem::remove_all(base);
  }
  return 0;
}
