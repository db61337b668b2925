// The ISAM driver: one SQLite database per data file. Each table of the
// file ("file\!table"; the plain name is the table "") keeps its stored
// declaration in vm_files and its records in a table of its own: the
// record image, a change stamp, one column per key holding the key's
// order-preserving encoding (with the record id appended for keys that
// allow duplicates, so every index entry is unique and scans seek
// exactly) and one column per memo or blob.
//
// Durability: WAL journal with synchronous=FULL, so a change made outside
// STREAM and LOGOUT is on disk when its call returns. A STREAM batch is
// one transaction, durable at FLUSH or CLOSE. LOGOUT runs one transaction
// per file, committed in order: each file's part is atomic, the set of
// files is not (a crash between two commits keeps the earlier files').
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <limits.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>

#include "isam_internal.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/text.h"
#include "velmora/runtime/threads.h"

namespace db {

namespace {

using isam::Checksum;
using isam::CheckFormat;
using isam::FormatCheck;
using isam::kChecksumBytes;
using isam::SerializeDecl;
using isam::WalHasFrames;

constexpr int64_t kIdMin = INT64_MIN, kIdMax = INT64_MAX;

std::string TableOf(std::string_view name) {
  std::string s(name);
  size_t bang = s.find("\\!");
  if (bang == std::string::npos) return {};
  s.erase(0, bang + 2);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}

// SQL identifier of a table's record table: "d" and the name in hex.
std::string SqlTable(const std::string& table) {
  static const char* hex = "0123456789abcdef";
  std::string s = "d";
  for (unsigned char c : table) {
    s.push_back(hex[c >> 4]);
    s.push_back(hex[c & 15]);
  }
  return s;
}

void RemoveDatabaseFiles(const std::string& path) {
  std::remove((path + "-wal").c_str());
  std::remove((path + "-shm").c_str());
  std::remove(path.c_str());
}

uint64_t NewStamp() {
  thread_local std::mt19937_64 gen{std::random_device{}() ^
                                   (static_cast<uint64_t>(::getpid()) << 32)};
  return gen() >> 1;
}

// ---- the open instance

enum Slot {
  kBegin, kCommit, kRollback, kInsert, kUpdate, kDeleteRow, kById, kMaxId,
  kCount, kFixedSlots
};
enum KeySlot { kGT, kGE, kLT, kLE, kDupOf, kKeySlots };

// A row read ahead by NEXT/PREVIOUS.
struct AheadRow {
  int64_t id = 0, ver = 0, curId = 0;
  std::string rec, cur;
  std::vector<std::string> memos;
};

// Writes of any instance in this process bump the file's generation, so
// rows read ahead are dropped as soon as anything changed.
std::atomic<uint64_t>* Generation(const std::string& path) {
  static std::mutex mutex;
  static std::map<std::string, std::unique_ptr<std::atomic<uint64_t>>> gens;
  char buf[PATH_MAX];
  std::string key = ::realpath(path.c_str(), buf) ? buf : path;
  std::lock_guard<std::mutex> lock(mutex);
  auto& g = gens[key];
  if (!g) g = std::make_unique<std::atomic<uint64_t>>(0);
  return g.get();
}

double Seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Bound {
  std::string blob;  // keys
  int64_t id = 0;    // record order
  bool inclusive = false;
};

// How long a connection waits for SQLite's locks. The wait sleeps with
// the runtime lock released, so other windows go on while one thread
// waits for a file.
struct BusyWait {
  int ms = 5000;
  std::chrono::steady_clock::time_point start;
};

int OnBusy(void* arg, int count) {
  BusyWait& w = *static_cast<BusyWait*>(arg);
  auto now = std::chrono::steady_clock::now();
  if (count == 0) w.start = now;
  auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(now - w.start).count();
  if (waited >= w.ms) return 0;
  const bool held = rt::HoldsThreadLock();
  if (held) rt::UnlockThread();
  std::this_thread::sleep_for(std::chrono::milliseconds(
      std::min<long long>(std::min(count + 1, 20), w.ms - waited)));
  if (held) rt::LockThread();
  return 1;
}

void WaitFor(sqlite3* db, BusyWait& w, int ms) {
  w.ms = ms;
  sqlite3_busy_handler(db, &OnBusy, &w);
}

struct IsamState : FileDecl::OpenState {
  sqlite3* db = nullptr;
  AccessLock lock;
  std::string path, table, sqlTable;
  bool readOnly = false, stale = false, streaming = false, inLogout = false;
  bool fullBuild = false;
  // A batch (STREAM or LOGOUT) has its SQLite transaction open; a STREAM
  // begins it at its first write.
  bool txOpen = false;
  // SQLite rolled the batch back by itself (disk full, I/O error): every
  // further operation of the batch fails with this error until FLUSH,
  // COMMIT or ROLLBACK ends it.
  bool lost = false;
  rt::ErrorSnapshot lostError;
  int busyMs = 5000;
  BusyWait wait;
  int64_t nextId = 0;  // next record id while this instance holds a write transaction
  std::vector<size_t> keyLen;
  std::vector<sqlite3_stmt*> stmts;
  // sequence
  int seqKey = 0;
  Bound fwd, back;
  // read-ahead: rows fetched by the last sequence step not yet returned
  std::atomic<uint64_t>* gen = nullptr;
  std::vector<AheadRow> ahead;
  size_t aheadPos = 0, aheadCount = 0;
  bool aheadForward = true, stepRun = false;
  int aheadKey = 0;
  uint64_t aheadGen = 0;
  double aheadTime = 0;
  int64_t batch = 1;
  void DropAhead() {
    aheadPos = aheadCount = 0;
    stepRun = false;
  }
  void Changed() { gen->fetch_add(1); }
  // the record last read or written
  bool haveCur = false;
  int64_t curId = 0;
  int64_t curVer = 0;

  FileDecl* owner = nullptr;

