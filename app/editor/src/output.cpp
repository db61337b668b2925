// The Form Editor's fields written into the form's PDF, and the commands
// that save it fillable or uneditable, print it and e-mail it.
#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>

#include "velmora/apppdf/output.h"
#include "velmora/apppdf/screen.h"
#include "velmora/data/dictionary.h"
#include "velmora/editor/formeditor.h"
#include "velmora/editor/writepdf.h"
#include "velmora/files/files.h"
#include "velmora/mail/mailmessage.h"
#include "velmora/pdf/pdf.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/numbers.h"
#include "velmora/runtime/paths.h"
#include "velmora/ui/dialogs.h"
#include "velmora/ui/window.h"
#include "velmora/win/win.h"

namespace editor {

using data::FileId;

namespace {

constexpr size_t kMostValueChars = 127;
constexpr size_t kMostTitleChars = 127;

// A file's record buffer (with its memos) and its current record, put
// back when the object goes: lookups of other records leave no trace.
class KeptRecord {
 public:
  explicit KeptRecord(FileId id)
      : fm_(*data::ThisThread().Access(id)), f_(data::ThisThread().File(id)), error_(rt::SaveError()) {
    snap_ = fm_.Snap();
    if (fm_.IsOpen()) position_ = db::Position(f_);
    for (int m = 0; m < static_cast<int>(f_.Memos().size()); ++m)
      memos_.push_back(db::BlobRead(f_, m, 0, db::BlobSize(f_, m)));
    rt::RestoreError(error_);
  }
  ~KeptRecord() {
    const rt::ErrorSnapshot error = rt::SaveError();
    if (!position_.empty()) db::Reget(f_, position_);
    fm_.Restore(snap_);
    for (int m = 0; m < static_cast<int>(memos_.size()); ++m) {
      db::BlobSetSize(f_, m, 0);
      if (!memos_[m].empty()) db::BlobWrite(f_, m, 0, memos_[m]);
    }
    rt::RestoreError(error);
  }
  KeptRecord(const KeptRecord&) = delete;
  KeptRecord& operator=(const KeptRecord&) = delete;

 private:
  cl::FileManager& fm_;
  db::FileDecl& f_;
  rt::ErrorSnapshot error_;
  cl::FileManager::Snapshot snap_;
  std::string position_;
  std::vector<std::vector<uint8_t>> memos_;
};

// One pass of WritePdfFields.
class FieldWriter {
 public:
  FieldWriter(Long formId, Long dpiX, Long dpiY) : d_(data::ThisThread()), formId_(formId), dpiX_(dpiX), dpiY_(dpiY) {}

  // `selectedGroups`: the radio groups (PDF field numbers) of which a
  // button is selected in the editor.
  bool Write(const FormControl& e, const std::vector<Short>& selectedGroups) {
    name_ = rt::Clip(e.NAME.View());
    int field = e.PDFFIELDNUMBER;
    const bool regionCheck = e.CTLTYPE == kRegionCheck;
    if (e.CREATEDATRUNTIME ? !Create(e, regionCheck, field) : !Place(e)) return false;
    // A check placed in the editor has no text: its state is its value.
    std::string value = regionCheck ? (e.CHECKED ? "Yes" : "Off") : rt::Clip(e.Value());
    // Every value is written, an empty one too: the document shows what
    // the editor shows, not what the stored PDF held. A radio group is
    // off only when none of its buttons is selected.
    const bool radio = e.PDFFIELDTYPE == kPdfRadio;
    const bool groupSelected =
        std::find(selectedGroups.begin(), selectedGroups.end(), e.PDFFIELDNUMBER) != selectedGroups.end();
    if (radio && value.empty()) {
      if (groupSelected) return Writable(field);
      value = "Off";
    } else {
      if (e.PDFFIELDTYPE == kPdfCheckBox && !regionCheck) {
        if (value == "T" && FindValue(field, "FIE:Value_Key", [&](auto& fie) { fie.CONTROLVALUE = "Yes"; }))
          value = "Yes";
      } else if (e.PDFFIELDTYPE == kPdfRadio) {
        if (FindValue(field, "FIE:RadioButtonNumber_Key",
                      [&](auto& fie) { fie.RADIOBUTTONNUMBER = e.RADIOBUTTONNUMBER; }))
          value = rt::Clip(d_.FIE.CONTROLVALUE.View());
      } else if (!regionCheck) {
        // a single-line field shows no line break or tab: a value typed
        // before the fields kept them out has blanks in their place
        if (!e.VSCROLL) value = ui::SingleLineText(value);
        value = First(value, kMostValueChars);
      }
    }
    if (!iSEDSetFormFieldValue(field, value)) return Fail("its value \"" + value + "\"");
    return Writable(field);
  }

