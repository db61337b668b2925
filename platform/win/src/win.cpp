#include "velmora/win/win.h"

#include <dirent.h>
#include <unistd.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string_view>

#include "velmora/runtime/ini.h"
#include "velmora/runtime/numbers.h"
#include "velmora/ui/backend.h"
#include "velmora/runtime/paths.h"
#include "velmora/runtime/system.h"
#include "velmora/runtime/text.h"

namespace win {
namespace {

constexpr std::string_view kStoreFile = "desktop.ini";
constexpr std::string_view kDesktop = "Desktop";
constexpr std::string_view kDragFullWindows = "DragFullWindows";
// Which process switched the setting off in the profile ("pid start-time"),
// kept until it switches it on again.
constexpr std::string_view kSwitchedOffBy = "DragFullWindowsOffBy";

std::mutex gMutex;
// A value set without SPIF_UPDATEINIFILE holds for the rest of the process.
std::optional<BOOL> gSessionDrag;

// A Linux path in the system's Windows form, and back.
// Windows wildcards are "*" and "?" only: every other character, "[" too,
// matches itself.
std::string FnmatchPattern(std::string_view windowsPattern) {
  std::string out;
  for (char c : windowsPattern) {
    if (c == '[' || c == ']') out += '\\';
    out += c;
  }
  return out;
}

bool Matches(const std::string& pattern, const char* name) {
  if (::fnmatch(pattern.c_str(), name, 0) == 0) return true;
  // "x.*" also finds "x": an empty extension matches ".*".
  return pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0 &&
         ::fnmatch(pattern.substr(0, pattern.size() - 2).c_str(), name, 0) == 0;
}

bool Fill(const std::string& path, const char* name, WIN32_FIND_DATAA* data) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  if (!data) return true;
  *data = WIN32_FIND_DATAA{};
  data->dwFileAttributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  if (::access(path.c_str(), W_OK) != 0) data->dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
  uint64_t size = static_cast<uint64_t>(st.st_size);
  data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  data->nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
  std::strncpy(data->cFileName, rt::FromUtf8(name).c_str(), MAX_PATH - 1);
  return true;
}

// What a search handle points at.
struct Search {};

std::string StorePath() { return UserStoreFolder() + std::string(kStoreFile); }

// A process told apart from a later one with the same id: its id and the
// time it started (in clock ticks since boot); "" when it is gone.
std::string ProcessStamp(const std::string& pid) {
  FILE* f = std::fopen(("/proc/" + pid + "/stat").c_str(), "r");
  if (!f) return {};
  char buf[1024];
  size_t n = std::fread(buf, 1, sizeof buf - 1, f);
  std::fclose(f);
  buf[n] = 0;
  // the fields after the command's closing parenthesis: state is field 3,
  // the start time field 22
  const char* p = std::strrchr(buf, ')');
  for (int field = 2; p && field < 22; ++field) p = std::strchr(p + 1, ' ');
  if (!p) return {};
  return pid + " " + std::string(p + 1, std::strcspn(p + 1, " "));
}

std::string OwnStamp() { return ProcessStamp(std::to_string(::getpid())); }

BOOL StoredDrag() {
  std::string v = rt::GetIni(kDesktop, kDragFullWindows, "1", StorePath());
  return v == "0" ? 0 : 1;
}

void StoreDrag(BOOL value) {
  std::error_code ec;
  std::filesystem::create_directories(UserStoreFolder(), ec);
  rt::PutIni(kDesktop, kDragFullWindows, value ? "1" : "0", StorePath());
}

// A process that switched the setting off and ended without switching it
// on again (it crashed or was killed) does not leave it off for good: the
// setting goes back on before anyone reads it.
void RecoverAbandonedDrag() {
  const std::string owner = rt::GetIni(kDesktop, kSwitchedOffBy, "", StorePath());
  if (owner.empty()) return;
  const std::string pid = owner.substr(0, owner.find(' '));
  if (rt::Numeric(pid) && ProcessStamp(pid) == owner) return;  // still running
  StoreDrag(1);
  rt::DeleteIni(kDesktop, kSwitchedOffBy, StorePath());
}

std::string RegistryPath() { return UserStoreFolder() + "registry.ini"; }

std::string RegistrySection(HKEY root, const std::string& key) {
  return (root == HKEY_CURRENT_USER ? "HKEY_CURRENT_USER\\" : "HKEY_CLASSES_ROOT\\") + key;
}

}  // namespace

std::string GetReg(HKEY root, const std::string& key, const std::string& valueName) {
  if (root != HKEY_CURRENT_USER) return {};
  return rt::GetIni(RegistrySection(root, key), valueName, "", RegistryPath());
}