  ~IsamState() override;
  bool InTx() const { return streaming || inLogout; }
};

IsamState* StateOf(FileDecl& f) { return static_cast<IsamState*>(f.State()); }

// The file's host path as a user would look for it.
// The file's host path as a user would look for it, in the runtime's
// Windows-1252 text.
std::string Where(const FileDecl& f) {
  std::string path = HostPath(f.Name());
  std::error_code ec;
  std::filesystem::path abs = std::filesystem::absolute(path, ec);
  return rt::FromUtf8(ec ? path : abs.lexically_normal().string());
}

// Sets `code` with a driver text naming the file and the reason.
void Fail(const FileDecl& f, int code, int driverCode, const std::string& reason) {
  rt::SetFileError(code, driverCode, Where(f) + ": " + reason, f.Name());
}

void ReportSql(FileDecl& f, int rc, sqlite3* db) {
  int primary = rc & 0xFF;
  std::string text = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  int code = rt::kDriverError;
  if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) {
    code = rt::kAccessDenied;
    text = "locked by another user or process (" + text + ")";
  } else if (primary == SQLITE_READONLY || primary == SQLITE_PERM) {
    code = rt::kAccessDenied;
  } else if (rc == SQLITE_CONSTRAINT_UNIQUE || rc == SQLITE_CONSTRAINT_PRIMARYKEY) {
    code = rt::kDuplicateKey;
  }
  Fail(f, code, rc, text);
}

// Fails an operation of a batch that SQLite already rolled back.
bool Lost(IsamState& s) {
  if (!s.lost) return false;
  rt::RestoreError(s.lostError);
  return true;
}

// Columns read for a record: id, stamp, image, the sequence column, memos.
std::string SelectList(const FileDecl& f, int key) {
  std::string s = "SELECT id, ver, rec, ";
  s += key ? "k" + std::to_string(key) : std::string("id");
  for (size_t m = 0; m < f.Memos().size(); ++m) s += ", m" + std::to_string(m + 1);
  return s;
}

std::string SlotSql(FileDecl& f, IsamState& s, size_t slot) {
  const std::string& T = s.sqlTable;
  size_t nk = f.Keys().size(), nm = f.Memos().size();
  switch (slot) {
    case kBegin: return "BEGIN IMMEDIATE";
    case kCommit: return "COMMIT";
    case kRollback: return "ROLLBACK";
    case kInsert: {
      std::string cols = "id, ver, rec", vals = "?1, ?2, ?3";
      for (size_t k = 0; k < nk; ++k) {
        cols += ", k" + std::to_string(k + 1);
        vals += ", ?" + std::to_string(4 + k);
      }
      for (size_t m = 0; m < nm; ++m) {
        cols += ", m" + std::to_string(m + 1);
        vals += ", ?" + std::to_string(4 + nk + m);
      }
      return "INSERT INTO " + T + " (" + cols + ") VALUES (" + vals + ")";
    }
    case kUpdate: {  // ?1 id, ?2 new stamp, ?3 image, keys, memos, last: old stamp
      std::string set = "ver = ?2, rec = ?3";
      for (size_t k = 0; k < nk; ++k)
        set += ", k" + std::to_string(k + 1) + " = ?" + std::to_string(4 + k);
      for (size_t m = 0; m < nm; ++m)
        set += ", m" + std::to_string(m + 1) + " = ?" + std::to_string(4 + nk + m);
      return "UPDATE " + T + " SET " + set + " WHERE id = ?1 AND ver = ?" +
             std::to_string(4 + nk + nm);
    }
    case kDeleteRow: return "DELETE FROM " + T + " WHERE id = ?1";
    case kById: return SelectList(f, 0) + " FROM " + T + " WHERE id = ?1";
    case kMaxId: return "SELECT coalesce(max(id), 0) FROM " + T;
    case kCount: return "SELECT count(*) FROM " + T;
    default: break;
  }
  size_t rel = slot - kFixedSlots;
  int key = static_cast<int>(rel / kKeySlots);
  int op = static_cast<int>(rel % kKeySlots);
  std::string col = key ? "k" + std::to_string(key) : std::string("id");
  std::string sel = SelectList(f, key) + " FROM " + T + " WHERE ";
  switch (op) {
    case kGT: return sel + col + " > ?1 ORDER BY " + col + " LIMIT ?2";
    case kGE: return sel + col + " >= ?1 ORDER BY " + col + " LIMIT ?2";
    case kLT: return sel + col + " < ?1 ORDER BY " + col + " DESC LIMIT ?2";
    case kLE: return sel + col + " <= ?1 ORDER BY " + col + " DESC LIMIT ?2";
    default: return "SELECT id FROM " + T + " WHERE " + col + " = ?1 AND id <> ?2 LIMIT 1";
  }
}

// The cached statement of a slot, reset and ready to bind; nullptr with
// the error set when it cannot be prepared.
sqlite3_stmt* Stmt(FileDecl& f, IsamState& s, size_t slot) {
  if (slot >= s.stmts.size()) s.stmts.resize(slot + 1, nullptr);
  sqlite3_stmt*& st = s.stmts[slot];
  if (!st) {
    std::string sql = SlotSql(f, s, slot);
    int rc = sqlite3_prepare_v3(s.db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr);
    if (rc != SQLITE_OK) {
      ReportSql(f, rc, s.db);
      st = nullptr;
      return nullptr;
    }
  }
  return st;
}

size_t KeyStmt(int key, int op) {
  return kFixedSlots + static_cast<size_t>(key) * kKeySlots + static_cast<size_t>(op);
}

// Runs a statement without result rows; false with the error set.
bool Run(FileDecl& f, IsamState& s, sqlite3_stmt* st) {
  int rc = sqlite3_step(st);
  sqlite3_reset(st);
  sqlite3_clear_bindings(st);
  if (rc == SQLITE_DONE || rc == SQLITE_ROW) return true;
  ReportSql(f, sqlite3_extended_errcode(s.db), s.db);
  return false;
}

bool RunSlot(FileDecl& f, IsamState& s, size_t slot) {
  sqlite3_stmt* st = Stmt(f, s, slot);
  return st && Run(f, s, st);
}

bool Exec(FileDecl& f, sqlite3* db, const std::string& sql) {
  char* msg = nullptr;
  int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &msg);
  sqlite3_free(msg);
  if (rc == SQLITE_OK) return true;
  ReportSql(f, sqlite3_extended_errcode(db), db);
  return false;
}

// The stored column value of key k (0-based) for the record buffer:
// false for an optional key left out.
bool KeyValue(FileDecl& f, size_t k, int64_t id, std::string& out) {
  const KeyDesc& kd = f.Keys()[k];
  if (!EncodeKey(f, kd, f.Record(), out)) return false;
  if (kd.attrib & kKeyDup)
    for (int i = 7; i >= 0; --i) out.push_back(static_cast<char>(static_cast<uint64_t>(id) >> (8 * i)));
  return true;
}

