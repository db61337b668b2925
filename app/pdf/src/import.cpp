#include "velmora/apppdf/import.h"

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "velmora/app/fileutil.h"
#include "velmora/apppdf/screen.h"
#include "velmora/apppdf/status.h"
#include "velmora/classlib/errors.h"
#include "velmora/data/dictionary.h"
#include "velmora/files/files.h"
#include "velmora/pdf/pdf.h"
#include "velmora/runtime/datetime.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/paths.h"
#include "velmora/runtime/system.h"
#include "velmora/runtime/text.h"

namespace apppdf {
namespace {

using data::FileId;

// Page text and content pass a buffer of 16466 bytes with its terminator.
constexpr size_t kTextBufferChars = 16465;
constexpr int kRenderResolution = 288;
constexpr int kRenderGif = 6;

// The FormPages BLOBs.
constexpr const char* kPageImage = "FOR1:PAGEIMAGE";
constexpr const char* kPageContent = "FOR1:PAGECONTENT";
constexpr const char* kPageText = "FOR1:PAGETEXT";

// A library text as it comes out of the text buffer: up to its terminator,
// at most kTextBufferChars characters.
std::string ThroughTextBuffer(std::string text) {
  size_t nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
  if (text.size() > kTextBufferChars) text.resize(kTextBufferChars);
  return text;
}

void SetBlobText(db::FileDecl& f, const char* blob, const std::string& text) {
  const int memo = f.MemoIndex(blob);
  db::BlobSetSize(f, memo, 0);
  db::BlobWrite(f, memo, 0, std::vector<uint8_t>(text.begin(), text.end()));
}

// The file name without folder and extension, upper-cased.
std::string FormNameOf(const std::string& file) {
  std::string name = file.substr(file.find_last_of("\\/:") + 1);
  size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.resize(dot);
  return rt::Upper(name);
}

// One POFFS entry: where a page's box sits (points).
struct PageOffset {
  double xofs = 0, yofs = 0, pageHeight = 0, pageWidth = 0;
};

// The relations opened for one import, closed again at its end.
class OpenFiles {
 public:
  OpenFiles(data::Dictionary& d, std::initializer_list<FileId> ids) : d_(d) {
    for (FileId id : ids) {
      if (d_.Relate(id)->Open() == cl::kBenign)
        opened_.push_back(id);
      else
        ok_ = false;  // the relation's open has told the user
    }
  }
  bool Ok() const { return ok_; }
  ~OpenFiles() {
    for (auto it = opened_.rbegin(); it != opened_.rend(); ++it) d_.Relate(*it)->Close();
  }
  OpenFiles(const OpenFiles&) = delete;
  OpenFiles& operator=(const OpenFiles&) = delete;

 private:
  data::Dictionary& d_;
  std::vector<FileId> opened_;
  bool ok_ = true;
};

// The document being imported, selected while the import runs and
// removed from the library when it ends.
class Document {
 public:
  explicit Document(const std::string& file) : id_(iSEDLoadFromFile(file)) {
    if (id_ && iSEDPageCount() < 1) Remove();  // nothing to import
    if (id_ && iSEDEncrypted()) iSEDUnencrypt();
  }
  ~Document() { Remove(); }
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;
  explicit operator bool() const { return id_ != 0; }
  void Remove() {
    if (id_) iSEDRemoveDocument(id_);
    id_ = 0;
  }

