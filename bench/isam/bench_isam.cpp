// bench_isam: the ISAM driver beside raw SQLite prepared statements on
// the same work: 100 000 records of 661 bytes with a unique LONG key and
// a three-component duplicate key. Prints one line per operation with
// both times and the ratio (ours over raw SQLite).
//
// Usage: bench_isam [records]   (runs in a scratch folder under /tmp)
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"

namespace {

constexpr uint32_t kRecLen = 661;

double Now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "bench_isam: %s failed (%d %s)\n", what, rt::ErrorCode(),
               rt::ErrorText().c_str());
  std::exit(1);
}

void CheckSql(int rc, sqlite3* db, const char* what) {
  if (rc == SQLITE_OK || rc == SQLITE_DONE || rc == SQLITE_ROW) return;
  std::fprintf(stderr, "bench_isam: %s failed: %s\n", what, sqlite3_errmsg(db));
  std::exit(1);
}

// The record of id i: ID, A (LONG), B (STRING(20)), C (SHORT), filler.
struct Layout {
  uint32_t id, a, b, c, fill;
};

void MakeRecord(uint8_t* rec, const Layout& l, int32_t id, int salt) {
  std::memset(rec, ' ', kRecLen);
  int32_t a = id % 100;
  int16_t c = static_cast<int16_t>(id % 7);
  std::memcpy(rec + l.id, &id, 4);
  std::memcpy(rec + l.a, &a, 4);
  char b[24];
  std::snprintf(b, sizeof b, "name%05d", id % 1000);
  std::memcpy(rec + l.b, b, std::strlen(b));
  std::memcpy(rec + l.c, &c, 2);
  std::snprintf(reinterpret_cast<char*>(rec + l.fill), 32, "filler %d %d", id, salt);
}

struct Times {
  double add = 0, get = 0, scan = 0, put = 0;
};

Times RunOurs(int n, const std::vector<int32_t>& order) {
  using namespace db;
  auto f = DeclBuilder("Bench", "BEN").Driver("ISAM").Name(".\\bench.tps")
               .Field(Type::Long, "ID")
               .Field(Type::Long, "A")
               .Field(Type::String, "B", 20)
               .Field(Type::Short, "C")
               .Field(Type::String, "FILLER", kRecLen - 30)
               .Key("ID_Key", {1}, kKeyPrimary)
               .Key("ABC_Key", {2, 3, 4}, kKeyDup)
               .Build();
  const auto& fl = f->Fields();
  Layout l{fl[0].offset, fl[1].offset, fl[2].offset, fl[3].offset, fl[4].offset};
  Check(f->RecordLength() == kRecLen, "record length");
  Create(*f);
  Check(rt::ErrorCode() == 0, "CREATE");
  Open(*f, kReadWrite | kDenyAll);
  Check(rt::ErrorCode() == 0, "OPEN");
  Times t;

  double t0 = Now();
  Stream(*f);
  for (int i = 1; i <= n; ++i) {
    MakeRecord(f->Record(), l, i, 0);
    Add(*f);
  }
  Flush(*f);
  t.add = Now() - t0;
  Check(rt::ErrorCode() == 0, "ADD");

  t0 = Now();
  for (int32_t id : order) {
    std::memcpy(f->Record() + l.id, &id, 4);
    Get(*f, 1);
  }
  t.get = Now() - t0;
  Check(rt::ErrorCode() == 0, "GET");

  t0 = Now();
  int seen = 0;
  Set(*f, 2);
  while (true) {
    Next(*f);
    if (rt::ErrorCode()) break;
    ++seen;
  }
  t.scan = Now() - t0;
  Check(seen == n, "scan");

  t0 = Now();
  Stream(*f);
  for (int32_t id : order) {
    std::memcpy(f->Record() + l.id, &id, 4);
    Get(*f, 1);
    MakeRecord(f->Record(), l, id, 1);
    Put(*f);
  }
  Flush(*f);
  t.put = Now() - t0;
  Check(rt::ErrorCode() == 0, "PUT");
  Close(*f);
  return t;
}