bool PutReg(HKEY root, const std::string& key, const std::string& valueName,
            const std::string& value, DWORD type) {
  if (root != HKEY_CURRENT_USER || valueName.empty()) return false;
  std::string text = value;
  if (type == REG_DWORD) {
    if (!rt::Numeric(value)) return false;
    text = std::to_string(static_cast<DWORD>(rt::TextToLong(value)));
  } else if (type != REG_SZ) {
    return false;
  }
  std::error_code ec;
  std::filesystem::create_directories(UserStoreFolder(), ec);
  return rt::PutIni(RegistrySection(root, key), valueName, text, RegistryPath());
}

std::string UserStoreFolder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (xdg && *xdg) {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home ? home : ".") + "/.config";
  }
  if (base.back() != '/') base += '/';
  return base + "Velmora/";
}

BOOL SystemParametersInfoA(UINT uiAction, UINT uiParam, void* pvParam,
                           UINT fWinIni) {
  std::lock_guard<std::mutex> lock(gMutex);
  switch (uiAction) {
    case SPI_GETDRAGFULLWINDOWS:
      if (!pvParam) return 0;
      RecoverAbandonedDrag();
      *static_cast<BOOL*>(pvParam) = gSessionDrag ? *gSessionDrag : StoredDrag();
      return 1;
    case SPI_SETDRAGFULLWINDOWS: {
      BOOL value = uiParam ? 1 : 0;
      if (fWinIni & SPIF_UPDATEINIFILE) {
        RecoverAbandonedDrag();
        const BOOL before = StoredDrag();
        StoreDrag(value);
        // who switched it off is recorded, so that the next start can
        // switch it on again should this process never do so
        if (value == 0 && before == 1)
          rt::PutIni(kDesktop, kSwitchedOffBy, OwnStamp(), StorePath());
        else if (value == 1)
          rt::DeleteIni(kDesktop, kSwitchedOffBy, StorePath());
        gSessionDrag.reset();
      } else {
        gSessionDrag = value;
      }
      return 1;
    }
    default:
      return 0;
  }
}

std::string ProfilePath() { return UserStoreFolder() + "WIN.INI"; }

BOOL WriteProfileStringA(const char* lpAppName, const char* lpKeyName, const char* lpString) {
  if (!lpAppName) return 0;
  std::error_code ec;
  std::filesystem::create_directories(UserStoreFolder(), ec);
  if (!lpKeyName) return rt::DeleteIni(lpAppName, "", ProfilePath()) ? 1 : 0;
  if (!lpString) return rt::DeleteIni(lpAppName, lpKeyName, ProfilePath()) ? 1 : 0;
  return rt::PutIni(lpAppName, lpKeyName, lpString, ProfilePath()) ? 1 : 0;
}

void OutputDebugStringA(const char* text) {
  rt::OutputDebugString(text ? std::string_view(text) : std::string_view());
}

DWORD GetTempPathA(DWORD nBufferLength, char* lpBuffer) {
  const char* env = std::getenv("TMPDIR");
  std::string path = env && *env ? env : "/tmp";
  if (path.find('\\') != std::string::npos) return 0;
  if (path.back() != '/') path += '/';
  path = rt::WindowsPath(path);
  DWORD needed = static_cast<DWORD>(path.size() + 1);
  if (!lpBuffer || nBufferLength < needed) return needed;
  std::memcpy(lpBuffer, path.c_str(), needed);
  return needed - 1;
}

HANDLE FindFirstFileA(const char* lpFileName, WIN32_FIND_DATAA* lpFindFileData) {
  if (!lpFileName || !*lpFileName) return INVALID_HANDLE_VALUE;
  std::string path = rt::HostPath(lpFileName);
  size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
  if (last.empty()) return INVALID_HANDLE_VALUE;
  bool found = false;
  if (last.find_first_of("*?") == std::string::npos) {
    found = last != "." && last != ".." && Fill(path, last.c_str(), lpFindFileData);
  } else if (DIR* dir = ::opendir(folder.c_str())) {
    std::string pattern = FnmatchPattern(last);
    while (const dirent* e = ::readdir(dir)) {
      if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
      if (Matches(pattern, e->d_name) &&
          Fill((slash == std::string::npos ? "" : folder) + e->d_name, e->d_name,
               lpFindFileData)) {
        found = true;
        break;
      }
    }
    ::closedir(dir);
  }
  return found ? new Search : INVALID_HANDLE_VALUE;
}

BOOL FindClose(HANDLE hFindFile) {
  if (!hFindFile || hFindFile == INVALID_HANDLE_VALUE) return 0;
  delete static_cast<Search*>(hFindFile);
  return 1;
}

HDC GetDC(HWND hWnd) {
  static char screen;
  return hWnd ? hWnd : &screen;
}

int ReleaseDC(HWND, HDC hDC) { return hDC ? 1 : 0; }

int GetDeviceCaps(HDC, int index) {
  switch (index) {
    case LOGPIXELSX: return ui::ScreenDpiX();
    case LOGPIXELSY: return ui::ScreenDpiY();
    default: return 0;
  }
}

}  // namespace win
