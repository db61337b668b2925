// The system's version as GetVersionExA reports it.
#include <gtest/gtest.h>

#include "velmora/win/version.h"

namespace {

TEST(WinVersion, ReportsTenOrTheSetVersion) {
  static_assert(sizeof(win::OSVERSIONINFOA) == 148);
  win::OSVERSIONINFOA info;
  info.dwOSVersionInfoSize = 156;
  ASSERT_EQ(win::GetVersionExA(&info), 1);
  EXPECT_EQ(info.dwMajorVersion, 10u);
  EXPECT_EQ(info.dwMinorVersion, 0u);
  EXPECT_EQ(info.dwPlatformId, win::VER_PLATFORM_WIN32_NT);

  win::SetReportedVersion(4, 10);
  info.dwOSVersionInfoSize = 148;
  ASSERT_EQ(win::GetVersionExA(&info), 1);
  EXPECT_EQ(info.dwMajorVersion, 4u);
  EXPECT_EQ(info.dwMinorVersion, 10u);
  win::SetReportedVersion(0, 0);

  info.dwOSVersionInfoSize = 100;
  EXPECT_EQ(win::GetVersionExA(&info), 0);
  EXPECT_EQ(win::GetVersionExA(nullptr), 0);
  EXPECT_NE(win::GetDesktopWindow(), nullptr);
}

}  // namespace
