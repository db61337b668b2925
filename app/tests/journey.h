#pragma once
// A user's whole way through the program, through its windows only: a form
// made from a PDF in the Forms window, designed, filled and saved; then, in
// a second process on the same folder, the data set opened again and
// written out as a fillable and an uneditable PDF. The steps are the same
// on every window backend; a Driver answers the dialogs and waits.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFAcroFormDocumentHelper.hh>

#include <map>

#include "close_windows.h"
#include "forms.h"
#include "velmora/app/frame.h"
#include "velmora/app/program.h"
#include "velmora/data/dictionary.h"
#include "velmora/editor/formeditor.h"
#include "velmora/library/recordcalls.h"
#include "velmora/library/treewindows.h"
#include "velmora/runtime/cmdline.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/paths.h"
#include "velmora/runtime/process.h"
#include "velmora/runtime/threads.h"
#include "velmora/ui/dialogs.h"
#include "velmora/ui/headless.h"
#include "velmora/ui/keys.h"
#include "velmora/ui/window.h"

namespace journey {

namespace fs = std::filesystem;
using ui::Prop;

// The environment variable that makes a test process the journey's second
// run, and the folder it names.
inline constexpr const char* kAgain = "VELMORA_JOURNEY_AGAIN";

// What the user types, ticks and picks.
inline constexpr const char* kName = "Ann Smith";
inline constexpr const char* kNotes = "Line one";
inline constexpr const char* kPlaced = "Extra value";
inline constexpr const char* kDataSet = "Journey";
inline constexpr long kChoiceRow = 3;  // "Blue"
inline constexpr const char* kChoice = "Blue";
inline constexpr size_t kRadio = 1;  // the group's second button ("No")

// Answers the dialogs the windows ask and waits for what they do.
class Driver {
 public:
  virtual ~Driver() = default;
  virtual void AnswerMessage(int button) = 0;
  virtual void AnswerFile(const std::string& path) = 0;
  // Waits until `done` holds; false after `ms` milliseconds.
  virtual bool Until(const std::function<bool()>& done, int ms = 60000) = 0;
  // Keeps a picture of a window (backends that draw).
  virtual void Shot(ui::Window&, const std::string& /*name*/) {}
  // Checks that a window inside the frame is in front and shows every
  // button it has (backends that draw).
  virtual void CheckInFront(ui::Window&) {}
  // The texts of the message boxes shown so far.
  virtual std::vector<std::string> Messages() = 0;
};

class HeadlessDriver : public Driver {
 public:
  void AnswerMessage(int button) override { ui::Headless().AnswerMessage(button); }
  void AnswerFile(const std::string& path) override { ui::Headless().AnswerFile({rt::WindowsPath(path)}); }
  bool Until(const std::function<bool()>& done, int ms) override {
    return ui::WaitUntil(done, std::chrono::milliseconds(ms));
  }
  std::vector<std::string> Messages() override {
    std::vector<std::string> out;
    for (const auto& a : ui::Headless().AskedDialogs())
      if (a.kind == ui::HeadlessBackend::Asked::Message) out.push_back(a.message.text);
    return out;
  }
};

class Journey : public ::testing::Test {
 protected:
  // The folder of the run: a new one, or the first run's in the second.
  void Begin(Driver& driver) {
    driver_ = &driver;
    old_ = fs::current_path();
    if (const char* again = getenv(kAgain)) {
      dir_ = again;
      keep_ = true;
    } else {
      std::string tmpl = (fs::temp_directory_path() / "journey_XXXXXX").string();
      dir_ = mkdtemp(tmpl.data());
    }
    fs::current_path(dir_);
    setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    // the program's folder is the run's, as the program's own would be
    rt::SetCommandLine({rt::WindowsPath((dir_ / "velmora").string())});
    app::StartWindowLayer();
    ui::InstallMessageHandler();
    ui::Headless().Reset();
    data::GlobalErrors().Setup();
    app::INIMgr().Setup("Quintrel.INI");
    // what the program's main procedure sets up before the frame
    library::InstallEditorCalls();
    if (app::EngineRegistered() == 0) {
      app::EngineRegistered() = 1;
      app::RegisterDataFiles(app::UpgradeEngine());
    }
  }
  void End() {
    uitest::CloseEveryWindow([](ui::Window& w) { w.InputClose(); },
                             [this](const std::function<bool()>& done) { driver_->Until(done, 2000); });
    rt::WaitForThreads();
    app::INIMgr().Teardown();
    ui::Headless().Reset();
    unsetenv("XDG_CONFIG_HOME");
    fs::current_path(old_);
    if (!keep_ && !HasFailure()) fs::remove_all(dir_);
  }