// Binds image, keys and memos from the buffer (keys left NULL when stale).
// The stored image: the record followed by the checksum of the record and
// its memos, so damage inside a record is found when it is read.
void StoredImage(const FileDecl& f, std::string& out) {
  Checksum ck;
  ck.Add(f.Record(), f.RecordLength());
  for (const MemoDesc& m : f.Memos()) ck.Add(m.data.data(), m.data.size());
  uint64_t v = ck.Value();
  out.assign(reinterpret_cast<const char*>(f.Record()), f.RecordLength());
  for (size_t i = 0; i < kChecksumBytes; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}

// True when a stored image (and the memos read with it) is whole; false
// with the damaged-file error naming the record otherwise.
// `memo(m)` gives memo m's stored bytes.
template <class MemoBytes>
bool Intact(const FileDecl& f, int64_t id, const void* image, size_t n, MemoBytes memo) {
  bool ok = image && n == f.RecordLength() + kChecksumBytes;
  if (ok) {
    Checksum ck;
    ck.Add(image, f.RecordLength());
    for (size_t m = 0; m < f.Memos().size(); ++m) {
      auto [p, len] = memo(m);
      ck.Add(p, len);
    }
    uint64_t v = ck.Value(), stored = 0;
    const uint8_t* p = static_cast<const uint8_t*>(image) + f.RecordLength();
    for (size_t i = 0; i < kChecksumBytes; ++i) stored |= uint64_t{p[i]} << (8 * i);
    ok = v == stored;
  }
  if (!ok)
    Fail(f, rt::kInvalidDataFile, 0, "damaged record at position " + std::to_string(id));
  return ok;
}

void BindRecord(FileDecl& f, sqlite3_stmt* st, int64_t id,
                bool withKeys, std::vector<std::string>& keep) {
  size_t nk = f.Keys().size();
  keep.resize(nk + 1);
  StoredImage(f, keep[nk]);
  sqlite3_bind_blob(st, 3, keep[nk].data(), static_cast<int>(keep[nk].size()), SQLITE_STATIC);
  for (size_t k = 0; k < nk; ++k) {
    int col = static_cast<int>(4 + k);
    if (withKeys && KeyValue(f, k, id, keep[k]))
      sqlite3_bind_blob(st, col, keep[k].data(), static_cast<int>(keep[k].size()), SQLITE_STATIC);
    else
      sqlite3_bind_null(st, col);
  }
  for (size_t m = 0; m < f.Memos().size(); ++m) {
    const auto& d = f.Memos()[m].data;
    static const uint8_t none = 0;
    sqlite3_bind_blob(st, static_cast<int>(4 + nk + m), d.empty() ? &none : d.data(),
                      static_cast<int>(d.size()), SQLITE_STATIC);
  }
}

// Loads the current row of `st` into the buffer and makes it current;
// false (nothing current) when the stored row is damaged.
bool LoadRow(FileDecl& f, IsamState& s, sqlite3_stmt* st) {
  const int64_t id = sqlite3_column_int64(st, 0);
  const void* rec = sqlite3_column_blob(st, 2);
  size_t n = static_cast<size_t>(sqlite3_column_bytes(st, 2));
  for (size_t m = 0; m < f.Memos().size(); ++m) {
    int col = static_cast<int>(4 + m);
    const uint8_t* p = static_cast<const uint8_t*>(sqlite3_column_blob(st, col));
    size_t bytes = static_cast<size_t>(sqlite3_column_bytes(st, col));
    f.Memos()[m].data.assign(p, p + (p ? bytes : 0));
  }
  auto memo = [&](size_t m) {
    const auto& d = f.Memos()[m].data;
    return std::pair<const void*, size_t>(d.data(), d.size());
  };
  if (!Intact(f, id, rec, n, memo)) {
    s.haveCur = false;
    return false;
  }
  s.curId = id;
  s.curVer = sqlite3_column_int64(st, 1);
  s.haveCur = true;
  std::memcpy(f.Record(), rec, f.RecordLength());
  return true;
}

void BindBound(sqlite3_stmt* st, int key, const Bound& b) {
  if (key)
    sqlite3_bind_blob(st, 1, b.blob.data(), static_cast<int>(b.blob.size()), SQLITE_TRANSIENT);
  else
    sqlite3_bind_int64(st, 1, b.id);
}

bool CheckKey(FileDecl& f, IsamState& s, int key) {
  if (key < 0 || static_cast<size_t>(key) > f.Keys().size()) {
    rt::SetError(rt::kInvalidIndex);
    return false;
  }
  if (key && s.stale) {
    rt::SetError(rt::kKeysMustBeRebuilt);
    return false;
  }
  return true;
}

bool CheckWrite(FileDecl& f, IsamState& s) {
  if (s.readOnly) {
    rt::SetFileError(rt::kAccessDenied, 0, "File opened read-only", f.Name());
    return false;
  }
  return true;
}

// Runs `body` inside this instance's batch, or in a transaction of its
// own. A batch whose transaction SQLite rolled back by itself is lost:
// this and every later operation of it fail with its error.
template <class Body>
void WriteOp(FileDecl& f, IsamState& s, Body body) {
  if (!CheckWrite(f, s) || Lost(s)) return;
  const bool own = !s.InTx();
  if (!own && !s.txOpen) {  // a STREAM begins writing at its first write
    if (!RunSlot(f, s, kBegin)) {
      // The batch cannot write (locked, disk full): it fails as a whole,
      // at once, rather than waiting for the lock once per record.
      s.lost = true;
      s.lostError = rt::SaveError();
      return;
    }
    s.txOpen = true;
  }
  if (own && !RunSlot(f, s, kBegin)) return;
  bool ok = body();
  s.Changed();
  if (!own) {
    if (sqlite3_get_autocommit(s.db)) {
      if (ok) Fail(f, rt::kDriverError, 0, "the batch was rolled back by the database");
      else if (rt::ErrorCode() != rt::kDriverError)
        rt::SetFileError(rt::kDriverError, rt::FileErrorCode(), rt::FileErrorText(), f.Name());
      s.txOpen = false;
      s.nextId = 0;
      s.lost = true;
      s.lostError = rt::SaveError();
      ok = false;
    }
  } else {
    if (ok && !RunSlot(f, s, kCommit)) ok = false;
    if (!ok && !sqlite3_get_autocommit(s.db)) {
      const rt::ErrorSnapshot e = rt::SaveError();
      RunSlot(f, s, kRollback);
      rt::RestoreError(e);
    }
    s.nextId = 0;
  }
  if (ok) rt::ClearError();
}

bool NextId(FileDecl& f, IsamState& s, int64_t& id) {
  if (s.nextId == 0) {
    sqlite3_stmt* st = Stmt(f, s, kMaxId);
    if (!st) return false;
    int rc = sqlite3_step(st);
    int64_t max = rc == SQLITE_ROW ? sqlite3_column_int64(st, 0) : 0;
    sqlite3_reset(st);
    if (rc != SQLITE_ROW) {
      ReportSql(f, sqlite3_extended_errcode(s.db), s.db);
      return false;
    }
    s.nextId = max + 1;
  }
  id = s.nextId++;
  return true;
}

void Insert(FileDecl& f, bool withKeys) {
  IsamState& s = *StateOf(f);
  WriteOp(f, s, [&] {
    int64_t id;
    if (!NextId(f, s, id)) return false;
    sqlite3_stmt* st = Stmt(f, s, kInsert);
    if (!st) return false;
    int64_t ver = static_cast<int64_t>(NewStamp());
    std::vector<std::string> keep;
    sqlite3_bind_int64(st, 1, id);
    sqlite3_bind_int64(st, 2, ver);
    BindRecord(f, st, id, withKeys, keep);
    if (!Run(f, s, st)) {
      --s.nextId;
      return false;
    }
    s.haveCur = true;
    s.curId = id;
    s.curVer = ver;
    return true;
  });
}

// Opens the SQLite connection of an existing database and applies the
// connection settings.
int OpenConnection(const std::string& path, int flags, BusyWait& wait, sqlite3** db) {
  int rc = sqlite3_open_v2(path.c_str(), db, flags, nullptr);
  if (rc != SQLITE_OK) return rc;
  sqlite3_extended_result_codes(*db, 1);
  WaitFor(*db, wait, wait.ms);
  char* msg = nullptr;
  rc = sqlite3_exec(*db, "PRAGMA synchronous=FULL", nullptr, nullptr, &msg);
  sqlite3_free(msg);
  return rc;
}

// Creates the record table and its indexes for `f` in an open database.
bool CreateTable(FileDecl& f, sqlite3* db, const std::string& table) {
  std::string T = SqlTable(table);
  std::string sql = "CREATE TABLE IF NOT EXISTS vm_files (tbl TEXT PRIMARY KEY, decl BLOB NOT NULL, stale INTEGER NOT NULL DEFAULT 0);"
                    "DROP TABLE IF EXISTS " + T + ";"
                    "CREATE TABLE " + T + " (id INTEGER PRIMARY KEY, ver INTEGER NOT NULL, rec BLOB NOT NULL";
  for (size_t k = 0; k < f.Keys().size(); ++k) sql += ", k" + std::to_string(k + 1) + " BLOB";
  for (size_t m = 0; m < f.Memos().size(); ++m) sql += ", m" + std::to_string(m + 1) + " BLOB";
  sql += ");";
  for (size_t k = 0; k < f.Keys().size(); ++k) {
    std::string n = std::to_string(k + 1);
    sql += std::string("CREATE ") + ((f.Keys()[k].attrib & kKeyDup) ? "" : "UNIQUE ") +
           "INDEX " + T + "_k" + n + " ON " + T + " (k" + n + ");";
  }
  sql += "CREATE TABLE IF NOT EXISTS vm_numbers (tbl TEXT, key INTEGER, grp BLOB, "
         "last INTEGER NOT NULL, PRIMARY KEY (tbl, key, grp));";
  std::string esc;
  for (char c : table) esc += c == '\'' ? std::string("''") : std::string(1, c);
  sql += "DELETE FROM vm_numbers WHERE tbl = '" + esc + "';";
  if (!Exec(f, db, sql)) return false;
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO vm_files (tbl, decl, stale) VALUES (?1, ?2, 0)", -1, &st, nullptr);
  std::string decl = SerializeDecl(f);
  sqlite3_bind_text(st, 1, table.data(), static_cast<int>(table.size()), SQLITE_STATIC);
  sqlite3_bind_blob(st, 2, decl.data(), static_cast<int>(decl.size()), SQLITE_STATIC);
  int rc = sqlite3_step(st);
  sqlite3_finalize(st);
  if (rc != SQLITE_DONE) {
    ReportSql(f, sqlite3_extended_errcode(db), db);
    return false;
  }
  return true;
}

// Lets the last connection checkpoint and remove the WAL, so the main
// file alone holds every record.
void Quiesce(const std::string& path) {
  if (CheckFormat(path).kind != FormatCheck::Ours) return;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK)
    sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
  sqlite3_close_v2(db);
}

