#pragma once
// Shared by the parts of the ISAM driver (records, files, batches): the
// state of an open instance, the driver class and the helpers each part
// uses.
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "isam_internal.h"
#include "velmora/runtime/errors.h"

namespace db::isam {

constexpr int64_t kIdMin = INT64_MIN, kIdMax = INT64_MAX;

enum Slot {
  kBegin, kCommit, kRollback, kInsert, kUpdate, kDeleteRow, kById, kMaxId,
  kCount, kFixedSlots
};

// Per key: the sequence reads, the duplicate check, and the sequence reads
// without the memo columns ("NOMEMO").
enum KeySlot { kGT, kGE, kLT, kLE, kDupOf, kGTBare, kGEBare, kLTBare, kLEBare, kKeySlots };

// A row read ahead by NEXT/PREVIOUS.
struct AheadRow {
  int64_t id = 0, ver = 0, curId = 0;
  std::string rec, cur;
  std::vector<std::string> memos;
  bool memosRead = true;  // false: fetched for a read without memos
};

struct Bound {
  std::string blob;  // keys
  int64_t id = 0;    // record order
  bool inclusive = false;
};

// How a connection waits for SQLite's locks: with back-off, for as long
// as the holder makes progress (the file or its WAL changes), and `ms`
// more once it stops. The wait sleeps with the runtime lock released, so
// other windows go on while one thread waits for a file.
struct BusyWait {
  int ms = 30000;
  std::string path;  // the database file, whose changes are the holder's progress
  std::chrono::steady_clock::time_point lastChange;
  std::string seen;  // the file's and its WAL's size and time at the last change
};

struct IsamState : FileDecl::OpenState {
  sqlite3* db = nullptr;
  AccessLock lock;
  std::string path, table, sqlTable;
  bool readOnly = false, stale = false, streaming = false, inLogout = false;
  bool fullBuild = false;
  // "SYNC=off" took the file off its WAL until CLOSE (see ApplyCommand).
  bool unjournaled = false;
  // Since its keys went stale, every record written carried its key
  // values: BUILD need not look for records to encode again.
  bool keysComplete = false;
  // "SYNC=" sent inside a transaction: 1 on, 0 off, applied when it ends.
  int pendingSync = -1;
  // A descriptor of the file for handing its pages to the disk early
  // (StartWriteBack); -1 until then.
  int writeBackFd = -1;
  // The bound values of the last record written (kept for reuse).
  std::vector<std::string> bound;
  // A batch (STREAM or LOGOUT) has its SQLite transaction open; a STREAM
  // begins it at its first write.
  bool txOpen = false;
  // SQLite rolled the batch back by itself (disk full, I/O error): every
  // further operation of the batch fails with this error until FLUSH,
  // COMMIT or ROLLBACK ends it.
  bool lost = false;
  rt::ErrorSnapshot lostError;
  // A write failed in a way that fails every later one too (disk full,
  // I/O error, damaged or missing file).
  bool lasting = false;
  int busyMs = 30000;  // the lock wait, or the file's "Recover="
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
  // "NOMEMO": the next NEXT or PREVIOUS leaves the memos and blobs out
  bool noMemo = false;
  // the record last read or written; without its memos it cannot be PUT
  bool haveCur = false;
  bool curWithoutMemos = false;
  int64_t curId = 0;
  int64_t curVer = 0;

  FileDecl* owner = nullptr;

  ~IsamState() override;
  bool InTx() const { return streaming || inLogout; }
};

class Isam final : public Driver {
 public:
  void Open(FileDecl& f, uint32_t mode) override;
  void Create(FileDecl& f) override;
  void CreateMissing(FileDecl& f) override;
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
  bool WritesCannotGoOn(const FileDecl& f) override;
  bool Duplicate(FileDecl& f, int key) override;
  int64_t ReserveNumber(FileDecl& f, int key, int component, int64_t highest) override;
  void Stream(FileDecl& f) override;
  void Flush(FileDecl& f) override;
  std::string Send(FileDecl& f, std::string_view command) override;

 private:
  void Step(FileDecl& f, bool forward);
  bool ById(FileDecl& f, IsamState& s, int64_t id);
};

inline IsamState* StateOf(FileDecl& f) { return static_cast<IsamState*>(f.State()); }

// ---- names, statements and errors (isam.cpp)
std::string TableOf(std::string_view name);
std::string SqlTable(const std::string& table);
std::atomic<uint64_t>* Generation(const std::string& path);
void WaitFor(sqlite3* db, BusyWait& w, int ms);
std::string Where(const FileDecl& f);
void Fail(const FileDecl& f, int code, int driverCode, const std::string& reason);
void ReportSql(FileDecl& f, int rc, sqlite3* db);
bool Lost(IsamState& s);
bool RunSlot(FileDecl& f, IsamState& s, size_t slot);
bool Exec(FileDecl& f, sqlite3* db, const std::string& sql);
bool KeyValue(FileDecl& f, size_t k, int64_t id, std::string& out);
bool CheckWrite(FileDecl& f, IsamState& s);

// ---- files (isam_files.cpp)
int OpenConnection(const std::string& path, int flags, BusyWait& wait, sqlite3** db);
// A driver command split: its name upper-cased, its value, and whether it
// asks (no "="); On() for a switch's value ("on", "ON" or "1").
struct DriverCommand {
  std::string name, value;
  bool query = false;
  bool On() const { return value == "on" || value == "ON" || value == "1"; }
};
DriverCommand ParseCommand(std::string_view cmd);
void ApplyCommand(IsamState& s, std::string_view cmd, std::string* answer);
// Sets the synchronous level of the file's connection (outside a transaction).
void SetSync(IsamState& s, bool on);

// ---- batches (isam_batch.cpp)
bool EndBatch(FileDecl& f, IsamState& s, bool commit);
// The calling thread's LOGOUT transaction: its files in LOGOUT order.
extern thread_local std::vector<FileDecl*> tTransaction;

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

}  // namespace db::isam
