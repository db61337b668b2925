#pragma once
// Runs Form Editors on runtime threads of their own over a form imported
// from a fixture PDF, and drives them through the headless window layer.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "close_windows.h"
#include "fixture.h"
#include "forms.h"
#include "velmora/app/program.h"
#include "velmora/apppdf/import.h"
#include "velmora/data/dictionary.h"
#include "velmora/editor/formeditor.h"
#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/paths.h"
#include "velmora/runtime/process.h"
#include "velmora/runtime/threads.h"
#include "velmora/ui/dialogs.h"
#include "velmora/ui/headless.h"
#include "velmora/ui/window.h"

namespace edtest {

using data::FileId;

struct Opened {
  editor::FormEditor* ed = nullptr;
  std::shared_ptr<ui::Window> win;
};

class EditorFixture : public cltest::TempFolder {
 protected:
  void SetUp() override {
    TempFolder::SetUp();
    setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    setenv("TMPDIR", dir_.c_str(), 1);
    app::StartWindowLayer();
    ui::InstallMessageHandler();
    ui::Headless().Reset();
    data::GlobalErrors().Setup();
    app::INIMgr().Setup("Quintrel.INI");
    app::StartDictionary();
    editor::ResetCalls();
    pdf_ = forms::MakeForm((dir_ / "form.pdf").string());
  }
  void TearDown() override {
    CloseAll();
    rt::WaitForThreads();
    editor::ResetCalls();
    data::StopDictionary();
    app::INIMgr().Teardown();
    ui::Headless().Reset();
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("TMPDIR");
    TempFolder::TearDown();
  }

  data::Dictionary& D() { return data::ThisThread(); }

  // Closes every window, an editor by Exit without Save, so that one
  // holding changes does not ask; `settle` lets the windows' threads run.
  static void CloseAll(
      const std::function<void(const std::function<bool()>&)>& settle = uitest::SettleHeadless) {
    uitest::CloseEveryWindow(
        [](ui::Window& w) {
          if (!editor::EditorOfWindow(w.GetLong(0, ui::Prop::Handle)) || !w.InputAccept(editor::kCancel))
            w.InputClose();
        },
        settle);
  }

  // Imports the fixture into a new form (with its fields); its FOR:ID.
  long ImportForm() {
    D().Relate(FileId::Forms)->Open();
    ui::Headless().AnswerMessage(ui::button::Yes);  // use the document's fields
    EXPECT_EQ(apppdf::CreateFormFromPdf(pdf_), 1);
    const long id = D().FOR.ID;
    D().Relate(FileId::Forms)->Close();
    ui::Headless().Reset();
    return id;
  }

  long AddDataSet(long form, const std::string& name) {
    cl::FileManager* sets = D().Access(FileId::FilledForm);
    sets->Open();
    sets->PrimeRecord();
    D().FIL.FORMID = static_cast<rt::Long>(form);
    D().FIL.FILLEDFORMNAME = name;
    EXPECT_EQ(sets->TryInsert(), cl::kBenign);
    const long id = D().FIL.ID;
    sets->Close();
    return id;
  }

  // Waits until no window on top of its thread has an event queued (the
  // windows below wait for it) and no editor is inside a command (a dialog
  // lets go of the runtime lock), then holds the runtime lock: every
  // editor is idle in its event loop.
  void Settle() {
    for (int i = 0; i < 10000; ++i) {
      bool idle = true;
      for (auto& w : ui::OpenWindows()) {
        idle = idle && (w->PendingEvents() == 0 || ui::TopWindow(w->Thread()) != w);
        // the editor on top of its thread is not inside a command
        auto* ed = editor::EditorOfWindow(w->GetLong(0, ui::Prop::Handle));
        if (ed && ui::TopWindow(w->Thread()) == w) idle = idle && !ed->Busy();
      }
      if (idle) return;
      rt::UnlockThread();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      rt::LockThread();
    }
    ADD_FAILURE() << "the windows did not settle";
  }

  std::vector<std::shared_ptr<ui::Window>> EditorWindows() {
    std::vector<std::shared_ptr<ui::Window>> out;
    for (auto& w : ui::OpenWindows())
      if (editor::EditorOfWindow(w->GetLong(0, ui::Prop::Handle))) out.push_back(w);
    return out;
  }

  // Starts an editor on a new thread with the form, its first page and the
  // data set current, and waits until it is idle.
  Opened StartEditor(const std::string& mode, long form = 0, long set = 0) {
    const size_t before = EditorWindows().size();
    rt::Start(
        [mode, form, set](std::vector<std::string>) {
          data::Dictionary& d = data::ThisThread();
          d.Relate(FileId::Forms)->Open();
          d.Access(FileId::FilledForm)->Open();
          d.FOR.ID = static_cast<rt::Long>(form);
          d.Access(FileId::Forms)->TryFetch(d.Access(FileId::Forms)->KeyNumber("FOR:ID_Key"));
          d.FIL.ID = static_cast<rt::Long>(set);
          if (set) d.Access(FileId::FilledForm)->TryFetch(d.Access(FileId::FilledForm)->KeyNumber("FIL:ID_Key"));
          d.FOR1.FORMID = static_cast<rt::Long>(form);
          d.FOR1.PAGENO = 1;
          editor::RunFormEditor(mode);
          d.Access(FileId::FilledForm)->Close();
          d.Relate(FileId::Forms)->Close();
        },
        25000);
    EXPECT_TRUE(ui::WaitUntil([&] { return EditorWindows().size() > before; }));
    Settle();
    auto windows = EditorWindows();
    Opened o;
    o.win = windows.back();
    o.ed = editor::EditorOfWindow(o.win->GetLong(0, ui::Prop::Handle));
    return o;
  }

