// The ISAM driver: one SQLite database per data file. Each table of the
// file ("file\!table"; the plain name is the table "") keeps its stored
// declaration in vm_files and its records in a table of its own: the
// record image followed by a checksum of the image and its memos (checked
// on every read), a change stamp, one column per key holding the key's
// order-preserving encoding (with the record id appended for keys that
// allow duplicates, so every index entry is unique and scans seek
// exactly) and one column per memo or blob. Auto-numbers reserved ahead of
// their ADD are kept in vm_numbers.
//
// This part: statements, errors and the record operations. The file as a
// whole is in isam_files.cpp, batches in isam_batch.cpp, the format
// helpers in isam_format.cpp.
//
// Durability: WAL journal with synchronous=FULL, so a change made outside
// STREAM and LOGOUT is on disk when its call returns. A STREAM batch is
// one transaction, durable at FLUSH or CLOSE. LOGOUT runs one transaction
// per file, committed in order: each file's part is atomic, the set of
// files is not (a crash between two commits keeps the earlier files').
// A file rebuilt from another ("SYNC=off", of no use until complete) is
// the exception: it is written without its WAL and is whole only once its
// CLOSE has synced it.
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

#include "isam_state.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/text.h"
#include "velmora/runtime/threads.h"

namespace db::isam {

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


uint64_t NewStamp() {
  thread_local std::mt19937_64 gen{std::random_device{}() ^
                                   (static_cast<uint64_t>(::getpid()) << 32)};
  return gen() >> 1;
}

// ---- the open instance



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



// Sizes and modification times of a database file and its WAL: a writer
// that commits changes one of them.
std::string Activity(const std::string& path) {
  std::string seen;
  for (const std::string& p : {path, path + "-wal"}) {
    struct stat st;
    if (::stat(p.c_str(), &st) == 0)
      seen += std::to_string(st.st_size) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
              std::to_string(st.st_mtim.tv_nsec) + ";";
    else
      seen += "-;";
  }
  return seen;
}

int OnBusy(void* arg, int count) {
  BusyWait& w = *static_cast<BusyWait*>(arg);
  auto now = std::chrono::steady_clock::now();
  std::string seen = Activity(w.path);
  if (count == 0 || seen != w.seen) {
    w.seen = std::move(seen);
    w.lastChange = now;
  }
  auto still = std::chrono::duration_cast<std::chrono::milliseconds>(now - w.lastChange).count();
  if (still >= w.ms) return 0;
  // Back-off from 1 to 20 ms, varied so that waiters do not retry in step.
  thread_local std::minstd_rand jitter{static_cast<unsigned>(::getpid()) ^ static_cast<unsigned>(count)};
  long long pause = std::min(count + 1, 20) + static_cast<long long>(jitter() % 4);
  const bool held = rt::HoldsThreadLock();
  if (held) rt::UnlockThread();
  std::this_thread::sleep_for(std::chrono::milliseconds(std::min<long long>(pause, w.ms - still)));
  if (held) rt::LockThread();
  return 1;
}

void WaitFor(sqlite3* db, BusyWait& w, int ms) {
  w.ms = ms;
  sqlite3_busy_handler(db, &OnBusy, &w);
}



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
  // The disk's own reason, where SQLite knows it: the last system error,
  // else the one the file's last failed write or read kept (a commit that
  // fails writes back what it had written before it reports).
  int err = db ? sqlite3_system_errno(db) : 0;
  if (db && err == 0) sqlite3_file_control(db, "main", SQLITE_FCNTL_LAST_ERRNO, &err);
  if (err != 0 && (primary == SQLITE_IOERR || primary == SQLITE_FULL || primary == SQLITE_CANTOPEN))
    text += std::string(" (") + std::strerror(err) + ")";
  if (primary == SQLITE_FULL || primary == SQLITE_IOERR || primary == SQLITE_CANTOPEN ||
      primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB)
    if (IsamState* s = StateOf(f)) s->lasting = true;
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
std::string SelectList(const FileDecl& f, int key, bool memos = true) {
  std::string s = "SELECT id, ver, rec, ";
  s += key ? "k" + std::to_string(key) : std::string("id");
  for (size_t m = 0; memos && m < f.Memos().size(); ++m) s += ", m" + std::to_string(m + 1);
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
  const bool memos = op < kGTBare;
  if (!memos) op -= kGTBare;
  std::string col = key ? "k" + std::to_string(key) : std::string("id");
  std::string sel = SelectList(f, key, memos) + " FROM " + T + " WHERE ";
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
  s.curWithoutMemos = false;
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
    sqlite3_bind_int64(st, 1, id);
    sqlite3_bind_int64(st, 2, ver);
    BindRecord(f, st, id, withKeys, s.bound);
    if (!withKeys) s.keysComplete = false;
    if (!Run(f, s, st)) {
      --s.nextId;
      return false;
    }
    s.haveCur = true;
    s.curWithoutMemos = false;
    s.curId = id;
    s.curVer = ver;
    return true;
  });
}