  const std::string& Failure() const { return failure_; }

 private:
  bool Writable(int field) { return iSEDSetFormFieldReadOnly(field, 0) ? true : Fail("its writable flag"); }

  // A field the PDF does not have; `field` becomes its number.
  bool Create(const FormControl& e, bool check, int& field) {
    const bool checkBox = check || e.PDFFIELDTYPE == kPdfCheckBox;
    field = iSEDNewFormField(name_, checkBox ? 3 : 1);
    if (!field) return Fail("the new field");
    if (!iSEDSetFormFieldPage(field, e.FORMPAGE)) return Fail("its page " + std::to_string(e.FORMPAGE));
    Real r, g, b;
    apppdf::ColorToRgbFractions(e.PDFFIELDBACKGROUNDCOLOR, r, g, b);
    if (!iSEDSetFormFieldBackgroundColor(field, r, g, b)) return Fail("its background colour");
    apppdf::ColorToRgbFractions(e.PDFFIELDTEXTCOLOR, r, g, b);
    if (!iSEDSetFormFieldColor(field, r, g, b)) return Fail("its text colour");
    PdfRect rect;
    if (!EditorRect(e, !e.IMPORTEDFIELD, rect)) return false;
    if (!iSEDSetFormFieldBounds(field, rect.left, rect.top, rect.width, rect.height)) return Fail("its rectangle");
    if (!iSEDSetFormFieldAlignment(field, static_cast<int>(rt::TextToLong(e.ALIGN.View())))) return Fail("its alignment");
    if (e.HASBORDER) {
      if (!iSEDSetFormFieldBorderStyle(field, e.BORDERWIDTH, static_cast<int>(e.BORDERSTYLE), 0.0, 0.0))
        return Fail("its border style");
      apppdf::ColorToRgbFractions(e.PDFBORDERCOLOR, r, g, b);
      if (!iSEDSetFormFieldBorderColor(field, r, g, b)) return Fail("its border colour");
    }
    if (e.VSCROLL && !iSEDSetFormFieldTextFlags(field, 1, 0, 0, 0, 0)) return Fail("its text flags");
    if (!iSEDSetFormFieldRotation(field, static_cast<int>(e.PDFFIELDROTATION))) return Fail("its rotation");
    // the font and size the editor shows, not a size fitted to the box
    if (!checkBox) {
      if (!iSEDSetFormFieldStandardFont(field, apppdf::StandardFontOf(e.FONTNAME.View(), e.FONTBOLD, e.FONTIT)))
        return Fail("its font");
      if (!iSEDSetFormFieldTextSize(field, e.FONTSIZE)) return Fail("its text size");
    }
    return true;
  }

  // The rectangle in points where the editor shows the field: its PDF
  // rectangle while the field is where that rectangle puts it (unless
  // `fromPixels`), else its page pixels converted. `moved` tells which.
  bool EditorRect(const FormControl& e, bool fromPixels, PdfRect& rect, bool* moved = nullptr) {
    rect = {e.PDFX, e.PDFY, e.PDFW, e.PDFH};
    const Page* page = PageOf(e.FORMPAGE);
    if (moved) *moved = false;
    if (!page) {
      if (!fromPixels) return true;  // its own rectangle: nothing says it moved
      return Fail("its page " + std::to_string(e.FORMPAGE) + " (not found in the form)");
    }
    const apppdf::PixelRect at =
        apppdf::PagePixelsOf(e.PDFX, e.PDFY, e.PDFW, e.PDFH, page->height, page->xOffset, page->yOffset,
                             {static_cast<int>(dpiX_), static_cast<int>(dpiY_)});
    const bool shifted = at.x != e.CTLX || at.y != e.CTLY || at.width != e.CTLW || at.height != e.CTLH;
    if (moved) *moved = shifted;
    if (fromPixels || shifted)
      rect = ToPoints({e.CTLX, e.CTLY, e.CTLW, e.CTLH}, dpiX_, dpiY_, page->height, page->xOffset, page->yOffset);
    return true;
  }

  // A field of the PDF the user moved or resized in the editor goes where
  // the editor shows it; a radio button is one widget of its group.
  bool Place(const FormControl& e) {
    PdfRect rect;
    bool moved = false;
    if (!EditorRect(e, false, rect, &moved)) return false;
    if (!moved) return true;
    int widget = e.PDFFIELDNUMBER;
    if (e.RADIOBUTTONNUMBER > 0) {
      widget = 0;
      // the buttons are numbered without the kids that can only be off
      for (int k = 1, n = iSEDGetFormFieldSubCount(e.PDFFIELDNUMBER), button = 0; k <= n && !widget; ++k) {
        if (rt::Upper(rt::Clip(iSEDGetFormFieldSubName(e.PDFFIELDNUMBER, k))) == "OFF") continue;
        if (++button == e.RADIOBUTTONNUMBER) widget = iSEDGetFormFieldSubTempIndex(e.PDFFIELDNUMBER, k);
      }
      if (!widget) return Fail("its button " + std::to_string(e.RADIOBUTTONNUMBER));
    }
    return iSEDSetFormFieldBounds(widget, rect.left, rect.top, rect.width, rect.height) ? true : Fail("its rectangle");
  }