  // The queue entry of a field by its name.
  const editor::FormControl* Entry(editor::FormEditor* ed, const std::string& name) {
    for (long i = 1; i <= ed->Queue.Count(); ++i)
      if (rt::Clip(ed->Queue.At(i).NAME.View()) == name) return &ed->Queue.At(i);
    return nullptr;
  }

  template <class Rec>
  std::vector<Rec> All(FileId id, const Rec& buffer, int key) {
    std::vector<Rec> out;
    cl::FileManager* fm = D().Access(id);
    fm->Open();
    db::FileDecl& f = D().File(id);
    db::Set(f, key);
    for (db::Next(f); rt::ErrorCode() == 0; db::Next(f)) out.push_back(buffer);
    fm->Close();
    return out;
  }
  std::vector<data::PageControlsRecord> Controls() { return All(FileId::PageControls, D().PAG, 1); }
  std::vector<data::FilledDataRecord> Values() { return All(FileId::FilledData, D().FIL1, 1); }

  // Runs the editor's client procedure with a mouse message.
  void Mouse(const Opened& o, unsigned message, int x, int y) {
    o.win->InputMouse(message, x, y);
    Settle();
  }
  void Accept(const Opened& o, int control) {
    ASSERT_TRUE(o.win->InputAccept(control)) << control;
    Settle();
  }

  // How a test answers the file dialogs and questions of one backend.
  struct DialogDriver {
    std::function<void(const std::string& hostPath)> file;  // the next file dialog
    std::function<void()> yes;                              // the next question
    std::function<void(int control)> press;                 // and wait for the editor
  };
  // Every file dialog of the editor given names outside ASCII, in a folder
  // of such a name: each opens what was chosen. `o` is an empty editor.
  void CheckNamesOutsideAscii(const Opened& o, const DialogDriver& driver) {
    namespace fs = std::filesystem;
    const fs::path folder = dir_ / "J\xC3\xBCrgen";
    fs::create_directories(folder);
    const std::string pdf = (folder / "M\xC3\xBCller.pdf").string();
    fs::copy_file(pdf_, pdf);
    const std::string fdf = (folder / "M\xC3\xBCller.fdf").string();
    std::ofstream(fdf, std::ios::binary)
        << "%FDF-1.2\n1 0 obj\n<< /FDF << /Fields [ << /T (name) /V (from fdf) >> ] >> >>\nendobj\n"
           "trailer\n<< /Root 1 0 R >>\n%%EOF\n";
    const std::string list = (folder / "M\xC3\xBCller.csv").string();
    std::ofstream(list, std::ios::binary) << "1,\"Imported\",72,720,144,36\r\n";
    const std::string picture = (folder / "M\xC3\xBCller").string();
    rt::RunOptions run;
    ASSERT_TRUE(rt::RunProgram({"pdftoppm", "-jpeg", "-r", "10", "-singlefile", "-f", "1", "-l", "1", pdf, picture},
                               run)
                    .Succeeded());

    driver.file(pdf);  // Open PDF File
    driver.yes();      // with the document's fields
    driver.press(editor::kPdfOpen);
    ASSERT_NE(o.ed->FormId, 0);
    const auto forms = All(FileId::Forms, D().FOR, 1);
    ASSERT_EQ(forms.size(), 1u);
    EXPECT_EQ(rt::Clip(forms[0].ORIGINALPDFFILE.View()), rt::WindowsPath(pdf));
    ASSERT_NE(Entry(o.ed, "name"), nullptr);
    EXPECT_EQ(Entry(o.ed, "name")->Value(), "John");
    Entry(o.ed, "name")->SetValue("");
    o.win->Display();
    driver.file(pdf);  // Load Data from PDF File
    driver.press(editor::kLoadDataFromPdf);
    EXPECT_EQ(Entry(o.ed, "name")->Value(), "John");
    driver.file(fdf);  // Import Data, From FDF
    driver.press(editor::kFileImportDataFromFdf);
    EXPECT_EQ(Entry(o.ed, "name")->Value(), "from fdf");
    driver.file(list);  // Import Fields
    driver.press(editor::kFileImportFields);
    EXPECT_NE(Entry(o.ed, "Imported"), nullptr);
    driver.file(picture + ".jpg");  // the picture button
    driver.press(editor::kLookupFile);
    EXPECT_EQ(o.win->Get(editor::kForm, ui::Prop::Text), rt::WindowsPath(picture + ".jpg"));
    EXPECT_GT(o.win->GetLong(editor::kForm, ui::Prop::ImageWidth), 0);
  }

  std::string pdf_;
};

}  // namespace edtest
