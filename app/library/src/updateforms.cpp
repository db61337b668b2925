// The form record window: one Forms record with its general data, its
// document information and, from the Form Editor, the current data set.
// "PDF File" imports a PDF into the form; OK stores the form with its PDF.
#include <string>

#include "recordwindow.h"
#include "velmora/app/fileutil.h"
#include "velmora/app/settings.h"
#include "velmora/apppdf/import.h"
#include "velmora/apppdf/pdfdate.h"
#include "velmora/apppdf/status.h"
#include "velmora/files/files.h"
#include "velmora/library/recordcalls.h"
#include "velmora/library/records.h"
#include "velmora/runtime/datetime.h"
#include "velmora/runtime/paths.h"
#include "velmora/runtime/text.h"
#include "velmora/ui/dialogs.h"

namespace library {
namespace {

using data::FileId;
using ui::ControlType;
using ui::Prop;

enum : int {
  kOk = 1, kCancel = 2, kHelp = 3, kCurrentTab = 4,
  kTab1 = 5, kIdPrompt, kId, kNamePrompt, kName, kDatePrompt, kDate, kTimePrompt, kTime, kImage1, kIsPdf,
  kPagesPrompt, kPages, kLookupFile, kFilePrompt, kFile,
  kTab2 = 21, kVersionPrompt, kVersion, kCreatedPrompt, kCreated, kModifiedPrompt, kModified, kTitlePrompt,
  kTitle, kSubjectPrompt, kSubject, kAuthorPrompt, kAuthor, kCreatorPrompt, kCreator, kProducerPrompt,
  kProducer,
  kTab3 = 38, kSetNamePrompt, kSetName, kSetCreatedPrompt, kSetDate, kSetTime,
  kActionString = 44, kButtonCancel = 45, kButtonOk = 46,
};

ui::ControlDesc Tab(std::string text, int number, std::vector<ui::ControlDesc> children) {
  ui::ControlDesc d;
  d.type = ControlType::Tab;
  d.number = number;
  d.text = std::move(text);
  d.children = std::move(children);
  return d;
}

ui::WindowDesc FormsWindow() {
  using T = ControlType;
  ui::WindowDesc d;
  d.caption = "PDF Forms";
  d.width = 360;
  d.height = 220;
  d.background = "grybkgnd.gif";
  d.toolbar = {ToolButton("?OK", kOk, 0, "OK", "Accept data and close the window"),
               ToolButton("?CANCEL", kCancel, 24, {}, "Exit without Save", "cancel.ico"),
               ui::Hidden(ToolButton("?HELP", kHelp, 48, "?", "See Help Window"))};
  ui::ControlDesc isPdf = Control(T::Check, "?FOR:ISPDF", kIsPdf, 60, 102, 120, 10, "Based in the PDF file");
  isPdf.props = {{Prop::TrueValue, "1"}, {Prop::FalseValue, "0"}};
  auto info = [](std::string prompt, int number, int y, std::string use, std::string picture, int width) {
    return std::vector<ui::ControlDesc>{
        Control(T::Prompt, {}, number, 8, y + 2, 60, 10, std::move(prompt)),
        Control(T::Entry, std::move(use), number + 1, 70, y, width, 12, {}, std::move(picture))};
  };
  std::vector<ui::ControlDesc> general = {
      Control(T::Prompt, "?FOR:ID:PROMPT", kIdPrompt, 8, 24, 50, 10, "ID:"),
      Control(T::String, "?FOR:ID", kId, 70, 24, 60, 10, {}, "@n-14"),
      Control(T::Prompt, "?FOR:FORMNAME:PROMPT", kNamePrompt, 8, 40, 60, 10, "Form Name:"),
      Control(T::Entry, "?FOR:FORMNAME", kName, 70, 38, 270, 12, {}, "@s79"),
      Control(T::Prompt, "?FOR:DATECREATED:PROMPT", kDatePrompt, 8, 56, 60, 10, "Date Created:"),
      Control(T::Entry, "?FOR:DATECREATED", kDate, 70, 54, 80, 12, {}, "@d17"),
      Control(T::Prompt, "?FOR:TIMECREATED:PROMPT", kTimePrompt, 160, 56, 50, 10, "Time Created:"),
      Control(T::Entry, "?FOR:TIMECREATED", kTime, 212, 54, 50, 12, {}, "@t7"),
      Control(T::Image, "?IMAGE1", kImage1, 8, 72, 40, 40),
      isPdf,
      Control(T::Prompt, "?FOR:TOTALPAGES:PROMPT", kPagesPrompt, 190, 102, 50, 10, "Total Pages:"),
      Control(T::Entry, "?FOR:TOTALPAGES", kPages, 242, 100, 30, 12, {}, "@n4"),
      Control(T::Button, "?LOOKUPFILE", kLookupFile, 280, 98, 60, 14, "PDF File"),
      Control(T::Prompt, "?FOR:ORIGINALPDFFILE:PROMPT", kFilePrompt, 8, 120, 60, 10, "Original PDF File:"),
      // the whole field: a shorter picture would cut longer paths when the
      // window takes its values
      Control(T::Entry, "?FOR:ORIGINALPDFFILE", kFile, 70, 118, 270, 12, {}, "@s127"),
  };
  std::vector<ui::ControlDesc> pdfInfo;
  const struct { const char* prompt; const char* use; const char* picture; int width; } rows[] = {
      {"PDF Version:", "?FOR:PDFVERSION", "@s19", 100},   {"Date Created:", "?FOR:CREATIONDATE", "@s19", 100},
      {"Date Modified:", "?FOR:MODIFICATIONDATE", "@s19", 100}, {"Title:", "?FOR:TITLE", "@s255", 270},
      {"Subject:", "?FOR:SUBJECT", "@s255", 270},          {"Author:", "?FOR:AUTHOR", "@s255", 270},
      {"Creator:", "?FOR:CREATOR", "@s255", 270},          {"Producer:", "?FOR:PRODUCER", "@s255", 270},
  };
  int number = kVersionPrompt, y = 24;
  for (const auto& r : rows) {
    for (auto& c : info(r.prompt, number, y, r.use, r.picture, r.width)) pdfInfo.push_back(std::move(c));
    number += 2;
    y += 15;
  }
  std::vector<ui::ControlDesc> dataInfo = {
      Control(T::Prompt, "?FIL:FILLEDFORMNAME:PROMPT", kSetNamePrompt, 8, 26, 60, 10, "Dataset Name:"),
      Control(T::Entry, "?FIL:FILLEDFORMNAME", kSetName, 70, 24, 270, 12, {}, "@s128"),
      Control(T::Prompt, "?FIL:DATECREATED:PROMPT", kSetCreatedPrompt, 8, 42, 60, 10, "Created:"),
      Control(T::Entry, "?FIL:DATECREATED", kSetDate, 70, 40, 80, 12, {}, "@d17"),
      Control(T::Entry, "?FIL:TIMECREATED", kSetTime, 156, 40, 50, 12, {}, "@t7"),
  };
  ui::ControlDesc sheet = Control(T::Sheet, "?CURRENTTAB", kCurrentTab, 4, 4, 352, 170);
  ui::ControlDesc tab3 = Tab("3) Data Info", kTab3, std::move(dataInfo));
  tab3.hidden = true;
  sheet.children = {Tab("&1) General", kTab1, std::move(general)), Tab("&2) PDF Info", kTab2, std::move(pdfInfo)),
                    std::move(tab3)};
  d.controls = {
      std::move(sheet),
      Control(T::String, "?ACTIONSTRING", kActionString, 6, 182, 230, 10, {}, "@s80"),
      Control(T::Button, "?BUTTON5:2", kButtonCancel, 250, 198, 50, 16, "&Cancel"),
      Control(T::Button, "?BUTTON5", kButtonOk, 304, 198, 50, 16, "&OK"),
  };
  return d;
}

class FormRecordWindow : public RecordWindow {
 public:
  FormRecordWindow(bool fromEditor, bool withDataSet)
      : RecordWindow("UpdateForms"), fromEditor_(fromEditor), withDataSet_(withDataSet) {}

