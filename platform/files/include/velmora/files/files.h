#pragma once
// The runtime's file operations. Each sets the thread's error state
// (rt::ErrorCode() and friends); callers test it after the call.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "velmora/files/decl.h"

namespace db {

// Access modes: low nibble 0 read-only, 2 read/write; high nibble
// 0x10 deny all, 0x20 deny write, 0x40 deny none.
enum : uint32_t {
  kReadOnly = 0x00, kReadWrite = 0x02,
  kDenyAll = 0x10, kDenyWrite = 0x20, kDenyNone = 0x40,
};

// File properties read and written by number.
enum class Prop : uint32_t {
  Name = 0x7316, Owner = 0x7315, Driver = 0x730D, Sql = 0x7200,
  Label = 0x7317, Attributes = 0x7318, Create = 0x7319, Records = 0x731A,
  DriverLogout = 0x7246,
  // Of an open SQL file: reading EndResult ends the last statement's
  // result for the file (NEXT gives 33 until the next statement); Statement
  // is the text of the last statement, and setting it (an empty text
  // forgets it) runs nothing; a closed file has neither. ServerVersion (read only) is the server's
  // version from the open file's connection: 37 when the file is not open,
  // 90 when the server gives none.
  EndResult = 0x7245, Statement = 0x7243, ServerVersion = 0x724A,
};

// ---- opening and structure
// OPEN: 2 missing file or table (a CREATE attribute does not create it),
// 5 mode conflict or lock, 36 not a data file of ours (or damaged),
// 46 keys must be rebuilt (the file is open, in record order only),
// 47 declaration differs from the stored one, 52 instance already open.
// A mode without deny bits counts as deny none. Read-only modes refuse
// writes with 5.
void Open(FileDecl& f, uint32_t mode = kReadWrite | kDenyNone);
void Create(FileDecl& f);  // replaces an existing file or table
// CREATE of a file (or table) found missing: one that another instance or
// process made meanwhile is kept as it is, and nothing is created.
void CreateMissing(FileDecl& f);
void Close(FileDecl& f);  // ends a STREAM batch; rolls back the file's LOGOUT part
bool IsOpen(const FileDecl& f);
void Build(FileDecl& f);   // rebuild every key
void Remove(FileDecl& f);  // the disk file (or table) of a closed declaration
// COPY and RENAME refuse (5) an existing target and a file open anywhere
// in the process (or, as far as locks tell, in another one).
void Copy(FileDecl& f, std::string_view target);
void Rename(FileDecl& f, std::string_view target);

// The one replaceable open through which the class library and the
// program's file routines open data files (the upgrade engine installs
// its own). By default it is a plain Open.
using OpenHookFn = std::function<void(FileDecl&, uint32_t mode)>;
void SetOpenHook(OpenHookFn hook);  // an empty function restores the plain open
void HookedOpen(FileDecl& f, uint32_t mode);

// ---- sequential and keyed access; keys are 1-based numbers, 0 = record order
void Set(FileDecl& f, int key = 0);             // start of the key (or file)
void SetFromRecord(FileDecl& f, int key);       // start at the key value in the buffer
void SetAtPosition(FileDecl& f, std::string_view position);  // record order, from a position
void Next(FileDecl& f);
void Previous(FileDecl& f);
void Get(FileDecl& f, int key);                 // exact key value from the buffer
void GetAtPosition(FileDecl& f, std::string_view position);
std::string Position(FileDecl& f);              // of the current record (opaque)
void Reget(FileDecl& f, std::string_view position);  // = GetAtPosition, keeps the key sequence
void Add(FileDecl& f);
// ADD with a length (DOS driver): writes the first `length` bytes of the
// record buffer at the end of the file.
void Add(FileDecl& f, uint32_t length);
void Append(FileDecl& f);                       // add without key updates until BUILD
void Put(FileDecl& f);                          // write back the record last read
                                                // (89 when another instance changed
                                                // or deleted it since)
void Delete(FileDecl& f);                       // delete the record last read
uint32_t Records(FileDecl& f);
// True once a failed write to the open file means that no later one can
// succeed until something outside the program changes: the disk or a
// size limit is full, the disk reported an I/O error, the file is gone or
// damaged, or its batch was rolled back by the database. False for faults
// of the record itself (a duplicate key, a value the driver refuses).
bool WritesCannotGoOn(const FileDecl& f);
bool Duplicate(FileDecl& f, int key = 0);       // would the buffer duplicate a unique key?
// Reserves the next number of the auto-numbered component `component`
// (1-based) of key `key` for the values the components before it have in
// the record buffer: one more than the larger of `highest` and the last
// number reserved for those values. The reservation is kept in the file
// (inside the caller's transaction when one is active), so no other
// thread or process is given the same number; a number that is never
// added leaves a gap. Drivers that keep no reservations give highest + 1.
int64_t ReserveNumber(FileDecl& f, int key, int component, int64_t highest);

// ---- batches and transactions
void Stream(FileDecl& f);
void Flush(FileDecl& f);
// LOGOUT: one transaction of the calling thread over the given files,
// waiting at most `timeoutSeconds` for their locks (5 when they are not
// free). Each file has its own transaction and COMMIT commits them in
// LOGOUT order: every file's part is atomic, the set is not (a crash
// between two commits keeps the files committed before it).
void Logout(int timeoutSeconds, const std::vector<FileDecl*>& files);

// The lock wait: how long an operation waits for a lock that another user
// or process holds while the holder makes no progress, before it fails
// with 5; a holder that goes on writing is waited for. Process-wide, 30
// seconds unless set; a file's "Recover=" sets its own.
void SetLockWait(int seconds);
int LockWait();
void Commit();
void Rollback();

// ---- driver commands and properties
// ISAM commands: "FULLBUILD=on|off", "Recover=<seconds>" (the file's own
// lock wait, see LockWait), "SYNC=off|on" (an open file's commits do not wait for the disk
// until SYNC=on; for a file rebuilt from another one, which is of no use
// until it is complete: it is written without its WAL until CLOSE, which
// syncs it and gives it its WAL again); without "=" the
// setting is answered. Commands sent to a closed
// file apply at its next open; unknown commands answer "".
std::string Send(FileDecl& f, std::string_view command);
std::string GetProperty(const FileDecl& f, Prop p);
void SetProperty(FileDecl& f, Prop p, std::string_view value);
// Runs statements through an open SQL file's SQL property, in order, until
// one fails: returns how many succeeded. The failing statement's error is
// then set as if it had run alone (statements after it do not run);
// otherwise the error is cleared. A driver may send several statements in
// one exchange with the server; only statements that change nothing when
// they fail (a single-row INSERT) may be given.
size_t RunSqlStatements(FileDecl& f, const std::vector<std::string>& statements, size_t from = 0);

// ---- memos and blobs of the current record (memo index 0-based)
uint32_t BlobSize(const FileDecl& f, int memo);
void BlobSetSize(FileDecl& f, int memo, uint32_t size);
std::vector<uint8_t> BlobRead(const FileDecl& f, int memo, uint32_t offset,
                              uint32_t length);
void BlobWrite(FileDecl& f, int memo, uint32_t offset,
               const std::vector<uint8_t>& bytes);

// ---- DOS driver extras (raw bytes)
std::vector<uint8_t> ReadBytes(FileDecl& f, uint64_t position, uint32_t length);
uint64_t FileSize(FileDecl& f);

// The registry handle of a driver by name (0 when not registered) and the
// name of a handle ("" when unknown). Handles are nonzero and stable
// within a process; FileDecl::DriverEntry() gives the same value.
uint32_t DriverEntryFor(std::string_view driverName);
std::string DriverNameFor(uint32_t entry);

// Host path of a file name in the system's Windows form (".\\data\\x.tps",
// "file\\!table" gives the file part).
std::string HostPath(std::string_view windowsName);

}  // namespace db