void ApplyCommand(IsamState& s, std::string_view cmd, std::string* answer);
bool EndBatch(FileDecl& f, IsamState& s, bool commit);

// The calling thread's LOGOUT transaction: its files in LOGOUT order.
thread_local std::vector<FileDecl*> tTransaction;

// An instance dropped without CLOSE leaves its transaction (rolled back
// with the connection).
IsamState::~IsamState() {
  if (inLogout) std::erase(tTransaction, owner);
  for (sqlite3_stmt* st : stmts) sqlite3_finalize(st);
  if (db) sqlite3_close_v2(db);
}

// ---- the driver

class Isam final : public Driver {
 public:
  void Open(FileDecl& f, uint32_t mode) override;
  void Create(FileDecl& f) override;
  void Close(FileDecl& f) override;
  void Build(FileDecl& f) override;
  void Remove(FileDecl& f) override;
  void Copy(FileDecl& f, std::string_view target) override;
  void Rename(FileDecl& f, std::string_view target) override;
  void Set(FileDecl& f, int key) override;
  void SetFromRecord(FileDecl& f, int key) override;
  void SetAtPosition(FileDecl& f, std::string_view position) override;
  void Next(FileDecl& f) override { Step(f, true); }
  void Previous(FileDecl& f) override { Step(f, false); }
  void Get(FileDecl& f, int key) override;
  void GetAtPosition(FileDecl& f, std::string_view position) override;
  std::string Position(FileDecl& f) override;
  void Reget(FileDecl& f, std::string_view position) override;
  void Add(FileDecl& f) override;
  void Append(FileDecl& f) override;
  void Put(FileDecl& f) override;
  void Delete(FileDecl& f) override;
  uint32_t Records(FileDecl& f) override;
  bool Duplicate(FileDecl& f, int key) override;
  int64_t ReserveNumber(FileDecl& f, int key, int component, int64_t highest) override;
  void Stream(FileDecl& f) override;
  void Flush(FileDecl& f) override;
  std::string Send(FileDecl& f, std::string_view command) override;

 private:
  void Step(FileDecl& f, bool forward);
  bool ById(FileDecl& f, IsamState& s, int64_t id);
};

// The file and its folder can be written (the WAL and its index live
// beside the file).
bool Writable(const std::string& path) {
  std::string dir = std::filesystem::path(path).parent_path().string();
  return ::access(path.c_str(), W_OK) == 0 && ::access(dir.empty() ? "." : dir.c_str(), W_OK) == 0;
}

// A path as an SQLite URI ("file:" with the unsafe bytes escaped).
std::string Uri(const std::string& path, const char* query) {
  static const char* hex = "0123456789ABCDEF";
  std::string u = "file:";
  for (unsigned char c : path) {
    if (std::isalnum(c) || c == '/' || c == '.' || c == '-' || c == '_' || c == '~') {
      u.push_back(static_cast<char>(c));
    } else {
      u.push_back('%');
      u.push_back(hex[c >> 4]);
      u.push_back(hex[c & 15]);
    }
  }
  return u + "?" + query;
}

// The runtime's code and the words for an SQLite failure while a file is
// opened: 36 only for files that are not ours or damaged; locks give 5,
// transient conditions (disk full, I/O errors, no room for the WAL index)
// the driver error 90.
int OpenFailureCode(int rc, sqlite3* db) {
  switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_PERM:
    case SQLITE_READONLY:
    case SQLITE_AUTH:
      return rt::kAccessDenied;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_ERROR:  // no table of ours in it
    case SQLITE_SCHEMA:
      return rt::kInvalidDataFile;
    case SQLITE_CANTOPEN: {
      int err = db ? sqlite3_system_errno(db) : 0;
      return err == EACCES || err == EPERM || err == EROFS ? rt::kAccessDenied
                                                             : rt::kDriverError;
    }
    default:
      return rt::kDriverError;
  }
}