  int Setup() override {
    Begin();
    data::Dictionary& d = data::ThisThread();
    OpenRelation(FileId::FilledForm);
    if (!OpenPrimary(FileId::Forms, kCancel, Request == cl::request::View ? 0 : kOk)) return cl::kNotify;
    // The pages an import stores before OK belong to the number the new
    // form is given: it is reserved now when the caller did not.
    if (Request == cl::request::Insert && d.FOR.ID == 0) Primary->PrimeRecord(true);
    // A new form starts without a PDF of its own.
    if (Request == cl::request::Insert) {
      db::FileDecl& forms = d.File(FileId::Forms);
      for (int m = 0; m < static_cast<int>(forms.Memos().size()); ++m) db::BlobSetSize(forms, m, 0);
    }
    if (PrepareRequest() != cl::kBenign) return cl::kNotify;
    formId_ = d.FOR.ID;
    collected_ = CollectFormRecords(formId_, before_);

    OpenWindow(FormsWindow());
    ui::Window& w = Win();
    BindFields(FileId::Forms, {{kId, "FOR:ID"}, {kName, "FOR:FORMNAME"}, {kDate, "FOR:DATECREATED"},
                               {kTime, "FOR:TIMECREATED"}, {kIsPdf, "FOR:ISPDF"}, {kPages, "FOR:TOTALPAGES"},
                               {kFile, "FOR:ORIGINALPDFFILE"}, {kVersion, "FOR:PDFVERSION"},
                               {kTitle, "FOR:TITLE"}, {kSubject, "FOR:SUBJECT"}, {kCreator, "FOR:CREATOR"},
                               {kProducer, "FOR:PRODUCER"}, {kAuthor, "FOR:AUTHOR"}});
    BindFields(FileId::FilledForm, {{kSetName, "FIL:FILLEDFORMNAME", false},
                                    {kSetDate, "FIL:DATECREATED", false},
                                    {kSetTime, "FIL:TIMECREATED", false}});
    w.Bind(kActionString, ui::UseVar::Of(action_));
    w.Set(kFile, Prop::ShowsPath, 1L);  // the file's name as the desktop writes it
    // the document's dates in the user's format; the record keeps the PDF's text
    w.Bind(kCreated, ui::UseVar::Of(created_));
    w.Bind(kModified, ui::UseVar::Of(modified_));
    w.Set(kCreated, Prop::ReadOnly, 1L);
    w.Set(kModified, Prop::ReadOnly, 1L);
    History.Restored = [this](int control) {
      if (control == kIsPdf) EnableLookup();
    };

    defaults_.transparent = static_cast<rt::Byte>(app::ReadSetting("Field Transparent", 0));
    defaults_.flat = static_cast<rt::Byte>(app::ReadSetting("Field Flat", 1));
    defaults_.boxed = static_cast<rt::Byte>(app::ReadSetting("Field Boxed", 1));
    if (w.Get(0, Prop::Icon).empty()) w.Set(0, Prop::Icon, "~C:\\Tavrel6\\icons\\edit.ico");
    if (Request == cl::request::View) {
      for (int n : {kId, kName, kDate, kTime, kIsPdf, kFile, kSetName, kSetDate, kSetTime})
        w.Set(n, Prop::ReadOnly, 1L);
      for (int n : {kLookupFile, kButtonCancel, kButtonOk}) w.Disable(n);
      w.Disable(kOk);
    }
    EnableLookup();
    if (fromEditor_) {
      w.Disable(kLookupFile);
      w.Disable(kIsPdf);
    }
    if (withDataSet_) w.Unhide(kTab3);
    apppdf::SetStatusHandler([this](std::string_view text) {
      action_ = text;
      if (Loaded()) Win().Display(kActionString);
    });
    Refresh();
    return cl::kBenign;
  }

