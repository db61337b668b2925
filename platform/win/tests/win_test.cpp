#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "velmora/runtime/system.h"
#include "velmora/win/win.h"

namespace {

namespace fs = std::filesystem;

class WinDrag : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "win_test_XXXXXX").string();
    dir_ = mkdtemp(tmpl.data());
    setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
  }
  void TearDown() override {
    // Leave no process-only value behind for the next test.
    win::SystemParametersInfoA(win::SPI_SETDRAGFULLWINDOWS, 1, nullptr,
                               win::SPIF_UPDATEINIFILE);
    unsetenv("XDG_CONFIG_HOME");
    fs::remove_all(dir_);
  }
  int Get() {
    win::BOOL v = -1;
    EXPECT_EQ(win::SystemParametersInfoA(win::SPI_GETDRAGFULLWINDOWS, 0, &v, 0), 1);
    return v;
  }
  std::string Store() {
    std::ifstream in(dir_ + "/Velmora/desktop.ini");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::string dir_;
};

TEST_F(WinDrag, DefaultsToOnWhenNeverSet) {
  EXPECT_EQ(Get(), 1);
  EXPECT_FALSE(fs::exists(dir_ + "/Velmora/desktop.ini"));
}

TEST_F(WinDrag, ProfileWriteIsKeptInTheUserStore) {
  win::SystemParametersInfoA(win::SPI_SETDRAGFULLWINDOWS, 0, nullptr,
                             win::SPIF_UPDATEINIFILE | win::SPIF_SENDCHANGE);
  EXPECT_EQ(Get(), 0);
  EXPECT_NE(Store().find("DragFullWindows=0"), std::string::npos);
  win::SystemParametersInfoA(win::SPI_SETDRAGFULLWINDOWS, 1, nullptr, 3);
  EXPECT_EQ(Get(), 1);
  EXPECT_NE(Store().find("DragFullWindows=1"), std::string::npos);
}

TEST_F(WinDrag, ChangeWithoutProfileFlagIsNotWritten) {
  win::SystemParametersInfoA(win::SPI_SETDRAGFULLWINDOWS, 0, nullptr, 0);
  EXPECT_EQ(Get(), 0);
  EXPECT_FALSE(fs::exists(dir_ + "/Velmora/desktop.ini"));
}

// Another process switches the setting off in the profile; `release` is
// written when it is to end, with (normal) or without (a crash) switching
// it on again.
struct OtherProcess {
  pid_t pid = -1;
  int release = -1;
  OtherProcess() {
    int toChild[2], ready[2];
    if (pipe(toChild) != 0 || pipe(ready) != 0) return;
    pid = fork();
    if (pid == 0) {
      win::SystemParametersInfoA(win::SPI_SETDRAGFULLWINDOWS, 0, nullptr,
                                 win::SPIF_UPDATEINIFILE | win::SPIF_SENDCHANGE);
      char c = 0;
      (void)!write(ready[1], &c, 1);
      (void)!read(toChild[0], &c, 1);
      if (c == 'n')
        win::SystemParametersInfoA(win::SPI_SETDRAGFULLWINDOWS, 1, nullptr,
                                   win::SPIF_UPDATEINIFILE | win::SPIF_SENDCHANGE);
      _exit(0);
    }
    close(toChild[0]);
    close(ready[1]);
    char c;
    (void)!read(ready[0], &c, 1);
    close(ready[0]);
    release = toChild[1];
  }
  void End(char how) {
    (void)!write(release, &how, 1);
    close(release);
    int status = 0;
    waitpid(pid, &status, 0);
  }
};