void Isam::Open(FileDecl& f, uint32_t mode) {
  std::string path = HostPath(f.Name()), table = TableOf(f.Name());
  if (path.empty()) return rt::SetError(rt::kFileNotFound);
  auto s = std::make_unique<IsamState>();
  s->driver = this;
  s->owner = &f;
  s->mode = mode;
  s->readOnly = (mode & 0x0F) == 0;
  s->path = path;
  s->table = table;
  s->sqlTable = SqlTable(table);
  for (std::string_view opts = f.SendText(); !opts.empty();) {
    size_t sp = opts.find(' ');
    ApplyCommand(*s, opts.substr(0, sp), nullptr);
    opts = sp == std::string_view::npos ? std::string_view{} : opts.substr(sp + 1);
  }
  for (const std::string& c : f.SentCommands()) ApplyCommand(*s, c, nullptr);
  // The bytes are checked before anything (the lock file, SQLite) is
  // created or opened for writing beside the file.
  FormatCheck fmt = CheckFormat(path);
  switch (fmt.kind) {
    case FormatCheck::Ours: break;
    case FormatCheck::Missing: return Fail(f, rt::kFileNotFound, 0, fmt.reason);
    case FormatCheck::NotOurs: return Fail(f, rt::kInvalidDataFile, 0, fmt.reason);
    case FormatCheck::Denied: return Fail(f, rt::kAccessDenied, 0, fmt.reason);
    case FormatCheck::Failed: return Fail(f, rt::kDriverError, 0, fmt.reason);
  }
  s->gen = Generation(path);
  // A read-only file or folder opens in the read-only modes alone, through
  // SQLite's read-only mode, immutable when no WAL holds changes, so
  // nothing is created beside the file.
  const bool writable = Writable(path);
  if (!writable && !s->readOnly)
    return Fail(f, rt::kAccessDenied, 0, "the file or its folder is read-only");
  if (!s->lock.Acquire(path, table, mode, true))
    return Fail(f, rt::ErrorCode(), 0, rt::FileErrorText());
  int rc = writable ? OpenConnection(path, SQLITE_OPEN_READWRITE, s->wait, &s->db)
                    : OpenConnection(Uri(path, WalHasFrames(path) ? "mode=ro" : "immutable=1"),
                                     SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, s->wait, &s->db);
  // A refused open leaves the file as it was: its WAL is not folded in.
  if (s->db) sqlite3_db_config(s->db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  sqlite3_stmt* st = nullptr;
  if (rc == SQLITE_OK)
    rc = sqlite3_prepare_v2(s->db, "SELECT decl, stale FROM vm_files WHERE tbl = ?1", -1, &st, nullptr);
  std::string stored;
  int stale = 0;
  if (rc == SQLITE_OK) {
    sqlite3_bind_text(st, 1, table.data(), static_cast<int>(table.size()), SQLITE_STATIC);
    rc = sqlite3_step(st);
    if (rc == SQLITE_ROW) {
      const char* p = static_cast<const char*>(sqlite3_column_blob(st, 0));
      stored.assign(p ? p : "", static_cast<size_t>(sqlite3_column_bytes(st, 0)));
      stale = sqlite3_column_int(st, 1);
    }
  }
  sqlite3_finalize(st);
  if (rc == SQLITE_DONE) return Fail(f, rt::kFileNotFound, 0, "no table \"" + table + "\" in the file");
  if (rc != SQLITE_ROW) {
    int code = OpenFailureCode(rc, s->db);
    std::string text = s->db ? sqlite3_errmsg(s->db) : sqlite3_errstr(rc);
    if (code == rt::kInvalidDataFile) text = "not a data file of this program, or damaged (" + text + ")";
    if ((rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED)
      text = "locked by another user or process (" + text + ")";
    return Fail(f, code, rc, text);
  }
  std::unique_ptr<FileDecl> disk = isam::ParseDecl(stored);
  if (!disk) return Fail(f, rt::kInvalidDataFile, 0, "damaged: its stored declaration cannot be read");
  if (!isam::SameStructure(f, *disk))
    return Fail(f, rt::kInvalidRecordDeclaration, 0,
                "the record declaration differs from the structure stored in the file");
  sqlite3_db_config(s->db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 0, nullptr);
  s->stale = stale != 0;
  for (const KeyDesc& k : f.Keys()) s->keyLen.push_back(KeyLength(f, k));
  s->seqKey = 0;
  s->fwd = {{}, kIdMin, true};
  s->back = {{}, kIdMax, true};
  f.SentCommands().clear();
  f.StateSlot() = std::move(s);
  if (StateOf(f)->stale)
    rt::SetError(rt::kKeysMustBeRebuilt);
  else
    rt::ClearError();
}

void Isam::Create(FileDecl& f) {
  if (f.State()) return rt::SetError(rt::kAccessDenied);
  std::string path = HostPath(f.Name()), table = TableOf(f.Name());
  if (path.empty()) return rt::SetError(rt::kFileNotFound);
  if (!FileIsFree(path)) return Fail(f, rt::kAccessDenied, 0, "the file is in use");
  FormatCheck::Kind fmt = CheckFormat(path).kind;
  sqlite3* db = nullptr;
  BusyWait wait;
  if (!table.empty() && fmt == FormatCheck::Ours) {
    // Another table of a multi-table file: replace this table alone.
    int rc = OpenConnection(path, SQLITE_OPEN_READWRITE, wait, &db);
    bool ok = rc == SQLITE_OK && Exec(f, db, "BEGIN IMMEDIATE") && CreateTable(f, db, table) &&
              Exec(f, db, "COMMIT");
    if (rc != SQLITE_OK) ReportSql(f, rc, db);
    sqlite3_close_v2(db);
    if (ok) rt::ClearError();
    return;
  }
  if (!table.empty() && fmt == FormatCheck::NotOurs)
    return Fail(f, rt::kInvalidDataFile, 0, "not a data file of this program");
  // A new file: built beside the target, then moved over it, so a crash
  // leaves the old file or the new one.
  std::string tmp = path + ".new" + std::to_string(::getpid());
  RemoveDatabaseFiles(tmp);
  int rc = OpenConnection(tmp, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, wait, &db);
  if (rc != SQLITE_OK) {
    int err = db ? sqlite3_system_errno(db) : 0;
    sqlite3_close_v2(db);
    RemoveDatabaseFiles(tmp);
    return Fail(f, err == ENOENT ? rt::kPathNotFound : rt::kAccessDenied, rc,
                std::string("cannot create the file: ") + std::strerror(err));
  }
  bool ok = Exec(f, db, "PRAGMA journal_mode=WAL") && Exec(f, db, "BEGIN") &&
            CreateTable(f, db, table) && Exec(f, db, "COMMIT");
  sqlite3_close_v2(db);  // the last connection folds the WAL into the file
  if (ok && PathExists(tmp + "-wal")) {
    ok = false;
    Fail(f, rt::kDriverError, 0, "the new file could not be completed");
  }
  if (!ok) {
    RemoveDatabaseFiles(tmp);
    return;
  }
  std::remove((path + "-wal").c_str());
  std::remove((path + "-shm").c_str());
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    int err = errno;
    RemoveDatabaseFiles(tmp);
    return Fail(f, rt::kAccessDenied, 0, std::string("cannot replace the file: ") + std::strerror(err));
  }
  // The rename is durable once the folder is synced.
  std::string dir = std::filesystem::path(path).parent_path().string();
  int dfd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  bool synced = dfd >= 0 && ::fsync(dfd) == 0;
  int err = errno;
  if (dfd >= 0) ::close(dfd);
  if (!synced)
    return Fail(f, rt::kDriverError, 0, std::string("cannot sync the folder: ") + std::strerror(err));
  rt::ClearError();
}

void Isam::Close(FileDecl& f) {
  IsamState& s = *StateOf(f);
  rt::ClearError();
  bool ok = true;
  if (s.streaming) {
    s.streaming = false;
    ok = EndBatch(f, s, true);
  }
  const rt::ErrorSnapshot e = rt::SaveError();
  if (s.inLogout) {  // its part of the transaction is rolled back
    EndBatch(f, s, false);
    std::erase(tTransaction, &f);
    s.inLogout = false;
  }
  f.StateSlot().reset();
  if (ok)
    rt::ClearError();
  else
    rt::RestoreError(e);
}

void Isam::Build(FileDecl& f) {
  IsamState& s = *StateOf(f);
  WriteOp(f, s, [&] {
    std::string T = s.sqlTable;
    std::string drop;
    for (size_t k = 0; k < f.Keys().size(); ++k)
      drop += "DROP INDEX IF EXISTS " + T + "_k" + std::to_string(k + 1) + ";";
    if (!Exec(f, s.db, drop)) return false;
    if (!f.Keys().empty()) {
      std::string set;
      for (size_t k = 0; k < f.Keys().size(); ++k)
        set += std::string(k ? ", " : "") + "k" + std::to_string(k + 1) + " = ?" + std::to_string(k + 2);
      sqlite3_stmt *sel = nullptr, *upd = nullptr;
      sqlite3_prepare_v2(s.db, ("SELECT id, rec FROM " + T + " WHERE id > ?1 ORDER BY id LIMIT 512").c_str(), -1, &sel, nullptr);
      sqlite3_prepare_v2(s.db, ("UPDATE " + T + " SET " + set + " WHERE id = ?1").c_str(), -1, &upd, nullptr);
      std::vector<uint8_t> saved(f.Record(), f.Record() + f.RecordLength());
      int64_t last = kIdMin;
      bool ok = sel && upd;
      std::vector<std::pair<int64_t, std::vector<uint8_t>>> batch;
      while (ok) {
        batch.clear();
        sqlite3_bind_int64(sel, 1, last);
        while (sqlite3_step(sel) == SQLITE_ROW) {
          const uint8_t* p = static_cast<const uint8_t*>(sqlite3_column_blob(sel, 1));
          size_t n = static_cast<size_t>(sqlite3_column_bytes(sel, 1));
          batch.emplace_back(sqlite3_column_int64(sel, 0), std::vector<uint8_t>(p, p + (p ? n : 0)));
        }
        sqlite3_reset(sel);
        if (batch.empty()) break;
        for (auto& [id, rec] : batch) {
          rec.resize(f.RecordLength(), 0);
          std::memcpy(f.Record(), rec.data(), f.RecordLength());
          std::vector<std::string> keys(f.Keys().size());
          sqlite3_bind_int64(upd, 1, id);
          for (size_t k = 0; k < keys.size(); ++k) {
            if (KeyValue(f, k, id, keys[k]))
              sqlite3_bind_blob(upd, static_cast<int>(k + 2), keys[k].data(), static_cast<int>(keys[k].size()), SQLITE_STATIC);
            else
              sqlite3_bind_null(upd, static_cast<int>(k + 2));
          }
          if (sqlite3_step(upd) != SQLITE_DONE) ok = false;
          sqlite3_reset(upd);
          last = id;
          if (!ok) break;
        }
      }
      if (!ok) ReportSql(f, sqlite3_extended_errcode(s.db), s.db);
      sqlite3_finalize(sel);
      sqlite3_finalize(upd);
      std::memcpy(f.Record(), saved.data(), f.RecordLength());
      if (!ok) return false;
    }
    std::string create;
    for (size_t k = 0; k < f.Keys().size(); ++k) {
      std::string n = std::to_string(k + 1);
      create += std::string("CREATE ") + ((f.Keys()[k].attrib & kKeyDup) ? "" : "UNIQUE ") +
                "INDEX " + T + "_k" + n + " ON " + T + " (k" + n + ");";
    }
    std::string tbl = s.table;
    std::string esc;
    for (char c : tbl) esc += c == '\'' ? std::string("''") : std::string(1, c);
    create += "UPDATE vm_files SET stale = 0 WHERE tbl = '" + esc + "';";
    return Exec(f, s.db, create);
  });
  if (rt::ErrorCode() == 0) {
    s.stale = false;
    s.fullBuild = false;
  }
}

void Isam::Remove(FileDecl& f) {
  std::string path = HostPath(f.Name()), table = TableOf(f.Name());
  if (!PathExists(path)) return rt::SetError(rt::kFileNotFound);
  if (!FileIsFree(path)) return rt::SetError(rt::kAccessDenied);
  if (table.empty()) {
    RemoveDatabaseFiles(path);
    return PathExists(path) ? rt::SetError(rt::kAccessDenied) : rt::ClearError();
  }
  if (CheckFormat(path).kind != FormatCheck::Ours) return rt::SetError(rt::kInvalidDataFile);
  sqlite3* db = nullptr;
  BusyWait wait;
  OpenConnection(path, SQLITE_OPEN_READWRITE, wait, &db);
  std::string esc;
  for (char c : table) esc += c == '\'' ? std::string("''") : std::string(1, c);
  bool ok = Exec(f, db, "BEGIN IMMEDIATE; DROP TABLE IF EXISTS " + SqlTable(table) +
                            "; DELETE FROM vm_files WHERE tbl = '" + esc + "'; COMMIT");
  sqlite3_close_v2(db);
  if (ok) rt::ClearError();
}

void Isam::Copy(FileDecl& f, std::string_view target) {
  std::string from = HostPath(f.Name()), to = HostPath(target);
  if (!PathExists(from)) return rt::SetError(rt::kFileNotFound);
  if (to.empty() || PathExists(to) || !FileIsFree(from)) return rt::SetError(rt::kAccessDenied);
  Quiesce(from);
  if (!CopyFileBytes(from, to)) return rt::SetError(rt::kAccessDenied);
  rt::ClearError();
}

void Isam::Rename(FileDecl& f, std::string_view target) {
  std::string from = HostPath(f.Name()), to = HostPath(target);
  if (!PathExists(from)) return rt::SetError(rt::kFileNotFound);
  if (to.empty() || PathExists(to) || !FileIsFree(from)) return rt::SetError(rt::kAccessDenied);
  Quiesce(from);
  std::remove((from + "-shm").c_str());
  if (std::rename(from.c_str(), to.c_str()) != 0) return rt::SetError(rt::kAccessDenied);
  rt::ClearError();
}

void Isam::Set(FileDecl& f, int key) {
  IsamState& s = *StateOf(f);
  if (!CheckKey(f, s, key)) return;
  s.DropAhead();
  s.seqKey = key;
  if (key) {
    s.fwd = {std::string(), 0, true};
    s.back = {std::string(s.keyLen[static_cast<size_t>(key - 1)] + 9, '\xFF'), 0, true};
  } else {
    s.fwd = {{}, kIdMin, true};
    s.back = {{}, kIdMax, true};
  }
  rt::ClearError();
}

void Isam::SetFromRecord(FileDecl& f, int key) {
  IsamState& s = *StateOf(f);
  if (key == 0) return Set(f, 0);
  if (!CheckKey(f, s, key)) return;
  const KeyDesc& kd = f.Keys()[static_cast<size_t>(key - 1)];
  std::string v;
  EncodeKey(f, kd, f.Record(), v);
  s.DropAhead();
  s.seqKey = key;
  s.fwd = {v, 0, true};
  if (kd.attrib & kKeyDup) v.append(8, '\xFF');
  s.back = {v, 0, true};
  rt::ClearError();
}

void Isam::SetAtPosition(FileDecl& f, std::string_view position) {
  IsamState& s = *StateOf(f);
  int64_t id = std::strtoll(std::string(position).c_str(), nullptr, 10);
  s.DropAhead();
  s.seqKey = 0;
  s.fwd = {{}, id, true};
  s.back = {{}, id, true};
  rt::ClearError();
}

// NEXT and PREVIOUS read ahead: a run of steps in one direction fetches
// 1, 2, 4 ... up to 64 rows (4 with memos) per statement, served from the
// buffer while no instance of this process wrote to the file and for at
// most 50 ms (changes by other processes show within that time).
void Isam::Step(FileDecl& f, bool forward) {
  IsamState& s = *StateOf(f);
  if (Lost(s) || !CheckKey(f, s, s.seqKey)) return;
  double now = Seconds();
  bool usable = s.aheadPos < s.aheadCount && s.aheadForward == forward &&
                s.aheadKey == s.seqKey && s.aheadGen == s.gen->load() &&
                now - s.aheadTime < 0.05;
  if (!usable) {
    bool continuing = s.stepRun && s.aheadForward == forward && s.aheadKey == s.seqKey &&
                      s.aheadPos >= s.aheadCount;
    int64_t cap = f.Memos().empty() ? 64 : 4;
    s.batch = continuing ? std::min(s.batch * 2, cap) : 1;
    const Bound& b = forward ? s.fwd : s.back;
    int op = forward ? (b.inclusive ? kGE : kGT) : (b.inclusive ? kLE : kLT);
    sqlite3_stmt* st = Stmt(f, s, KeyStmt(s.seqKey, op));
    if (!st) return;
    s.aheadGen = s.gen->load();
    s.aheadTime = now;
    s.aheadForward = forward;
    s.aheadKey = s.seqKey;
    s.aheadPos = s.aheadCount = 0;
    BindBound(st, s.seqKey, b);
    sqlite3_bind_int64(st, 2, s.batch);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
      if (s.ahead.size() <= s.aheadCount) s.ahead.emplace_back();
      AheadRow& r = s.ahead[s.aheadCount++];
      r.id = sqlite3_column_int64(st, 0);
      r.ver = sqlite3_column_int64(st, 1);
      auto text = [&](int col, std::string& out) {
        const char* p = static_cast<const char*>(sqlite3_column_blob(st, col));
        out.assign(p ? p : "", p ? static_cast<size_t>(sqlite3_column_bytes(st, col)) : 0);
      };
      text(2, r.rec);
      if (s.seqKey)
        text(3, r.cur);
      else
        r.curId = sqlite3_column_int64(st, 3);
      r.memos.resize(f.Memos().size());
      for (size_t m = 0; m < f.Memos().size(); ++m) text(static_cast<int>(4 + m), r.memos[m]);
    }
    sqlite3_reset(st);
    if (rc != SQLITE_DONE) {
      s.aheadCount = 0;
      return ReportSql(f, sqlite3_extended_errcode(s.db), s.db);
    }
    s.stepRun = true;
    if (s.aheadCount == 0) return rt::SetError(rt::kRecordNotAvailable);
  }
  const AheadRow& r = s.ahead[s.aheadPos++];
  auto memo = [&](size_t m) {
    return std::pair<const void*, size_t>(r.memos[m].data(), r.memos[m].size());
  };
  if (!Intact(f, r.id, r.rec.data(), r.rec.size(), memo)) {
    s.haveCur = false;
    s.DropAhead();
    return;
  }
  s.curId = r.id;
  s.curVer = r.ver;
  s.haveCur = true;
  std::memcpy(f.Record(), r.rec.data(), f.RecordLength());
  for (size_t m = 0; m < f.Memos().size(); ++m)
    f.Memos()[m].data.assign(r.memos[m].begin(), r.memos[m].end());
  if (s.seqKey) {
    s.fwd.blob = r.cur;
    s.back.blob = r.cur;
  } else {
    s.fwd.id = s.back.id = r.curId;
  }
  s.fwd.inclusive = s.back.inclusive = false;
  rt::ClearError();
}

