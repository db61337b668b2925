#pragma once
// The nine data files: their declarations, the per-thread file instances
// with their record buffers, and the file and relation managers through
// which procedures reach them.
#include <array>
#include <functional>
#include <memory>
#include <string_view>

#include "velmora/classlib/errors.h"
#include "velmora/classlib/filemanager.h"
#include "velmora/classlib/relations.h"
#include "velmora/data/records.h"
#include "velmora/files/decl.h"

namespace data {

// The files in the dictionary's order (creation, set-up and teardown).
enum class FileId : int {
  Forms, PDFDetails, FilledForm, FormPages, PageControls, FieldValues,
  FilledData, ImportFields, AliasFilledForm,
};
inline constexpr int kFileCount = 9;

// The process-wide declaration of a file (every thread clones it).
const db::FileDecl& Declaration(FileId id);

// The error manager, shared by every thread and file manager.
cl::ErrorReporter& GlobalErrors();

// The name of the ImportFields file (STRING(144), blank at process start),
// shared by all threads; the field-definition import sets it.
rt::String<144>& ImportFieldsFileName();

// One thread's data files. Members are destroyed in reverse order, so the
// file instances go AliasFilledForm first and Forms last.
struct Dictionary {
  Dictionary();
  ~Dictionary();
  Dictionary(const Dictionary&) = delete;
  Dictionary& operator=(const Dictionary&) = delete;

  FormsRecord FOR{};
  PDFDetailsRecord PDF{};
  FilledFormRecord FIL{};
  FormPagesRecord FOR1{};
  PageControlsRecord PAG{};
  FieldValuesRecord FIE{};
  FilledDataRecord FIL1{};
  ImportFieldsRecord IMP{};
  AliasFilledFormRecord ALI{};

  // The file instances, by FileId.
  std::array<std::unique_ptr<db::FileDecl>, kFileCount> files;
  // The managers the dictionary created (its own references).
  std::array<std::unique_ptr<cl::FileManager>, kFileCount> managers;
  std::array<std::unique_ptr<cl::RelationManager>, kFileCount> relations;
  // The thread's references through which procedures reach the files.
  std::array<cl::FileManager*, kFileCount> access{};
  std::array<cl::RelationManager*, kFileCount> relate{};

  db::FileDecl& File(FileId id) { return *files[static_cast<int>(id)]; }
  cl::FileManager* Access(FileId id) { return access[static_cast<int>(id)]; }
  cl::RelationManager* Relate(FileId id) { return relate[static_cast<int>(id)]; }
};

// The calling thread's dictionary.
Dictionary& ThisThread();

// Creates the nine file and relation managers on the calling thread.
void CreateFileManagers();
// Sets them up (no file is opened).
void StartRelationManagers();
// Tears down and frees the nine relation managers (and their file managers).
void StopDictionary();

// Told the label of each file whose relation manager is torn down.
void SetTeardownObserver(std::function<void(std::string_view label)> observer);

// ---- the per-file classes

// What every file manager of the dictionary does: set-up from its file's
// thread instance, and the one-time initialisation before the first use.
class DataFileRecords : public cl::FileManager {
 public:
  explicit DataFileRecords(FileId id) : id_(id) {}
  void Setup() override;
  void Teardown() override;
  int EnsureOpen(int kind) override;
  FileId Id() const { return id_; }

 private:
  FileId id_;
};

// What every relation manager of the dictionary does on teardown.
class DataFileRelations : public cl::RelationManager {
 public:
  explicit DataFileRelations(FileId id) : id_(id) {}
  void Teardown() override;
  FileId Id() const { return id_; }

 protected:
  cl::RelationManager* Relate(FileId id) const;

 private:
  FileId id_;
};

#define VELMORA_DATA_RECORDS(name)                                  \
  class name##Records : public DataFileRecords {                    \
   public:                                                          \
    name##Records() : DataFileRecords(FileId::name) {}              \
  };
VELMORA_DATA_RECORDS(Forms)
VELMORA_DATA_RECORDS(PDFDetails)
VELMORA_DATA_RECORDS(FilledForm)
VELMORA_DATA_RECORDS(FormPages)
VELMORA_DATA_RECORDS(PageControls)
VELMORA_DATA_RECORDS(FieldValues)
VELMORA_DATA_RECORDS(FilledData)
VELMORA_DATA_RECORDS(ImportFields)
VELMORA_DATA_RECORDS(AliasFilledForm)
#undef VELMORA_DATA_RECORDS

#define VELMORA_DATA_RELATIONS(name)                                \
  class name##Relations : public DataFileRelations {                \
   public:                                                          \
    name##Relations() : DataFileRelations(FileId::name) {}          \
    void AddRelations() override;                                   \
  };
VELMORA_DATA_RELATIONS(Forms)
VELMORA_DATA_RELATIONS(PDFDetails)
VELMORA_DATA_RELATIONS(FilledForm)
VELMORA_DATA_RELATIONS(FormPages)
VELMORA_DATA_RELATIONS(PageControls)
VELMORA_DATA_RELATIONS(FieldValues)
VELMORA_DATA_RELATIONS(FilledData)
VELMORA_DATA_RELATIONS(ImportFields)
VELMORA_DATA_RELATIONS(AliasFilledForm)
#undef VELMORA_DATA_RELATIONS

}  // namespace data
