// The registry's classes root, the system folder and version, and
// ShellExecuteA: the Windows calls that reach the desktop.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "velmora/runtime/paths.h"
#include "velmora/runtime/text.h"
#include "velmora/runtime/threads.h"
#include "velmora/shell/associations.h"
#include "velmora/runtime/process.h"
#include "velmora/win/win.h"

namespace win {
namespace {

constexpr std::string_view kOpenCommand = "\\shell\\open\\command";

// How long ShellExecuteA waits to learn whether xdg-open found a program
// (on a busy machine finding none takes seconds). A desktop whose
// xdg-open keeps the program in its foreground is not waited for longer.
constexpr int kOpenWaitMs = 10000;

bool EndsWithNoCase(std::string_view s, std::string_view tail) {
  if (s.size() < tail.size()) return false;
  for (size_t i = 0; i < tail.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(s[s.size() - tail.size() + i])) !=
        std::tolower(static_cast<unsigned char>(tail[i])))
      return false;
  return true;
}

// The default value of a classes-root key; "" when it has none.
std::string ClassesRoot(std::string_view key) {
  if (key.size() > 1 && key[0] == '.' && key.find('\\') == std::string_view::npos)
    return shell::MimeTypeOfExtension(key.substr(1));
  if (!EndsWithNoCase(key, kOpenCommand)) return {};
  std::string cls(key.substr(0, key.size() - kOpenCommand.size()));
  if (cls.empty() || cls.find('\\') != std::string::npos) return {};
  if (cls.find('/') == std::string::npos) {
    // a link scheme: letters, digits, "+", "-", "."
    for (char c : cls)
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') return {};
    for (char& c : cls) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    cls = "x-scheme-handler/" + cls;
  }
  return rt::FromUtf8(shell::OpenCommand(cls));
}

// Copies a value with its terminator as the registry calls do.
LONG CopyOut(const std::string& value, char* buffer, LONG* size) {
  if (value.empty()) return ERROR_FILE_NOT_FOUND;
  LONG needed = static_cast<LONG>(value.size() + 1);
  if (!size) return buffer ? ERROR_MORE_DATA : ERROR_SUCCESS;
  if (!buffer) {
    *size = needed;
    return ERROR_SUCCESS;
  }
  if (*size < needed) {
    *size = needed;
    return ERROR_MORE_DATA;
  }
  std::memcpy(buffer, value.c_str(), static_cast<size_t>(needed));
  *size = needed;
  return ERROR_SUCCESS;
}

// xdg-open's exit status as ShellExecute's result.
HINSTANCE OpenResult(const rt::ProcessResult& r) {
  switch (r.started ? 0 : r.error) {
    case 0: break;
    case ENOENT: return SE_ERR_NOASSOC;
    case EACCES: case EPERM: return SE_ERR_ACCESSDENIED;
    case ENOMEM: return SE_ERR_NOMEM;
    default: return SE_ERR_OOM;
  }
  if (!r.finished) return 42;
  switch (r.exitCode) {
    case 0: return 42;
    case 2: return SE_ERR_FNF;   // the file does not exist
    case 3: return SE_ERR_NOASSOC;  // no program found for it
    default: return SE_ERR_ASSOCINCOMPLETE;  // bad call, or the program failed
  }
}

}  // namespace

LONG RegQueryValueA(HKEY hKey, const char* lpSubKey, char* lpValue, LONG* lpcbValue) {
  std::string key = lpSubKey ? lpSubKey : "";
  std::string value = hKey == HKEY_CLASSES_ROOT ? ClassesRoot(key) : GetReg(hKey, key, "");
  return CopyOut(value, lpValue, lpcbValue);
}

UINT GetWindowsDirectoryA(char* lpBuffer, UINT uSize) {
  static constexpr std::string_view kFolder = "\\usr";
  UINT needed = static_cast<UINT>(kFolder.size() + 1);
  if (!lpBuffer || uSize < needed) return needed;
  std::memcpy(lpBuffer, kFolder.data(), kFolder.size());
  lpBuffer[kFolder.size()] = '\0';
  return needed - 1;
}

HINSTANCE ShellExecuteA(HWND, const char* lpOperation, const char* lpFile, const char*,
                        const char*, int) {
  if (lpOperation && *lpOperation && std::strcmp(lpOperation, "open") != 0)
    return SE_ERR_NOASSOC;
  if (!lpFile || !*lpFile) return SE_ERR_FNF;
  // schemes are the same in any case; the desktop's handlers are found
  // under the lower-case one
  std::string file = lpFile;
  size_t colon = file.find(':');
  const bool link = colon != std::string::npos && colon > 1 && std::isalpha(static_cast<unsigned char>(file[0])) &&
                    std::all_of(file.begin(), file.begin() + static_cast<long>(colon), [](char c) {
                      return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
                    });
  if (link)
    for (size_t i = 0; i < colon; ++i) file[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(file[i])));
  rt::RunOptions o;
  o.waitMs = kOpenWaitMs;
  // other threads run while the desktop opens it
  const bool held = rt::HoldsThreadLock();
  if (held) rt::UnlockThread();
  // a file name in the runtime's Windows form is handed over as the host's path
  rt::ProcessResult r = rt::RunProgram({"xdg-open", link ? rt::ToUtf8(file) : rt::HostPath(file)}, o);
  if (held) rt::LockThread();
  return OpenResult(r);
}

}  // namespace win