  struct Page {
    Real height = 0, xOffset = 0, yOffset = 0;
  };

  // The form's page record, read once per page.
  const Page* PageOf(Short number) {
    auto it = pages_.find(number);
    if (it != pages_.end()) return it->second ? &*it->second : nullptr;
    if (!keptPage_) keptPage_.emplace(FileId::FormPages);
    cl::FileManager* fm = d_.Access(FileId::FormPages);
    d_.FOR1.FORMID = formId_;
    d_.FOR1.PAGENO = number;
    std::optional<Page> page;
    if (fm->TryFetch(fm->KeyNumber("FOR1:FormID_Key")) == cl::kBenign)
      page = Page{d_.FOR1.PAGEHEIGHT, d_.FOR1.XOFFSET, d_.FOR1.YOFFSET};
    it = pages_.emplace(number, page).first;
    return it->second ? &*it->second : nullptr;
  }

  // Fetches the FieldValues record of the form and field by the key, with
  // the key's further component set by `set`.
  template <class F>
  bool FindValue(int field, std::string_view key, F&& set) {
    if (!keptValue_) keptValue_.emplace(FileId::FieldValues);
    cl::FileManager* fm = d_.Access(FileId::FieldValues);
    d_.File(FileId::FieldValues).ClearRecord();
    d_.FIE.FORMID = formId_;
    d_.FIE.CONTROLID = field;
    set(d_.FIE);
    return fm->TryFetch(fm->KeyNumber(key)) == cl::kBenign;
  }

  bool Fail(const std::string& what) {
    failure_ = "The field " + name_ + " could not be written into the PDF document: " + what + " failed.";
    return false;
  }

