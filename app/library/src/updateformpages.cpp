// The form page window: one FormPages record, its page number and its
// picture, which "Select Image" replaces by any picture file.
#include <string>

#include "recordwindow.h"
#include "velmora/classlib/transaction.h"
#include "velmora/runtime/errors.h"
#include "velmora/app/fileutil.h"
#include "velmora/files/files.h"
#include "velmora/library/pagepicture.h"
#include "velmora/library/records.h"
#include "velmora/runtime/paths.h"
#include "velmora/runtime/text.h"
#include "velmora/ui/dialogs.h"

namespace library {
namespace {

using data::FileId;
using ui::ControlType;
using ui::Prop;

enum : int {
  kCancel = 1, kOk, kHelp, kPageNoPrompt, kPageNo, kLookupFile, kFormIdPrompt, kFormId, kPanel, kImage, kString2,
};

constexpr const char* kPageImage = "FOR1:PAGEIMAGE";

ui::WindowDesc PagesWindow() {
  using T = ControlType;
  ui::WindowDesc d;
  d.caption = "Form FormPages";
  d.width = 305;
  d.height = 326;
  d.toolbar = {ToolButton("?CANCEL", kCancel, 0, {}, "Exit without Save", "cancel.ico"),
               ToolButton("?OK", kOk, 24, "OK", "Accept data and close the window", "apply.ico"),
               ui::Hidden(ToolButton("?HELP", kHelp, 48, "?", "See Help Window", "help.ico"))};
  ui::ControlDesc page = Control(T::Spin, "?FOR1:PAGENO", kPageNo, 45, 4, 60, 12, {}, "@n5");
  page.props = {{Prop::RangeLow, "1"}, {Prop::RangeHigh, "32767"}};
  ui::ControlDesc hint = Control(T::String, "?STRING2", kString2, 107, 158, 80, 10, "Select Image");
  hint.font = {"Arial", 0, 0, -1};
  d.controls = {
      Control(T::Prompt, "?FOR1:PAGENO:PROMPT:3", kPageNoPrompt, 7, 5, 36, 10, "Page No:"),
      page,
      Control(T::Button, "?LOOKUPFILE", kLookupFile, 110, 3, 71, 14, "Select Image"),
      Control(T::Prompt, "?FOR1:PAGENO:PROMPT:2", kFormIdPrompt, 212, 5, 28, 10, "Form ID:"),
      Control(T::String, "?FOR1:FORMID", kFormId, 242, 5, 56, 10, {}, "@n-14"),
      Control(T::Panel, "?PANEL1", kPanel, 2, 20, 300, 300),
      Control(T::Image, "?IMAGE", kImage, 9, 28, 280, 280),
      hint,
  };
  return d;
}

class PageRecordWindow : public RecordWindow {
 public:
  PageRecordWindow() : RecordWindow("UpdateFormPages") {}

  int Setup() override {
    Begin();
    data::Dictionary& d = data::ThisThread();
    if (!OpenPrimary(FileId::FormPages, kCancel, kOk)) return cl::kNotify;
    if (PrepareRequest() != cl::kBenign) return cl::kNotify;
    if (Request != cl::request::Insert) ownPosition_ = Primary->Position();
    pageOnEntry_ = d.FOR1.PAGENO;
    // the values of the form's data sets follow a new page number
    if (Request == cl::request::Change && !OpenFile(FileId::FilledData)) return cl::kNotify;

    OpenWindow(PagesWindow());
    ui::Window& w = Win();
    BindFields(FileId::FormPages, {{kPageNo, "FOR1:PAGENO"}, {kFormId, "FOR1:FORMID"}});
    // the picture is fitted to its panel again at every size
    Resizer.AfterResize = [this] { ShowPicture(); };
    if (Request != cl::request::Insert) {
      ShowPicture();
    } else {
      w.Hide(kImage);
      w.Unhide(kString2);
    }
    // The record now differs from its copy, so OK always writes it, and
    // with it a picture chosen here.
    d.FOR1.FLAG = static_cast<rt::Byte>(1 - d.FOR1.FLAG);
    w.Display();
    return cl::kBenign;
  }

  int Teardown() override {
    End();
    return cl::kBenign;
  }

  // A new page number: the page, its controls (the relation's cascade)
  // and every data set's values on it change in one transaction.
  int OnCompleted() override {
    data::Dictionary& d = data::ThisThread();
    Win().Update();
    if (Request != cl::request::Change || d.FOR1.PAGENO == pageOnEntry_) return ProcedureWindow::OnCompleted();
    cl::Transaction tx({&d.File(FileId::FormPages), &d.File(FileId::PageControls), &d.File(FileId::FilledData)});
    if (!tx.Begun() || !MoveValues(d.FOR1.FORMID, pageOnEntry_, d.FOR1.PAGENO)) {
      tx.Fail();
      ui::Message("The values of page " + std::to_string(pageOnEntry_) + " could not be moved to page " +
                      std::to_string(d.FOR1.PAGENO) + " (" + rt::ErrorText() + "); the page is not saved.",
                  "Velmora", ui::icon::Exclamation, ui::button::Ok);
      return cl::kNotify;
    }
    const int result = ProcedureWindow::OnCompleted();
    if (Response != cl::response::Completed) {
      tx.Fail();
    } else if (!tx.Finish()) {
      Response = cl::response::Cancelled;
      ui::Message("The page could not be saved (" + rt::ErrorText() + ").", "Velmora", ui::icon::Exclamation,
                  ui::button::Ok);
    }
    return result;
  }

