#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <array>
#include <filesystem>
#include <set>
#include <fstream>
#include <sstream>

#include "fixture.h"
#include "velmora/app/program.h"
#include "velmora/data/dictionary.h"
#include "velmora/files/files.h"
#include "velmora/runtime/cmdline.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/paths.h"
#include "velmora/runtime/runtime.h"
#include "velmora/runtime/threads.h"
#include "velmora/upgrade/registration.h"
#include "velmora/win/win.h"

namespace {

using data::FileId;

// The tests run on runtime thread 1, with the program's thread hooks.
class RuntimeEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    rt::SetThreadHooks(&app::ThreadStartHook, &app::ProgramExitHook);
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    ASSERT_TRUE(rt::StartRuntime(1, argv)) << rt::StartError();
  }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new RuntimeEnvironment);

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class AppProgram : public cltest::TempFolder {
 protected:
  void SetUp() override {
    TempFolder::SetUp();
    setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    // The program's folder (and so the engine's version store) is the test's.
    rt::SetCommandLine({rt::WindowsPath((dir_ / "app_tests").string())});
    upg::ResetRegistration();
    app::EngineRegistered() = 0;
  }
  void TearDown() override {
    app::SetFrame(nullptr);
    app::SetEngineInterface(app::UpgradeEngine());
    unsetenv("XDG_CONFIG_HOME");
    TempFolder::TearDown();
  }
  // ProgramMain, then thread 1's end of thread.
  void RunProgramMain() {
    app::ProgramMain();
    app::DictionaryExitHook();
  }
  static int Drag() {
    win::BOOL v = -1;
    win::SystemParametersInfoA(win::SPI_GETDRAGFULLWINDOWS, 0, &v, 0);
    return v;
  }
  std::string StorePath() const { return (dir_ / "config/Velmora/desktop.ini").string(); }
};

TEST_F(AppProgram, RegistersEightFilesOnceInOrder) {
  std::vector<std::string> calls;
  data::CreateFileManagers();
  data::Dictionary& d = data::ThisThread();
  auto same = [](const void* a, const void* b) { return a == b ? "" : " (wrong object)"; };
  app::EngineInterface recorder{
      [&](std::string_view n, std::string_view v) {
        calls.push_back("SetOption " + std::string(n) + " " + std::string(v));
      },
      [&](std::string_view code, db::FileDecl& f, rt::Long len, uint8_t* rec) {
        calls.push_back("AddDriver " + std::string(code) + " " + f.Label() + " " +
                        std::to_string(len) + same(rec, app::GTPS().Record()));
      },
      [&](std::string_view n, rt::Long flags) {
        calls.push_back("IgnoreDriver " + std::string(n) + " " + std::to_string(flags));
      },
      [&](std::string_view dst, std::string_view src) {
        calls.push_back("AlternateFieldName " + std::string(dst) + " " + std::string(src));
      },
      [&](db::FileDecl& f, rt::Short version, std::string_view prefix, std::string_view label) {
        const int i = static_cast<int>(std::find_if(d.files.begin(), d.files.end(),
                                                    [&](auto& p) { return p.get() == &f; }) -
                                       d.files.begin());
        calls.push_back("UsingFile " + std::string(label) + " " + std::string(prefix) + " " +
                        std::to_string(version) +
                        same(&f, i < data::kFileCount ? d.files[i].get() : nullptr) +
                        (i < data::kFileCount && d.files[i]->Label() != label ? " (mismatch)"
                                                                             : ""));
      }};
  app::RegisterDataFiles(recorder);
  data::StopDictionary();
  const std::vector<std::string> expected = {
      "SetOption BadFile 0",
      "AddDriver Tps __GTPS 1",
      "IgnoreDriver AllFiles 1",
      "SetOption SPCreate 1",
      "AlternateFieldName ALI:ID FIL:ID",
      "AlternateFieldName ALI:DateCreated FIL:DateCreated",
      "AlternateFieldName ALI:TimeCreated FIL:TimeCreated",
      "AlternateFieldName ALI:FormID FIL:FormID",
      "AlternateFieldName ALI:FilledFormName FIL:FilledFormName",
      "UsingFile AliasFilledForm ALI 1",
      "UsingFile FieldValues FIE 1",
      "UsingFile FilledData FIL1 0",
      "UsingFile FilledForm FIL 1",
      "UsingFile FormPages FOR1 1",
      "UsingFile Forms FOR 5",
      "UsingFile PDFDetails PDF 0",
      "UsingFile PageControls PAG 5",
  };
  EXPECT_EQ(calls, expected);

  // ProgramMain registers through the engine once per process.
  app::SetFrame([] {});
  app::SetEngineInterface(recorder);
  calls.clear();
  RunProgramMain();
  EXPECT_EQ(calls.size(), expected.size());
  calls.clear();
  RunProgramMain();
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(app::EngineRegistered(), 1);
}

TEST_F(AppProgram, TheEngineHoldsTheRegistration) {
  app::SetFrame([] {});
  RunProgramMain();
  std::vector<std::string> prefixes;
  for (const upg::UsedFile& f : upg::UsedFiles()) prefixes.push_back(f.prefix);
  EXPECT_EQ(prefixes, (std::vector<std::string>{"ALI", "FIE", "FIL", "FIL1", "FOR", "FOR1",
                                                "PAG", "PDF"}));
  ASSERT_EQ(upg::Drivers().size(), 1u);
  EXPECT_EQ(upg::Drivers()[0].entry, data::Declaration(FileId::Forms).DriverEntry());
  EXPECT_EQ(upg::CurrentOptions().badFile, 0);
  EXPECT_EQ(upg::CurrentOptions().spCreate, 1);
  ASSERT_EQ(upg::IgnoredDrivers().size(), 1u);
  EXPECT_EQ(upg::IgnoredDrivers()[0].flags, 1);
  EXPECT_EQ(upg::AlternateNames().size(), 5u);
}

