#include "velmora/classlib/filemanager.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>

#include "fields.h"
#include "velmora/classlib/transaction.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/text.h"

namespace cl {
namespace {

bool Failed() { return rt::ErrorCode() != rt::kNoError; }

// The tracked managers of every thread; each thread sees its own.
struct Tracked {
  std::mutex mutex;
  std::vector<std::pair<std::thread::id, FileManager*>> list;
};

Tracked& TrackedManagers() {
  static Tracked t;
  return t;
}

}  // namespace

// ---- file-use tracker

void FileUseTracker::Track(FileManager* fm) {
  if (IsTracked(fm)) return;
  Tracked& t = TrackedManagers();
  std::lock_guard<std::mutex> lock(t.mutex);
  t.list.emplace_back(std::this_thread::get_id(), fm);
}

void FileUseTracker::Untrack(FileManager* fm) {
  Tracked& t = TrackedManagers();
  std::lock_guard<std::mutex> lock(t.mutex);
  std::erase_if(t.list, [fm](const auto& e) { return e.second == fm; });
}

bool FileUseTracker::IsTracked(const FileManager* fm) {
  Tracked& t = TrackedManagers();
  std::lock_guard<std::mutex> lock(t.mutex);
  return std::any_of(t.list.begin(), t.list.end(),
                     [fm](const auto& e) { return e.second == fm; });
}

std::vector<FileManager*> FileUseTracker::OpenFiles() {
  std::vector<FileManager*> mine;
  {
    Tracked& t = TrackedManagers();
    std::lock_guard<std::mutex> lock(t.mutex);
    for (const auto& [thread, fm] : t.list)
      if (thread == std::this_thread::get_id()) mine.push_back(fm);
  }
  std::erase_if(mine, [](FileManager* fm) { return !fm->IsOpen(); });
  return mine;
}

// ---- set-up

FileManager::FileManager() = default;

FileManager::~FileManager() { FileUseTracker::Untrack(this); }

void FileManager::Setup() {
  useCount_ = 0;
  if (file_) lastRead_.assign(file_->Record(), file_->Record() + file_->RecordLength());
}

void FileManager::Teardown() {
  if (file_ && db::IsOpen(*file_)) db::Close(*file_);
  useCount_ = 0;
  FileUseTracker::Untrack(this);
  keys_.clear();
  initialised_ = false;
}

int FileManager::EnsureOpen(int kind) {
  if (kind == kUseInitialize) {
    initialised_ = true;
    return kBenign;
  }
  if (!initialised_) EnsureOpen(kUseInitialize);
  if (kind == kUseBenign || IsOpen()) return kBenign;
  if (!FileUseTracker::IsTracked(this)) {
    rt::SetError(rt::kFileNotOpen);
    return Throw(Msg::FileNotOpen);
  }
  // A tracked file used before it was opened is opened now and closed at
  // teardown, or by the Close that balances a later Open.
  return OpenFile(true);
}

void FileManager::AddKey(int key, std::string description, int autoComponent) {
  keys_.push_back({key, std::move(description), autoComponent});
}

void FileManager::AddKey(std::string_view keyLabel, std::string description,
                         int autoComponent) {
  AddKey(KeyNumber(keyLabel), std::move(description), autoComponent);
}

std::string FileManager::KeyDescription(int key) const {
  for (const KeyInfo& k : keys_)
    if (k.key == key) return k.description;
  if (file_ && key >= 1 && key <= static_cast<int>(file_->Keys().size()))
    return file_->Keys()[key - 1].label;
  return {};
}

int FileManager::KeyNumber(std::string_view keyLabel) const {
  return file_ ? file_->KeyIndex(keyLabel) + 1 : 0;
}

int FileManager::Throw(Msg id) {
  if (!errors_) return ErrorReporter::LevelOf(id);
  return errors_->ThrowFile(id, label_, file_ ? file_->Name() : std::string_view());
}

// ---- open and close

bool FileManager::IsOpen() const { return file_ && db::IsOpen(*file_); }

int FileManager::OpenFile(bool report) {
  if (lockRecover_ > 0) db::Send(*file_, "Recover=" + std::to_string(lockRecover_));
  db::HookedOpen(*file_, openMode_);
  if (rt::ErrorCode() == rt::kFileNotFound && create_) {
    // Another user or process may make the file in the meantime: theirs is kept.
    db::CreateMissing(*file_);
    if (Failed()) return report ? Throw(Msg::CreateFailed) : kFatal;
    db::HookedOpen(*file_, openMode_);
  }
  if (rt::ErrorCode() == rt::kFileAlreadyOpen) rt::ClearError();
  if (Failed()) return report ? Throw(Msg::OpenFailed) : kFatal;
  return kBenign;
}

int FileManager::OpenUse(bool report) {
  EnsureOpen(kUseInitialize);
  if (useCount_ == 0 && !IsOpen()) {
    if (int level = OpenFile(report)) return level;
  }
  ++useCount_;
  return kBenign;
}

int FileManager::Open() { return OpenUse(true); }
int FileManager::TryOpen() { return OpenUse(false); }

int FileManager::Close() {
  rt::ClearError();
  if (useCount_ == 0) return kNotify;
  if (--useCount_ == 0 && IsOpen()) db::Close(*file_);
  return Failed() ? kFatal : kBenign;
}

// ---- reads

void FileManager::SaveRecord() {
  lastRead_.assign(file_->Record(), file_->Record() + file_->RecordLength());
}

FileManager::Snapshot FileManager::Snap() const {
  return {std::vector<uint8_t>(file_->Record(), file_->Record() + file_->RecordLength()),
          lastRead_};
}

void FileManager::Restore(const Snapshot& s) {
  std::memcpy(file_->Record(), s.record.data(),
              std::min<size_t>(s.record.size(), file_->RecordLength()));
  lastRead_ = s.saved;
}

int FileManager::Read(bool report, void (*op)(db::FileDecl&)) {
  if (int level = EnsureOpen(kUseReturns)) return level;
  op(*file_);
  if (!Failed()) {
    SaveRecord();
    return kBenign;
  }
  if (rt::ErrorCode() == rt::kRecordNotAvailable) return kNotify;
  return report ? Throw(Msg::ReadFailed) : kFatal;
}

int FileManager::Next() { return Read(true, &db::Next); }
int FileManager::TryNext() { return Read(false, &db::Next); }
int FileManager::Previous() { return Read(true, &db::Previous); }
int FileManager::TryPrevious() { return Read(false, &db::Previous); }

// A keyed or positioned read: kNotify when there is no such record,
// kFatal for any other failure.
int FileManager::ReadAt(bool report, const std::function<void()>& op) {
  if (int level = EnsureOpen(kUseReturns)) return level;
  op();
  if (!Failed()) {
    SaveRecord();
    return kBenign;
  }
  const bool missing = rt::ErrorCode() == rt::kRecordNotFound;
  if (!report) return missing ? kNotify : kFatal;
  return Throw(missing ? Msg::FetchFailed : Msg::ReadFailed);
}

int FileManager::Fetch(int key) {
  return ReadAt(true, [&] { db::Get(*file_, key); });
}
int FileManager::TryFetch(int key) {
  return ReadAt(false, [&] { db::Get(*file_, key); });
}

int FileManager::SetKey(int key) {
  if (int level = EnsureOpen(kUseReturns)) return level;
  db::Set(*file_, key);
  return Failed() ? kFatal : kBenign;
}

int FileManager::SetKeyFromRecord(int key) {
  if (int level = EnsureOpen(kUseReturns)) return level;
  db::SetFromRecord(*file_, key);
  return Failed() ? kFatal : kBenign;
}

std::string FileManager::Position() {
  if (EnsureOpen(kUseReturns) != kBenign) return {};
  return db::Position(*file_);
}

int FileManager::Reget(std::string_view position) {
  return ReadAt(true, [&] { db::Reget(*file_, position); });
}
int FileManager::TryReget(std::string_view position) {
  return ReadAt(false, [&] { db::Reget(*file_, position); });
}

// ---- auto-numbering

const FileManager::KeyInfo* FileManager::AutoKey() const {
  for (const KeyInfo& k : keys_)
    if (k.autoComponent > 0 && k.key > 0 &&
        k.key <= static_cast<int>(file_->Keys().size()) &&
        k.autoComponent <= static_cast<int>(file_->Keys()[k.key - 1].components.size()))
      return &k;
  return nullptr;
}

// The highest stored value of the auto-numbered component among records
// whose earlier components equal the buffer's, plus 1. Reads the file; the
// record buffer is restored. False when the read failed.
bool FileManager::NextNumber(const KeyInfo& k, int64_t& number) {
  const db::KeyDesc& key = file_->Keys()[k.key - 1];
  const auto& fields = file_->Fields();
  const uint32_t len = file_->RecordLength();
  uint8_t* rec = file_->Record();
  const std::vector<uint8_t> saved(rec, rec + len);

  auto fieldOf = [&](size_t c) -> const db::FieldInfo& {
    return fields[std::abs(key.components[c]) - 1];
  };
  const size_t autoC = k.autoComponent - 1;
  const bool descending = key.components[autoC] < 0;
  // Position past every value the component and the ones after it can
  // hold, then read back towards the highest.
  for (size_t c = autoC; c < key.components.size(); ++c)
    field::SetExtreme(fieldOf(c), rec, (key.components[c] > 0) != descending);
  db::SetFromRecord(*file_, k.key);
  if (!Failed()) {
    if (descending)
      db::Next(*file_);
    else
      db::Previous(*file_);
  }
  int64_t high = 0;
  bool ok = true;
  if (!Failed()) {
    bool sameGroup = true;
    for (size_t c = 0; c < autoC; ++c)
      sameGroup = sameGroup && field::Same(fieldOf(c), rec, fieldOf(c), saved.data(),
                                           key.attrib & db::kKeyNoCase);
    if (sameGroup) high = field::GetInt(fieldOf(autoC), rec);
  } else if (rt::ErrorCode() != rt::kRecordNotAvailable &&
             rt::ErrorCode() != rt::kRecordNotFound) {
    ok = false;
  }
  std::memcpy(rec, saved.data(), len);
  if (ok) {
    if (high >= field::MaxInt(fieldOf(autoC))) {
      rt::SetError(rt::kDuplicateKey, "No further number is available");
      return false;
    }
    rt::ClearError();
    number = high < 0 ? 1 : high + 1;
  }
  return ok;
}

// Takes the next number and reserves it in the file, so no other thread
// or process is given it, whether it primes or adds. Runs inside a
// transaction the caller began.
bool FileManager::TakeNextNumber(const KeyInfo& k) {
  int64_t number = 0;
  if (!NextNumber(k, number)) return false;
  number = db::ReserveNumber(*file_, k.key, k.autoComponent, number - 1);
  if (Failed()) return false;
  const db::KeyDesc& key = file_->Keys()[k.key - 1];
  const db::FieldInfo& field = file_->Fields()[std::abs(key.components[k.autoComponent - 1]) - 1];
  if (number > field::MaxInt(field)) {
    rt::SetError(rt::kDuplicateKey, "No further number is available");
    return false;
  }
  field::SetInt(field, file_->Record(), number);
  primedNumber_ = number;
  primedGroup_ = GroupOf(k);
  return true;
}

std::string FileManager::GroupOf(const KeyInfo& k) const {
  const db::KeyDesc& key = file_->Keys()[k.key - 1];
  std::string group;
  for (int c = 0; c + 1 < k.autoComponent; ++c) {
    const db::FieldInfo& f = file_->Fields()[std::abs(key.components[c]) - 1];
    group.append(reinterpret_cast<const char*>(file_->Record()) + f.offset, f.Bytes());
  }
  return group;
}

int FileManager::PrimeRecord(bool suppressClear) {
  if (int level = EnsureOpen(kUseReturns)) return level;
  if (!suppressClear) file_->ClearRecord();
  primed_ = false;
  if (const KeyInfo* k = AutoKey()) {
    // The number shown is the number the record is stored under: it is
    // reserved now, and a prime that is never added leaves a gap.
    Transaction tx({file_});
    if (!tx.Begun() || !TakeNextNumber(*k)) {
      tx.Fail();
      return Throw(Msg::ReadFailed);
    }
    if (!tx.Finish()) return Throw(Msg::ReadFailed);
    primed_ = true;
  }
  rt::ClearError();
  return kBenign;
}

// ---- writes

// The description of the first unique key whose value in the buffer is
// already stored. Probes by reading; the buffer, the current record and
// the error state are put back afterwards.
std::string FileManager::DuplicatedKey() {
  const rt::ErrorSnapshot error = rt::SaveError();
  const Snapshot snap = Snap();
  const std::string position = db::Position(*file_);
  std::string which;
  for (size_t i = 0; i < file_->Keys().size() && which.empty(); ++i) {
    if (file_->Keys()[i].attrib & db::kKeyDup) continue;
    std::memcpy(file_->Record(), snap.record.data(), file_->RecordLength());
    db::Get(*file_, static_cast<int>(i) + 1);
    if (!Failed()) which = KeyDescription(static_cast<int>(i) + 1);
  }
  if (!position.empty()) db::Reget(*file_, position);
  Restore(snap);
  rt::RestoreError(error);
  return which;
}

int FileManager::Refused(bool report, Msg otherwise) {
  const int code = rt::ErrorCode();
  if (code == rt::kDuplicateKey) {
    if (!report) return kNotify;
    if (errors_) errors_->SetField(DuplicatedKey());
    return Throw(Msg::DuplicateKey);
  }
  if (code == rt::kRecordChangedByOther) return report ? Throw(Msg::RecordChanged) : kNotify;
  return report ? Throw(otherwise) : kFatal;
}

int FileManager::AddNumbered(bool report) {
  const KeyInfo* k = AutoKey();
  bool number = false;
  if (k) {
    const db::KeyDesc& key = file_->Keys()[k->key - 1];
    int64_t v = field::GetInt(
        file_->Fields()[std::abs(key.components[k->autoComponent - 1]) - 1],
        file_->Record());
    // A primed number is kept; one primed for other values of the earlier
    // components than the record now has is taken afresh.
    number = v == 0 || (primed_ && v == primedNumber_ && GroupOf(*k) != primedGroup_);
  }
  if (!number) {
    db::Add(*file_);
    return Failed() ? Refused(report, Msg::AddFailed) : kBenign;
  }
  // The number is taken and the record added in one write transaction, so
  // no other thread or process can take the same number in between.
  Transaction tx({file_});
  if (!tx.Begun()) return report ? Throw(Msg::AddFailed) : kFatal;
  if (!TakeNextNumber(*k)) {
    tx.Fail();
    return report ? Throw(Msg::AddFailed) : kFatal;
  }
  db::Add(*file_);
  if (Failed()) {
    tx.Fail();
    return Refused(report, Msg::AddFailed);
  }
  if (!tx.Finish()) return report ? Throw(Msg::AddFailed) : kFatal;
  return kBenign;
}

int FileManager::InsertImpl(bool report) {
  if (int level = EnsureOpen(kUseCorrupts)) return level;
  if (int level = BeforeInsert()) return level;
  if (int level = AddNumbered(report)) return level;
  primed_ = false;
  SaveRecord();
  return AfterInsert();
}

int FileManager::Insert() { return InsertImpl(true); }
int FileManager::TryInsert() { return InsertImpl(false); }

int FileManager::UpdateImpl(bool report) {
  if (int level = EnsureOpen(kUseCorrupts)) return level;
  if (int level = BeforeUpdate()) return level;
  db::Put(*file_);
  if (Failed()) return Refused(report, Msg::PutFailed);
  SaveRecord();
  return AfterUpdate();
}

int FileManager::Update() { return UpdateImpl(true); }
int FileManager::TryUpdate() { return UpdateImpl(false); }

int FileManager::DeleteImpl(bool report) {
  if (int level = EnsureOpen(kUseCorrupts)) return level;
  if (int level = BeforeDelete()) return level;
  db::Delete(*file_);
  if (Failed()) return Refused(report, Msg::DeleteFailed);
  return AfterDelete();
}

int FileManager::Delete() { return DeleteImpl(true); }
int FileManager::TryDelete() { return DeleteImpl(false); }

}  // namespace cl