 private:
  int id_;
};

void ReportNoPictures(const std::string& file) {
  rt::Message("The pages of the file " + rt::ShownPath(file) +
                  " could not be turned into pictures.|The document is damaged or too complex, "
                  "or the temporary folder cannot be written. Nothing was imported.",
              "Velmora", rt::kIconExclamation, rt::kButtonOk);
}

// After a load that failed: why, in the user's words.
void ReportUnreadable(const std::string& file) {
  if (iSEDLoadFailure() == 2) {
    rt::Message("The structure of the file " + rt::ShownPath(file) +
                    " is too large, too deeply nested or too complex to be read in a "
                    "reasonable time.|Nothing was imported.",
                "Velmora", rt::kIconExclamation, rt::kButtonOk);
    return;
  }
  rt::Message("The file " + rt::ShownPath(file) +
                  " could not be opened as a PDF document.|It is not a PDF file, it is "
                  "damaged, or it needs a password to be opened.",
              "Velmora", rt::kIconExclamation, rt::kButtonOk);
}

// A folder of this import's own for the page pictures, under the
// temporary folder, removed with everything in it at the end.
class PictureFolder {
 public:
  PictureFolder() {
    std::string base = db::HostPath(app::GetTempFolder());
    std::string tmpl = base + "velmora-import-XXXXXX";
    if (::mkdtemp(tmpl.data())) path_ = tmpl;
  }
  ~PictureFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  PictureFolder(const PictureFolder&) = delete;
  PictureFolder& operator=(const PictureFolder&) = delete;
  bool Ready() const { return !path_.empty(); }
  // The render pattern, in the library's Windows-1252 text.
  std::string Pattern() const { return rt::FromUtf8(path_) + "/page%p.gif"; }
  // A picture's name in the runtime's Windows form.
  std::string Picture(int page) const {
    return rt::WindowsPath(path_ + "/page" + std::to_string(page) + ".gif");
  }

 private:
  std::string path_;
};

// The pass both entry points share, on the calling thread's files.
class Import {
 public:
  Import(data::Dictionary& d, const AppearanceDefaults& defaults) : d_(d), defaults_(defaults) {}

  // Document information into the Forms record buffer.
  void ReadInformation() {
    auto& f = d_.FOR;
    f.PDFVERSION = iSEDGetInformation(0);
    f.AUTHOR = iSEDGetInformation(1);
    f.TITLE = iSEDGetInformation(2);
    f.SUBJECT = iSEDGetInformation(3);
    f.CREATOR = iSEDGetInformation(5);
    f.PRODUCER = iSEDGetInformation(6);
    f.CREATIONDATE = iSEDGetInformation(7);
    f.MODIFICATIONDATE = iSEDGetInformation(8);
    f.TOTALPAGES = static_cast<rt::Short>(iSEDPageCount());
  }

  void StartBatch() {
    db::Stream(d_.File(FileId::PageControls));
    db::Stream(d_.File(FileId::FieldValues));
  }
  void EndBatch() {
    for (FileId id : {FileId::PageControls, FileId::FieldValues}) {
      db::Flush(d_.File(id));
      if (rt::ErrorCode()) Failed(id);
    }
  }

  // Records are added in bulk without messages; the first failure ends the
  // adding and is reported once at the end. True when nothing failed.
  bool Report() {
    if (!failed_) return true;
    rt::RestoreError(failure_);
    data::GlobalErrors().ThrowFile(cl::Msg::AddFailed, d_.File(failedFile_).Label());
    return false;
  }

  void ShowRendering() { ShowStatus("Renderig PDF to graphic format. Please be patient."); }
  // False when a page picture could not be made: the import stores nothing.
  bool RenderPictures() {
    return pictures_.Ready() && iSEDRenderDocumentToFile(kRenderResolution, 1, iSEDPageCount(),
                                                         kRenderGif, pictures_.Pattern()) == 1;
  }