  // ---- waiting

  std::shared_ptr<ui::Window> Find(const std::string& caption) {
    for (auto& w : ui::OpenWindows())
      if (w->Get(0, Prop::Text) == caption) return w;
    return nullptr;
  }
  std::shared_ptr<ui::Window> Window(const std::string& caption) {
    std::shared_ptr<ui::Window> w;
    EXPECT_TRUE(driver_->Until([&] { return (w = Find(caption)) != nullptr; }))
        << caption << "; messages: " << ::testing::PrintToString(driver_->Messages());
    Settle();
    return w;
  }
  bool Gone(const std::string& caption) {
    const bool gone = driver_->Until([&] { return Find(caption) == nullptr; });
    EXPECT_TRUE(gone) << caption << "; messages: " << ::testing::PrintToString(driver_->Messages());
    Settle();
    return gone;
  }
  // Every window on top of its thread has handled its events, and no
  // editor is inside a command; twice in a row, a moment apart.
  void Settle() {
    auto idle = [] {
      for (auto& w : ui::OpenWindows()) {
        if (ui::TopWindow(w->Thread()) != w) continue;
        if (w->PendingEvents()) return false;
        if (auto* ed = editor::EditorOfWindow(w->GetLong(0, Prop::Handle)); ed && ed->Busy()) return false;
      }
      return true;
    };
    for (int settled = 0; settled < 2;) {
      ASSERT_TRUE(driver_->Until(idle)) << "the windows did not settle";
      const auto then = std::chrono::steady_clock::now() + std::chrono::milliseconds(5);
      driver_->Until([&] { return std::chrono::steady_clock::now() >= then; });
      settled = idle() ? settled + 1 : 0;
    }
  }
  void Press(const std::shared_ptr<ui::Window>& w, int control) {
    ASSERT_TRUE(w->InputAccept(control)) << control;
    Settle();
  }

  // ---- the program's windows

  std::shared_ptr<ui::Window> StartFrame() {
    rt::Start([](std::vector<std::string>) { app::Main(); }, app::kProcedureStack);
    auto frame = Window("Velmora");
    EXPECT_TRUE(Window("Getting Started"));
    return frame;
  }
  // Ends the program from the frame's File menu.
  void ExitFrame(const std::shared_ptr<ui::Window>& frame) {
    frame->InputAccept(-4);  // E&xit
    EXPECT_TRUE(driver_->Until([] { return ui::OpenWindows().empty(); }));
    rt::WaitForThreads();
  }
  std::shared_ptr<ui::Window> OpenForms(const std::shared_ptr<ui::Window>& frame) {
    EXPECT_TRUE(frame->InputAccept(-24));  // the toolbar's "Show Forms"
    return Window("Forms");
  }
  struct Editor {
    std::shared_ptr<ui::Window> win;
    editor::FormEditor* ed = nullptr;
  };
  Editor WaitForEditor() {
    Editor e;
    EXPECT_TRUE(driver_->Until([&] {
      for (auto& w : ui::OpenWindows())
        if (auto* ed = editor::EditorOfWindow(w->GetLong(0, Prop::Handle))) {
          e.win = w;
          e.ed = ed;
        }
      return e.ed != nullptr;
    })) << ::testing::PrintToString(driver_->Messages());
    Settle();
    return e;
  }
  bool EditorGone() {
    return driver_->Until([] {
      for (auto& w : ui::OpenWindows())
        if (editor::EditorOfWindow(w->GetLong(0, Prop::Handle))) return false;
      return true;
    });
  }
  // The control of a field by its name.
  static int Field(const Editor& e, const std::string& name) {
    for (long i = 1; i <= e.ed->Queue.Count(); ++i)
      if (rt::Clip(e.ed->Queue.At(i).NAME.View()) == name) return e.ed->Queue.At(i).CTLNO;
    ADD_FAILURE() << "no field " << name;
    return 0;
  }
  static std::vector<int> Radios(const Editor& e) {
    std::vector<int> out;
    for (long i = 1; i <= e.ed->Queue.Count(); ++i)
      if (e.ed->Queue.At(i).RADIOBUTTONNUMBER > 0) out.push_back(e.ed->Queue.At(i).CTLNO);
    return out;
  }
  std::vector<std::string> Rows(ui::Window& w) {
    std::vector<std::string> out;
    const long n = w.GetLong(library::kRelTree, Prop::Items);
    for (long r = 1; r <= n; ++r) out.push_back(w.CellText(library::kRelTree, r, 1));
    return out;
  }

