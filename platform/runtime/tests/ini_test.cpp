#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "velmora/runtime/ini.h"

using namespace rt;
namespace fs = std::filesystem;

namespace {

class RuntimeIni : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("rt_ini_" + std::to_string(getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    old_ = fs::current_path();
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(old_);
    fs::remove_all(dir_);
  }
  static void Write(const std::string& name, const std::string& text) {
    std::ofstream(name, std::ios::binary) << text;
  }
  static std::string Read(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  fs::path dir_, old_;
};

}  // namespace

TEST_F(RuntimeIni, ReadsTheWindowsWay) {
  Write("a.ini",
        "; comment\r\n[Main]\r\n  Width = 640 \r\nTitle=\"quoted value\"\r\nnoequals\r\n"
        "[main]\r\nWidth=999\r\n[Other]\r\nWidth=1\r\n");
  EXPECT_EQ(GetIni("MAIN", "width", "x", "a.ini"), "640");
  EXPECT_EQ(GetIni("Main", "Title", "x", "a.ini"), "quoted value");
  EXPECT_EQ(GetIni("Other", "Width", "x", "a.ini"), "1");
  EXPECT_EQ(GetIni("Main", "noequals", "def", "a.ini"), "def");
  EXPECT_EQ(GetIni("Main", "Height", "def", "a.ini"), "def");
  EXPECT_EQ(GetIni("None", "Width", "def", "a.ini"), "def");
  EXPECT_EQ(GetIni("Main", "Width", "def", "missing.ini"), "def");
  fs::create_directories("sub");
  Write("sub/b.ini", "[S]\nK=V\n");
  EXPECT_EQ(GetIni("S", "K", "", ".\\sub\\b.ini"), "V");
}

TEST_F(RuntimeIni, WritingKeepsEverythingElse) {
  Write("a.ini",
        "; settings\r\n[Main]\r\nWidth=640\r\n; keep me\r\n\r\n[Other]\r\nA=1\r\n");
  EXPECT_TRUE(PutIni("MAIN", "width", "800", "a.ini"));   // the key keeps its spelling
  EXPECT_TRUE(PutIni("Main", "Height", "480", "a.ini"));  // added before the blank line
  EXPECT_TRUE(PutIni("New", "K", "v", "a.ini"));
  EXPECT_EQ(Read("a.ini"),
            "; settings\r\n[Main]\r\nWidth=800\r\n; keep me\r\nHeight=480\r\n\r\n[Other]\r\nA=1\r\n"
            "[New]\r\nK=v\r\n");

  EXPECT_TRUE(DeleteIni("main", "HEIGHT", "a.ini"));
  EXPECT_TRUE(DeleteIni("other", "", "a.ini"));  // the whole section
  EXPECT_TRUE(DeleteIni("absent", "x", "a.ini"));
  EXPECT_EQ(Read("a.ini"), "; settings\r\n[Main]\r\nWidth=800\r\n; keep me\r\n\r\n[New]\r\nK=v\r\n");

  // a file without a final line end
  Write("b.ini", "[S]\nA=1");
  PutIni("S", "B", "2", "b.ini");
  EXPECT_EQ(Read("b.ini"), "[S]\nA=1\nB=2\n");
  PutIni("T", "C", "3\n[Forged]\nX=1", "c.ini");  // a value never becomes more lines
  EXPECT_EQ(Read("c.ini"), "[T]\nC=3 [Forged] X=1\n");
  EXPECT_EQ(GetIni("Forged", "X", "none", "c.ini"), "none");
}

TEST_F(RuntimeIni, EmptyNameIsThePerUserWinIni) {
  const char* old = std::getenv("XDG_CONFIG_HOME");
  std::string saved = old ? old : "";
  setenv("XDG_CONFIG_HOME", (dir_ / "cfg").c_str(), 1);
  EXPECT_TRUE(PutIni("S", "K", "V", ""));
  EXPECT_TRUE(fs::exists(dir_ / "cfg" / "Velmora" / "WIN.INI"));
  EXPECT_EQ(GetIni("S", "K", "", ""), "V");
  if (old) setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  else unsetenv("XDG_CONFIG_HOME");
}

TEST_F(RuntimeIni, ConcurrentWritersLoseNothing) {
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t)
    writers.emplace_back([t] {
      for (int i = 0; i < 25; ++i)
        PutIni("S" + std::to_string(t), "K" + std::to_string(i), std::to_string(i), "c.ini");
    });
  for (auto& w : writers) w.join();
  for (int t = 0; t < 4; ++t)
    for (int i = 0; i < 25; ++i)
      ASSERT_EQ(GetIni("S" + std::to_string(t), "K" + std::to_string(i), "-", "c.ini"), std::to_string(i));
}
