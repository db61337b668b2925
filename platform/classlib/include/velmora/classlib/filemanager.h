#pragma once
// FileManager: one data file as the procedures reach it: set-up, use-
// counted open and close, keyed and sequential reads, adds with auto-
// numbering, changes and deletes, each reported through the error manager
// unless the Try form is used. Every open goes through db::HookedOpen.
//
// Operations return a Level (errors.h): kBenign on success, kNotify when
// nothing happened (end of file, record refused), kFatal on a file error.
// The runtime's error code is left as the file operation set it.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "velmora/classlib/errors.h"
#include "velmora/files/decl.h"
#include "velmora/files/files.h"

namespace cl {

// Request kinds of EnsureOpen. Initialize asks for the manager's one-time
// initialisation; the others say how the caller is about to use the file.
enum UseKind : int {
  kUseReturns = 1,   // reads
  kUseUses = 2,      // reads and writes
  kUseCorrupts = 3,  // writes
  kUseBenign = 4,    // does not need the file open
  kUseInitialize = 5,
};

class FileManager;

// The file-use tracker: the files of the calling thread whose managers are
// tracked, so a file used without an explicit open is opened on demand and
// closed again when its manager is torn down.
class FileUseTracker {
 public:
  static void Track(FileManager* fm);
  static void Untrack(FileManager* fm);
  static bool IsTracked(const FileManager* fm);
  // The tracked managers of the calling thread whose file is open.
  static std::vector<FileManager*> OpenFiles();
};

class FileManager {
 public:
  FileManager();
  virtual ~FileManager();
  FileManager(const FileManager&) = delete;
  FileManager& operator=(const FileManager&) = delete;

  // ---- set-up
  virtual void Setup();
  virtual void Teardown();
  virtual int EnsureOpen(int kind);

  void SetFile(db::FileDecl* file) { file_ = file; }
  db::FileDecl* File() const { return file_; }
  void SetErrors(ErrorReporter* errors) { errors_ = errors; }
  ErrorReporter* Errors() const { return errors_; }
  void SetLabel(std::string label) { label_ = std::move(label); }
  const std::string& Label() const { return label_; }
  void SetAliasOf(FileManager* aliased) { aliasOf_ = aliased; }
  FileManager* AliasOf() const { return aliasOf_; }
  void SetCreate(bool create) { create_ = create; }
  bool Create() const { return create_; }
  // Seconds sent as the driver option "Recover=" before each open; 0 sends nothing.
  void SetLockRecover(int seconds) { lockRecover_ = seconds; }
  int LockRecover() const { return lockRecover_; }
  void SetOpenMode(uint32_t mode) { openMode_ = mode; }
  void SetInitialised(bool done) { initialised_ = done; }
  bool Initialised() const { return initialised_; }

  // Declares a key (1-based key number of the file) with the description
  // used in messages and its auto-numbered component (1-based, 0 for none).
  void AddKey(int key, std::string description, int autoComponent = 0);
  void AddKey(std::string_view keyLabel, std::string description, int autoComponent = 0);
  std::string KeyDescription(int key) const;
  int KeyNumber(std::string_view keyLabel) const;  // 0 when the file has no such key

  // ---- open and close (use-counted)
  int Open();
  int TryOpen();
  int Close();
  int UseCount() const { return useCount_; }
  bool IsOpen() const;

  // ---- reads
  // The record with the key value of the buffer (key 1-based); kNotify
  // when there is none.
  int Fetch(int key);
  int TryFetch(int key);
  int Next();
  int TryNext();
  int Previous();
  int TryPrevious();
  int SetKey(int key);             // start of the key (0: record order)
  int SetKeyFromRecord(int key);   // at the key value in the record buffer
  std::string Position();
  // Re-reads a record by position; a later Update is refused when another
  // instance changed the record meanwhile.
  int Reget(std::string_view position);
  int TryReget(std::string_view position);

  // ---- writes
  // Clears the record buffer (unless suppressClear) and puts the next
  // auto-number in it, reserved in the file: the record added from this
  // buffer keeps it, and no other thread or process is given it (records
  // stored under it before the add stay with this record).
  int PrimeRecord(bool suppressClear = false);
  // Adds the record buffer. When the file has an auto-numbered key and the
  // buffer's auto-numbered component is 0, the number is taken and reserved
  // inside the same write transaction as the add: the highest value within
  // equal earlier components (or the highest reserved, if larger), plus 1.
  int Insert();
  int TryInsert();
  int Update();     // writes back the record last read
  int TryUpdate();
  int Delete();     // deletes the record last read (no cascade)
  int TryDelete();

  // The record as it was last read or written by this manager.
  const std::vector<uint8_t>& SavedRecord() const { return lastRead_; }
  void SaveRecord();
  // The record buffer and the saved record, to put back after work that
  // reads other records of the file.
  struct Snapshot {
    std::vector<uint8_t> record, saved;
  };
  Snapshot Snap() const;
  void Restore(const Snapshot& s);

  // Shows the message that fits the runtime's error of a failed write
  // (duplicate key, changed by another station, or `otherwise`).
  int ThrowFor(Msg otherwise) { return Refused(true, otherwise); }

  // ---- slots for derived classes; a result other than kBenign from a
  // Before slot stops the operation with that result.
  virtual int BeforeInsert() { return kBenign; }
  virtual int AfterInsert() { return kBenign; }
  virtual int BeforeUpdate() { return kBenign; }
  virtual int AfterUpdate() { return kBenign; }
  virtual int BeforeDelete() { return kBenign; }
  virtual int AfterDelete() { return kBenign; }

  // Shows `id` for this file; returns its level.
  int Throw(Msg id);

 private:
  struct KeyInfo {
    int key = 0;
    std::string description;
    int autoComponent = 0;
  };
  int OpenFile(bool report);
  int OpenUse(bool report);
  int Read(bool report, void (*op)(db::FileDecl&));
  int ReadAt(bool report, const std::function<void()>& op);
  int InsertImpl(bool report);
  int AddNumbered(bool report);
  int UpdateImpl(bool report);
  int DeleteImpl(bool report);
  int Refused(bool report, Msg otherwise);
  std::string DuplicatedKey();
  const KeyInfo* AutoKey() const;
  bool TakeNextNumber(const KeyInfo& k);
  bool NextNumber(const KeyInfo& k, int64_t& number);
  // The bytes of the components before the auto-numbered one.
  std::string GroupOf(const KeyInfo& k) const;

  db::FileDecl* file_ = nullptr;
  // The number reserved by the last prime and the group it belongs to.
  bool primed_ = false;
  int64_t primedNumber_ = 0;
  std::string primedGroup_;
  ErrorReporter* errors_ = nullptr;
  FileManager* aliasOf_ = nullptr;
  std::string label_;
  bool create_ = false;
  int lockRecover_ = 0;
  uint32_t openMode_ = db::kReadWrite | db::kDenyNone;
  bool initialised_ = false;
  int useCount_ = 0;
  std::vector<KeyInfo> keys_;
  std::vector<uint8_t> lastRead_;
};

// Per-thread: whether the calling thread runs inside a transaction that the
// class library began (cascades and numbered adds do not begin a second one).
bool InTransaction();

}  // namespace cl