void Isam::Get(FileDecl& f, int key) {
  IsamState& s = *StateOf(f);
  if (Lost(s)) return;
  if (key == 0 || !CheckKey(f, s, key)) {
    if (key == 0) rt::SetError(rt::kInvalidIndex);
    return;
  }
  const KeyDesc& kd = f.Keys()[static_cast<size_t>(key - 1)];
  std::string v;
  if (!EncodeKey(f, kd, f.Record(), v)) return rt::SetError(rt::kRecordNotFound);
  sqlite3_stmt* st = Stmt(f, s, KeyStmt(key, kGE));
  if (!st) return;
  sqlite3_bind_blob(st, 1, v.data(), static_cast<int>(v.size()), SQLITE_STATIC);
  sqlite3_bind_int64(st, 2, 1);
  int rc = sqlite3_step(st);
  bool found = false;
  if (rc == SQLITE_ROW) {
    const char* p = static_cast<const char*>(sqlite3_column_blob(st, 3));
    size_t n = static_cast<size_t>(sqlite3_column_bytes(st, 3));
    found = p && n >= v.size() && std::memcmp(p, v.data(), v.size()) == 0;
    if (found && !LoadRow(f, s, st)) {
      sqlite3_reset(st);
      return;
    }
  }
  sqlite3_reset(st);
  if (found) return rt::ClearError();
  if (rc == SQLITE_ROW || rc == SQLITE_DONE) return rt::SetError(rt::kRecordNotFound);
  ReportSql(f, sqlite3_extended_errcode(s.db), s.db);
}

