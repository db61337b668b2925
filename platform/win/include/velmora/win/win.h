#pragma once
// The Windows calls the program makes, with the Linux meaning that keeps
// the callers' behaviour. Settings that Windows keeps in the user profile
// live in the per-user store $XDG_CONFIG_HOME/Velmora/ (~/.config/Velmora/
// when the variable is unset).
#include <cstdint>
#include <string>

namespace win {

using BOOL = int;
using UINT = uint32_t;

enum : UINT {
  SPI_SETDRAGFULLWINDOWS = 37,
  SPI_GETDRAGFULLWINDOWS = 38,
};

// Flags of SystemParametersInfoA's last argument.
enum : UINT {
  SPIF_UPDATEINIFILE = 0x01,  // write the new value to the user profile
  SPIF_SENDCHANGE = 0x02,     // tell running programs (nothing to tell here)
};

// Folder of the per-user store, with a trailing slash.
std::string UserStoreFolder();

// SPI_GETDRAGFULLWINDOWS: *pvParam (a BOOL) receives the setting, 1 when
// never set. SPI_SETDRAGFULLWINDOWS: uiParam is the new value; with
// SPIF_UPDATEINIFILE it is kept in the user profile, otherwise only for the
// rest of this process. A process that switches it off in the profile is
// recorded there; should it end without switching it on again (a crash),
// the next call switches it on again. Returns nonzero on success, 0 for an action it
// does not know or a missing pvParam.
BOOL SystemParametersInfoA(UINT uiAction, UINT uiParam, void* pvParam,
                           UINT fWinIni);

// Hands the text to the runtime's debugger output.
void OutputDebugStringA(const char* text);

// ---- temporary folder and file search. Paths are in the system's Windows
// form: a Linux path with every "/" shown as "\" ("/tmp/" is "\tmp\"),
// which db::HostPath turns back into the Linux path.

using DWORD = uint32_t;
using HANDLE = void*;
inline const HANDLE INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~uintptr_t{0});

enum : DWORD { MAX_PATH = 260 };

enum : DWORD {
  FILE_ATTRIBUTE_READONLY = 0x01,
  FILE_ATTRIBUTE_DIRECTORY = 0x10,
  FILE_ATTRIBUTE_NORMAL = 0x80,
};

struct WIN32_FIND_DATAA {
  DWORD dwFileAttributes = 0;
  DWORD nFileSizeHigh = 0;
  DWORD nFileSizeLow = 0;
  char cFileName[MAX_PATH] = {};
};

// $TMPDIR (or /tmp when unset or empty) in Windows form with a trailing
// backslash. Returns its length without the terminator when it fits in
// nBufferLength bytes; otherwise the size needed including the terminator,
// leaving the buffer alone. 0 when the folder cannot be shown in Windows
// form (its Linux path holds a backslash).
DWORD GetTempPathA(DWORD nBufferLength, char* lpBuffer);

// The first entry of the name's folder that matches its last part, where
// "*" and "?" are wildcards (matched with fnmatch; a trailing ".*" also
// matches names without an extension, "*.*" matches every name). "." and
// ".." are not entries. INVALID_HANDLE_VALUE when nothing matches; a
// handle that is found must be closed with FindClose.
HANDLE FindFirstFileA(const char* lpFileName, WIN32_FIND_DATAA* lpFindFileData);
BOOL FindClose(HANDLE hFindFile);

// ---- the registry of the current user: values kept in the per-user store
// (file "registry.ini", one section per root and key). HKEY_CLASSES_ROOT
// is not kept there.

enum class HKEY : uint32_t {
  HKEY_CLASSES_ROOT = 0x80000000u,
  HKEY_CURRENT_USER = 0x80000001u,
};
inline constexpr HKEY HKEY_CLASSES_ROOT = HKEY::HKEY_CLASSES_ROOT;
inline constexpr HKEY HKEY_CURRENT_USER = HKEY::HKEY_CURRENT_USER;

enum : DWORD { REG_SZ = 1, REG_DWORD = 4 };

// The value as text (a REG_DWORD as its decimal number); empty when the
// key or value is missing.
std::string GetReg(HKEY root, const std::string& key, const std::string& valueName);
// Writes the value with its type (REG_DWORD values are numbers); false
// when it could not be written.
bool PutReg(HKEY root, const std::string& key, const std::string& valueName,
            const std::string& value, DWORD type);

// ---- device contexts: the program asks them only for the screen's
// resolution, which comes from the window layer (96 in the headless one).

using HWND = void*;
using HDC = void*;

enum : int { LOGPIXELSX = 88, LOGPIXELSY = 90 };

// A device context of the window's client area (never null).
HDC GetDC(HWND hWnd);
int ReleaseDC(HWND hWnd, HDC hDC);
// LOGPIXELSX and LOGPIXELSY: pixels per inch across and down; 0 for any
// other index.
int GetDeviceCaps(HDC hDC, int index);

}  // namespace win