  void StorePages(const std::string& file) {
    const int count = iSEDPageCount();
    db::FileDecl& pages = d_.File(FileId::FormPages);
    // The pages' texts are read at once, in parallel, as the pictures were,
    // and the pages are written in one batch, ended before anything is
    // asked.
    iSEDReadPageTexts(3, 1, count);
    db::Stream(pages);
    for (int p = 1; p <= count; ++p) {
      std::string status = "Processing Page " + std::to_string(p) + " of " + std::to_string(count);
      // A page too large for the resolution was drawn at a lower one.
      const int drawn = static_cast<int>(iSEDRenderedResolution(p));
      if (drawn > 0 && drawn < kRenderResolution)
        status += " (picture at " + std::to_string(drawn) + " dpi: page too large)";
      ShowStatus(status);
      // Every page starts from an empty record, so a page that cannot be
      // selected keeps nothing of the page before it.
      pages.ClearRecord();
      for (int m = 0; m < static_cast<int>(pages.Memos().size()); ++m) db::BlobSetSize(pages, m, 0);
      d_.FOR1.FORMID = d_.FOR.ID;
      d_.FOR1.PAGENO = static_cast<rt::Short>(p);
      if (pictures_.Ready())
        app::FileToBlob(pages, pages.MemoIndex(kPageImage), pictures_.Picture(p));
      if (iSEDSelectPage(p)) StorePageBox(p);
      Add(FileId::FormPages);
    }
    db::Flush(pages);
    if (rt::ErrorCode()) Failed(FileId::FormPages);
    ReportTooLarge(file);
  }

  static constexpr int kMostFields = 32767;

  void StoreFields() {
    // Controls keep field numbers in 16 bits: later fields cannot be stored
    // (their numbers would wrap onto the radio buttons' temporary indexes).
    const int all = iSEDFormFieldCount();
    const int n = std::min(all, kMostFields);
    if (n <= 0) return;
    if (all > n)
      rt::Message("This document has " + std::to_string(all) + " fields; only the first " +
                      std::to_string(n) + " can be kept in a form.",
                  "INFO", rt::kIconExclamation, rt::kButtonOk, rt::kButtonOk);
    int answer = rt::Message(
        "This document already contains fillable fields.|Do you want to use the existing "
        "fields information to create form fields?",
        "INFO", rt::kIconQuestion, rt::kButtonYes | rt::kButtonNo, rt::kButtonYes);
    if (answer != rt::kButtonYes) return;
    resolution_ = ScreenResolution();
    unique_ = 0;
    for (int i = 1; i <= n; ++i) {
      d_.File(FileId::PageControls).ClearRecord();
      ShowStatus("Processing field " + std::to_string(i) + " of " + std::to_string(n));
      auto& pag = d_.PAG;
      pag.FORMID = d_.FOR.ID;
      pag.PDFFIELDTYPE = static_cast<rt::Short>(iSEDGetFormFieldType(i));
      if (pag.PDFFIELDTYPE == 4)
        StoreRadioGroup(i);
      else
        StoreField(i);
    }
  }

  void Done() { ShowStatus("Done!"); }

 private:
  void StorePageBox(int p) {
    auto& r = d_.FOR1;
    if (iSEDHasPageBox(2)) {
      r.PAGEWIDTH = iSEDGetPageBox(2, 2);
      r.PAGEHEIGHT = iSEDGetPageBox(2, 3);
      r.XOFFSET = iSEDGetPageBox(2, 0) - iSEDGetPageBox(1, 0);
      r.YOFFSET = iSEDGetPageBox(2, 5) - iSEDGetPageBox(1, 5);
    } else {
      r.PAGEWIDTH = iSEDPageWidth();
      r.PAGEHEIGHT = iSEDPageHeight();
      r.XOFFSET = 0;
      r.YOFFSET = 0;
    }
    poffs_[p] = PageOffset{r.XOFFSET, r.YOFFSET, r.PAGEHEIGHT, r.PAGEWIDTH};
    db::FileDecl& pages = d_.File(FileId::FormPages);
    SetBlobText(pages, kPageText, ThroughTextBuffer(iSEDGetPageText(3)));
    iSEDCombineLayers();
    SetBlobText(pages, kPageContent, ThroughTextBuffer(iSEDGetPageContent()));
    // A page beyond what the library reads keeps its picture and box only.
    if (iSEDPageContentTooLarge()) {
      SetBlobText(pages, kPageText, "");
      SetBlobText(pages, kPageContent, "");
      tooLarge_.push_back(p);
    }
  }

