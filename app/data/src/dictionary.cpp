#include "velmora/data/dictionary.h"

#include "velmora/runtime/threads.h"

namespace data {
namespace {

constexpr int Index(FileId id) { return static_cast<int>(id); }

rt::ThreadLocal<std::shared_ptr<Dictionary>>& Threads() {
  static rt::ThreadLocal<std::shared_ptr<Dictionary>> dictionaries;
  return dictionaries;
}

std::function<void(std::string_view)>& TeardownObserver() {
  static std::function<void(std::string_view)> observer;
  return observer;
}

template <class Rec>
void Bind(Dictionary& d, FileId id, Rec& record) {
  auto f = Declaration(id).Clone();
  f->BindRecord(reinterpret_cast<uint8_t*>(&record));
  f->ClearRecord();
  d.files[Index(id)] = std::move(f);
}

std::unique_ptr<cl::FileManager> NewRecords(FileId id) {
  switch (id) {
    case FileId::Forms: return std::make_unique<FormsRecords>();
    case FileId::PDFDetails: return std::make_unique<PDFDetailsRecords>();
    case FileId::FilledForm: return std::make_unique<FilledFormRecords>();
    case FileId::FormPages: return std::make_unique<FormPagesRecords>();
    case FileId::PageControls: return std::make_unique<PageControlsRecords>();
    case FileId::FieldValues: return std::make_unique<FieldValuesRecords>();
    case FileId::FilledData: return std::make_unique<FilledDataRecords>();
    case FileId::ImportFields: return std::make_unique<ImportFieldsRecords>();
    case FileId::AliasFilledForm: return std::make_unique<AliasFilledFormRecords>();
  }
  return nullptr;
}

std::unique_ptr<cl::RelationManager> NewRelations(FileId id) {
  switch (id) {
    case FileId::Forms: return std::make_unique<FormsRelations>();
    case FileId::PDFDetails: return std::make_unique<PDFDetailsRelations>();
    case FileId::FilledForm: return std::make_unique<FilledFormRelations>();
    case FileId::FormPages: return std::make_unique<FormPagesRelations>();
    case FileId::PageControls: return std::make_unique<PageControlsRelations>();
    case FileId::FieldValues: return std::make_unique<FieldValuesRelations>();
    case FileId::FilledData: return std::make_unique<FilledDataRelations>();
    case FileId::ImportFields: return std::make_unique<ImportFieldsRelations>();
    case FileId::AliasFilledForm: return std::make_unique<AliasFilledFormRelations>();
  }
  return nullptr;
}

}  // namespace

cl::ErrorReporter& GlobalErrors() {
  static cl::ErrorReporter errors;
  return errors;
}

rt::String<144>& ImportFieldsFileName() {
  static rt::String<144> name;
  return name;
}

Dictionary::Dictionary() {
  Bind(*this, FileId::Forms, FOR);
  Bind(*this, FileId::PDFDetails, PDF);
  Bind(*this, FileId::FilledForm, FIL);
  Bind(*this, FileId::FormPages, FOR1);
  Bind(*this, FileId::PageControls, PAG);
  Bind(*this, FileId::FieldValues, FIE);
  Bind(*this, FileId::FilledData, FIL1);
  Bind(*this, FileId::ImportFields, IMP);
  Bind(*this, FileId::AliasFilledForm, ALI);
}

Dictionary::~Dictionary() {
  // Managers first (they refer to the file instances), then the files in
  // reverse order of the dictionary.
  relations = {};
  managers = {};
  for (int i = kFileCount - 1; i >= 0; --i) files[i].reset();
}

Dictionary& ThisThread() {
  auto& slot = Threads().Get();
  if (!slot) slot = std::make_shared<Dictionary>();
  return *slot;
}

void SetTeardownObserver(std::function<void(std::string_view)> observer) {
  TeardownObserver() = std::move(observer);
}

void CreateFileManagers() {
  Dictionary& d = ThisThread();
  for (int i = 0; i < kFileCount; ++i) {
    d.managers[i] = NewRecords(static_cast<FileId>(i));
    d.relations[i] = NewRelations(static_cast<FileId>(i));
    d.relations[i]->SetRelationsDeclared(false);
  }
  for (int i = 0; i < kFileCount; ++i) d.relate[i] = d.relations[i].get();
}

void StartRelationManagers() {
  Dictionary& d = ThisThread();
  for (int i = 0; i < kFileCount; ++i) {
    if (!d.relations[i]) continue;
    d.managers[i]->Setup();
    d.relations[i]->Setup(d.managers[i].get(), true);
    if (static_cast<FileId>(i) == FileId::AliasFilledForm)
      d.relations[i]->SetAlias(d.relations[Index(FileId::FilledForm)].get());
  }
}

void StopDictionary() {
  Dictionary& d = ThisThread();
  for (int i = 0; i < kFileCount; ++i) {
    if (!d.relations[i]) continue;
    d.relations[i]->Teardown();
    d.relations[i].reset();
    d.relate[i] = nullptr;
  }
}

// ---- file managers

void DataFileRecords::Setup() {
  Dictionary& d = ThisThread();
  SetInitialised(false);
  SetFile(d.files[Index(id_)].get());
  if (id_ == FileId::AliasFilledForm) SetAliasOf(d.managers[Index(FileId::FilledForm)].get());
  SetLabel(File()->Label());
  SetErrors(&GlobalErrors());
  cl::FileManager::Setup();
  d.access[Index(id_)] = this;
}

void DataFileRecords::Teardown() {
  cl::FileManager::Teardown();
  ThisThread().access[Index(id_)] = nullptr;
}

int DataFileRecords::EnsureOpen(int kind) {
  if (kind != cl::kUseInitialize) EnsureOpen(cl::kUseInitialize);
  if (kind == cl::kUseInitialize && !Initialised()) {
    cl::FileUseTracker::Track(this);
    SetFile(ThisThread().files[Index(id_)].get());
    SetErrors(&GlobalErrors());
    SetCreate(true);
    SetLockRecover(10);
    const auto& keys = File()->Keys();
    for (size_t k = 0; k < keys.size(); ++k)
      AddKey(static_cast<int>(k) + 1, keys[k].label, keys[k].autoNumber);
  }
  // The field-definition import names the ImportFields file at run time.
  if (id_ == FileId::ImportFields && kind != cl::kUseInitialize && !IsOpen())
    File()->SetName(ImportFieldsFileName().Clip());
  return cl::FileManager::EnsureOpen(kind);
}

// ---- relation managers

cl::RelationManager* DataFileRelations::Relate(FileId id) const {
  return ThisThread().relations[Index(id)].get();
}

void DataFileRelations::Teardown() {
  if (TeardownObserver()) TeardownObserver()(Declaration(id_).Label());
  Dictionary& d = ThisThread();
  if (Me()) Me()->Teardown();
  cl::RelationManager::Teardown();
  d.relate[Index(id_)] = nullptr;
  d.managers[Index(id_)].reset();
  d.access[Index(id_)] = nullptr;
}

using cl::RIMode;
constexpr RIMode kCascade = RIMode::Cascade;

void FormsRelations::AddRelations() {
  AddRelation(Relate(FileId::PDFDetails), kCascade, kCascade, 1, {{"FOR:ID", "PDF:ID"}});
  AddRelation(Relate(FileId::FilledForm), kCascade, kCascade, 1, {{"FOR:ID", "FIL:FORMID"}});
  AddRelation(Relate(FileId::FormPages), kCascade, kCascade, 1, {{"FOR:ID", "FOR1:FORMID"}});
  // Option values no longer reached through a control (their control was
  // removed without a cascade) still belong to the form: they follow it.
  AddRelation(Relate(FileId::FieldValues), kCascade, kCascade, 1, {{"FOR:ID", "FIE:FORMID"}});
}

void PDFDetailsRelations::AddRelations() { AddParent(Relate(FileId::Forms)); }

void FilledFormRelations::AddRelations() {
  AddRelation(Relate(FileId::FilledData), kCascade, kCascade, 1, {{"FIL:ID", "FIL1:ID"}});
  AddParent(Relate(FileId::Forms));
}

void FormPagesRelations::AddRelations() {
  AddParent(Relate(FileId::Forms));
  AddRelation(Relate(FileId::PageControls), kCascade, kCascade, 1,
              {{"FOR1:FORMID", "PAG:FORMID"}, {"FOR1:PAGENO", "PAG:PAGENO"}});
}

void PageControlsRelations::AddRelations() {
  // The option values belong to the PDF field number, which all controls
  // of a radio group share (PAG:CONTROLID = FIE:CONTROLID).
  AddRelation(Relate(FileId::FieldValues), kCascade, kCascade, 1,
              {{"PAG:FORMID", "FIE:FORMID"}, {"PAG:CONTROLID", "FIE:CONTROLID"}});
  AddParent(Relate(FileId::FormPages));
}

void FieldValuesRelations::AddRelations() { AddParent(Relate(FileId::PageControls)); }
void FilledDataRelations::AddRelations() { AddParent(Relate(FileId::FilledForm)); }
void ImportFieldsRelations::AddRelations() {}
void AliasFilledFormRelations::AddRelations() {}

}  // namespace data