bool Isam::ById(FileDecl& f, IsamState& s, int64_t id) {
  if (Lost(s)) return false;
  sqlite3_stmt* st = Stmt(f, s, kById);
  if (!st) return false;
  sqlite3_bind_int64(st, 1, id);
  int rc = sqlite3_step(st);
  if (rc == SQLITE_ROW && !LoadRow(f, s, st)) {
    sqlite3_reset(st);
    return false;
  }
  sqlite3_reset(st);
  if (rc == SQLITE_ROW) {
    rt::ClearError();
    return true;
  }
  if (rc == SQLITE_DONE)
    rt::SetError(rt::kRecordNotFound);
  else
    ReportSql(f, sqlite3_extended_errcode(s.db), s.db);
  return false;
}

void Isam::GetAtPosition(FileDecl& f, std::string_view position) {
  IsamState& s = *StateOf(f);
  ById(f, s, std::strtoll(std::string(position).c_str(), nullptr, 10));
}

std::string Isam::Position(FileDecl& f) {
  IsamState& s = *StateOf(f);
  if (!s.haveCur) {
    rt::SetError(rt::kRecordNotAvailable);
    return {};
  }
  rt::ClearError();
  return std::to_string(s.curId);
}

void Isam::Reget(FileDecl& f, std::string_view position) {
  IsamState& s = *StateOf(f);
  if (!ById(f, s, std::strtoll(std::string(position).c_str(), nullptr, 10))) return;
  // The sequence goes on from this record in the current key's order.
  s.DropAhead();
  if (s.seqKey && !s.stale) {
    std::string v;
    size_t k = static_cast<size_t>(s.seqKey - 1);
    if (KeyValue(f, k, s.curId, v)) {
      s.fwd = {v, 0, false};
      s.back = {v, 0, false};
    }
  } else if (!s.seqKey) {
    s.fwd = {{}, s.curId, false};
    s.back = {{}, s.curId, false};
  }
  rt::ClearError();
}

void Isam::Add(FileDecl& f) { Insert(f, true); }

void Isam::Append(FileDecl& f) {
  IsamState& s = *StateOf(f);
  if (f.Keys().empty()) return Insert(f, true);
  if (!s.stale) {
    // Marks the keys stale before the first record goes in without them.
    WriteOp(f, s, [&] {
      std::string esc;
      for (char c : s.table) esc += c == '\'' ? std::string("''") : std::string(1, c);
      return Exec(f, s.db, "UPDATE vm_files SET stale = 1 WHERE tbl = '" + esc + "'");
    });
    if (rt::ErrorCode()) return;
    s.stale = true;
  }
  Insert(f, false);
}

void Isam::Put(FileDecl& f) {
  IsamState& s = *StateOf(f);
  if (!s.haveCur) return rt::SetError(rt::kRecordNotAvailable);
  WriteOp(f, s, [&] {
    sqlite3_stmt* st = Stmt(f, s, kUpdate);
    if (!st) return false;
    int64_t ver = static_cast<int64_t>(NewStamp());
    std::vector<std::string> keep;
    sqlite3_bind_int64(st, 1, s.curId);
    sqlite3_bind_int64(st, 2, ver);
    BindRecord(f, st, s.curId, !s.stale, keep);
    sqlite3_bind_int64(st, static_cast<int>(4 + f.Keys().size() + f.Memos().size()), s.curVer);
    if (!Run(f, s, st)) return false;
    if (sqlite3_changes(s.db) == 0) {
      rt::SetError(rt::kRecordChangedByOther);
      return false;
    }
    s.curVer = ver;
    return true;
  });
}

void Isam::Delete(FileDecl& f) {
  IsamState& s = *StateOf(f);
  if (!s.haveCur) return rt::SetError(rt::kRecordNotAvailable);
  WriteOp(f, s, [&] {
    sqlite3_stmt* st = Stmt(f, s, kDeleteRow);
    if (!st) return false;
    sqlite3_bind_int64(st, 1, s.curId);
    if (!Run(f, s, st)) return false;
    if (sqlite3_changes(s.db) == 0) {
      rt::SetError(rt::kRecordNotAvailable);
      return false;
    }
    s.haveCur = false;
    return true;
  });
}

uint32_t Isam::Records(FileDecl& f) {
  IsamState& s = *StateOf(f);
  if (Lost(s)) return 0;
  sqlite3_stmt* st = Stmt(f, s, kCount);
  if (!st) return 0;
  int rc = sqlite3_step(st);
  uint32_t n = rc == SQLITE_ROW ? static_cast<uint32_t>(sqlite3_column_int64(st, 0)) : 0;
  sqlite3_reset(st);
  if (rc == SQLITE_ROW)
    rt::ClearError();
  else
    ReportSql(f, sqlite3_extended_errcode(s.db), s.db);
  return n;
}

bool Isam::Duplicate(FileDecl& f, int key) {
  IsamState& s = *StateOf(f);
  bool dup = false;
  for (size_t k = 0; k < f.Keys().size() && !dup; ++k) {
    if (key && static_cast<size_t>(key - 1) != k) continue;
    if (f.Keys()[k].attrib & kKeyDup) continue;
    std::string v;
    if (!EncodeKey(f, f.Keys()[k], f.Record(), v)) continue;
    sqlite3_stmt* st = Stmt(f, s, KeyStmt(static_cast<int>(k + 1), kDupOf));
    if (!st) return false;
    sqlite3_bind_blob(st, 1, v.data(), static_cast<int>(v.size()), SQLITE_STATIC);
    sqlite3_bind_int64(st, 2, s.haveCur ? s.curId : 0);
    dup = sqlite3_step(st) == SQLITE_ROW;
    sqlite3_reset(st);
  }
  rt::ClearError();
  return dup;
}