  // One message for the pages stored without their text.
  void ReportTooLarge(const std::string& file) {
    if (tooLarge_.empty()) return;
    std::string which;
    for (size_t i = 0; i < tooLarge_.size(); ++i) {
      if (i) which += i + 1 == tooLarge_.size() ? " and " : ", ";
      which += std::to_string(tooLarge_[i]);
    }
    const bool one = tooLarge_.size() == 1;
    rt::Message(std::string(one ? "Page " : "Pages ") + which + " of the file " + file +
                    (one ? " holds" : " hold") +
                    " more content than can be read.|" + (one ? "It was" : "They were") +
                    " stored without " + (one ? "its" : "their") + " text, with a blank picture.",
                "Velmora", rt::kIconExclamation, rt::kButtonOk);
  }

  // The page's offsets; null for a page without a stored box (page 0, a
  // page that could not be selected), whose fields are not placed.
  const PageOffset* OffsetsOf(int page) const {
    auto it = poffs_.find(page);
    return it == poffs_.end() ? nullptr : &it->second;
  }

  void AddValue(int field, int number, const std::string& name, rt::Short button) {
    d_.File(FileId::FieldValues).ClearRecord();
    auto& fie = d_.FIE;
    fie.FORMID = d_.PAG.FORMID;
    fie.CONTROLID = field;
    fie.VALUENUMBER = static_cast<rt::Short>(number);
    fie.CONTROLVALUE = rt::Clip(name);
    fie.RADIOBUTTONNUMBER = button;
    Add(FileId::FieldValues);
  }

  void StoreRadioGroup(int i) {
    auto& pag = d_.PAG;
    const int kids = iSEDGetFormFieldSubCount(i);
    rt::Short button = 1;
    for (int j = 1; j <= kids; ++j) {
      pag.CONTROLID = i;
      const std::string name = iSEDGetFormFieldSubName(i, j);
      if (rt::Upper(rt::Clip(name)) == "OFF") {
        AddValue(i, j, name, -1);
        continue;
      }
      AddValue(i, j, name, button);
      const rt::Short number = button++;
      const int t = iSEDGetFormFieldSubTempIndex(i, j);
      const int page = iSEDGetFormFieldPage(t);
      const PageOffset* o = OffsetsOf(page);
      if (!o) continue;
      pag.CONTROLUNIQUEID = ++unique_;
      pag.PAGENO = static_cast<rt::Short>(page);
      pag.CONTROLTABORDER = static_cast<rt::Short>(iSEDGetFormFieldTabOrder(t));
      pag.CONTROLNAME = iSEDGetFormFieldTitle(i);
      ScreenGeometry(t, *o);
      pag.RADIOBUTTONNUMBER = number;
      pag.CONTROLPICTURE = "@s1";
      pag.PDFFIELDLENGTH = 1;
      pag.PDFFIELDNUMBER = static_cast<rt::Short>(i);
      pag.CONTROLTYPE = 8;
      ReadPdfFieldInfo(static_cast<rt::Short>(t));
      AddPageControl();
    }
  }

