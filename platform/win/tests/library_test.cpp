// Loading the MariaDB ODBC driver by name, and the failure paths of a missing library or entry point.
#include <gtest/gtest.h>

#include "velmora/win/library.h"

TEST(Library, LoadsAnOdbcDriverByNameAndFindsItsEntryPoints) {
  win::HMODULE h = win::LoadLibraryA("libmaodbc.so");
  ASSERT_NE(h, nullptr);
  EXPECT_NE(win::GetProcAddress(h, "SQLDriverConnect"), nullptr);
  EXPECT_NE(win::GetProcAddress(h, "SQLAllocEnv"), nullptr);
  EXPECT_EQ(win::GetProcAddress(h, "SQLNoSuchEntryPoint"), nullptr);
  EXPECT_EQ(win::GetProcAddress(h, nullptr), nullptr);
  EXPECT_EQ(win::FreeLibrary(h), 1);
}

TEST(Library, MissingLibrariesAndNullHandlesFailWithoutCrashing) {
  for (const char* name : {"libvelmora-no-such-driver.so", "/nonexistent/libx.so", "MYODBC3.dll", ""})
    EXPECT_EQ(win::LoadLibraryA(name), nullptr) << name;
  EXPECT_EQ(win::LoadLibraryA(nullptr), nullptr);
  EXPECT_EQ(win::GetProcAddress(nullptr, "SQLAllocEnv"), nullptr);
  EXPECT_EQ(win::FreeLibrary(nullptr), 0);
}
