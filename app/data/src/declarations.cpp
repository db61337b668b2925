// The declarations of the nine data files.
#include <mutex>

#include "velmora/data/dictionary.h"

namespace data {
namespace {

using db::DeclBuilder;
using db::Type;

constexpr uint8_t kAttrs = db::kAttrCreate | db::kAttrThread;
// Every key is case-insensitive and optional.
constexpr uint32_t kUnique = db::kKeyNoCase | db::kKeyOpt;
constexpr uint32_t kPrimary = kUnique | db::kKeyPrimary;
constexpr uint32_t kDup = kUnique | db::kKeyDup;

DeclBuilder Isam(std::string label, std::string prefix, std::string name) {
  DeclBuilder b(std::move(label), std::move(prefix));
  b.Driver("ISAM").Name(std::move(name)).Attributes(kAttrs);
  return b;
}

// The document information entries shared by Forms and PDFDetails.
void DocumentInfo(DeclBuilder& b) {
  for (const char* n : {"AUTHOR", "TITLE", "SUBJECT", "CREATOR", "PRODUCER"})
    b.Field(Type::CString, n, 256);
}

std::unique_ptr<db::FileDecl> WithAutoNumber(std::unique_ptr<db::FileDecl> f,
                                             int key, int component) {
  f->Keys()[key - 1].autoNumber = component;
  return f;
}

std::unique_ptr<db::FileDecl> BuildForms() {
  DeclBuilder b = Isam("Forms", "FOR", ".\\data\\forms.tps");
  b.Field(Type::Long, "ID")
      .Field(Type::CString, "FORMNAME", 80)
      .Field(Type::Long, "DATECREATED")
      .Field(Type::Long, "TIMECREATED")
      .Field(Type::Byte, "ISPDF")
      .Field(Type::CString, "ORIGINALPDFFILE", 128)
      .Field(Type::CString, "PDFVERSION", 20);
  DocumentInfo(b);
  b.Field(Type::CString, "CREATIONDATE", 20)
      .Field(Type::CString, "MODIFICATIONDATE", 20)
      .Field(Type::Short, "TOTALPAGES")
      .Key("ID_Key", {1}, kPrimary)
      .Key("FormName_Key", {2}, kDup)
      .Key("DateCreated_Key", {3}, kDup)
      .Key("FileName_Key", {6}, kDup)
      .Memo("PDFDATA", db::kMemoBinary, 0);
  return WithAutoNumber(b.Build(), 1, 1);
}

std::unique_ptr<db::FileDecl> BuildPDFDetails() {
  DeclBuilder b = Isam("PDFDetails", "PDF", ".\\data\\pdffrm.tps");
  b.Field(Type::Long, "ID").Field(Type::CString, "PDFVERSION", 20);
  DocumentInfo(b);
  b.Field(Type::CString, "CREATIONDATE", 20)
      .Field(Type::CString, "MODIFICATIONDATE", 20)
      .Key("FormID_Key", {1}, kDup);
  return b.Build();
}

std::unique_ptr<db::FileDecl> BuildFormPages() {
  DeclBuilder b = Isam("FormPages", "FOR1", ".\\data\\formpage.tps");
  b.Field(Type::Long, "FORMID")
      .Field(Type::Short, "PAGENO")
      .Field(Type::Byte, "FLAG")
      .Field(Type::Real, "PAGEWIDTH")
      .Field(Type::Real, "PAGEHEIGHT")
      .Field(Type::Real, "XOFFSET")
      .Field(Type::Real, "YOFFSET")
      .Key("FormID_Key", {1, 2}, kDup)
      .Memo("PAGEIMAGE", db::kMemoBinary, 0)
      .Memo("PAGECONTENT", db::kMemoText, 0)
      .Memo("PAGETEXT", db::kMemoText, 0);
  return WithAutoNumber(b.Build(), 1, 2);
}

std::unique_ptr<db::FileDecl> BuildPageControls() {
  DeclBuilder b = Isam("PageControls", "PAG", ".\\data\\pagecont.tps");
  b.Field(Type::Long, "FORMID")                    // 1
      .Field(Type::Short, "PAGENO")                // 2
      .Field(Type::Long, "CONTROLID")              // 3
      .Field(Type::Long, "CONTROLUNIQUEID")        // 4
      .Field(Type::Short, "CONTROLFEQ")
      .Field(Type::CString, "CONTROLNAME", 80)
      .Field(Type::Long, "CONTROLTYPE")
      .Field(Type::Long, "CONTROLX")
      .Field(Type::Long, "CONTROLY")
      .Field(Type::Long, "CONTROLWIDTH")
      .Field(Type::Long, "CONTROLHEIGHT")
      .Field(Type::CString, "CONTROLFONTNAME", 64)
      .Field(Type::Short, "CONTROLFONTHEIGHT")
      .Field(Type::Byte, "CONTROLFONTBOLD")
      .Field(Type::Byte, "CONTROLFONTITALIC")
      .Field(Type::Byte, "CONTROLFONTUNDERLINE")
      .Field(Type::Byte, "CONTROLFONTSTRIKE")
      .Field(Type::CString, "CONTROLPICTURE", 64)
      .Field(Type::Byte, "CONTROLFLAT")
      .Field(Type::Byte, "CONTROLTRANSPARENT")
      .Field(Type::Byte, "CONTROLBOXED")
      .Field(Type::Byte, "CONTROLALIGNMENT")
      .Field(Type::Short, "CONTROLTABORDER")       // 23
      .Field(Type::Short, "PDFFIELDNUMBER")
      .Field(Type::CString, "PDFFIELDNAME", 60)
      .Field(Type::Short, "PDFFIELDTYPE")
      .Field(Type::Short, "PDFFIELDLENGTH")
      .Field(Type::CString, "PDFVALUE", 128)
      .Field(Type::CString, "PDFFIELDDESCRIPTION", 128)
      .Field(Type::Byte, "PDFISMULTILINE")
      .Field(Type::Short, "RADIOBUTTONNUMBER")
      .Field(Type::Byte, "FILEDWASCREATEDATRUNTIME")
      .Field(Type::Long, "PDFFIELDBACKGROUNDCOLOR")
      .Field(Type::Long, "PDFFIELDTEXTCOLOR")
      .Field(Type::Long, "PDFFIELDROTATION")
      .Field(Type::Byte, "HASBORDER")
      .Field(Type::Long, "PDFBORDERCOLOR")
      .Field(Type::Long, "BORDERSTYLE")
      .Field(Type::Real, "BORDERWIDTH")
      .Field(Type::Real, "DASHON")
      .Field(Type::Real, "DASHOFF")
      .Field(Type::Real, "PDFX")
      .Field(Type::Real, "PDFY")
      .Field(Type::Real, "PDFWIDTH")
      .Field(Type::Real, "PDFHEIGHT")
      .Field(Type::Byte, "IMPORTEDFIELD")
      .Field(Type::Byte, "HIDDEN")
      .Key("FormID_Key", {1, 2, 4}, kDup)
      .Key("FormIDUniqueID_Key", {1, 4}, kDup)
      .Key("FormIDControID_Key", {1, 3}, kDup)
      .Key("TabOrder_Key", {1, 2, 23}, kDup);
  return b.Build();
}

std::unique_ptr<db::FileDecl> BuildFieldValues() {
  DeclBuilder b = Isam("FieldValues", "FIE", ".\\data\\fieldval.tps");
  b.Field(Type::Long, "FORMID")
      .Field(Type::Long, "CONTROLID")
      .Field(Type::Short, "VALUENUMBER")
      .Field(Type::CString, "CONTROLVALUE", 60)
      .Field(Type::Short, "RADIOBUTTONNUMBER")
      .Key("Number_Key", {1, 2, 3}, kDup)
      .Key("RadioButtonNumber_Key", {1, 2, 5}, kDup)
      .Key("Value_Key", {1, 2, 4}, kDup);
  return b.Build();
}

// FilledForm and AliasFilledForm: one disk file under two prefixes.
std::unique_ptr<db::FileDecl> BuildFilledFormAs(std::string label, std::string prefix) {
  DeclBuilder b = Isam(std::move(label), std::move(prefix), ".\\data\\FILLEDFO.TPS");
  b.Field(Type::Long, "ID")
      .Field(Type::Long, "DATECREATED")
      .Field(Type::Long, "TIMECREATED")
      .Field(Type::Long, "FORMID")
      .Field(Type::String, "FILLEDFORMNAME", 128)
      .Key("FormID_Key", {4, 5}, kUnique)
      .Key("ID_Key", {1}, kPrimary);
  return WithAutoNumber(b.Build(), 2, 1);
}

std::unique_ptr<db::FileDecl> BuildFilledData() {
  DeclBuilder b = Isam("FilledData", "FIL1", ".\\data\\filledda.tps");
  b.Field(Type::Long, "ID")
      .Field(Type::String, "FILLEDFORMNAME", 128)
      .Field(Type::Short, "PAGENO")
      .Field(Type::Long, "CONTROLID")
      .Field(Type::Byte, "ISCHECKBOX")
      .Field(Type::CString, "VALUE", 4096)
      .Key("FiledForm_key", {1, 3, 4}, kDup);
  return b.Build();
}

std::unique_ptr<db::FileDecl> BuildImportFields() {
  DeclBuilder b("ImportFields", "IMP");
  b.Driver("BASIC")
      .Attributes(kAttrs)
      .Field(Type::Short, "PAGENO")
      .Field(Type::CString, "CONTROLNAME", 80)
      .Field(Type::Real, "FIELDX")
      .Field(Type::Real, "FIELDY")
      .Field(Type::Real, "FIELDWIDTH")
      .Field(Type::Real, "FIELDHEIGHT");
  return b.Build();
}

std::unique_ptr<db::FileDecl> Build(FileId id) {
  switch (id) {
    case FileId::Forms: return BuildForms();
    case FileId::PDFDetails: return BuildPDFDetails();
    case FileId::FilledForm: return BuildFilledFormAs("FilledForm", "FIL");
    case FileId::FormPages: return BuildFormPages();
    case FileId::PageControls: return BuildPageControls();
    case FileId::FieldValues: return BuildFieldValues();
    case FileId::FilledData: return BuildFilledData();
    case FileId::ImportFields: return BuildImportFields();
    case FileId::AliasFilledForm: return BuildFilledFormAs("AliasFilledForm", "ALI");
  }
  return nullptr;
}

}  // namespace

const db::FileDecl& Declaration(FileId id) {
  static std::array<std::unique_ptr<db::FileDecl>, kFileCount> decls;
  static std::once_flag once;
  std::call_once(once, [] {
    for (int i = 0; i < kFileCount; ++i) decls[i] = Build(static_cast<FileId>(i));
  });
  return *decls[static_cast<int>(id)];
}

}  // namespace data
