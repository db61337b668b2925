// The steps shared by writing, printing and e-mailing a form's PDF.
#include "velmora/apppdf/output.h"

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <vector>

#include "velmora/app/fileutil.h"
#include "velmora/data/dictionary.h"
#include "velmora/files/files.h"
#include "velmora/pdf/pdf.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/paths.h"
#include "velmora/runtime/text.h"

namespace apppdf {
namespace {

// Folders kept for the desktop until the program ends.
struct KeptFolders {
  std::mutex mu;
  std::vector<std::string> paths;
  ~KeptFolders() {
    std::error_code ec;
    for (const std::string& p : paths) std::filesystem::remove_all(p, ec);
  }
};

KeptFolders& Kept() {
  static KeptFolders kept;
  return kept;
}

std::string ErrorOf(rt::Long code) {
  std::string text(rt::DefaultErrorText(static_cast<int>(code)));
  return text.empty() ? "error " + std::to_string(code) : text + " (" + std::to_string(code) + ")";
}

}  // namespace

void ColorToRgbFractions(rt::Long color, rt::Real& red, rt::Real& green, rt::Real& blue) {
  red = (color & 0xFF) / 255.0;
  green = ((color >> 8) & 0xFF) / 255.0;
  blue = ((color >> 16) & 0xFF) / 255.0;
}

std::string StandardFontOf(std::string_view face, bool bold, bool italic) {
  std::string name;
  for (char c : rt::Upper(rt::Clip(face)))
    if (c != ' ' && c != '-') name += c;
  if (name.find("SYMBOL") == 0) return "Symbol";
  if (name.find("ZAPF") == 0 || name.find("DINGBAT") != std::string::npos) return "ZapfDingbats";
  bold = bold || name.find("BOLD") != std::string::npos;
  italic = italic || name.find("ITALIC") != std::string::npos || name.find("OBLIQUE") != std::string::npos;
  if (name.find("COURIER") == 0) return std::string("Courier") + (bold || italic ? "-" : "") + (bold ? "Bold" : "") +
                                        (italic ? "Oblique" : "");
  if (name.find("TIMES") == 0)
    return std::string("Times-") + (bold && italic ? "BoldItalic" : bold ? "Bold" : italic ? "Italic" : "Roman");
  return std::string("Helvetica") + (bold || italic ? "-" : "") + (bold ? "Bold" : "") + (italic ? "Oblique" : "");
}

// ---- the working folder

WorkFolder::WorkFolder() {
  const std::string base = db::HostPath(app::GetTempFolder());
  if (base.empty()) return;
  std::string tmpl = base + "velmora-XXXXXX";
  if (::mkdtemp(tmpl.data())) path_ = tmpl;
}

WorkFolder::~WorkFolder() {
  if (path_.empty() || kept_) return;
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string WorkFolder::File(std::string_view name) const {
  return rt::WindowsPath(path_ + "/") + std::string(name);
}

void WorkFolder::KeepUntilExit() {
  if (path_.empty() || kept_) return;
  kept_ = true;
  std::lock_guard l(Kept().mu);
  Kept().paths.push_back(path_);
}

// ---- the document

FormDocument::~FormDocument() { Remove(); }

void FormDocument::Remove() {
  if (id_) iSEDRemoveDocument(id_);
  id_ = 0;
}

bool FormDocument::Fail(std::string what) {
  if (failure_.empty()) failure_ = std::move(what);
  return false;
}

bool FormDocument::Load(const std::string& workingCopy) {
  data::Dictionary& d = data::ThisThread();
  db::FileDecl& forms = d.File(data::FileId::Forms);
  const int blob = forms.MemoIndex("FOR:PDFDATA");
  const uint32_t size = db::BlobSize(forms, blob);
  if (rt::ErrorCode() || size == 0)
    return Fail("The form " + rt::Clip(d.FOR.FORMNAME.View()) + " has no PDF document stored.");
  // A working copy left behind by anything before is never used.
  std::error_code ec;
  std::filesystem::remove(db::HostPath(workingCopy), ec);
  if (ec) return Fail("The old working copy " + workingCopy + " could not be deleted.");
  const rt::Long written = app::BlobToFile(forms, blob, workingCopy);
  if (written != 0)
    return Fail("The form's PDF document could not be written to " + workingCopy + ": " + ErrorOf(written) + ".");
  id_ = iSEDLoadFromFile(workingCopy);
  if (!id_) return Fail("The form's PDF document could not be loaded: it is damaged or needs a password.");
  if (iSEDEncrypted() && !iSEDUnencrypt()) return Fail("The encryption of the form's PDF document could not be removed.");
  return true;
}

bool FormDocument::SetNeedAppearances() {
  if (!Ok()) return false;
  return iSEDSetNeedAppearances(1) ? true : Fail("The PDF document could not be marked to draw its fields.");
}

bool FormDocument::UpdateAppearances() {
  if (!Ok()) return false;
  const int n = iSEDFormFieldCount();
  for (int i = 1; i <= n; ++i)
    if (!iSEDUpdateAppearanceStream(i))
      return Fail("The appearance of field " + iSEDGetFormFieldTitle(i) + " could not be drawn.");
  return true;
}

bool FormDocument::FlattenAll() {
  if (!Ok()) return false;
  const int n = iSEDFormFieldCount();
  for (int i = 1; i <= n; ++i)
    if (!iSEDFlattenFormField(1))
      return Fail("The field " + iSEDGetFormFieldTitle(1) + " could not be drawn into its page.");
  if (iSEDFormFieldCount() != 0) return Fail("Not every field could be drawn into its page.");
  return true;
}

bool FormDocument::Save(const std::string& file) {
  if (!Ok()) return false;
  return iSEDSaveToFile(file) ? true : Fail("The PDF document could not be saved as " + rt::ShownPath(file) + ".");
}

bool FormDocument::Print(const std::string& printer, int first, int last, const std::string& title) {
  if (!Ok()) return false;
  const int options = iSEDPrintOptions(0, 0, title);
  if (first == -1) first = 1;
  if (last == -1) last = iSEDPageCount();
  if (!options || !iSEDPrintDocument(printer, first, last, options))
    return Fail("The form could not be printed on " + (printer.empty() ? std::string("the printer") : printer) + ".");
  return true;
}

std::string AttachmentName(std::string_view originalFile, std::string_view formName) {
  std::string name = rt::Clip(originalFile);
  name = name.substr(name.find_last_of("\\/") + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.resize(dot);
  if (name.empty()) name = rt::Clip(formName);
  if (name.empty()) name = "form";
  return name + ".pdf";
}

}  // namespace apppdf