// Reservations live in vm_numbers: per table, key and values of the
// components before the numbered one, the last number handed out.
int64_t Isam::ReserveNumber(FileDecl& f, int key, int component, int64_t highest) {
  IsamState& s = *StateOf(f);
  KeyDesc before = f.Keys()[static_cast<size_t>(key - 1)];
  before.components.resize(static_cast<size_t>(component - 1));
  before.attrib &= ~kKeyOpt;
  std::string group;
  EncodeKey(f, before, f.Record(), group);
  int64_t number = 0;
  WriteOp(f, s, [&] {
    if (!Exec(f, s.db, "CREATE TABLE IF NOT EXISTS vm_numbers (tbl TEXT, key INTEGER, grp BLOB, "
                       "last INTEGER NOT NULL, PRIMARY KEY (tbl, key, grp))"))
      return false;
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(
        s.db,
        "INSERT INTO vm_numbers (tbl, key, grp, last) VALUES (?1, ?2, ?3, ?4 + 1) "
        "ON CONFLICT (tbl, key, grp) DO UPDATE SET last = max(last, ?4) + 1 RETURNING last",
        -1, &st, nullptr);
    if (rc == SQLITE_OK) {
      sqlite3_bind_text(st, 1, s.table.data(), static_cast<int>(s.table.size()), SQLITE_STATIC);
      sqlite3_bind_int(st, 2, key);
      sqlite3_bind_blob(st, 3, group.data(), static_cast<int>(group.size()), SQLITE_STATIC);
      sqlite3_bind_int64(st, 4, highest);
      rc = sqlite3_step(st);
      if (rc == SQLITE_ROW) number = sqlite3_column_int64(st, 0);
      while (rc == SQLITE_ROW) rc = sqlite3_step(st);
    }
    sqlite3_finalize(st);
    if (rc == SQLITE_DONE) return true;
    ReportSql(f, sqlite3_extended_errcode(s.db), s.db);
    return false;
  });
  return rt::ErrorCode() ? 0 : number;
}

// A STREAM takes SQLite's write lock only at its first write, so a batch
// begun before long work or a question to the user holds nothing meanwhile.
void Isam::Stream(FileDecl& f) {
  IsamState& s = *StateOf(f);
  if (s.InTx()) return rt::ClearError();
  s.streaming = true;
  s.txOpen = false;
  rt::ClearError();
}

// Ends a batch: commits what it wrote; a failed commit is rolled back and
// keeps its reason. Returns false with the error set.
bool EndBatch(FileDecl& f, IsamState& s, bool commit) {
  s.nextId = 0;
  if (s.lost) {
    s.lost = false;
    rt::RestoreError(s.lostError);
    return false;
  }
  if (!s.txOpen) {
    rt::ClearError();
    return true;
  }
  s.txOpen = false;
  s.Changed();
  if (RunSlot(f, s, commit ? kCommit : kRollback)) {
    rt::ClearError();
    return true;
  }
  const rt::ErrorSnapshot e = rt::SaveError();
  if (!sqlite3_get_autocommit(s.db)) RunSlot(f, s, kRollback);
  rt::RestoreError(e);
  return false;
}

void Isam::Flush(FileDecl& f) {
  IsamState& s = *StateOf(f);
  if (!s.streaming) return rt::ClearError();
  s.streaming = false;
  EndBatch(f, s, true);
}

// Driver commands: "FULLBUILD=on|off", "Recover=<seconds>" (the time
// waited for a lock). A command without "=" asks for the setting.
void ApplyCommand(IsamState& s, std::string_view cmd, std::string* answer) {
  size_t eq = cmd.find('=');
  std::string name(cmd.substr(0, eq));
  for (char& c : name) c = static_cast<char>(Upper1252(static_cast<uint8_t>(c)));
  std::string value = eq == std::string_view::npos ? std::string() : std::string(cmd.substr(eq + 1));
  bool query = eq == std::string_view::npos;
  if (name == "FULLBUILD") {
    if (query && answer) *answer = s.fullBuild ? "on" : "off";
    if (!query) s.fullBuild = value == "on" || value == "ON" || value == "1";
  } else if (name == "RECOVER") {
    if (query && answer) *answer = std::to_string(s.busyMs / 1000);
    if (!query) {
      long secs = std::strtol(value.c_str(), nullptr, 10);
      s.busyMs = secs > 0 ? static_cast<int>(std::min(secs, 3600L) * 1000) : 5000;
      s.wait.ms = s.busyMs;
      if (s.db) WaitFor(s.db, s.wait, s.busyMs);
    }
  }
}

std::string Isam::Send(FileDecl& f, std::string_view command) {
  rt::ClearError();
  std::string answer;
  if (IsamState* s = StateOf(f)) {
    ApplyCommand(*s, command, &answer);
  } else if (command.find('=') != std::string_view::npos) {
    f.SentCommands().emplace_back(command);  // applied at the next open
  }
  return answer;
}

// ---- LOGOUT / COMMIT / ROLLBACK: the calling thread's transaction

// Ends every file's part in LOGOUT order; the first failure (a failed
// commit, a part SQLite had already rolled back) is the result, with its
// reason.
void EndTransaction(bool commit) {
  bool failed = false;
  rt::ErrorSnapshot first;
  for (FileDecl* f : tTransaction) {
    IsamState* s = StateOf(*f);
    if (!s || !s->inLogout) continue;
    s->inLogout = false;
    WaitFor(s->db, s->wait, s->busyMs);
    // A part SQLite had already rolled back fails a COMMIT, not a ROLLBACK.
    if (!EndBatch(*f, *s, commit) && commit && !failed) {
      failed = true;
      first = rt::SaveError();
    }
  }
  tTransaction.clear();
  if (failed)
    rt::RestoreError(first);
  else
    rt::ClearError();
}

}  // namespace

Driver& IsamDriver() {
  static Isam d;
  return d;
}

void Logout(int timeoutSeconds, const std::vector<FileDecl*>& files) {
  if (!tTransaction.empty())
    return rt::SetFileError(rt::kAccessDenied, 0, "A transaction is already active");
  for (FileDecl* f : files) {
    IsamState* s = f && f->State() && f->State()->driver == &IsamDriver() ? StateOf(*f) : nullptr;
    if (!s) {
      EndTransaction(false);
      return rt::SetError(f && f->State() ? rt::kDriverError : rt::kFileNotOpen);
    }
    if (s->streaming) {  // the batch ends where the transaction begins
      s->streaming = false;
      if (!EndBatch(*f, *s, true)) {
        const rt::ErrorSnapshot e = rt::SaveError();
        EndTransaction(false);
        return rt::RestoreError(e);
      }
    }
    WaitFor(s->db, s->wait, std::max(timeoutSeconds, 0) * 1000);
    if (!CheckWrite(*f, *s) || !RunSlot(*f, *s, kBegin)) {
      const rt::ErrorSnapshot e = rt::SaveError();
      WaitFor(s->db, s->wait, s->busyMs);
      EndTransaction(false);
      return rt::RestoreError(e);
    }
    s->txOpen = true;
    s->inLogout = true;
    tTransaction.push_back(f);
  }
  rt::ClearError();
}

void Commit() { EndTransaction(true); }
void Rollback() { EndTransaction(false); }

}  // namespace db
