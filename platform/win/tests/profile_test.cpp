// WIN.INI in the per-user store: entries written and removed, and a
// process killed while it writes never leaves a damaged file.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "velmora/runtime/ini.h"
#include "velmora/win/win.h"

namespace {

namespace fs = std::filesystem;

class WinProfile : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/win_profile_XXXXXX";
    dir_ = mkdtemp(tmpl);
    setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("XDG_CONFIG_HOME");
    fs::remove_all(dir_);
  }
  std::string Get(const char* section, const char* key) {
    return rt::GetIni(section, key, "<none>", win::ProfilePath());
  }
  std::string dir_;
};

TEST_F(WinProfile, WritesAndRemovesEntries) {
  EXPECT_EQ(win::ProfilePath(), dir_ + "/Velmora/WIN.INI");
  EXPECT_TRUE(win::WriteProfileStringA("velmora", "BadFile", ".\\data\\forms.tps"));
  EXPECT_EQ(Get("velmora", "BadFile"), ".\\data\\forms.tps");
  EXPECT_TRUE(win::WriteProfileStringA("velmora", "Other", "1"));
  EXPECT_TRUE(win::WriteProfileStringA("velmora", "BadFile", nullptr));
  EXPECT_EQ(Get("velmora", "BadFile"), "<none>");
  EXPECT_EQ(Get("velmora", "Other"), "1");
  EXPECT_TRUE(win::WriteProfileStringA("velmora", nullptr, nullptr));
  EXPECT_EQ(Get("velmora", "Other"), "<none>");
  EXPECT_FALSE(win::WriteProfileStringA(nullptr, "x", "y"));
}

TEST_F(WinProfile, KilledWriterLeavesAWholeFile) {
  // A large file, so each rewrite takes long enough to be interrupted.
  {
    fs::create_directories(dir_ + "/Velmora");
    std::ofstream out(win::ProfilePath());
    for (int i = 0; i < 3000; ++i) out << "[s" << i << "]\nkey=value " << i << "\n";
  }
  for (int round = 0; round < 15; ++round) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (;;) {
        win::WriteProfileStringA("velmora", "BadFile", ".\\data\\forms.tps");
        win::WriteProfileStringA("velmora", "BadFile", nullptr);
      }
    }
    usleep(2000 + 3000 * (round % 5));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    std::ifstream in(win::ProfilePath());
    std::stringstream text;
    text << in.rdbuf();
    std::string s = text.str();
    EXPECT_NE(s.find("[s0]\nkey=value 0\n"), std::string::npos) << round;
    EXPECT_NE(s.find("[s2999]\nkey=value 2999\n"), std::string::npos) << round;
    std::string marker = Get("velmora", "BadFile");
    EXPECT_TRUE(marker == "<none>" || marker == ".\\data\\forms.tps") << marker;
  }
}

}  // namespace
