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

// WIN.INI of the per-user store: sets section/key to the text; a null text
// removes the key, a null key the whole section. The file is rewritten
// through a temporary file renamed over it, so a process killed at any
// moment leaves the old file or the new one. Nonzero on success.
BOOL WriteProfileStringA(const char* lpAppName, const char* lpKeyName, const char* lpString);
// The host path of that WIN.INI.
std::string ProfilePath();

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

// ---- the registry's classes root and the shell: answered from the
// desktop's associations and xdg-open (platform/shell).

using LONG = int32_t;
enum : LONG { ERROR_SUCCESS = 0, ERROR_FILE_NOT_FOUND = 2, ERROR_MORE_DATA = 234 };

// The default value of a key. HKEY_CLASSES_ROOT knows: "." + extension
// (the extension's MIME type stands for its class name), and
// class + "\shell\open\command", where the class is a MIME type
// ("text/html") or a link scheme ("http", "mailto", standing for
// "x-scheme-handler/" + scheme): the command of the desktop's default
// application. HKEY_CURRENT_USER reads the per-user store. *lpcbValue is
// the buffer's size in, the value's size with its terminator out;
// ERROR_MORE_DATA leaves the buffer alone when it is too small.
LONG RegQueryValueA(HKEY hKey, const char* lpSubKey, char* lpValue, LONG* lpcbValue);

// The system folder in the system's Windows form ("\usr"; there is no
// drive letter). Returns the length as GetTempPathA does.
UINT GetWindowsDirectoryA(char* lpBuffer, UINT uSize);

enum : int { SW_SHOWNORMAL = 1 };
// ShellExecute's failure codes (a result above 32 is success).
enum : int {
  SE_ERR_OOM = 0,  // out of memory or resources
  SE_ERR_FNF = 2,
  SE_ERR_PNF = 3,
  SE_ERR_ACCESSDENIED = 5,
  SE_ERR_NOMEM = 8,
  SE_ERR_ASSOCINCOMPLETE = 27,
  SE_ERR_NOASSOC = 31,
};
using HINSTANCE = intptr_t;
// Opens `lpFile` (a link or a file name, Windows-1252) with the desktop's
// program for it: xdg-open is started with it (a file name as the host's
// path) as its one argument, without a shell. Only the default verb is known (lpOperation null or "open");
// parameters and folder are not used. Result: 42 once xdg-open succeeded
// or is still running after ten seconds; SE_ERR_NOASSOC when xdg-open is
// missing or finds no program; SE_ERR_FNF for a file that does not exist;
// SE_ERR_ACCESSDENIED when xdg-open may not be run; SE_ERR_ASSOCINCOMPLETE
// when it or the program failed; SE_ERR_OOM when it could not be started
// for want of resources.
HINSTANCE ShellExecuteA(HWND hwnd, const char* lpOperation, const char* lpFile,
                        const char* lpParameters, const char* lpDirectory, int nShowCmd);

// ---- reading a whole file (file names in the system's Windows form)

enum : DWORD { GENERIC_READ = 0x80000000u };
enum : DWORD { FILE_SHARE_READ = 0x1, FILE_SHARE_WRITE = 0x2 };
enum : DWORD { OPEN_EXISTING = 3 };
enum : DWORD { INVALID_FILE_SIZE = 0xFFFFFFFFu };

// Opens an existing file for reading (GENERIC_READ and OPEN_EXISTING are
// the only access and disposition known; sharing and attributes mean
// nothing on Linux). INVALID_HANDLE_VALUE when it cannot be opened; a
// handle must be closed with CloseHandle.
HANDLE CreateFileA(const char* lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   void* lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
// The size's low 32 bits, the high ones in *lpFileSizeHigh when it is
// given; INVALID_FILE_SIZE for a bad handle.
DWORD GetFileSize(HANDLE hFile, DWORD* lpFileSizeHigh);
// Reads up to nNumberOfBytesToRead bytes from the file's position on;
// *lpNumberOfBytesRead gets the count (0 at the end). 0 on failure.
BOOL ReadFile(HANDLE hFile, void* lpBuffer, DWORD nNumberOfBytesToRead,
              DWORD* lpNumberOfBytesRead, void* lpOverlapped);
BOOL CloseHandle(HANDLE hObject);

}  // namespace win