TEST_F(AppProgram, DragSettingIsOffDuringTheRunAndRestored) {
  int during = -1;
  app::SetFrame([&] { during = Drag(); });
  RunProgramMain();  // never set: on, as Windows ships
  EXPECT_EQ(during, 0);
  EXPECT_EQ(Drag(), 1);
  EXPECT_NE(Slurp(StorePath()).find("DragFullWindows=1"), std::string::npos);
}

TEST_F(AppProgram, DragSettingThatIsOffIsLeftAlone) {
  win::SystemParametersInfoA(win::SPI_SETDRAGFULLWINDOWS, 0, nullptr, win::SPIF_UPDATEINIFILE);
  struct stat before {}, after {};
  ASSERT_EQ(stat(StorePath().c_str(), &before), 0);
  const std::string content = Slurp(StorePath());
  int during = -1;
  app::SetFrame([&] { during = Drag(); });
  RunProgramMain();
  EXPECT_EQ(during, 0);
  ASSERT_EQ(stat(StorePath().c_str(), &after), 0);
  EXPECT_EQ(Slurp(StorePath()), content);
  EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
  EXPECT_EQ(before.st_mtim.tv_sec, after.st_mtim.tv_sec);
  win::SystemParametersInfoA(win::SPI_SETDRAGFULLWINDOWS, 1, nullptr, win::SPIF_UPDATEINIFILE);
}

TEST_F(AppProgram, EveryThreadHasItsDictionaryBeforeItsProcedureRuns) {
  // Thread 1's start hook leaves the dictionary to ProgramMain.
  app::ThreadStartHook();
  EXPECT_EQ(data::ThisThread().Access(FileId::Forms), nullptr);

  std::vector<cl::FileManager*> mainManagers, threadManagers;
  bool threadRelations = false;
  app::SetFrame([&] {
    data::Dictionary& d = data::ThisThread();
    mainManagers.assign(d.access.begin(), d.access.end());
    rt::Start(
        [&](std::vector<std::string>) {
          data::Dictionary& t = data::ThisThread();
          threadManagers.assign(t.access.begin(), t.access.end());
          threadRelations = std::all_of(t.relate.begin(), t.relate.end(),
                                        [](auto* r) { return r != nullptr; });
        },
        25000);
    rt::WaitForThreads();
  });
  RunProgramMain();
  ASSERT_EQ(threadManagers.size(), 9u);
  for (int i = 0; i < data::kFileCount; ++i) {
    EXPECT_NE(mainManagers[i], nullptr);
    EXPECT_NE(threadManagers[i], nullptr);
    EXPECT_NE(threadManagers[i], mainManagers[i]);
  }
  EXPECT_TRUE(threadRelations);
  EXPECT_EQ(data::ThisThread().Access(FileId::Forms), nullptr);  // stopped at thread end
}

// What the process was started with (the fixtures change some of these).
const std::array<std::pair<const char*, std::string>, 4> kStartFolders = [] {
  std::array<std::pair<const char*, std::string>, 4> folders = {
      {{"HOME", {}}, {"XDG_CONFIG_HOME", {}}, {"TMPDIR", {}}, {"XDG_RUNTIME_DIR", {}}}};
  for (auto& [name, value] : folders)
    if (const char* v = getenv(name)) value = v;
  return folders;
}();

// A test process writes only into its build tree: its home, settings,
// temporary and runtime folders are its own, there.
TEST(TestProcess, HasItsOwnFoldersInTheBuildTree) {
  const std::string build = std::string(APP_TESTS_BUILD_DIR) + "/";
  std::set<std::string> seen;
  for (const auto& [name, value] : kStartFolders) {
    SCOPED_TRACE(name);
    EXPECT_EQ(value.rfind(build, 0), 0u) << value << " (tests run through ctest)";
    EXPECT_TRUE(seen.insert(value).second);
  }
}

// The program started without a reachable desktop: a sentence on standard
// error and exit code 1, never an abort.
TEST_F(AppProgram, WithoutAReachableDisplayTheProgramSaysSoAndEndsWith1) {
  std::string unused = ":4711";
  while (std::filesystem::exists("/tmp/.X11-unix/X" + unused.substr(1))) unused += "1";
  struct Case {
    std::string display;  // "": unset
    const char* says;
  } cases[] = {
      {"", "no desktop display was found"},
      {unused, "could not be reached"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.display);
    const std::string command = "env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY -u DISPLAY " +
                                (c.display.empty() ? "" : "DISPLAY=" + c.display + " ") +
                                VELMORA_PROGRAM + " 2>said.txt";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << "ended by a signal";
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::string said = Slurp("said.txt");
    EXPECT_NE(said.find(c.says), std::string::npos) << said;
    EXPECT_NE(said.find("start it from a desktop session"), std::string::npos) << said;
  }
  EXPECT_FALSE(std::filesystem::exists("Quintrel.INI")) << "nothing was started";
}

}  // namespace
