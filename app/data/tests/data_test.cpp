#include <cstddef>
#include <set>
#include <string>
#include <thread>

#include "fixture.h"
#include "velmora/data/dictionary.h"
#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"

namespace {

using data::Dictionary;
using data::FileId;

TEST(DataDeclarations, FilesAsDeclared) {
  // A key: label, flags, components (field labels, all ascending) and the
  // auto-numbered component (0 for none).
  struct KeyCase {
    std::string label;
    uint32_t flags;
    std::vector<std::string> components;
    int autoNumber = 0;
  };
  struct Case {
    FileId id;
    const char *label, *prefix, *name, *driver;
    size_t recordSize, fields, memos;
    std::vector<KeyCase> keys;
  };
  constexpr uint32_t kU = db::kKeyNoCase | db::kKeyOpt, kD = kU | db::kKeyDup,
                     kP = kU | db::kKeyPrimary;
  const Case cases[] = {
      {FileId::Forms, "Forms", "FOR", ".\\data\\forms.tps", "ISAM", sizeof(data::FormsRecord),
       15, 1,
       {{"FOR:ID_Key", kP, {"FOR:ID"}, 1},
        {"FOR:FormName_Key", kD, {"FOR:FORMNAME"}},
        {"FOR:DateCreated_Key", kD, {"FOR:DATECREATED"}},
        {"FOR:FileName_Key", kD, {"FOR:ORIGINALPDFFILE"}}}},
      {FileId::PDFDetails, "PDFDetails", "PDF", ".\\data\\pdffrm.tps", "ISAM",
       sizeof(data::PDFDetailsRecord), 9, 0, {{"PDF:FormID_Key", kD, {"PDF:ID"}}}},
      {FileId::FormPages, "FormPages", "FOR1", ".\\data\\formpage.tps", "ISAM",
       sizeof(data::FormPagesRecord), 7, 3,
       {{"FOR1:FormID_Key", kD, {"FOR1:FORMID", "FOR1:PAGENO"}, 2}}},
      {FileId::PageControls, "PageControls", "PAG", ".\\data\\pagecont.tps", "ISAM",
       sizeof(data::PageControlsRecord), 47, 0,
       {{"PAG:FormID_Key", kD, {"PAG:FORMID", "PAG:PAGENO", "PAG:CONTROLUNIQUEID"}},
        {"PAG:FormIDUniqueID_Key", kD, {"PAG:FORMID", "PAG:CONTROLUNIQUEID"}},
        {"PAG:FormIDControID_Key", kD, {"PAG:FORMID", "PAG:CONTROLID"}},
        {"PAG:TabOrder_Key", kD, {"PAG:FORMID", "PAG:PAGENO", "PAG:CONTROLTABORDER"}}}},
      {FileId::FieldValues, "FieldValues", "FIE", ".\\data\\fieldval.tps", "ISAM",
       sizeof(data::FieldValuesRecord), 5, 0,
       {{"FIE:Number_Key", kD, {"FIE:FORMID", "FIE:CONTROLID", "FIE:VALUENUMBER"}},
        {"FIE:RadioButtonNumber_Key", kD, {"FIE:FORMID", "FIE:CONTROLID", "FIE:RADIOBUTTONNUMBER"}},
        {"FIE:Value_Key", kD, {"FIE:FORMID", "FIE:CONTROLID", "FIE:CONTROLVALUE"}}}},
      {FileId::FilledForm, "FilledForm", "FIL", ".\\data\\FILLEDFO.TPS", "ISAM",
       sizeof(data::FilledFormRecord), 5, 0,
       {{"FIL:FormID_Key", kU, {"FIL:FORMID", "FIL:FILLEDFORMNAME"}},
        {"FIL:ID_Key", kP, {"FIL:ID"}, 1}}},
      {FileId::AliasFilledForm, "AliasFilledForm", "ALI", ".\\data\\FILLEDFO.TPS", "ISAM",
       sizeof(data::AliasFilledFormRecord), 5, 0,
       {{"ALI:FormID_Key", kU, {"ALI:FORMID", "ALI:FILLEDFORMNAME"}},
        {"ALI:ID_Key", kP, {"ALI:ID"}, 1}}},
      {FileId::FilledData, "FilledData", "FIL1", ".\\data\\filledda.tps", "ISAM",
       sizeof(data::FilledDataRecord), 6, 0,
       {{"FIL1:FiledForm_key", kD, {"FIL1:ID", "FIL1:PAGENO", "FIL1:CONTROLID"}}}},
      {FileId::ImportFields, "ImportFields", "IMP", "", "BASIC",
       sizeof(data::ImportFieldsRecord), 6, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const db::FileDecl& f = data::Declaration(c.id);
    EXPECT_EQ(f.Label(), c.label);
    EXPECT_EQ(f.Prefix(), c.prefix);
    EXPECT_EQ(f.Name(), c.name);
    EXPECT_EQ(f.DriverName(), c.driver);
    EXPECT_EQ(f.RecordLength(), c.recordSize);
    EXPECT_EQ(f.Fields().size(), c.fields);
    EXPECT_EQ(f.Memos().size(), c.memos);
    EXPECT_EQ(f.Attributes() & (db::kAttrCreate | db::kAttrThread),
              db::kAttrCreate | db::kAttrThread);
    ASSERT_EQ(f.Keys().size(), c.keys.size());
    for (size_t k = 0; k < c.keys.size(); ++k) {
      const db::KeyDesc& key = f.Keys()[k];
      const KeyCase& want = c.keys[k];
      EXPECT_EQ(key.label, want.label);
      EXPECT_EQ(key.attrib, want.flags) << want.label;
      std::vector<std::string> components;
      for (int32_t comp : key.components)
        components.push_back(comp > 0 ? f.Fields()[comp - 1].label : "descending");
      EXPECT_EQ(components, want.components) << want.label;
      EXPECT_EQ(key.autoNumber, want.autoNumber) << want.label;
    }
  }
}

TEST(DataDeclarations, FieldsSitWhereTheRecordStructsHaveThem) {
  struct Case {
    FileId id;
    const char* field;
    size_t offset;
    db::Type type;
  } cases[] = {
      {FileId::Forms, "FOR:TOTALPAGES", offsetof(data::FormsRecord, TOTALPAGES), db::Type::Short},
      {FileId::Forms, "FOR:ORIGINALPDFFILE", offsetof(data::FormsRecord, ORIGINALPDFFILE),
       db::Type::CString},
      {FileId::PDFDetails, "PDF:MODIFICATIONDATE",
       offsetof(data::PDFDetailsRecord, MODIFICATIONDATE), db::Type::CString},
      {FileId::FormPages, "FOR1:YOFFSET", offsetof(data::FormPagesRecord, YOFFSET),
       db::Type::Real},
      {FileId::PageControls, "PAG:CONTROLTABORDER",
       offsetof(data::PageControlsRecord, CONTROLTABORDER), db::Type::Short},
      {FileId::PageControls, "PAG:HIDDEN", offsetof(data::PageControlsRecord, HIDDEN),
       db::Type::Byte},
      {FileId::FieldValues, "FIE:RADIOBUTTONNUMBER",
       offsetof(data::FieldValuesRecord, RADIOBUTTONNUMBER), db::Type::Short},
      {FileId::FilledForm, "FIL:FILLEDFORMNAME", offsetof(data::FilledFormRecord, FILLEDFORMNAME),
       db::Type::String},
      {FileId::AliasFilledForm, "ALI:FORMID", offsetof(data::FilledFormRecord, FORMID),
       db::Type::Long},
      {FileId::FilledData, "FIL1:VALUE", offsetof(data::FilledDataRecord, VALUE),
       db::Type::CString},
      {FileId::ImportFields, "IMP:FIELDHEIGHT", offsetof(data::ImportFieldsRecord, FIELDHEIGHT),
       db::Type::Real},
  };
  for (const Case& c : cases) {
    const db::FileDecl& f = data::Declaration(c.id);
    int i = f.FieldIndex(c.field);
    ASSERT_GE(i, 0) << c.field;
    EXPECT_EQ(f.Fields()[i].offset, c.offset) << c.field;
    EXPECT_EQ(f.Fields()[i].type, c.type) << c.field;
  }
  const db::FileDecl& pages = data::Declaration(FileId::FormPages);
  EXPECT_EQ(pages.Memos()[0].kind, db::kMemoBinary);
  EXPECT_EQ(pages.Memos()[2].label, "FOR1:PAGETEXT");
  EXPECT_EQ(pages.Memos()[2].kind, db::kMemoText);
}

// A started dictionary on the calling thread, in a fresh folder.
class DataFiles : public cltest::TempFolder {
 protected:
  void SetUp() override {
    TempFolder::SetUp();
    data::GlobalErrors().Setup();
    data::CreateFileManagers();
    data::StartRelationManagers();
    d = &data::ThisThread();
    ASSERT_EQ(d->Relate(FileId::Forms)->Open(), cl::kBenign);
  }
  void TearDown() override {
    d->Relate(FileId::Forms)->Close();
    data::StopDictionary();
    TempFolder::TearDown();
  }
  cl::FileManager* Access(FileId id) { return d->Access(id); }
  int AddForm(const char* name) {
    Access(FileId::Forms)->PrimeRecord();
    d->FOR.FORMNAME = name;
    EXPECT_EQ(Access(FileId::Forms)->Insert(), cl::kBenign);
    return d->FOR.ID;
  }
  int AddPage(int form) {
    Access(FileId::FormPages)->PrimeRecord();
    d->FOR1.FORMID = form;
    EXPECT_EQ(Access(FileId::FormPages)->Insert(), cl::kBenign);
    return d->FOR1.PAGENO;
  }
  void AddControl(int form, int page, int controlId, int uniqueId, const char* name,
                  int tabOrder) {
    d->File(FileId::PageControls).ClearRecord();
    d->PAG.FORMID = form;
    d->PAG.PAGENO = static_cast<rt::Short>(page);
    d->PAG.CONTROLID = controlId;
    d->PAG.CONTROLUNIQUEID = uniqueId;
    d->PAG.CONTROLNAME = name;
    d->PAG.CONTROLTABORDER = static_cast<rt::Short>(tabOrder);
    EXPECT_EQ(Access(FileId::PageControls)->TryInsert(), cl::kBenign);
  }
  void AddValue(int form, int controlId, int number) {
    d->File(FileId::FieldValues).ClearRecord();
    d->FIE.FORMID = form;
    d->FIE.CONTROLID = controlId;
    d->FIE.VALUENUMBER = static_cast<rt::Short>(number);
    d->FIE.CONTROLVALUE = "v" + std::to_string(number);
    EXPECT_EQ(Access(FileId::FieldValues)->TryInsert(), cl::kBenign);
  }
  int AddDataSet(int form, const char* name) {
    Access(FileId::FilledForm)->PrimeRecord();
    d->FIL.FORMID = form;
    d->FIL.FILLEDFORMNAME = name;
    return Access(FileId::FilledForm)->Insert();
  }
  // Records of the file whose first field (a LONG form or data-set number) is `id`.
  int Count(FileId file, int32_t id) {
    db::FileDecl& f = d->File(file);
    int n = 0;
    db::Set(f);
    for (db::Next(f); rt::ErrorCode() == 0; db::Next(f)) {
      int32_t v;
      std::memcpy(&v, f.Record(), sizeof v);
      n += v == id;
    }
    return n;
  }
  Dictionary* d = nullptr;
};

TEST_F(DataFiles, ManagersAreReadyAndInitialisedOnFirstUse) {
  cl::FileManager* forms = Access(FileId::Forms);
  ASSERT_NE(forms, nullptr);
  EXPECT_EQ(forms->File(), &d->File(FileId::Forms));
  EXPECT_EQ(forms->Errors(), &data::GlobalErrors());
  EXPECT_TRUE(forms->Initialised());
  EXPECT_TRUE(forms->Create());
  EXPECT_EQ(forms->LockRecover(), 10);
  EXPECT_TRUE(cl::FileUseTracker::IsTracked(forms));
  EXPECT_EQ(forms->KeyDescription(2), "FOR:FormName_Key");
  EXPECT_EQ(Access(FileId::AliasFilledForm)->AliasOf(), Access(FileId::FilledForm));
  EXPECT_EQ(d->Relate(FileId::AliasFilledForm)->AliasOf(), d->Relate(FileId::FilledForm));
  // The Forms relation reaches every ISAM file of the dictionary.
  for (FileId id : {FileId::PDFDetails, FileId::FilledForm, FileId::FormPages,
                    FileId::PageControls, FileId::FieldValues, FileId::FilledData})
    EXPECT_TRUE(Access(id)->IsOpen()) << static_cast<int>(id);
  EXPECT_FALSE(Access(FileId::AliasFilledForm)->IsOpen());
}

TEST_F(DataFiles, FormsAndPagesAreNumbered) {
  EXPECT_EQ(AddForm("first"), 1);
  EXPECT_EQ(AddForm("second"), 2);
  EXPECT_EQ(AddPage(2), 1);
  EXPECT_EQ(AddPage(2), 2);
  EXPECT_EQ(AddPage(1), 1);  // a new form starts at page 1
  EXPECT_EQ(AddPage(2), 3);
}

TEST_F(DataFiles, DataSetNamesAreUniquePerForm) {
  int a = AddForm("a"), b = AddForm("b");
  EXPECT_EQ(AddDataSet(a, "Set 1"), cl::kBenign);
  EXPECT_EQ(AddDataSet(a, "set 1"), cl::kNotify);  // keys are case-insensitive
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_NE(shown_[0].text.find("FilledForm"), std::string::npos);
  EXPECT_NE(shown_[0].text.find("FIL:FormID_Key"), std::string::npos);
  EXPECT_EQ(AddDataSet(b, "Set 1"), cl::kBenign);
  EXPECT_EQ(rt::Long{d->FIL.ID}, 3);  // the refused one's reserved number stays a gap
}

TEST_F(DataFiles, PageControlsAcceptDuplicateNamesAndTabOrders) {
  int form = AddForm("f");
  AddPage(form);
  AddControl(form, 1, 1, 1, "Name", 1);
  AddControl(form, 1, 2, 2, "Name", 1);
  AddControl(form, 1, 2, 2, "Name", 1);
  EXPECT_EQ(Count(FileId::PageControls, form), 3);
}

TEST_F(DataFiles, AliasIsTheSameFileWithItsOwnPosition) {
  int form = AddForm("f");
  ASSERT_EQ(AddDataSet(form, "one"), cl::kBenign);
  ASSERT_EQ(AddDataSet(form, "two"), cl::kBenign);
  ASSERT_EQ(d->Relate(FileId::AliasFilledForm)->Open(), cl::kBenign);
  d->ALI.ID = 2;
  ASSERT_EQ(Access(FileId::AliasFilledForm)->Fetch(2), cl::kBenign);
  EXPECT_EQ(d->ALI.FILLEDFORMNAME, "two");
  d->FIL.ID = 1;
  ASSERT_EQ(Access(FileId::FilledForm)->Fetch(2), cl::kBenign);
  EXPECT_EQ(d->FIL.FILLEDFORMNAME, "one");
  EXPECT_EQ(d->ALI.FILLEDFORMNAME, "two");
  d->Relate(FileId::AliasFilledForm)->Close();
}

TEST_F(DataFiles, DeletingAFormLeavesNothingOfItBehind) {
  int keep = AddForm("keep"), gone = AddForm("gone");
  for (int form : {keep, gone}) {
    d->File(FileId::PDFDetails).ClearRecord();
    d->PDF.ID = form;
    ASSERT_EQ(Access(FileId::PDFDetails)->Insert(), cl::kBenign);
    ASSERT_EQ(AddDataSet(form, "set"), cl::kBenign);
    d->File(FileId::FilledData).ClearRecord();
    d->FIL1.ID = d->FIL.ID;
    d->FIL1.VALUE = "typed";
    ASSERT_EQ(Access(FileId::FilledData)->Insert(), cl::kBenign);
    AddPage(form);
    AddPage(form);
    // A radio group (two controls sharing the field number 7) with values,
    // a text field, and values whose control is gone.
    AddControl(form, 1, 7, 1, "Yes", 1);
    AddControl(form, 1, 7, 2, "No", 2);
    AddControl(form, 2, 8, 3, "Text", 1);
    for (int v = 1; v <= 3; ++v) AddValue(form, 7, v);
    AddValue(form, 99, 1);
  }
  d->FOR.ID = gone;
  ASSERT_EQ(Access(FileId::Forms)->Fetch(1), cl::kBenign);
  ASSERT_EQ(d->Relate(FileId::Forms)->Delete(), cl::kBenign);
  EXPECT_TRUE(shown_.empty());
  for (FileId id : {FileId::Forms, FileId::PDFDetails, FileId::FormPages,
                    FileId::PageControls, FileId::FieldValues})
    EXPECT_EQ(Count(id, gone), 0) << static_cast<int>(id);
  EXPECT_EQ(Count(FileId::FilledData, 2), 0);  // the data set of form 2
  EXPECT_EQ(db::Records(d->File(FileId::FilledForm)), 1u);
  EXPECT_EQ(Count(FileId::FormPages, keep), 2);
  EXPECT_EQ(Count(FileId::PageControls, keep), 3);
  EXPECT_EQ(Count(FileId::FieldValues, keep), 4);
  EXPECT_EQ(Count(FileId::FilledData, 1), 1);
}

TEST_F(DataFiles, ChangingAPageNumberMovesItsControls) {
  int form = AddForm("f");
  AddPage(form);
  AddControl(form, 1, 1, 1, "a", 1);
  AddControl(form, 1, 2, 2, "b", 2);
  d->FOR1.FORMID = form;
  d->FOR1.PAGENO = 1;
  ASSERT_EQ(Access(FileId::FormPages)->Fetch(1), cl::kBenign);
  d->FOR1.PAGENO = 5;
  ASSERT_EQ(d->Relate(FileId::FormPages)->Update(), cl::kBenign);
  db::FileDecl& pag = d->File(FileId::PageControls);
  db::Set(pag);
  int moved = 0;
  for (db::Next(pag); rt::ErrorCode() == 0; db::Next(pag)) moved += d->PAG.PAGENO == 5;
  EXPECT_EQ(moved, 2);
}

TEST(DataThreads, EveryThreadHasItsOwnFiles) {
  Dictionary* mine = &data::ThisThread();
  Dictionary* other = nullptr;
  db::FileDecl* otherForms = nullptr;
  std::thread t([&] {
    other = &data::ThisThread();
    otherForms = &other->File(FileId::Forms);
  });
  t.join();
  EXPECT_NE(mine, other);
  EXPECT_NE(&mine->File(FileId::Forms), otherForms);
  EXPECT_EQ(mine->File(FileId::Forms).Record(), reinterpret_cast<uint8_t*>(&mine->FOR));
}

TEST(DataThreads, StopDictionaryTearsDownInOrderAndClearsReferences) {
  data::CreateFileManagers();
  data::StartRelationManagers();
  Dictionary& d = data::ThisThread();
  for (int i = 0; i < data::kFileCount; ++i) {
    EXPECT_NE(d.access[i], nullptr);
    EXPECT_NE(d.relate[i], nullptr);
  }
  std::vector<std::string> order;
  data::SetTeardownObserver([&](std::string_view label) { order.emplace_back(label); });
  data::StopDictionary();
  data::SetTeardownObserver(nullptr);
  EXPECT_EQ(order, (std::vector<std::string>{"Forms", "PDFDetails", "FilledForm", "FormPages",
                                             "PageControls", "FieldValues", "FilledData",
                                             "ImportFields", "AliasFilledForm"}));
  for (int i = 0; i < data::kFileCount; ++i) {
    EXPECT_EQ(d.access[i], nullptr);
    EXPECT_EQ(d.relate[i], nullptr);
    EXPECT_EQ(d.managers[i], nullptr);
    EXPECT_EQ(d.relations[i], nullptr);
  }
}

}  // namespace