  void StoreField(int i) {
    auto& pag = d_.PAG;
    const int page = iSEDGetFormFieldPage(i);
    const PageOffset* o = page ? OffsetsOf(page) : nullptr;
    if (!o) return;
    pag.CONTROLUNIQUEID = ++unique_;
    pag.PAGENO = static_cast<rt::Short>(page);
    pag.CONTROLTABORDER = static_cast<rt::Short>(iSEDGetFormFieldTabOrder(i));
    pag.CONTROLID = i;
    const int type = pag.PDFFIELDTYPE;
    if (type == 2 || type == 3 || type == 5) {
      const int kids = iSEDGetFormFieldSubCount(i);
      for (int k = 1; k <= kids; ++k) AddValue(i, k, iSEDGetFormFieldSubName(i, k), 0);
    }
    pag.RADIOBUTTONNUMBER = 0;
    pag.CONTROLNAME = iSEDGetFormFieldTitle(i);
    ScreenGeometry(i, *o);
    pag.PDFISMULTILINE = static_cast<rt::Byte>(iSEDGetFormFieldTextFlags(i, 1) & 0xFF);
    if (type == 3) {
      pag.CONTROLPICTURE = "@s1";
      pag.CONTROLTYPE = 12;
      pag.PDFFIELDLENGTH = 1;
    } else if (type == 5) {
      pag.CONTROLPICTURE = "";
      pag.CONTROLTYPE = 34;
      pag.PDFFIELDLENGTH = 0;
    } else {
      const int m = iSEDGetFormFieldMaxLen(i);
      if (m > 0) {
        pag.CONTROLPICTURE = "@s" + std::to_string(m);
        pag.CONTROLTYPE = 8;
        pag.PDFFIELDLENGTH = static_cast<rt::Short>(m);
      } else {
        pag.CONTROLPICTURE = "@s256";
        pag.CONTROLTYPE = 17;
        pag.PDFFIELDLENGTH = -1;
      }
      if (pag.PDFISMULTILINE) {
        pag.CONTROLFONTHEIGHT = 10;
        pag.CONTROLTYPE = 17;
        pag.PDFFIELDLENGTH = -1;
      }
    }
    pag.PDFFIELDNUMBER = static_cast<rt::Short>(i);
    ReadPdfFieldInfo(static_cast<rt::Short>(i));
    AddPageControl();
  }

  // Editor pixels from the field's bounds in points.
  void ScreenGeometry(int field, const PageOffset& o) {
    auto& pag = d_.PAG;
    const double left = iSEDGetFormFieldBound(field, 0), top = iSEDGetFormFieldBound(field, 1),
                 width = iSEDGetFormFieldBound(field, 2), height = iSEDGetFormFieldBound(field, 3);
    const PixelRect px = PagePixelsOf(left, top, width, height, o.pageHeight, o.xofs, o.yofs, resolution_);
    pag.CONTROLX = px.x;
    pag.CONTROLY = px.y;
    pag.CONTROLWIDTH = px.width;
    pag.CONTROLHEIGHT = px.height;
  }

  void AddPageControl() {
    auto& pag = d_.PAG;
    pag.CONTROLTRANSPARENT = defaults_.transparent;
    pag.CONTROLBOXED = defaults_.boxed;
    pag.CONTROLFLAT = defaults_.flat;
    pag.PDFFIELDNAME = pag.CONTROLNAME.View();
    Add(FileId::PageControls);
  }

  void Add(FileId id) {
    if (!failed_ && d_.Access(id)->TryInsert() != cl::kBenign) Failed(id);
  }
  void Failed(FileId id) {
    if (failed_) return;
    failed_ = true;
    failure_ = rt::SaveError();
    failedFile_ = id;
  }

