// The data files of an earlier release, written through its declarations.
#include "previous_files.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "velmora/files/files.h"
#include "velmora/pdf/pdf.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/text.h"
#include "velmora/upgrade/registration.h"

namespace previous {
namespace {

using data::FileId;
using db::DeclBuilder;
using db::Type;

constexpr uint8_t kAttrs = db::kAttrCreate | db::kAttrThread;
constexpr uint32_t kUnique = db::kKeyNoCase | db::kKeyOpt;
constexpr uint32_t kPrimary = kUnique | db::kKeyPrimary;
constexpr uint32_t kDup = kUnique | db::kKeyDup;

DeclBuilder Isam(std::string label, std::string prefix, std::string name) {
  DeclBuilder b(std::move(label), std::move(prefix));
  b.Driver("ISAM").Name(std::move(name)).Attributes(kAttrs);
  return b;
}

// Forms 4: a shorter FORMNAME, PDFVERSION as a STRING(10), no TOTALPAGES,
// no FileName_Key.
std::unique_ptr<db::FileDecl> Forms4() {
  DeclBuilder b = Isam("Forms", "FOR", ".\\data\\forms.tps");
  b.Field(Type::Long, "ID")
      .Field(Type::CString, "FORMNAME", 60)
      .Field(Type::Long, "DATECREATED")
      .Field(Type::Long, "TIMECREATED")
      .Field(Type::Byte, "ISPDF")
      .Field(Type::CString, "ORIGINALPDFFILE", 128)
      .Field(Type::String, "PDFVERSION", 10);
  for (const char* n : {"AUTHOR", "TITLE", "SUBJECT", "CREATOR", "PRODUCER"}) b.Field(Type::CString, n, 256);
  b.Field(Type::CString, "CREATIONDATE", 20)
      .Field(Type::CString, "MODIFICATIONDATE", 20)
      .Key("ID_Key", {1}, kPrimary)
      .Key("FormName_Key", {2}, kDup)
      .Key("DateCreated_Key", {3}, kDup)
      .Memo("PDFDATA", db::kMemoBinary, 0);
  return b.Build();
}

// FormPages 0: page sizes as SREAL, no FLAG.
std::unique_ptr<db::FileDecl> FormPages0() {
  DeclBuilder b = Isam("FormPages", "FOR1", ".\\data\\formpage.tps");
  b.Field(Type::Long, "FORMID")
      .Field(Type::Short, "PAGENO")
      .Field(Type::SReal, "PAGEWIDTH")
      .Field(Type::SReal, "PAGEHEIGHT")
      .Field(Type::SReal, "XOFFSET")
      .Field(Type::SReal, "YOFFSET")
      .Key("FormID_Key", {1, 2}, kDup)
      .Memo("PAGEIMAGE", db::kMemoBinary, 0)
      .Memo("PAGECONTENT", db::kMemoText, 0)
      .Memo("PAGETEXT", db::kMemoText, 0);
  return b.Build();
}

// PageControls 4: the current declaration with the positions as SHORT,
// the PDF geometry as SREAL, a shorter CONTROLNAME, a field since dropped
// (CONTROLCOLOR), and without IMPORTEDFIELD, HIDDEN and TabOrder_Key.
std::unique_ptr<db::FileDecl> PageControls4() {
  const db::FileDecl& now = data::Declaration(FileId::PageControls);
  DeclBuilder b = Isam(now.Label(), now.Prefix(), now.Name());
  for (const db::FieldInfo& f : now.Fields()) {
    const std::string name = f.label.substr(f.label.find(':') + 1);
    if (name == "IMPORTEDFIELD" || name == "HIDDEN") continue;
    if (name == "CONTROLX" || name == "CONTROLY" || name == "CONTROLWIDTH" || name == "CONTROLHEIGHT")
      b.Field(Type::Short, name);
    else if (f.type == Type::Real)
      b.Field(Type::SReal, name);
    else
      b.Field(f.type, name, name == "CONTROLNAME" ? 60 : f.type == Type::CString ? f.size : 0);
    if (name == "CONTROLHEIGHT") b.Field(Type::Long, "CONTROLCOLOR");  // keys use fields before it only
  }
  for (const db::KeyDesc& k : now.Keys())
    if (k.label != "PAG:TabOrder_Key") b.Key(k.label.substr(k.label.find(':') + 1), k.components, k.attrib);
  return b.Build();
}

// FieldValues 0: a shorter CONTROLVALUE, no RADIOBUTTONNUMBER, Value_Key
// on (FORMID, CONTROLID) only.
std::unique_ptr<db::FileDecl> FieldValues0() {
  DeclBuilder b = Isam("FieldValues", "FIE", ".\\data\\fieldval.tps");
  b.Field(Type::Long, "FORMID")
      .Field(Type::Long, "CONTROLID")
      .Field(Type::Short, "VALUENUMBER")
      .Field(Type::CString, "CONTROLVALUE", 40)
      .Key("Number_Key", {1, 2, 3}, kDup)
      .Key("Value_Key", {1, 2}, kDup);
  return b.Build();
}

// FilledForm 0 (the alias file declared it with the same FIL labels): no
// TIMECREATED, a shorter name.
std::unique_ptr<db::FileDecl> FilledForm0(std::string label) {
  DeclBuilder b = Isam(std::move(label), "FIL", ".\\data\\FILLEDFO.TPS");
  b.Field(Type::Long, "ID")
      .Field(Type::Long, "DATECREATED")
      .Field(Type::Long, "FORMID")
      .Field(Type::String, "FILLEDFORMNAME", 100)
      .Key("FormID_Key", {3, 4}, kUnique)
      .Key("ID_Key", {1}, kPrimary);
  return b.Build();
}

std::vector<uint8_t> Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

void Write(db::FileDecl& f, const Record& r) {
  f.ClearRecord();
  for (db::MemoDesc& m : f.Memos()) m.data.clear();
  for (const auto& [name, value] : r.fields) SetField(f, f.Prefix() + ":" + name, value);
  for (const auto& [name, bytes] : r.memos) f.Memos()[static_cast<size_t>(f.MemoIndex(f.Prefix() + ":" + name))].data = bytes;
  db::Add(f);
}

}  // namespace

void SetField(db::FileDecl& f, const std::string& label, const std::string& value) {
  int i = f.FieldIndex(label);
  if (i < 0) throw std::invalid_argument("no field " + label);
  const db::FieldInfo& fi = f.Fields()[static_cast<size_t>(i)];
  uint8_t* p = f.Record() + fi.offset;
  double d = std::strtod(value.c_str(), nullptr);
  auto put = [&](auto v) { std::memcpy(p, &v, sizeof v); };
  switch (fi.type) {
    case Type::Byte: put(static_cast<uint8_t>(d)); break;
    case Type::Short: put(static_cast<int16_t>(d)); break;
    case Type::Long: put(static_cast<int32_t>(d)); break;
    case Type::SReal: put(static_cast<float>(d)); break;
    case Type::Real: put(d); break;
    case Type::String:
      std::memset(p, ' ', fi.size);
      std::memcpy(p, value.data(), std::min<size_t>(value.size(), fi.size));
      break;
    case Type::CString:
      std::memset(p, 0, fi.size);
      std::memcpy(p, value.data(), std::min<size_t>(value.size(), fi.size - 1));
      break;
    default: throw std::invalid_argument("type of " + label);
  }
}

std::string FieldText(const db::FileDecl& f, const std::string& label) {
  int i = f.FieldIndex(label);
  if (i < 0) return "<missing>";
  const db::FieldInfo& fi = f.Fields()[static_cast<size_t>(i)];
  const uint8_t* p = f.Record() + fi.offset;
  auto get = [&](auto v) {
    std::memcpy(&v, p, sizeof v);
    return v;
  };
  char buf[64];
  switch (fi.type) {
    case Type::Byte: return std::to_string(get(uint8_t{}));
    case Type::Short: return std::to_string(get(int16_t{}));
    case Type::Long: return std::to_string(get(int32_t{}));
    case Type::SReal: std::snprintf(buf, sizeof buf, "%g", static_cast<double>(get(float{}))); return buf;
    case Type::Real: std::snprintf(buf, sizeof buf, "%g", get(double{})); return buf;
    case Type::String: return rt::Clip(std::string(reinterpret_cast<const char*>(p), fi.size));
    case Type::CString: return std::string(reinterpret_cast<const char*>(p), strnlen(reinterpret_cast<const char*>(p), fi.size));
    default: return "<type>";
  }
}

std::vector<Previous> Declarations() {
  std::vector<Previous> v;
  v.push_back({FileId::Forms, 4, "FOR", "Forms", Forms4()});
  v.push_back({FileId::FormPages, 0, "FOR1", "FormPages", FormPages0()});
  v.push_back({FileId::PageControls, 4, "PAG", "PageControls", PageControls4()});
  v.push_back({FileId::FieldValues, 0, "FIE", "FieldValues", FieldValues0()});
  v.push_back({FileId::FilledForm, 0, "FIL", "FilledForm", FilledForm0("FilledForm")});
  v.push_back({FileId::AliasFilledForm, 0, "ALI", "AliasFilledForm", FilledForm0("AliasFilledForm")});
  return v;
}

std::string WritePdf(const std::string& path) {
  std::vector<std::string> objects = {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 5 0 R /Resources << /Font << /F1 7 0 R >> >> >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 6 0 R /Resources << /Font << /F1 7 0 R >> >> >>",
      "", "",
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
      "<< /Title (Membership form) /Author (Club office) /Producer (hand) >>",
  };
  auto stream = [](const std::string& s) {
    return "<< /Length " + std::to_string(s.size()) + " >>\nstream\n" + s + "\nendstream";
  };
  objects[4] = stream("BT /F1 24 Tf 72 700 Td (Membership form, page one) Tj ET 72 600 200 20 re S");
  objects[5] = stream("BT /F1 18 Tf 72 760 Td (Page two: signatures) Tj ET");
  std::string out = "%PDF-1.4\n";
  std::vector<size_t> offsets;
  for (size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(out.size());
    out += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  size_t xref = out.size();
  out += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (size_t o : offsets) {
    char line[32];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", o);
    out += line;
  }
  out += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R /Info 8 0 R >>\nstartxref\n" +
         std::to_string(xref) + "\n%%EOF\n";
  std::ofstream(path, std::ios::binary) << out;
  return out;
}

Content WriteFiles(const std::string& pdfPath) {
  Content content;
  // Form 1 from the PDF: the document stored whole, its pages rendered.
  std::vector<uint8_t> pdf = Slurp(pdfPath);
  int doc = iSEDLoadFromFile(pdfPath);
  std::vector<Record>& pages = content[FileId::FormPages];
  if (doc != 0) {
    const std::string pattern = (std::filesystem::path(pdfPath).parent_path() / "page%p.png").string();
    iSEDRenderDocumentToFile(72, 1, iSEDPageCount(), 5, pattern);
    for (int p = 1; p <= iSEDPageCount(); ++p) {
      iSEDSelectPage(p);
      Record r;
      r.fields = {{"FORMID", "1"}, {"PAGENO", std::to_string(p)},
                  {"PAGEWIDTH", std::to_string(static_cast<int>(iSEDPageWidth()))},
                  {"PAGEHEIGHT", std::to_string(static_cast<int>(iSEDPageHeight()))},
                  {"XOFFSET", "0.5"}, {"YOFFSET", "-1.25"}};
      std::string png = pattern;
      png.replace(png.find("%p"), 2, std::to_string(p));
      r.memos["PAGEIMAGE"] = Slurp(png);
      r.memos["PAGECONTENT"] = Bytes(iSEDGetPageContent());
      r.memos["PAGETEXT"] = Bytes(iSEDGetPageText(0));
      pages.push_back(r);
    }
    iSEDRemoveDocument(doc);
  }
  Record form;
  form.fields = {{"ID", "1"}, {"FORMNAME", "Membership form"}, {"DATECREATED", "81234"},
                 {"TIMECREATED", "3600001"}, {"ISPDF", "1"}, {"ORIGINALPDFFILE", "C:\\forms\\member.pdf"},
                 {"PDFVERSION", "1.4"}, {"TITLE", "Membership form"}, {"AUTHOR", "Club office"},
                 {"CREATIONDATE", "D:20240101"}, {"MODIFICATIONDATE", "D:20240102"}};
  form.memos["PDFDATA"] = pdf;
  Record second;
  second.fields = {{"ID", "2"}, {"FORMNAME", "Blank request"}, {"DATECREATED", "81300"}, {"ISPDF", "0"},
                   {"ORIGINALPDFFILE", "C:\\forms\\blank.pdf"}};
  content[FileId::Forms] = {form, second};

  std::vector<Record>& controls = content[FileId::PageControls];
  for (int c = 1; c <= 30; ++c) {
    Record r;
    r.fields = {{"FORMID", "1"}, {"PAGENO", std::to_string(1 + c % 2)}, {"CONTROLID", std::to_string(c)},
                {"CONTROLUNIQUEID", std::to_string(1000 + c)}, {"CONTROLNAME", "Field" + std::to_string(c)},
                {"CONTROLTYPE", std::to_string(c % 4)}, {"CONTROLX", std::to_string(30 * c)},
                {"CONTROLY", std::to_string(-5 * c)}, {"CONTROLWIDTH", "120"}, {"CONTROLHEIGHT", "14"},
                {"CONTROLCOLOR", "255"}, {"CONTROLFONTNAME", "Arial"}, {"CONTROLTABORDER", std::to_string(31 - c)},
                {"PDFFIELDNAME", "field." + std::to_string(c)}, {"PDFVALUE", c % 3 ? "Yes" : ""},
                {"PDFX", std::to_string(36 + c) + ".5"}, {"PDFY", "700.25"}, {"PDFWIDTH", "144"},
                {"PDFHEIGHT", "18.75"}, {"BORDERWIDTH", "1"}};
    controls.push_back(r);
  }
  std::vector<Record>& values = content[FileId::FieldValues];
  for (int c = 1; c <= 12; ++c)
    values.push_back({{{"FORMID", "1"}, {"CONTROLID", std::to_string(c)}, {"VALUENUMBER", std::to_string(c % 3)},
                       {"CONTROLVALUE", "Value " + std::to_string(c)}}, {}});
  std::vector<Record>& filled = content[FileId::FilledForm];
  for (int c = 1; c <= 5; ++c)
    filled.push_back({{{"ID", std::to_string(c)}, {"DATECREATED", std::to_string(81300 + c)}, {"FORMID", "1"},
                       {"FILLEDFORMNAME", "Member " + std::to_string(c)}}, {}});

  // The earlier release's start: its declarations registered, its files
  // written through them.
  uint8_t byte = 0;
  static std::unique_ptr<db::FileDecl> gtps =
      DeclBuilder("__GTPS", "__GTPS").Driver("ISAM").Field(Type::Byte, "A").Build();
  upg::ResetRegistration();
  upg::ds_AddDriver("Tps", *gtps, 1, &byte);
  std::vector<Previous> decls = Declarations();
  for (Previous& p : decls)
    upg::ds_UsingFile(*p.decl, static_cast<rt::Short>(p.version), p.prefix, p.label);
  for (Previous& p : decls) {
    auto it = content.find(p.id);
    if (it == content.end()) continue;  // the alias shares FilledForm's file
    db::Create(*p.decl);
    db::Open(*p.decl);
    for (const Record& r : it->second) Write(*p.decl, r);
    db::Close(*p.decl);
  }
  upg::ResetRegistration();
  return content;
}

}  // namespace previous
