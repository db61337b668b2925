// Opens the Form Editor on a 20-page form with 500 fields (in a fresh data
// folder) on the Qt backend offscreen, switches through every page and
// zooms in and out. Each step is timed from the command until the editor
// has finished it, and until Qt has shown it.
//
// Before that, on the window model alone, the value imports and Exit and
// Save on forms of 100 to 4000 filled fields, filling a data set: values
// from a PDF file (the form itself) and from an FDF file at 1000, 2000 and
// 4000 fields, Exit and Save at 100, 1000 and 4000.
#include <QApplication>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "make_form.h"
#include "make_pages.h"
#include "window_timing.h"
#include "velmora/app/program.h"
#include "velmora/apppdf/import.h"
#include "velmora/data/dictionary.h"
#include "velmora/editor/formeditor.h"
#include "velmora/files/files.h"
#include "velmora/pdf/pdf.h"
#include "velmora/runtime/runtime.h"
#include "velmora/runtime/system.h"
#include "velmora/runtime/threads.h"
#include "velmora/ui/dialogs.h"
#include "velmora/ui/headless.h"
#include "velmora/ui/qt_backend.h"
#include "velmora/ui/window.h"

namespace {

using bench::Clock;
using bench::Mirror;
using bench::UntilIdle;
using data::FileId;

constexpr int kFields = 500;

// Adds copies of the form's text fields, with ids of their own, until the
// form has kFields fields.
void FillUp(long form) {
  data::Dictionary& d = data::ThisThread();
  cl::FileManager* controls = d.Access(FileId::PageControls);
  controls->Open();
  std::vector<data::PageControlsRecord> all;
  db::FileDecl& f = d.File(FileId::PageControls);
  db::Set(f, 1);
  for (db::Next(f); rt::ErrorCode() == 0; db::Next(f))
    if (d.PAG.FORMID == form) all.push_back(d.PAG);
  long id = 1000;
  db::Stream(f);
  for (size_t i = 0; static_cast<int>(all.size() + i) < kFields; ++i) {
    d.PAG = all[i % all.size()];
    d.PAG.CONTROLUNIQUEID = static_cast<rt::Long>(++id);
    d.PAG.CONTROLY = d.PAG.CONTROLY + 24 * static_cast<rt::Long>(1 + i / all.size());
    d.PAG.CONTROLTABORDER = static_cast<rt::Short>(100 + i);
    d.PAG.HIDDEN = 0;
    controls->TryInsert();
  }
  db::Flush(f);
  controls->Close();
}

struct Stats {
  std::vector<double> model, mirror;
  void Print(const char* what) const {
    auto avg = [](const std::vector<double>& v) {
      double s = 0;
      for (double x : v) s += x;
      return v.empty() ? 0.0 : s / static_cast<double>(v.size());
    };
    std::printf("%s: %zu times, editor done after %.1f ms on average (at most %.1f), shown after %.1f ms on "
                "average (at most %.1f)\n",
                what, model.size(), avg(model), *std::max_element(model.begin(), model.end()), avg(mirror),
                *std::max_element(mirror.begin(), mirror.end()));
  }
};

// Waits (the runtime lock let go meanwhile) until the editor has handled
// every event and is in no command; the milliseconds since `from`.
double Handled(Clock::time_point from, const std::shared_ptr<ui::Window>& w, editor::FormEditor* ed) {
  while (w->PendingEvents() != 0 || ed->Busy()) {
    rt::UnlockThread();
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    rt::LockThread();
  }
  return bench::Ms(from, Clock::now());
}

std::shared_ptr<ui::Window> EditorWindow() {
  for (auto& open : ui::OpenWindows())
    if (editor::EditorOfWindow(open->GetLong(0, ui::Prop::Handle))) return open;
  return nullptr;
}

// The value imports and Exit and Save on a form of `fields` filled fields,
// with a data set filled in the editor; false when a step failed.
bool ValueSteps(const std::filesystem::path& dir, int fields, bool imports, bool save) {
  const std::string pdf = (dir / ("values" + std::to_string(fields) + ".pdf")).string();
  const std::string fdf = (dir / ("values" + std::to_string(fields) + ".fdf")).string();
  MakeValuesForm(pdf, fields, fdf);
  data::Dictionary& d = data::ThisThread();
  d.Relate(FileId::Forms)->Open();
  if (apppdf::CreateFormFromPdf(pdf) != 1) return false;
  const long form = d.FOR.ID;
  d.Relate(FileId::Forms)->Close();
  cl::FileManager* sets = d.Access(FileId::FilledForm);
  sets->Open();
  sets->PrimeRecord();
  d.FIL.FORMID = static_cast<rt::Long>(form);
  d.FIL.FILLEDFORMNAME = "values";
  if (sets->TryInsert() != cl::kBenign) return false;
  const long set = d.FIL.ID;
  sets->Close();

  rt::Start(
      [form, set](std::vector<std::string>) {
        data::Dictionary& t = data::ThisThread();
        t.Relate(FileId::Forms)->Open();
        t.Access(FileId::FilledForm)->Open();
        t.FOR.ID = static_cast<rt::Long>(form);
        t.Access(FileId::Forms)->TryFetch(t.Access(FileId::Forms)->KeyNumber("FOR:ID_Key"));
        t.FIL.ID = static_cast<rt::Long>(set);
        t.Access(FileId::FilledForm)->TryFetch(t.Access(FileId::FilledForm)->KeyNumber("FIL:ID_Key"));
        t.FOR1.FORMID = static_cast<rt::Long>(form);
        t.FOR1.PAGENO = 1;
        editor::RunFormEditor("2");
        t.Access(FileId::FilledForm)->Close();
        t.Relate(FileId::Forms)->Close();
      },
      25000);
  std::shared_ptr<ui::Window> w;
  ui::WaitUntil([&] { return (w = EditorWindow()) != nullptr; }, std::chrono::seconds(120));
  if (!w) return false;
  editor::FormEditor* ed = editor::EditorOfWindow(w->GetLong(0, ui::Prop::Handle));
  Handled(Clock::now(), w, ed);
  const long controls = ed->Queue.Count();
  bool ok = controls >= fields;
  if (imports) {
    // The PDF library's share of the values from the PDF: loading the file
    // (its field index) and removing it.
    rt::UnlockThread();
    auto load = Clock::now();
    iSEDRemoveDocument(iSEDLoadFromFile(pdf));
    const double library = bench::Ms(load, Clock::now());
    rt::LockThread();
    ui::Headless().AnswerFile({pdf});
    auto start = Clock::now();
    w->InputAccept(editor::kLoadDataFromPdf);
    const double fromPdf = Handled(start, w, ed);
    ui::Headless().AnswerFile({fdf});
    start = Clock::now();
    w->InputAccept(editor::kFileImportDataFromFdf);
    const double fromFdf = Handled(start, w, ed);
    std::printf("values of %d fields (%ld controls): from the PDF %.1f ms (the library's load and "
                "removal alone %.1f ms), from the FDF %.1f ms\n",
                fields, controls, fromPdf, library, fromFdf);
    const std::string last = "value " + std::to_string(fields - 3);  // a text field near the end
    bool found = false;
    for (long i = 1; i <= ed->Queue.Count(); ++i) found = found || ed->Queue.At(i).Value() == last;
    ok = ok && found;
  }
  const auto start = Clock::now();
  w->InputAccept(editor::kSave);
  ui::WaitUntil([] { return EditorWindow() == nullptr; }, std::chrono::seconds(120));
  const double saved = bench::Ms(start, Clock::now());
  rt::WaitForThreads();
  if (save) std::printf("Exit and Save with %d fields (%ld controls): %.1f ms\n", fields, controls, saved);
  return ok && EditorWindow() == nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  // Each line reaches a pipe as it is printed: the program's exit may end
  // the process without flushing.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const fs::path dir = fs::temp_directory_path() / ("velmora-editor-" + std::to_string(getpid()));
  fs::create_directories(dir / "data");
  const fs::path old = fs::current_path();
  fs::current_path(dir);
  setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  const std::string pdf = (dir / "form.pdf").string();
  MakeBenchForm(pdf, BenchFields::Mixed);

  rt::SetThreadHooks(&app::ThreadStartHook, &app::ProgramExitHook);
  if (!rt::StartRuntime(argc, argv)) return 1;
  app::StartWindowLayer();
  data::GlobalErrors().Setup();
  app::INIMgr().Setup("Quintrel.INI");
  app::StartDictionary();
  rt::SetMessageHandler([](std::string_view, std::string_view, std::string_view, int, int def) { return def; });
  // "--values": the value imports and Exit and Save only
  bool valuesOnly = false;
  for (int i = 1; i < argc; ++i) valuesOnly = valuesOnly || std::string(argv[i]) == "--values";
  bool valuesOk = true;
  for (int fields : {100, 1000, 2000, 4000})
    valuesOk = ValueSteps(dir, fields, fields >= 1000, fields != 2000) && valuesOk;
  if (valuesOnly) {
    fs::current_path(old);
    fs::remove_all(dir);
    return valuesOk ? 0 : 1;
  }
  data::Dictionary& d = data::ThisThread();
  d.Relate(FileId::Forms)->Open();
  if (apppdf::CreateFormFromPdf(pdf) != 1) return 1;
  const long form = d.FOR.ID;
  d.Relate(FileId::Forms)->Close();
  FillUp(form);

  // "--headless": the window model alone, without Qt (the editor's own share)
  bool headless = false;
  for (int i = 1; i < argc; ++i) headless = headless || std::string(argv[i]) == "--headless";
  std::unique_ptr<QApplication> application;
  std::unique_ptr<ui::QtBackend> backend;
  if (!headless) {
    application = std::make_unique<QApplication>(argc, argv);
    backend = std::make_unique<ui::QtBackend>();
    ui::SetBackend(backend.get());
  }
  bench::Headless() = headless;

  const auto openStart = Clock::now();
  rt::Start(
      [form](std::vector<std::string>) {
        data::Dictionary& t = data::ThisThread();
        t.Relate(FileId::Forms)->Open();
        t.FOR.ID = static_cast<rt::Long>(form);
        t.Access(FileId::Forms)->TryFetch(t.Access(FileId::Forms)->KeyNumber("FOR:ID_Key"));
        t.FOR1.FORMID = static_cast<rt::Long>(form);
        t.FOR1.PAGENO = 1;
        editor::RunFormEditor("1");
        t.Relate(FileId::Forms)->Close();
      },
      25000);
  std::shared_ptr<ui::Window> w;
  auto found = [&] {
    for (auto& open : ui::OpenWindows())
      if (editor::EditorOfWindow(open->GetLong(0, ui::Prop::Handle))) w = open;
    return w != nullptr;
  };
  if (headless)
    ui::WaitUntil(found, std::chrono::seconds(60));
  else
    ui::ProcessEventsUntil(found, 60000);
  if (!w) return 1;
  const double opened = UntilIdle(openStart, w);
  const double openMirror = Mirror(openStart);
  editor::FormEditor* ed = editor::EditorOfWindow(w->GetLong(0, ui::Prop::Handle));
  const long fields = ed->Queue.Count();

  // "--rounds n": switch through the pages n times (forward, then back), for profiling
  int rounds = 1;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::string(argv[i]) == "--rounds") rounds = std::max(1, std::atoi(argv[i + 1]));
  Stats pages, zooms;
  for (int round = 0; round < rounds; ++round) {
    const int direction = round % 2 == 0 ? +1 : -1;
    for (int p = 2; p <= kFormPages; ++p) {
      const auto start = Clock::now();
      w->InputSpin(editor::kPageNo, direction);
      pages.model.push_back(UntilIdle(start, w));
      pages.mirror.push_back(Mirror(start));
    }
  }
  for (int step = 0; step < 10; ++step) {
    const auto start = Clock::now();
    w->InputAccept(step < 5 ? editor::kZoomIn : editor::kZoomOut);
    zooms.model.push_back(UntilIdle(start, w));
    zooms.mirror.push_back(Mirror(start));
  }
  const bool ok = ed->ShownPage == (rounds % 2 ? kFormPages : 1) && fields == kFields && ed->ZoomPercent == 100;

  std::printf("form: %d pages, %ld fields\n", kFormPages, fields);
  std::printf("opening: editor done after %.1f ms, shown after %.1f ms (target under 1000 ms)\n", opened,
              openMirror);
  pages.Print("page switch (target under 50 ms)");
  zooms.Print("zoom (target under 100 ms)");
  w->InputClose();
  if (!headless) ui::ProcessEventsUntil([] { return ui::OpenWindows().empty(); }, 10000);
  rt::WaitForThreads();
  ui::SetBackend(nullptr);
  fs::current_path(old);
  fs::remove_all(dir);
  return ok && valuesOk ? 0 : 1;
}