  data::Dictionary& d_;
  AppearanceDefaults defaults_;
  PictureFolder pictures_;
  std::map<int, PageOffset> poffs_;
  std::vector<int> tooLarge_;  // pages whose content the library does not read
  Resolution resolution_;
  int unique_ = 0;
  bool failed_ = false;
  rt::ErrorSnapshot failure_;
  FileId failedFile_ = FileId::PageControls;
};

}  // namespace

void ReadPdfFieldInfo(rt::Short field) {
  auto& pag = data::ThisThread().PAG;
  pag.PDFX = iSEDGetFormFieldBound(field, 0);
  pag.PDFY = iSEDGetFormFieldBound(field, 1);
  pag.PDFWIDTH = iSEDGetFormFieldBound(field, 2);
  pag.PDFHEIGHT = iSEDGetFormFieldBound(field, 3);
  pag.CONTROLFONTNAME = iSEDGetFormFieldFontName(field);
  if (pag.PDFISMULTILINE == 0)
    pag.CONTROLFONTHEIGHT = static_cast<rt::Short>(TruncPixels(pag.PDFHEIGHT * 0.75));
  pag.CONTROLALIGNMENT = static_cast<rt::Byte>(iSEDGetFormFieldAlignment(field) & 0xFF);
  pag.PDFVALUE = iSEDGetFormFieldValue(field);
  pag.PDFFIELDDESCRIPTION = iSEDGetFormFieldDescription(field);
  pag.HIDDEN = pag.PDFFIELDTYPE == 4 ? 0 : (iSEDGetFormFieldVisible(field) ? 0 : 1);
}

bool ImportIntoForm(const AppearanceDefaults& defaults) {
  data::Dictionary& d = data::ThisThread();
  const std::string file = rt::Clip(d.FOR.ORIGINALPDFFILE.View());
  if (file.empty()) return false;
  Document doc(file);
  if (!doc) {
    ReportUnreadable(file);
    return false;
  }
  OpenFiles open(d, {FileId::FormPages, FileId::PageControls, FileId::PDFDetails});
  if (!open.Ok()) return false;
  Import import(d, defaults);
  import.StartBatch();
  if (rt::Clip(d.FOR.FORMNAME.View()).empty()) d.FOR.FORMNAME = FormNameOf(file);
  import.ShowRendering();
  for (int i = 1, n = iSEDFindFonts(); i <= n; ++i) iSEDSelectFont(iSEDFontID(i));
  if (!import.RenderPictures()) {
    import.EndBatch();
    ReportNoPictures(file);
    return false;
  }
  import.ReadInformation();
  import.StorePages(file);
  import.StoreFields();
  import.Done();
  doc.Remove();
  import.EndBatch();
  return import.Report();
}

rt::Short CreateFormFromPdf(std::string_view fileName) {
  data::Dictionary& d = data::ThisThread();
  const std::string file = rt::Clip(fileName);
  OpenFiles open(d, {FileId::Forms});
  if (!open.Ok()) return -1;
  cl::FileManager* forms = d.Access(FileId::Forms);
  forms->PrimeRecord();
  d.FOR.ORIGINALPDFFILE = file;
  if (forms->TryFetch(forms->KeyNumber("FOR:FileName_Key")) == cl::kBenign) {
    int answer = rt::Message(
        "Data entry form based on the|" + rt::ShownPath(rt::Clip(d.FOR.ORIGINALPDFFILE.View())) +
            " file already exists.|Press \"Yes\" to create a new data entry form anyway.|"
            "Press \"No\" to use existing data entry form.",
        "Velmora", rt::kIconQuestion, rt::kButtonYes | rt::kButtonNo, rt::kButtonNo);
    if (answer != rt::kButtonYes) return 0;
  }
  forms->PrimeRecord();
  d.FOR.ORIGINALPDFFILE = file;
  Document doc(file);
  if (!doc) {
    ReportUnreadable(file);
    return -1;
  }
  d.FOR.FORMNAME = FormNameOf(file);
  Import import(d, AppearanceDefaults{});
  import.ReadInformation();
  d.FOR.DATECREATED = rt::Today();
  d.FOR.TIMECREATED = rt::Clock();
  d.FOR.ISPDF = 1;
  app::FileToBlob(d.File(FileId::Forms), d.File(FileId::Forms).MemoIndex("FOR:PDFDATA"), file);
  // The pictures come first: without them nothing of the form is stored.
  import.ShowRendering();
  if (!import.RenderPictures()) {
    ReportNoPictures(file);
    return -1;
  }
  // Pages and controls are stored only under a form that exists.
  if (forms->Insert() != cl::kBenign) return -1;
  import.StartBatch();
  import.StorePages(file);
  import.StoreFields();
  import.Done();
  doc.Remove();
  import.EndBatch();
  return import.Report() ? 1 : -1;
}

}  // namespace apppdf