  // ---- the journey

  // The first run: a form from the fixture, a field placed on it, a data
  // set filled in; everything closed at the end.
  void DesignAndFill() {
    const std::string pdf = forms::MakeForm((dir_ / "Application.pdf").string());
    auto frame = StartFrame();
    ASSERT_TRUE(frame);
    auto forms = OpenForms(frame);
    ASSERT_TRUE(forms);
    EXPECT_EQ(Rows(*forms), std::vector<std::string>{"Forms"});

    // a new form, its PDF picked with "PDF File", the document's fields taken
    Press(forms, library::kInsert);
    auto record = Window("Record Will Be Added");
    ASSERT_TRUE(record);
    driver_->AnswerFile(pdf);
    driver_->AnswerMessage(ui::button::Yes);
    ASSERT_TRUE(record->InputAccept(18));  // PDF File
    ASSERT_TRUE(driver_->Until([&] { return record->Get(44, Prop::ScreenText) == "Done!"; }))
        << record->Get(44, Prop::ScreenText) << ::testing::PrintToString(driver_->Messages());
    Settle();
    Press(record, 46);  // &OK
    ASSERT_TRUE(Gone("Record Will Be Added"));
    ASSERT_TRUE(driver_->Until([&] { return Rows(*forms).size() == 2; })) << ::testing::PrintToString(Rows(*forms));
    EXPECT_EQ(Rows(*forms)[1], "APPLICATION");

    // its first page in the editor, in design mode; a text field placed
    Press(forms, library::kExpand);
    ASSERT_TRUE(driver_->Until([&] { return Rows(*forms).size() == 5; })) << ::testing::PrintToString(Rows(*forms));
    ASSERT_TRUE(forms->InputSelectRow(library::kRelTree, 3, ui::key::MouseLeft));
    Settle();
    ASSERT_EQ(forms->GetLong(library::kButton7, Prop::Disable), 0);
    ASSERT_TRUE(forms->InputAccept(library::kButton7));  // Edit
    Editor e = WaitForEditor();
    ASSERT_TRUE(e.ed);
    EXPECT_EQ(e.ed->Mode, "1");
    const long fields = e.ed->Queue.Count();
    Press(e.win, editor::kButton1);  // Insert Field
    auto mouse = [&](unsigned message, int x, int y) {
      e.win->InputMouse(message, e.ed->PageLeft + x, e.ed->PageTop + y);
      Settle();
    };
    // beside the name field, where the page is empty
    mouse(ui::msg::LButtonDown, 400, 160);
    mouse(ui::msg::MouseMove, 592, 192);
    mouse(ui::msg::LButtonDown, 592, 192);
    ASSERT_EQ(e.ed->Queue.Count(), fields + 1);
    placed_ = rt::Clip(e.ed->Queue.At(e.ed->Queue.Count()).NAME.View());
    // Exit and Save; the form's own value ("John") is not kept as data
    driver_->AnswerMessage(ui::button::No);
    ASSERT_TRUE(e.win->InputAccept(editor::kSave));
    ASSERT_TRUE(EditorGone()) << ::testing::PrintToString(driver_->Messages());
    Settle();
    driver_->CheckInFront(*forms);

    // a data set, filled in the editor
    Press(forms, library::kInsert2);
    auto set = Window("Record Will Be Added");
    ASSERT_TRUE(set);
    ASSERT_TRUE(set->InputType(11, kDataSet));
    Press(set, 17);  // &OK
    ASSERT_TRUE(Gone("Record Will Be Added"));
    ASSERT_TRUE(driver_->Until([&] { return forms->GetLong(library::kList, Prop::Items) == 1; }));
    EXPECT_EQ(forms->CellText(library::kList, 1, 1), kDataSet);
    ASSERT_TRUE(forms->InputSelectRow(library::kList, 1, ui::key::MouseLeft));
    Settle();
    ASSERT_TRUE(forms->InputAccept(library::kButton11));  // &Fill Data
    e = WaitForEditor();
    ASSERT_TRUE(e.ed);
    EXPECT_EQ(e.ed->Mode, "2");
    // Tab leaves a field for the next in the tab order, and is no text
    const int name = Field(e, "name");
    ASSERT_TRUE(e.win->InputFocus(name));
    Settle();
    ASSERT_TRUE(e.win->InputType(name, kName));
    ASSERT_TRUE(e.win->InputKey(name, ui::key::Tab));
    Settle();
    EXPECT_EQ(e.win->Focus(), e.win->NextInOrder(name));
    EXPECT_EQ(e.win->Get(name, Prop::ScreenText), kName);
    ASSERT_TRUE(e.win->InputType(Field(e, "notes"), kNotes));
    Press(e.win, Field(e, "agree"));
    const std::vector<int> radios = Radios(e);
    ASSERT_EQ(radios.size(), 2u);
    ASSERT_TRUE(e.win->InputKey(radios[kRadio], ui::key::MouseLeft));
    Settle();
    ASSERT_TRUE(e.win->InputSelectRow(Field(e, "pick"), kChoiceRow));
    ASSERT_TRUE(e.win->InputType(Field(e, placed_), kPlaced));
    Settle();
    driver_->Shot(*e.win, "journey-editor.png");
    ASSERT_TRUE(e.win->InputAccept(editor::kSave));  // Exit and Save
    ASSERT_TRUE(EditorGone()) << ::testing::PrintToString(driver_->Messages());
    Settle();
    driver_->CheckInFront(*forms);
    driver_->Shot(*forms, "journey-forms.png");
    driver_->Shot(*frame, "journey-frame.png");

    Press(forms, library::kButton11_2);  // C&lose
    ASSERT_TRUE(Gone("Forms"));
    ExitFrame(frame);
  }

