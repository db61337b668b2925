#pragma once
// Shared between the parts of velmora_files: the driver interface, the
// per-instance open state and small helpers.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "velmora/files/decl.h"
#include "velmora/files/files.h"

namespace db {

class Driver;

// Base of every driver's per-instance state.
struct FileDecl::OpenState {
  virtual ~OpenState() = default;
  Driver* driver = nullptr;
  uint32_t mode = 0;
};

// One file driver. Every operation sets the thread's error state.
// The defaults answer for drivers that do not support an operation.
class Driver {
 public:
  virtual ~Driver() = default;
  virtual void Open(FileDecl& f, uint32_t mode) = 0;
  virtual void Create(FileDecl& f) = 0;
  // CREATE of a file found missing: a file made meanwhile is kept.
  virtual void CreateMissing(FileDecl& f);
  virtual void Close(FileDecl& f) = 0;
  virtual void Build(FileDecl& f);
  virtual void Remove(FileDecl& f);
  virtual void Copy(FileDecl& f, std::string_view target);
  virtual void Rename(FileDecl& f, std::string_view target);
  virtual void Set(FileDecl& f, int key);
  virtual void SetFromRecord(FileDecl& f, int key);
  virtual void SetAtPosition(FileDecl& f, std::string_view position);
  virtual void Next(FileDecl& f) = 0;
  virtual void Previous(FileDecl& f);
  virtual void Get(FileDecl& f, int key);
  virtual void GetAtPosition(FileDecl& f, std::string_view position);
  virtual std::string Position(FileDecl& f);
  virtual void Reget(FileDecl& f, std::string_view position);
  virtual void Add(FileDecl& f) = 0;
  virtual void Add(FileDecl& f, uint32_t length);
  virtual void Append(FileDecl& f);
  virtual void Put(FileDecl& f);
  virtual void Delete(FileDecl& f);
  virtual uint32_t Records(FileDecl& f);
  virtual bool WritesCannotGoOn(const FileDecl&) { return false; }
  virtual bool Duplicate(FileDecl& f, int key);
  virtual int64_t ReserveNumber(FileDecl& f, int key, int component, int64_t highest);
  virtual void Stream(FileDecl& f);
  virtual void Flush(FileDecl& f);
  virtual std::string Send(FileDecl& f, std::string_view command);
  virtual std::vector<uint8_t> ReadBytes(FileDecl& f, uint64_t position,
                                         uint32_t length);
  virtual uint64_t FileSize(FileDecl& f);
  // A file's part of a LOGOUT of another driver than ISAM: false with the
  // error set when it cannot take part; its End after COMMIT or ROLLBACK.
  virtual bool BeginLogout(FileDecl& f, int timeoutSeconds);
  virtual bool EndLogout(FileDecl& f, bool commit);
};

// The registered drivers.
Driver& IsamDriver();
Driver& BasicDriver();
Driver& DosDriver();
Driver& TavrelDriver();  // old-format data files, read only

// Registered SQL drivers (sql_driver.cpp): the driver of a name or
// nullptr, its 1-based slot (0 when none) and the name of a slot.
Driver* SqlDriverFor(std::string_view name);
uint32_t SqlDriverSlot(std::string_view name);
std::string SqlDriverName(uint32_t slot);
// Runs a statement through, or reads back the last statement of, an open
// SQL driver's file; false when the file is not one.
bool SetSqlStatement(FileDecl& f, std::string_view statement);
bool GetSqlStatement(const FileDecl& f, std::string& out);
// Whether the file is open through an SQL driver.
bool IsOpenSqlFile(const FileDecl& f);
// The SQL files' own properties (EndResult, Statement, ServerVersion):
// false when the file is not open through an SQL driver.
bool GetSqlFileProperty(const FileDecl& f, Prop p, std::string& out);
bool SetSqlFileProperty(FileDecl& f, Prop p, std::string_view value);
// Takes a file closing in the middle of a LOGOUT out of the transaction.
void LeaveLogout(FileDecl& f);

// Sets error 90 with "<what> is not supported by the <driver> driver".
void NotSupported(const FileDecl& f, std::string_view what);

// Windows-1252 upper case of one byte.
uint8_t Upper1252(uint8_t c);

// File-system helpers used by the drivers.
bool PathExists(const std::string& path);
// Copies a file byte for byte (target must not exist); false on failure.
bool CopyFileBytes(const std::string& from, const std::string& to);
// The size of an open host file; 0 when it cannot be read.
uint64_t HostFileSize(int fd);
// Up to `length` bytes at `position` of an open host file, fewer at its
// end; on a read failure none, with the access error set.
std::vector<uint8_t> ReadHostBytes(int fd, uint64_t position, uint32_t length);

}  // namespace db

namespace db {

// ---- keys (keys.cpp)

// The order-preserving encoding of key `k` from record `rec`: memcmp order
// of two encodings is the key order (descending components inverted,
// no-case keys upper-cased, text without its trailing blanks, numbers by
// value). Returns false for an optional key whose fields are all empty.
bool EncodeKey(const FileDecl& f, const KeyDesc& k, const uint8_t* rec,
               std::string& out);
// Length of every encoding of key `k`.
size_t KeyLength(const FileDecl& f, const KeyDesc& k);

}  // namespace db

namespace db {

// ---- access modes (locks.cpp)

// One open instance's hold on a file: an entry in the process-wide table
// of open instances and, across processes, shared locks on byte ranges of
// the file's companion lock file ("<file>.lck").
class AccessLock {
 public:
  AccessLock() = default;
  AccessLock(const AccessLock&) = delete;
  AccessLock& operator=(const AccessLock&) = delete;
  ~AccessLock() { Release(); }
  // Takes `mode` on (file, table); false with error 5 on a conflict.
  // `crossProcess` adds the lock-file locks (data files only: text and
  // raw files get no companion file).
  bool Acquire(const std::string& hostPath, const std::string& table,
               uint32_t mode, bool crossProcess);
  void Release();
  bool Held() const { return !key_.empty(); }

 private:
  std::string key_;
  uint64_t id_ = 0;
  int fd_ = -1;
};

// True when no instance of the file (any table) is open, in this process
// or, as far as the lock file tells, in another one.
bool FileIsFree(const std::string& hostPath);
// Removes the lock file of a data file that is going away (or moving).
void RemoveLockFile(const std::string& hostPath);

}  // namespace db

namespace db {

// Base of the drivers of plain files read in record order (BASIC, DOS):
// a byte position for the next record and the one last read.
struct PlainState : FileDecl::OpenState {
  AccessLock lock;
  std::string path;
  uint64_t next = 0, current = 0;
  bool haveCur = false;
};

class PlainDriver : public Driver {
 public:
  void Create(FileDecl& f) override;  // an empty file, replacing any
  void CreateMissing(FileDecl& f) override;
  void Close(FileDecl& f) override;
  void Set(FileDecl& f, int key) override;
  void SetAtPosition(FileDecl& f, std::string_view position) override;
  std::string Position(FileDecl& f) override;

 protected:
  // Fills the state for OPEN: false with error 2 for a missing file or 5
  // for a mode conflict.
  bool Prepare(FileDecl& f, uint32_t mode, PlainState& s);
  static PlainState& Plain(FileDecl& f) { return *static_cast<PlainState*>(f.State()); }
  static uint64_t ParsePosition(std::string_view p);
};

}  // namespace db