  int OnAccepted() override {
    ui::Window& w = Win();
    switch (w.Field()) {
      case kOk:
        w.Update();
        if (!PageNumberFree()) return cl::kNotify;
        break;
      case kLookupFile: SelectImage(); break;
      default: break;
    }
    return ProcedureWindow::OnAccepted();
  }

 private:
  // Another page of the form with the same number would take this page's
  // controls with it: the number is refused.
  bool PageNumberFree() {
    const data::FormPagesRecord& page = data::ThisThread().FOR1;
    SideFile pages(FileId::FormPages);
    auto& r = pages.Buffer<data::FormPagesRecord>();
    bool taken = false;
    const bool read = pages.Scan(
        "FOR1:FormID_Key", [&] { r.FORMID = page.FORMID, r.PAGENO = page.PAGENO; },
        [&] { return r.FORMID == page.FORMID && r.PAGENO == page.PAGENO; },
        [&](const std::string& position) { taken = taken || position != ownPosition_; });
    if (read && !taken) return true;
    ui::Message(read ? "Page " + std::to_string(page.PAGENO) + " of this form exists already.|Choose another page number."
                     : std::string("The pages of this form could not be read; the page is not saved."),
                "Velmora", ui::icon::Exclamation, ui::button::Ok);
    Win().Select(kPageNo);
    return false;
  }

  void SelectImage() {
    ui::Window& w = Win();
    w.Update();
    ui::FileRequest request;
    request.title = "Select Image";
    request.masks = {{"All Files", "*.*"}};
    const std::vector<std::string> names = ui::FileDialog(request);
    if (names.empty()) return;
    db::FileDecl& pages = data::ThisThread().File(FileId::FormPages);
    const std::string file = names.front();
    const rt::Long code = app::FileToBlob(pages, pages.MemoIndex(kPageImage), file);
    if (code != 0) {
      ui::Message("The picture " + rt::ShownPath(file) + " could not be read (error " + std::to_string(code) + ").", "Velmora",
                  ui::icon::Exclamation, ui::button::Ok);
      return;
    }
    ShowPicture();
  }

  // The page picture; an empty one shows "Select Image" instead.
  void ShowPicture() {
    const bool shown = ShowPagePicture(Win(), kPanel, kImage, PageImageBytes());
    shown ? Win().Hide(kString2) : Win().Unhide(kString2);
  }

  // Every value a data set of the form keeps on page `from` goes to page
  // `to`; values on `to`, which no page had, go. False when a file failed.
  static bool MoveValues(rt::Long form, rt::Short from, rt::Short to) {
    std::vector<rt::Long> sets;
    SideFile dataSets(FileId::FilledForm);
    auto& set = dataSets.Buffer<data::FilledFormRecord>();
    if (!dataSets.Scan(
            "FIL:FormID_Key", [&] { set.FORMID = form; }, [&] { return set.FORMID == form; },
            [&](const std::string&) { sets.push_back(set.ID); }))
      return false;
    data::Dictionary& d = data::ThisThread();
    cl::FileManager* values = d.Access(FileId::FilledData);
    const cl::FileManager::Snapshot kept = values->Snap();
    const int key = values->KeyNumber("FIL1:FiledForm_key");
    auto positions = [&](rt::Long id, rt::Short page) {
      std::vector<std::string> out;
      d.File(FileId::FilledData).ClearRecord();
      d.FIL1.ID = id;
      d.FIL1.PAGENO = page;
      d.FIL1.CONTROLID = INT32_MIN;
      values->SetKeyFromRecord(key);
      while (values->TryNext() == cl::kBenign && d.FIL1.ID == id && d.FIL1.PAGENO == page)
        out.push_back(values->Position());
      return out;
    };
    bool ok = true;
    for (rt::Long id : sets) {
      for (const std::string& p : positions(id, to))
        ok = ok && values->TryReget(p) == cl::kBenign && values->TryDelete() == cl::kBenign;
      for (const std::string& p : positions(id, from)) {
        ok = ok && values->TryReget(p) == cl::kBenign;
        if (!ok) break;
        d.FIL1.PAGENO = to;
        ok = values->TryUpdate() == cl::kBenign;
      }
      if (!ok) break;
    }
    values->Restore(kept);
    return ok;
  }

  std::string ownPosition_;
  rt::Short pageOnEntry_ = 0;
};

}  // namespace

void UpdateFormPages() {
  PageRecordWindow window;
  window.RunWindow();
}

}  // namespace library