TEST_F(WinDrag, SettingLeftOffByACrashIsOnAgainAtTheNextStart) {
  OtherProcess crashed;
  ASSERT_GT(crashed.pid, 0);
  EXPECT_EQ(Get(), 0) << "off while the process that switched it runs";
  crashed.End('c');
  EXPECT_EQ(Get(), 1) << "on again once it has gone without switching it on";
  EXPECT_NE(Store().find("DragFullWindows=1"), std::string::npos);
  EXPECT_EQ(Store().find("OffBy"), std::string::npos);

  OtherProcess normal;
  normal.End('n');
  EXPECT_EQ(Get(), 1);
  EXPECT_EQ(Store().find("OffBy"), std::string::npos);
}

TEST_F(WinDrag, SettingTheUserSwitchedOffStaysOff) {
  fs::create_directories(dir_ + "/Velmora");
  std::ofstream(dir_ + "/Velmora/desktop.ini") << "[Desktop]\nDragFullWindows=0\n";
  // a process that finds it off and ends without a word leaves it off
  OtherProcess later;
  later.End('c');
  EXPECT_EQ(Get(), 0);
}

TEST(WinCalls, UnknownActionAndMissingOutputFail) {
  EXPECT_EQ(win::SystemParametersInfoA(9999, 0, nullptr, 0), 0);
  EXPECT_EQ(win::SystemParametersInfoA(win::SPI_GETDRAGFULLWINDOWS, 0, nullptr, 0), 0);
}

TEST(WinCalls, DebugOutputReachesTheRuntimeSink) {
  std::string seen;
  rt::SetDebugSink([&](std::string_view s) { seen += std::string(s); });
  win::OutputDebugStringA("[RV3] hello");
  win::OutputDebugStringA(nullptr);
  rt::SetDebugSink(nullptr);
  EXPECT_EQ(seen, "[RV3] hello");
}

}  // namespace

namespace {

TEST(WinTempPath, TmpdirInWindowsFormWithTrailingBackslash) {
  const char* old = std::getenv("TMPDIR");
  std::string saved = old ? old : "";
  struct Case {
    const char* tmpdir;  // nullptr: unset
    std::string expected;
  } cases[] = {
      {nullptr, "\\tmp\\"},
      {"", "\\tmp\\"},
      {"/var/tmp/x", "\\var\\tmp\\x\\"},
      {"/var/tmp/y/", "\\var\\tmp\\y\\"},
      {"/odd\\name", ""},  // cannot be shown in Windows form
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tmpdir ? c.tmpdir : "(unset)");
    if (c.tmpdir)
      setenv("TMPDIR", c.tmpdir, 1);
    else
      unsetenv("TMPDIR");
    char buf[win::MAX_PATH];
    win::DWORD n = win::GetTempPathA(sizeof buf, buf);
    EXPECT_EQ(n, c.expected.size());
    if (n) {
      EXPECT_EQ(std::string(buf), c.expected);
    }
  }
  // Too small a buffer: the size needed, terminator included.
  setenv("TMPDIR", "/tmp", 1);
  char small[3] = {'a', 'b', 0};
  EXPECT_EQ(win::GetTempPathA(sizeof small, small), 6u);
  EXPECT_STREQ(small, "ab");
  if (old)
    setenv("TMPDIR", saved.c_str(), 1);
  else
    unsetenv("TMPDIR");
}

class WinFind : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "win_find_XXXXXX").string();
    dir_ = mkdtemp(tmpl.data());
    fs::create_directory(dir_ + "/sub");
    std::ofstream(dir_ + "/report.pdf") << "12345";
    std::ofstream(dir_ + "/README") << "x";
    std::ofstream(dir_ + "/a[1].txt") << "x";
  }
  void TearDown() override { fs::remove_all(dir_); }
  // The search in Windows form; the name found, or "" when none.
  std::string Find(const std::string& linuxPath, win::WIN32_FIND_DATAA* data = nullptr) {
    std::string name = linuxPath;
    for (char& c : name)
      if (c == '/') c = '\\';
    win::WIN32_FIND_DATAA local;
    win::WIN32_FIND_DATAA* d = data ? data : &local;
    win::HANDLE h = win::FindFirstFileA(name.c_str(), d);
    if (h == win::INVALID_HANDLE_VALUE) return "";
    EXPECT_EQ(win::FindClose(h), 1);
    return d->cFileName;
  }
  std::string dir_;
};