Times RunRaw(int n, const std::vector<int32_t>& order) {
  sqlite3* db = nullptr;
  CheckSql(sqlite3_open("raw.db", &db), db, "open");
  CheckSql(sqlite3_exec(db,
                        "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;"
                        "CREATE TABLE t (id INTEGER PRIMARY KEY, rec BLOB NOT NULL,"
                        " k1 INTEGER, a INTEGER, b TEXT, c INTEGER);"
                        "CREATE UNIQUE INDEX t_k1 ON t (k1);"
                        "CREATE INDEX t_abc ON t (a, b, c);",
                        nullptr, nullptr, nullptr),
           db, "schema");
  auto prep = [&](const char* sql) {
    sqlite3_stmt* st = nullptr;
    CheckSql(sqlite3_prepare_v2(db, sql, -1, &st, nullptr), db, sql);
    return st;
  };
  sqlite3_stmt* ins = prep("INSERT INTO t (rec, k1, a, b, c) VALUES (?1, ?2, ?3, ?4, ?5)");
  sqlite3_stmt* get = prep("SELECT id, rec FROM t WHERE k1 = ?1");
  sqlite3_stmt* scan = prep("SELECT id, rec FROM t ORDER BY a, b, c");
  sqlite3_stmt* upd = prep("UPDATE t SET rec = ?2, k1 = ?3, a = ?4, b = ?5, c = ?6 WHERE id = ?1");
  Layout l{0, 4, 8, 28, 30};
  std::vector<uint8_t> rec(kRecLen);
  auto bindKeys = [&](sqlite3_stmt* st, int first, int32_t id) {
    sqlite3_bind_int(st, first, id);
    sqlite3_bind_int(st, first + 1, id % 100);
    char b[24];
    std::snprintf(b, sizeof b, "name%05d", id % 1000);
    sqlite3_bind_text(st, first + 2, b, -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(st, first + 3, id % 7);
  };
  Times t;

  double t0 = Now();
  sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  for (int i = 1; i <= n; ++i) {
    MakeRecord(rec.data(), l, i, 0);
    sqlite3_bind_blob(ins, 1, rec.data(), kRecLen, SQLITE_STATIC);
    bindKeys(ins, 2, i);
    CheckSql(sqlite3_step(ins), db, "insert");
    sqlite3_reset(ins);
  }
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  t.add = Now() - t0;

  t0 = Now();
  for (int32_t id : order) {
    sqlite3_bind_int(get, 1, id);
    CheckSql(sqlite3_step(get), db, "get");
    std::memcpy(rec.data(), sqlite3_column_blob(get, 1), kRecLen);
    sqlite3_reset(get);
  }
  t.get = Now() - t0;

  t0 = Now();
  int seen = 0;
  while (sqlite3_step(scan) == SQLITE_ROW) {
    std::memcpy(rec.data(), sqlite3_column_blob(scan, 1), kRecLen);
    ++seen;
  }
  sqlite3_reset(scan);
  t.scan = Now() - t0;
  if (seen != n) std::exit(1);

  t0 = Now();
  sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  for (int32_t id : order) {
    sqlite3_bind_int(get, 1, id);
    CheckSql(sqlite3_step(get), db, "get");
    int64_t row = sqlite3_column_int64(get, 0);
    std::memcpy(rec.data(), sqlite3_column_blob(get, 1), kRecLen);
    sqlite3_reset(get);
    MakeRecord(rec.data(), l, id, 1);
    sqlite3_bind_int64(upd, 1, row);
    sqlite3_bind_blob(upd, 2, rec.data(), kRecLen, SQLITE_STATIC);
    bindKeys(upd, 3, id);
    CheckSql(sqlite3_step(upd), db, "update");
    sqlite3_reset(upd);
  }
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  t.put = Now() - t0;

  for (sqlite3_stmt* st : {ins, get, scan, upd}) sqlite3_finalize(st);
  sqlite3_close(db);
  return t;
}

void Line(const char* op, double ours, double raw) {
  std::printf("%-28s velmora %8.3f s   sqlite %8.3f s   ratio %.2f\n", op, ours, raw,
              raw > 0 ? ours / raw : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
  int n = argc > 1 ? std::atoi(argv[1]) : 100000;
  if (n <= 0) n = 100000;
  char tmpl[] = "/tmp/bench_isam_XXXXXX";
  if (!::mkdtemp(tmpl)) return 1;
  std::filesystem::path old = std::filesystem::current_path();
  std::filesystem::current_path(tmpl);

  std::vector<int32_t> order(static_cast<size_t>(n));
  std::iota(order.begin(), order.end(), 1);
  std::shuffle(order.begin(), order.end(), std::mt19937(12345));

  Times raw = RunRaw(n, order);
  Times ours = RunOurs(n, order);
  std::printf("%d records of %u bytes\n", n, kRecLen);
  Line("ADD (STREAM)", ours.add, raw.add);
  Line("GET by unique key", ours.get, raw.get);
  Line("scan in duplicate-key order", ours.scan, raw.scan);
  Line("PUT (GET + PUT, STREAM)", ours.put, raw.put);

  std::filesystem::current_path(old);
  std::filesystem::remove_all(tmpl);
  return 0;
}