// ---- the driver












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
  // "NOMEMO" skips the memos of this read: SQLite never loads their pages
  const bool noMemo = s.noMemo;
  s.noMemo = false;
  if (Lost(s) || !CheckKey(f, s, s.seqKey)) return;
  double now = Seconds();
  bool usable = s.aheadPos < s.aheadCount && s.aheadForward == forward &&
                s.aheadKey == s.seqKey && s.aheadGen == s.gen->load() &&
                now - s.aheadTime < 0.05 && (noMemo || s.ahead[s.aheadPos].memosRead);
  if (!usable) {
    bool continuing = s.stepRun && s.aheadForward == forward && s.aheadKey == s.seqKey &&
                      s.aheadPos >= s.aheadCount;
    int64_t cap = f.Memos().empty() || noMemo ? 64 : 4;
    s.batch = continuing ? std::min(s.batch * 2, cap) : 1;
    const Bound& b = forward ? s.fwd : s.back;
    int op = forward ? (b.inclusive ? kGE : kGT) : (b.inclusive ? kLE : kLT);
    if (noMemo) op += kGTBare;
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
      r.memosRead = !noMemo;
      for (size_t m = 0; m < f.Memos().size(); ++m) {
        if (noMemo) r.memos[m].clear();
        else text(static_cast<int>(4 + m), r.memos[m]);
      }
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
  // the checksum covers the memos: a read without them is checked by the
  // next full read of the record
  bool intact = r.memosRead ? Intact(f, r.id, r.rec.data(), r.rec.size(), memo)
                            : r.rec.size() == f.RecordLength() + kChecksumBytes;
  if (!intact && !r.memosRead) Fail(f, rt::kInvalidDataFile, 0, "damaged record at position " + std::to_string(r.id));
  if (!intact) {
    s.haveCur = false;
    s.DropAhead();
    return;
  }
  s.curId = r.id;
  s.curVer = r.ver;
  s.haveCur = true;
  s.curWithoutMemos = !r.memosRead;
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
    // Marks the keys stale before the first record goes in without them,
    // and drops their indexes: appended records carry their key values,
    // and BUILD makes each index once, in order, instead of record by record.
    WriteOp(f, s, [&] {
      std::string esc;
      for (char c : s.table) esc += c == '\'' ? std::string("''") : std::string(1, c);
      std::string drop;
      for (size_t k = 0; k < f.Keys().size(); ++k)
        drop += "DROP INDEX IF EXISTS " + s.sqlTable + "_k" + std::to_string(k + 1) + ";";
      return Exec(f, s.db, drop + "UPDATE vm_files SET stale = 1 WHERE tbl = '" + esc + "'");
    });
    if (rt::ErrorCode()) return;
    s.stale = true;
    // Until then every record had its key values (an optional key left out
    // has none, and encoding it again gives none); while this instance
    // holds the file alone, only its own PUTs can leave records without.
    s.keysComplete = (s.mode & 0xF0) == kDenyAll;
  }
  Insert(f, true);
}

void Isam::Put(FileDecl& f) {
  IsamState& s = *StateOf(f);
  // a record read without its memos would lose them
  if (!s.haveCur || s.curWithoutMemos) return rt::SetError(rt::kRecordNotAvailable);
  WriteOp(f, s, [&] {
    sqlite3_stmt* st = Stmt(f, s, kUpdate);
    if (!st) return false;
    int64_t ver = static_cast<int64_t>(NewStamp());
    sqlite3_bind_int64(st, 1, s.curId);
    sqlite3_bind_int64(st, 2, ver);
    BindRecord(f, st, s.curId, !s.stale, s.bound);
    if (s.stale) s.keysComplete = false;  // written without its key values
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

bool Isam::WritesCannotGoOn(const FileDecl& f) {
  const IsamState* s = static_cast<const IsamState*>(f.State());
  return s && (s->lost || s->lasting);
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

}  // namespace db::isam