TEST_F(WinFind, WildcardsAndPlainNames) {
  struct Case {
    const char* last;
    const char* found;  // "" for no match
  } cases[] = {
      {"report.pdf", "report.pdf"}, {"REPORT.PDF", ""},   {"*.pdf", "report.pdf"},
      {"rep?rt.*", "report.pdf"},   {"READ*.*", "README"}, {"a[1].txt", "a[1].txt"},
      {"a[1]*", "a[1].txt"},         {"*.doc", ""},        {"missing", ""},
      {"sub", "sub"},               {".", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Find(dir_ + "/" + c.last), c.found) << c.last;
  EXPECT_NE(Find(dir_ + "/*.*"), "");

  win::WIN32_FIND_DATAA data;
  ASSERT_EQ(Find(dir_ + "/report.pdf", &data), "report.pdf");
  EXPECT_EQ(data.nFileSizeLow, 5u);
  EXPECT_EQ(data.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY, 0u);
  ASSERT_EQ(Find(dir_ + "/sub", &data), "sub");
  EXPECT_NE(data.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY, 0u);
}

TEST_F(WinFind, EmptyFolderAndBadArgumentsFindNothing) {
  EXPECT_EQ(Find(dir_ + "/sub/*.*"), "");
  EXPECT_EQ(Find(dir_ + "/nofolder/*"), "");
  EXPECT_EQ(win::FindFirstFileA("", nullptr), win::INVALID_HANDLE_VALUE);
  EXPECT_EQ(win::FindFirstFileA(nullptr, nullptr), win::INVALID_HANDLE_VALUE);
  EXPECT_EQ(win::FindClose(win::INVALID_HANDLE_VALUE), 0);
}

TEST(WinScreen, DeviceCapsGiveTheWindowLayersResolution) {
  win::HDC dc = win::GetDC(nullptr);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(win::GetDeviceCaps(dc, win::LOGPIXELSX), 96);  // headless backend
  EXPECT_EQ(win::GetDeviceCaps(dc, win::LOGPIXELSY), 96);
  EXPECT_EQ(win::GetDeviceCaps(dc, 12), 0);
  EXPECT_EQ(win::ReleaseDC(nullptr, dc), 1);
}

using WinRegistry = WinDrag;  // the same private user store

TEST_F(WinRegistry, CurrentUserValuesAreKeptWithTheirType) {
  const std::string key = "Software\\Velmora";
  EXPECT_EQ(win::GetReg(win::HKEY_CURRENT_USER, key, "Field Color"), "");
  EXPECT_TRUE(win::PutReg(win::HKEY_CURRENT_USER, key, "Field Color", "65535", win::REG_DWORD));
  EXPECT_TRUE(win::PutReg(win::HKEY_CURRENT_USER, key, "Field Flat", "0", win::REG_DWORD));
  EXPECT_EQ(win::GetReg(win::HKEY_CURRENT_USER, key, "Field Color"), "65535");
  EXPECT_EQ(win::GetReg(win::HKEY_CURRENT_USER, key, "field flat"), "0");  // names ignore case
  EXPECT_EQ(win::GetReg(win::HKEY_CURRENT_USER, "Software\\Other", "Field Color"), "");
  EXPECT_FALSE(win::PutReg(win::HKEY_CURRENT_USER, key, "Field Color", "yellow", win::REG_DWORD));
  EXPECT_EQ(win::GetReg(win::HKEY_CURRENT_USER, key, "Field Color"), "65535");
  EXPECT_FALSE(win::PutReg(win::HKEY_CLASSES_ROOT, ".pdf", "", "x", win::REG_SZ));
  EXPECT_EQ(win::GetReg(win::HKEY_CLASSES_ROOT, ".pdf", ""), "");
}

}  // namespace