  data::Dictionary& d_;
  Long formId_, dpiX_, dpiY_;
  std::string name_;
  std::string failure_;
  std::map<Short, std::optional<Page>> pages_;
  std::optional<KeptRecord> keptPage_, keptValue_;
};

// Where the commands end: what failed, and no file offered.
void ReportFailure(const std::string& what, const std::string& failure) {
  ui::Message(what + "|" + failure, "Velmora", ui::icon::Exclamation, ui::button::Ok);
}

std::string CurrentFolder() {
  std::error_code ec;
  return rt::WindowsPath(std::filesystem::current_path(ec).string());
}

}  // namespace

std::string WritePdfFields(const FormControls& queue, Long formId, Long dpiX, Long dpiY) {
  std::vector<Short> selectedGroups;
  for (long i = 1; i <= queue.Count(); ++i)
    if (queue.At(i).PDFFIELDTYPE == kPdfRadio && !rt::Clip(queue.At(i).Value()).empty())
      selectedGroups.push_back(queue.At(i).PDFFIELDNUMBER);
  FieldWriter writer(formId, dpiX, dpiY);
  for (long i = 1; i <= queue.Count(); ++i)
    if (!writer.Write(queue.At(i), selectedGroups)) break;
  return writer.Failure();
}

std::string FormEditor::WritePdfFields() { return editor::WritePdfFields(Queue, FormId, LogPixelsX, LogPixelsY); }

bool FormEditor::WriteFormPdf(apppdf::FormDocument& doc, const std::string& workingCopy, bool flatten) {
  TakeFieldValues();
  // the form this window works on, whatever a window opened from it left
  // in the buffer
  data::Dictionary& d = data::ThisThread();
  if (d.FOR.ID != FormId) {
    cl::FileManager* forms = d.Access(FileId::Forms);
    d.FOR.ID = FormId;
    if (forms->TryFetch(forms->KeyNumber("FOR:ID_Key")) != cl::kBenign)
      return doc.Fail("The form could not be read: " + rt::ErrorText() + ".");
  }
  if (doc.Load(workingCopy) && doc.SetNeedAppearances()) {
    const std::string failure = WritePdfFields();
    if (!failure.empty()) doc.Fail(failure);
  }
  doc.UpdateAppearances();
  if (flatten) doc.FlattenAll();
  return doc.Ok();
}

void FormEditor::SaveFormPdf(bool uneditable) {
  ui::FileRequest request;
  request.title = "Save As";
  request.masks = ui::ParseFileMasks("Adobe PDF | *.pdf");
  request.save = true;
  request.keepFolder = true;
  const std::vector<std::string> chosen = ui::FileDialog(request);
  if (chosen.empty()) return;
  std::string name = chosen.front();
  // a dot in a folder's name does not make the file's name one with an extension
  if (name.find('.', name.find_last_of("\\/") + 1) == std::string::npos) name += ".pdf";
  apppdf::WorkFolder folder;
  apppdf::FormDocument doc;
  if (!folder.Ready()) doc.Fail("The temporary folder could not be written.");
  else if (WriteFormPdf(doc, folder.File("__wpdf.pdf"), uneditable)) doc.Save(name);
  doc.Remove();
  // the name as the user reads it on this desktop
  const std::string shown = rt::ShownPath(name);
  if (!doc.Ok()) return ReportFailure("File " + shown + " was not generated.", doc.Failure());
  const int answer = ui::Message("File " + shown + " was successfully generated!|Do you want to open it?", "Velmora",
                                 ui::icon::Question, ui::button::Yes | ui::button::No, ui::button::Yes);
  if (answer != ui::button::Yes) return;
  const std::string folderNow = CurrentFolder();
  if (win::ShellExecuteA(reinterpret_cast<win::HWND>(Win().GetLong(0, ui::Prop::Handle)), "open", name.c_str(), "",
                         folderNow.c_str(), win::SW_SHOWNORMAL) <= 32)
    ReportFailure("File " + shown + " could not be opened.",
                  "No program to show PDF documents was found for it: install a PDF reader and make it the "
                  "desktop's program for PDF files.");
}

void FormEditor::SaveFillablePdf() { SaveFormPdf(false); }
void FormEditor::SaveUneditablePdf() { SaveFormPdf(true); }

void FormEditor::PrintForm() {
  ui::PrinterRequest request;
  request.title = "Print";
  const std::optional<ui::PrinterChoice> printer = ui::PrinterDialog(request);
  if (!printer) return;
  apppdf::WorkFolder folder;
  apppdf::FormDocument doc;
  if (!folder.Ready()) {
    doc.Fail("The temporary folder could not be written.");
  } else if (WriteFormPdf(doc, folder.File("__wpdf.pdf"), true)) {
    const std::string title = First(rt::Clip(data::ThisThread().FIL.FILLEDFORMNAME.View()), kMostTitleChars);
    if (doc.Save(folder.File("_tempprintt_.pdf"))) {
      // printing to a file writes the printed (flattened) form where the user chose
      if (!printer->file.empty()) doc.Save(printer->file);
      else doc.Print(printer->printer, printer->firstPage, printer->lastPage, title);
    }
  }
  doc.Remove();
  if (!doc.Ok()) return ReportFailure("The form was not printed.", doc.Failure());
  // The working copy and the print file stay until the program ends.
  folder.KeepUntilExit();
  Win().Set(0, ui::Prop::StatusText,
            printer->file.empty() ? "The form was sent to the printer " + printer->printer + "."
                                  : "The form was printed to the file " + rt::ShownPath(printer->file) + ".",
            1);
}

void FormEditor::EmailPdf(bool uneditable) {
  ui::SetCursor(ui::cursor::Wait);
  std::error_code ec;
  const std::filesystem::path kept = std::filesystem::current_path(ec);
  data::Dictionary& d = data::ThisThread();
  // The attachment has a folder of its own: its name may be any name,
  // "__wpdf.pdf" too.
  apppdf::WorkFolder folder;
  const std::string attachment =
      folder.File(apppdf::AttachmentName(d.FOR.ORIGINALPDFFILE.View(), d.FOR.FORMNAME.View()));
  apppdf::FormDocument doc;
  {
    apppdf::WorkFolder work;
    if (!folder.Ready() || !work.Ready()) doc.Fail("The temporary folder could not be written.");
    else if (WriteFormPdf(doc, work.File("__wpdf.pdf"), uneditable)) doc.Save(attachment);
    doc.Remove();
  }
  ui::SetCursor(ui::cursor::Arrow);
  if (!doc.Ok()) {
    ReportFailure("The form was not attached to an e-mail.", doc.Failure());
  } else {
    // The composer reads the attachment after the hand-over: its folder
    // stays until the program ends.
    folder.KeepUntilExit();
    mail::MailMessage message;
    message.Create(static_cast<uint32_t>(Win().GetLong(0, ui::Prop::Handle)));
    message.AddAttachment(attachment);
    const mapi::ULONG result = message.Send(1, 0);
    if (result != mapi::SUCCESS_SUCCESS && result != mapi::MAPI_USER_ABORT)
      ReportFailure("The e-mail was not handed to the mail program.", message.MapiErrorText(result));
    message.Destroy();
  }
  if (!kept.empty()) std::filesystem::current_path(kept, ec);
}

}  // namespace editor
