#include <gtest/gtest.h>
#include <stdlib.h>

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
    char tmpl[] = "/tmp/win_test_XXXXXX";
    dir_ = mkdtemp(tmpl);
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