  // The second run: the data set opened again shows every value; it is
  // saved as a fillable and as an uneditable PDF.
  void OpenAgainAndWrite() {
    auto frame = StartFrame();
    ASSERT_TRUE(frame);
    auto forms = OpenForms(frame);
    ASSERT_TRUE(forms);
    // the first form is selected when the window opens, with its data sets
    ASSERT_TRUE(driver_->Until([&] { return forms->GetLong(library::kList, Prop::Items) == 1; }))
        << ::testing::PrintToString(Rows(*forms));
    EXPECT_EQ(forms->CellText(library::kList, 1, 1), kDataSet);
    // at the place and size the first run left it, every button whole
    driver_->CheckInFront(*forms);
    ASSERT_TRUE(forms->InputSelectRow(library::kList, 1, ui::key::MouseLeft));
    Settle();
    ASSERT_TRUE(forms->InputAccept(library::kButton11));  // &Fill Data
    Editor e = WaitForEditor();
    ASSERT_TRUE(e.ed);
    EXPECT_EQ(e.ed->Mode, "2");
    placed_ = getenv("VELMORA_JOURNEY_PLACED") ? getenv("VELMORA_JOURNEY_PLACED") : "";
    EXPECT_EQ(e.win->Get(Field(e, "name"), Prop::ScreenText), kName);
    EXPECT_EQ(e.win->Get(Field(e, "notes"), Prop::ScreenText), kNotes);
    EXPECT_EQ(e.win->GetLong(Field(e, "agree"), Prop::Checked), 1);
    const std::vector<int> radios = Radios(e);
    ASSERT_EQ(radios.size(), 2u);
    for (size_t i = 0; i < radios.size(); ++i)
      EXPECT_EQ(e.win->GetLong(radios[i], Prop::Color) == e.ed->SelectedRadioFieldColor, i == kRadio) << i;
    EXPECT_EQ(e.win->Get(Field(e, "pick"), Prop::ScreenText), kChoice);
    EXPECT_EQ(e.win->Get(Field(e, placed_), Prop::ScreenText), kPlaced);
    // a value cleared before writing is blank in the files, though the
    // document holds one of its own there
    ASSERT_TRUE(e.win->InputType(Field(e, "name"), ""));
    Settle();

    for (const auto& [button, file] : {std::pair{editor::kSaveForm, "fillable.pdf"}, {editor::kSaveFormLocked, "uneditable.pdf"}}) {
      const size_t asked = driver_->Messages().size();
      driver_->AnswerFile((dir_ / file).string());
      driver_->AnswerMessage(ui::button::No);  // "Do you want to open it?"
      ASSERT_TRUE(e.win->InputAccept(button));
      ASSERT_TRUE(driver_->Until([&] { return driver_->Messages().size() > asked; }));
      Settle();
      EXPECT_NE(driver_->Messages().back().find("was successfully generated"), std::string::npos)
          << driver_->Messages().back();
    }
    ASSERT_TRUE(e.win->InputAccept(editor::kCancel));  // Exit without Save
    ASSERT_TRUE(EditorGone());
    Settle();
    Press(forms, library::kButton11_2);
    ASSERT_TRUE(Gone("Forms"));
    ExitFrame(frame);
  }

