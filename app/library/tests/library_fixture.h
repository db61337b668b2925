#pragma once
// Data files in a fresh folder with forms, pages, data sets and their
// dependants written directly, the record windows and the editor replaced
// by recorders, and tree windows started on threads of their own.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "close_windows.h"
#include "fixture.h"
#include "velmora/app/program.h"
#include "velmora/data/dictionary.h"
#include "velmora/files/files.h"
#include "velmora/library/treewindows.h"
#include "velmora/runtime/datetime.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/threads.h"
#include "velmora/ui/dialogs.h"
#include "velmora/ui/headless.h"
#include "velmora/ui/window.h"

namespace libtest {

using data::FileId;

// What a replaced record window or editor was called with.
struct Call {
  std::string what;  // "forms", "pages", "sets", "editor"
  int request = 0;   // ThreadRequest, or the editor's mode
  long form = 0;     // FOR:ID
  long page = 0;     // FOR1:PAGENO
  long pageForm = 0; // FOR1:FORMID
  long set = 0;      // FIL:ID
  long setForm = 0;  // FIL:FORMID
};

class LibraryFixture : public cltest::TempFolder {
 protected:
  void SetUp() override {
    TempFolder::SetUp();
    setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    app::StartWindowLayer();
    ui::InstallMessageHandler();
    ui::Headless().Reset();
    data::GlobalErrors().Setup();
    app::INIMgr().Setup("Quintrel.INI");
    app::StartDictionary();
    library::ResetCalls();
    Record();
    D().Relate(FileId::Forms)->Open();
  }
  void TearDown() override {
    uitest::CloseEveryWindow();
    rt::WaitForThreads();
    library::ResetCalls();
    D().Relate(FileId::Forms)->Close();
    data::StopDictionary();
    app::INIMgr().Teardown();
    ui::Headless().Reset();
    unsetenv("XDG_CONFIG_HOME");
    TempFolder::TearDown();
  }

  static data::Dictionary& D() { return data::ThisThread(); }
  static cl::FileManager* F(FileId id) { return D().Access(id); }

  static Call Now(std::string what, int request) {
    data::Dictionary& d = D();
    return Call{std::move(what), request, d.FOR.ID, d.FOR1.PAGENO, d.FOR1.FORMID, d.FIL.ID, d.FIL.FORMID};
  }

  // Replaces the record windows and the editor by recorders. A record
  // window answers `answer`; a completed delete runs through the relation
  // manager's cascade, a completed insert or change writes the buffer.
  void Record() {
    auto window = [this](std::string what, FileId file) {
      return [this, what, file] {
        const int request = cl::ThreadRequest();
        calls_.push_back(Now(what, request));
        cl::ThreadRequest() = 0;
        cl::ThreadResponse() = cl::response::Cancelled;
        if (answer_ != cl::response::Completed) return;
        if (beforeWrite_) beforeWrite_();
        int done = cl::kFatal;
        if (request == cl::request::Delete) done = D().Relate(file)->TryDelete();
        else if (request == cl::request::Insert) done = F(file)->TryInsert();
        else if (request == cl::request::Change) done = D().Relate(file)->TryUpdate();
        if (done == cl::kBenign) cl::ThreadResponse() = cl::response::Completed;
      };
    };
    library::Calls().updateForms = [window](bool) { window("forms", FileId::Forms)(); };
    library::Calls().updateFormPages = window("pages", FileId::FormPages);
    library::Calls().updateFilledForm = window("sets", FileId::FilledForm);
    library::Calls().formEditor = [this](std::string_view mode) {
      calls_.push_back(Now("editor", mode.empty() ? 0 : mode[0] - '0'));
    };
  }

  // The stand-in picture of page `page`: a GIF header of 600 by 800.
  static std::string Picture(int page) {
    return std::string("GIF89a\x58\x02\x20\x03 page ") + std::to_string(page);
  }

