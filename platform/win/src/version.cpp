// The system's version and the desktop's handle.
#include "velmora/win/version.h"

#include <atomic>

namespace win {
namespace {

std::atomic<uint64_t> g_reported{0};  // major << 32 | minor; 0 none

}  // namespace

BOOL GetVersionExA(OSVERSIONINFOA* info) {
  if (!info || (info->dwOSVersionInfoSize != 148 && info->dwOSVersionInfoSize != 156)) return 0;
  DWORD major = 10, minor = 0;
  if (uint64_t set = g_reported.load()) {
    major = static_cast<DWORD>(set >> 32);
    minor = static_cast<DWORD>(set & 0xFFFFFFFFu);
  }
  info->dwMajorVersion = major;
  info->dwMinorVersion = minor;
  info->dwBuildNumber = 0;
  info->dwPlatformId = VER_PLATFORM_WIN32_NT;
  info->szCSDVersion[0] = '\0';
  return 1;
}

void SetReportedVersion(DWORD major, DWORD minor) {
  g_reported = (static_cast<uint64_t>(major) << 32) | minor;
}

HWND GetDesktopWindow() {
  // Window-layer handles count up from 1; this one is far above them.
  return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x7FFF0010));
}

}  // namespace win