  // Runs this test program again as the journey's second run on the same
  // folder; its output when it failed.
  rt::ProcessResult RunAgain(const std::string& test) {
    setenv(kAgain, dir_.c_str(), 1);
    setenv("VELMORA_JOURNEY_PLACED", placed_.c_str(), 1);
    rt::RunOptions o;
    o.captureOutput = true;
    o.waitMs = 180000;
    rt::ProcessResult r = rt::RunProgram({fs::read_symlink("/proc/self/exe").string(), "--gtest_filter=" + test}, o);
    unsetenv(kAgain);
    unsetenv("VELMORA_JOURNEY_PLACED");
    return r;
  }

  Driver* driver_ = nullptr;
  fs::path dir_, old_;
  bool keep_ = false;
  std::string placed_;  // the name of the field placed in the editor
};

// What poppler says of a PDF file's form: "AcroForm" or "none".
inline std::string PdfForm(const std::string& file) {
  rt::RunOptions o;
  o.captureOutput = true;
  rt::ProcessResult r = rt::RunProgram({"pdfinfo", file}, o);
  EXPECT_TRUE(r.Succeeded()) << file;
  const size_t at = r.output.find("Form:");
  if (at == std::string::npos) return {};
  size_t from = r.output.find_first_not_of(' ', at + 5);
  return r.output.substr(from, r.output.find('\n', from) - from);
}

// The values of a PDF file's fields (a button's as its state name).
inline std::map<std::string, std::string> PdfValues(const std::string& file) {
  std::map<std::string, std::string> values;
  QPDF q;
  q.processFile(file.c_str());
  for (auto& field : QPDFAcroFormDocumentHelper(q).getFormFields()) {
    QPDFObjectHandle v = field.getInheritableFieldValue("/V");
    values[field.getFullyQualifiedName()] = v.isName() ? v.getName().substr(1) : v.isString() ? v.getUTF8Value() : "";
  }
  return values;
}

// The checks of the two written files, after the second run.
inline void CheckWritten(const fs::path& dir, const std::string& placed) {
  const std::string fillable = (dir / "fillable.pdf").string(), locked = (dir / "uneditable.pdf").string();
  ASSERT_TRUE(fs::exists(fillable));
  ASSERT_TRUE(fs::exists(locked));
  EXPECT_EQ(PdfForm(fillable), "AcroForm");
  EXPECT_EQ(PdfForm(locked), "none") << "the uneditable file has no fields left";
  auto values = PdfValues(fillable);
  EXPECT_EQ(values["name"], "") << "cleared in the second run";
  EXPECT_EQ(values["notes"], kNotes);
  EXPECT_EQ(values["agree"], "Yes");
  EXPECT_EQ(values["colour"], "No");
  EXPECT_EQ(values["pick"], kChoice);
  EXPECT_EQ(values[placed], kPlaced);
  EXPECT_TRUE(PdfValues(locked).empty());
  for (const std::string& file : {fillable, locked}) {
    const std::string text = forms::PdfText(file);
    for (const char* value : {kNotes, kChoice, kPlaced, "Hello Page One"})
      EXPECT_NE(text.find(value), std::string::npos) << value << " in " << file << ":\n" << text;
    for (const char* value : {kName, "John"}) EXPECT_EQ(text.find(value), std::string::npos) << value << " in " << file;
  }
}

}  // namespace journey