  int RunWindow() override {
    ProcedureWindow::RunWindow();
    if (Request == cl::request::View) Response = cl::response::Cancelled;
    cl::ThreadResponse() = static_cast<rt::Byte>(Response);
    return Response;
  }

  int Teardown() override {
    apppdf::SetStatusHandler({});
    if (imported_) {
      // OK keeps what the last import stored and drops the pages the form
      // had before it; anything else drops what the imports stored.
      if (Response == cl::response::Completed) {
        if (importOk_) DeleteFormRecords(before_);
      } else {
        FormRecords now;
        if (CollectFormRecords(formId_, now)) DeleteFormRecords(Without(now, before_));
      }
    }
    End();
    return cl::kBenign;
  }

  int OnRecordPrimed() override {
    data::Dictionary& d = data::ThisThread();
    d.FOR.DATECREATED = rt::Today();
    d.FOR.ISPDF = 1;
    d.FOR.TIMECREATED = rt::Clock();
    return ProcedureWindow::OnRecordPrimed();
  }

  void Refresh() override {
    data::Dictionary& d = data::ThisThread();
    d.PDF.ID = d.FOR.ID;
    cl::FileManager* details = d.Access(FileId::PDFDetails);
    if (details->TryFetch(details->KeyNumber("PDF:FormID_Key")) != cl::kBenign)
      d.File(FileId::PDFDetails).ClearRecord();
    created_ = apppdf::ShownPdfDate(d.FOR.CREATIONDATE.View());
    modified_ = apppdf::ShownPdfDate(d.FOR.MODIFICATIONDATE.View());
    ProcedureWindow::Refresh();
  }