  // A form with `pages` pages (600 by 800 pictures) and data sets named
  // "Set 1", "Set 2", ...; its FOR:ID.
  long AddForm(const std::string& name, int pages, int sets = 0) {
    data::Dictionary& d = D();
    F(FileId::Forms)->PrimeRecord();
    d.FOR.FORMNAME = name;
    d.FOR.TOTALPAGES = static_cast<rt::Short>(pages);
    EXPECT_EQ(F(FileId::Forms)->TryInsert(), cl::kBenign);
    const long form = d.FOR.ID;
    for (int p = 1; p <= pages; ++p) AddPage(form, p);
    for (int s = 1; s <= sets; ++s) AddSet(form, "Set " + std::to_string(s));
    return form;
  }
  void AddPage(long form, int page, double width = 600, double height = 800) {
    data::Dictionary& d = D();
    db::FileDecl& f = d.File(FileId::FormPages);
    f.ClearRecord();
    d.FOR1.FORMID = static_cast<rt::Long>(form);
    d.FOR1.PAGENO = static_cast<rt::Short>(page);
    d.FOR1.PAGEWIDTH = width;
    d.FOR1.PAGEHEIGHT = height;
    const std::string picture = Picture(page);
    db::BlobWrite(f, f.MemoIndex("FOR1:PAGEIMAGE"), 0, std::vector<uint8_t>(picture.begin(), picture.end()));
    EXPECT_EQ(F(FileId::FormPages)->TryInsert(), cl::kBenign);
    // a control with an option value on the page
    d.File(FileId::PageControls).ClearRecord();
    d.PAG.FORMID = static_cast<rt::Long>(form);
    d.PAG.PAGENO = static_cast<rt::Short>(page);
    d.PAG.CONTROLID = page;
    d.PAG.CONTROLUNIQUEID = page;
    EXPECT_EQ(F(FileId::PageControls)->TryInsert(), cl::kBenign);
    d.File(FileId::FieldValues).ClearRecord();
    d.FIE.FORMID = static_cast<rt::Long>(form);
    d.FIE.CONTROLID = page;
    d.FIE.VALUENUMBER = 1;
    EXPECT_EQ(F(FileId::FieldValues)->TryInsert(), cl::kBenign);
  }
  long AddSet(long form, const std::string& name) {
    data::Dictionary& d = D();
    F(FileId::FilledForm)->PrimeRecord();
    d.FIL.FORMID = static_cast<rt::Long>(form);
    d.FIL.FILLEDFORMNAME = name;
    d.FIL.DATECREATED = rt::Today();
    d.FIL.TIMECREATED = rt::Clock();
    EXPECT_EQ(F(FileId::FilledForm)->TryInsert(), cl::kBenign);
    const long set = d.FIL.ID;
    d.File(FileId::FilledData).ClearRecord();
    d.FIL1.ID = static_cast<rt::Long>(set);
    d.FIL1.FILLEDFORMNAME = name;
    d.FIL1.CONTROLID = 1;
    d.FIL1.VALUE = "value";
    EXPECT_EQ(F(FileId::FilledData)->TryInsert(), cl::kBenign);
    return set;
  }
  // Records of a file, or those whose LONG at `offset` (a form or data-set
  // number) is `owner`.
  long Count(FileId id, long owner = 0, size_t offset = 0) {
    db::FileDecl& f = D().File(id);
    const auto snap = F(id)->Snap();
    long n = 0;
    db::Set(f, 0);
    for (db::Next(f); rt::ErrorCode() == 0; db::Next(f)) {
      rt::Long first = 0;
      std::memcpy(&first, f.Record() + offset, sizeof first);
      if (!owner || first == owner) ++n;
    }
    F(id)->Restore(snap);
    return n;
  }
  // Deletes a record directly, as another window would.
  void DeleteForm(long form) {
    D().FOR.ID = static_cast<rt::Long>(form);
    ASSERT_EQ(F(FileId::Forms)->TryFetch(F(FileId::Forms)->KeyNumber("FOR:ID_Key")), cl::kBenign);
    ASSERT_EQ(D().Relate(FileId::Forms)->TryDelete(), cl::kBenign);
  }

  // Deletes every form with its dependants.
  void DeleteAllForms() {
    std::vector<long> forms;
    db::FileDecl& f = D().File(FileId::Forms);
    db::Set(f, 0);
    for (db::Next(f); rt::ErrorCode() == 0; db::Next(f)) forms.push_back(D().FOR.ID);
    for (long form : forms) DeleteForm(form);
  }

  // Messages the headless backend was asked to show.
  std::vector<std::string> Messages() {
    std::vector<std::string> out;
    for (const auto& a : ui::Headless().AskedDialogs())
      if (a.kind == ui::HeadlessBackend::Asked::Message) out.push_back(a.message.text);
    return out;
  }

  // ---- windows on threads of their own

  // Starts a procedure on a new thread and waits until its window is idle.
  std::shared_ptr<ui::Window> Start(void (*procedure)(), const std::string& caption) {
    rt::Start([procedure](std::vector<std::string>) { procedure(); }, 25000);
    auto w = ui::WaitForWindow(caption);
    EXPECT_NE(w, nullptr) << caption;
    if (w) Settle(*w);
    return w;
  }
  // Waits until the window has no event queued (its handler has run).
  void Settle(ui::Window& w) {
    for (int i = 0; i < 20000; ++i) {
      if (w.PendingEvents() == 0) {
        // one more turn: the handler of the last event may still run
        rt::UnlockThread();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        rt::LockThread();
        if (w.PendingEvents() == 0) return;
      }
      rt::UnlockThread();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      rt::LockThread();
    }
    ADD_FAILURE() << "the window did not settle";
  }
  // The tree rows as "level text" lines.
  std::vector<std::string> Rows(ui::Window& w) {
    std::vector<std::string> out;
    const long n = w.GetLong(library::kRelTree, ui::Prop::Items);
    for (long r = 1; r <= n; ++r)
      out.push_back(std::to_string(w.RowLevel(library::kRelTree, r)) + " " + w.CellText(library::kRelTree, r, 1));
    return out;
  }

  int answer_ = cl::response::Completed;
  std::function<void()> beforeWrite_;
  std::vector<Call> calls_;
};

}  // namespace libtest
