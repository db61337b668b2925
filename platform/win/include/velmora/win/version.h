#pragma once
// GetVersionExA and GetDesktopWindow: the system's version as Windows
// reports it, and the handle that stands for the desktop.
#include <cstdint>

#include "velmora/win/win.h"

namespace win {

enum : DWORD { VER_PLATFORM_WIN32_WINDOWS = 1, VER_PLATFORM_WIN32_NT = 2 };

struct OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize = 148;
  DWORD dwMajorVersion = 0;
  DWORD dwMinorVersion = 0;
  DWORD dwBuildNumber = 0;
  DWORD dwPlatformId = 0;
  char szCSDVersion[128] = {};
};

// Fills the structure when dwOSVersionInfoSize is 148 (this structure) or
// 156 (the extended one, whose further fields stay as they are): version
// 10.0 on platform VER_PLATFORM_WIN32_NT, so none of the old systems'
// limits apply, or the version set with SetReportedVersion.
// Returns 0 for any other size or a null pointer.
BOOL GetVersionExA(OSVERSIONINFOA* info);

// Makes GetVersionExA report major.minor (tests); 0.0 goes back to 10.0.
void SetReportedVersion(DWORD major, DWORD minor);

// The handle that stands for the desktop; no window of the window layer
// ever has it.
HWND GetDesktopWindow();

}  // namespace win