  int OnAccepted() override {
    ui::Window& w = Win();
    switch (w.Field()) {
      case kOk:
        w.Update();
        if (!StorePdf()) return cl::kNotify;
        if (withDataSet_) data::ThisThread().Access(FileId::FilledForm)->TryUpdate();
        break;
      case kButtonCancel: w.Post(ui::ev::Accepted, kCancel); break;
      case kButtonOk: w.Post(ui::ev::Accepted, kOk); break;
      case kIsPdf:
        w.Update(kIsPdf);
        EnableLookup();
        Refresh();
        break;
      case kLookupFile: LookupFile(); break;
      default: break;
    }
    return ProcedureWindow::OnAccepted();
  }

 private:
  void EnableLookup() {
    const bool on = data::ThisThread().FOR.ISPDF != 0 && Request != cl::request::View && !fromEditor_ && collected_;
    on ? Win().Enable(kLookupFile) : Win().Disable(kLookupFile);
  }

  // The form keeps its PDF with it: the document an import of this window
  // read, or the file when the form holds none. A PDF already stored stays
  // otherwise, whatever is now at its path, so the pages and fields keep
  // the document they came from. A file that cannot be read is reported
  // and the window stays open.
  bool StorePdf() {
    data::Dictionary& d = data::ThisThread();
    if (!d.FOR.ISPDF || fromEditor_) return true;
    db::FileDecl& forms = d.File(FileId::Forms);
    const int blob = forms.MemoIndex("FOR:PDFDATA");
    if (!importOk_ && db::BlobSize(forms, blob) > 0) return true;
    const std::string file = rt::Clip(d.FOR.ORIGINALPDFFILE.View());
    const rt::Long code = app::FileToBlob(forms, blob, file);
    if (code == 0) return true;
    const std::string what = file.empty() ? std::string("No PDF file was chosen for this form.")
                                          : "The PDF file " + rt::ShownPath(file) + " could not be read (error " +
                                                std::to_string(code) + ").";
    ui::Message(what + "|The form is not saved: choose its file with \"PDF File\", or clear \"Based in the PDF file\".",
                "Velmora", ui::icon::Exclamation, ui::button::Ok);
    return false;
  }

  // "PDF File": the chosen file is imported into the form. A cancelled
  // dialog changes nothing. A later import replaces the pages, controls and
  // option values of the one before; a failed one leaves them as they were.
  void LookupFile() {
    ui::Window& w = Win();
    data::Dictionary& d = data::ThisThread();
    w.Update();
    action_ = "";
    w.Display(kActionString);
    ui::FileRequest request;
    request.title = "Select PDF File";
    request.masks = {{"PDF Files", "*.pdf"}};
    const std::vector<std::string> names = ui::FileDialog(request);
    if (names.empty()) {
      w.Display();
      return;
    }
    const std::string chosen = names.front();
    if (chosen.size() >= sizeof(d.FOR.ORIGINALPDFFILE.data)) {
      ui::Message("The name of the file " + rt::ShownPath(chosen) + " is longer than " +
                      std::to_string(sizeof(d.FOR.ORIGINALPDFFILE.data) - 1) +
                      " characters and cannot be kept with the form.|Move the file to a folder with a shorter name.",
                  "Velmora", ui::icon::Exclamation, ui::button::Ok);
      return;
    }
    FormRecords now, earlier;
    if (!CollectFormRecords(formId_, now)) return;
    earlier = Without(now, before_);
    const data::FormsRecord entry = d.FOR;
    d.FOR.ORIGINALPDFFILE = chosen;
    w.Display();
    imported_ = true;
    const bool ok = apppdf::ImportIntoForm(defaults_);
    FormRecords after;
    if (CollectFormRecords(formId_, after)) {
      if (ok) {
        DeleteFormRecords(earlier);
      } else {
        DeleteFormRecords(Without(Without(after, before_), earlier));
        d.FOR = entry;
      }
    }
    importOk_ = ok || importOk_;
    Refresh();  // the document's information, its dates too
  }

  bool fromEditor_, withDataSet_;
  bool collected_ = false, imported_ = false, importOk_ = false;
  rt::Long formId_ = 0;
  FormRecords before_;
  rt::CString<81> action_;
  rt::CString<40> created_, modified_;
  apppdf::AppearanceDefaults defaults_;
};

}  // namespace

void UpdateForms(bool fromEditor, bool withDataSet) {
  FormRecordWindow window(fromEditor, withDataSet);
  window.RunWindow();
}

void UpdateForms(bool fromEditor) { UpdateForms(fromEditor, fromEditor); }

}  // namespace library
