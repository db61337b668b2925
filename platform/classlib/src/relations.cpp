#include "velmora/classlib/relations.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>

#include "fields.h"
#include "velmora/classlib/transaction.h"
#include "velmora/runtime/errors.h"

namespace cl {
namespace {

bool Failed() { return rt::ErrorCode() != rt::kNoError; }

const db::FieldInfo& FieldAt(const FileManager* fm, int index) {
  return fm->File()->Fields()[index];
}

}  // namespace

RelationManager::RelationManager() = default;
RelationManager::~RelationManager() = default;

void RelationManager::Setup(FileManager* file, bool transactions) {
  me_ = file;
  transactions_ = transactions;
  opened_.clear();
}

void RelationManager::Teardown() {
  // The file managers close their files when they are torn down; the open
  // sets are forgotten (their managers may be gone already).
  opened_.clear();
  relations_.clear();
  declared_ = false;
  alias_ = nullptr;
}

void RelationManager::EnsureRelations() {
  if (declared_) return;
  declared_ = true;
  AddRelations();
}

void RelationManager::AddRelation(RelationManager* child, RIMode update, RIMode del,
                                  int childKey, std::vector<Link> links) {
  Relation r;
  r.related = child;
  r.update = update;
  r.del = del;
  r.key = childKey;
  for (const Link& l : links)
    r.fields.emplace_back(me_->File()->FieldIndex(l.parentField),
                          child->Me()->File()->FieldIndex(l.childField));
  relations_.push_back(std::move(r));
}

void RelationManager::AddParent(RelationManager* parent) {
  Relation r;
  r.related = parent;
  r.parent = true;
  relations_.push_back(std::move(r));
}

const std::vector<RelationManager::Relation>& RelationManager::Relations() {
  EnsureRelations();
  if (alias_ && relations_.empty()) return alias_->Relations();
  return relations_;
}

// ---- open and close

// Every file of the graph is opened (and created when missing) even after
// one has failed, so that each failure is reported and the files that are
// sound exist; `level` is the worst result.
void RelationManager::OpenGraph(std::vector<RelationManager*>& seen,
                                std::vector<FileManager*>& opened, int& level,
                                rt::ErrorSnapshot& firstError) {
  if (std::find(seen.begin(), seen.end(), this) != seen.end()) return;
  seen.push_back(this);
  if (const int own = me_->Open(); own == kBenign) {
    opened.push_back(me_);
  } else if (level == kBenign) {
    level = own;
    firstError = rt::SaveError();
  }
  for (const Relation& r : Relations()) r.related->OpenGraph(seen, opened, level, firstError);
}

int RelationManager::Open() {
  std::vector<RelationManager*> seen;
  std::vector<FileManager*> opened;
  int level = kBenign;
  rt::ErrorSnapshot firstError;
  OpenGraph(seen, opened, level, firstError);
  if (level != kBenign) {
    // the first failure's error stands, whatever the later opens did
    const rt::ErrorSnapshot& e = firstError;
    for (auto it = opened.rbegin(); it != opened.rend(); ++it) (*it)->Close();
    rt::RestoreError(e);
    return level;
  }
  opened_.push_back(std::move(opened));
  return kBenign;
}

int RelationManager::Close() {
  if (opened_.empty()) return kNotify;
  std::vector<FileManager*> files = std::move(opened_.back());
  opened_.pop_back();
  int level = kBenign;
  for (auto it = files.rbegin(); it != files.rend(); ++it)
    level = std::max(level, (*it)->Close());
  return level;
}

// ---- cascades

void RelationManager::CascadeFiles(bool forDelete, std::vector<FileManager*>& files) {
  if (std::find(files.begin(), files.end(), me_) != files.end()) return;
  files.push_back(me_);
  for (const Relation& r : Relations()) {
    if (r.parent) continue;
    if ((forDelete ? r.del : r.update) == RIMode::Cascade) r.related->CascadeFiles(forDelete, files);
  }
}

bool RelationManager::LinksChanged(const Relation& r, const std::vector<uint8_t>& oldRec) const {
  if (oldRec.size() < me_->File()->RecordLength()) return false;
  for (const auto& [p, c] : r.fields) {
    (void)c;
    const db::FieldInfo& f = FieldAt(me_, p);
    if (!field::Same(f, oldRec.data(), f, me_->File()->Record(), false)) return true;
  }
  return false;
}

int RelationManager::Children(const Relation& r, const uint8_t* parentRec,
                              std::vector<std::string>& out) {
  FileManager* child = r.related->Me();
  if (int level = child->EnsureOpen(kUseReturns)) return level;
  db::FileDecl& f = *child->File();
  uint8_t* rec = f.Record();
  const db::KeyDesc& key = f.Keys()[r.key - 1];
  const bool noCase = key.attrib & db::kKeyNoCase;
  // Start before every child of this parent: link fields as the parent's,
  // the other components at their lowest.
  for (int32_t c : key.components)
    field::SetExtreme(f.Fields()[std::abs(c) - 1], rec, c < 0);
  for (const auto& [p, c] : r.fields) field::Copy(FieldAt(me_, p), parentRec, f.Fields()[c], rec);
  const std::vector<uint8_t> target(rec, rec + f.RecordLength());
  db::SetFromRecord(f, r.key);
  if (Failed()) return kFatal;
  for (;;) {
    db::Next(f);
    if (rt::ErrorCode() == rt::kRecordNotAvailable) break;
    if (Failed()) return kFatal;
    bool same = true;
    for (const auto& [p, c] : r.fields) {
      (void)p;
      same = same && field::Same(f.Fields()[c], rec, f.Fields()[c], target.data(), noCase);
    }
    if (!same) break;
    out.push_back(db::Position(f));
  }
  rt::ClearError();
  return kBenign;
}

int RelationManager::EachChild(const Relation& r, const uint8_t* parentRec,
                               FileManager*& failed, const std::function<int()>& step) {
  FileManager* child = r.related->Me();
  const FileManager::Snapshot snap = child->Snap();
  std::vector<std::string> positions;
  int level = Children(r, parentRec, positions);
  for (size_t i = 0; level == kBenign && i < positions.size(); ++i) {
    level = child->TryReget(positions[i]);
    if (level == kBenign) level = step();
  }
  if (level != kBenign && !failed) failed = child;
  child->Restore(snap);
  return level;
}

int RelationManager::DeleteWithChildren(FileManager*& failed) {
  const std::vector<uint8_t> parentRec(me_->File()->Record(),
                                       me_->File()->Record() + me_->File()->RecordLength());
  for (const Relation& r : Relations()) {
    if (r.parent || r.del != RIMode::Cascade) continue;
    int level = EachChild(r, parentRec.data(), failed,
                          [&] { return r.related->DeleteWithChildren(failed); });
    if (level != kBenign) return level;
  }
  int level = me_->TryDelete();
  if (level != kBenign) failed = me_;
  return level;
}

int RelationManager::UpdateWithChildren(FileManager*& failed) {
  const std::vector<uint8_t> oldRec = me_->SavedRecord();
  for (const Relation& r : Relations()) {
    if (r.parent || r.update != RIMode::Cascade || !LinksChanged(r, oldRec)) continue;
    FileManager* child = r.related->Me();
    int level = EachChild(r, oldRec.data(), failed, [&] {
      for (const auto& [p, c] : r.fields)
        field::Copy(FieldAt(me_, p), me_->File()->Record(), FieldAt(child, c),
                    child->File()->Record());
      return r.related->UpdateWithChildren(failed);
    });
    if (level != kBenign) return level;
  }
  int level = me_->TryUpdate();
  if (level != kBenign) failed = me_;
  return level;
}

int RelationManager::Cascade(bool forDelete, bool report) {
  if (int level = me_->EnsureOpen(kUseCorrupts)) return level;
  const Msg own = forDelete ? Msg::DeleteFailed : Msg::PutFailed;
  bool cascade = false;
  for (const Relation& r : Relations()) {
    if (r.parent) continue;
    cascade = cascade || (forDelete ? r.del == RIMode::Cascade
                                    : r.update == RIMode::Cascade &&
                                          LinksChanged(r, me_->SavedRecord()));
  }
  if (!cascade) {
    if (forDelete) return report ? me_->Delete() : me_->TryDelete();
    return report ? me_->Update() : me_->TryUpdate();
  }

  std::vector<FileManager*> managers;
  CascadeFiles(forDelete, managers);
  std::vector<db::FileDecl*> files;
  for (FileManager* fm : managers) {
    if (int level = fm->EnsureOpen(kUseCorrupts)) return level;
    files.push_back(fm->File());
  }
  std::optional<Transaction> tx;
  if (transactions_) {
    tx.emplace(files);
    if (!tx->Begun()) return report ? me_->ThrowFor(own) : kFatal;
  }
  FileManager* failed = nullptr;
  int level = forDelete ? DeleteWithChildren(failed) : UpdateWithChildren(failed);
  if (tx) {
    if (level != kBenign) {
      tx->Fail();
    } else if (!tx->Finish()) {
      level = kFatal;
      failed = me_;
    }
  }
  // A step refused by a Before slot (no runtime error) has said why itself.
  if (level == kBenign || !report || !Failed()) return level;
  if (failed == me_ || !failed || !failed->Errors()) return me_->ThrowFor(own);
  failed->Errors()->SetFile(failed->Label());
  return failed->Errors()->ThrowMessage(Msg::CascadeFailed, forDelete ? "delete" : "change");
}

int RelationManager::Update() { return Cascade(false, true); }
int RelationManager::TryUpdate() { return Cascade(false, false); }
int RelationManager::Delete() { return Cascade(true, true); }
int RelationManager::TryDelete() { return Cascade(true, false); }

}  // namespace cl
