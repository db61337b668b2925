// LoadLibraryA, GetProcAddress and FreeLibrary over the dynamic loader.
#include <dlfcn.h>

#include <string>

#include "velmora/win/library.h"

namespace win {

// A loaded library stays mapped after FreeLibrary: driver libraries keep
// one-time state and handlers (thread keys, exit handlers) that would point
// into unmapped code once unloaded.
constexpr int kOpenFlags = RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE;

HMODULE LoadLibraryA(const char* lpLibFileName) {
  if (!lpLibFileName || !*lpLibFileName) return nullptr;
  std::string name = lpLibFileName;
  void* h = dlopen(name.c_str(), kOpenFlags);
  if (!h && name.find('/') == std::string::npos)
    h = dlopen((std::string(VELMORA_ODBC_DRIVER_DIR "/") + name).c_str(), kOpenFlags);
  return h;
}

FARPROC GetProcAddress(HMODULE hModule, const char* lpProcName) {
  if (!hModule || !lpProcName) return nullptr;
  void* p = dlsym(hModule, lpProcName);
  return reinterpret_cast<FARPROC>(p);
}

BOOL FreeLibrary(HMODULE hModule) {
  if (!hModule) return 0;
  return dlclose(hModule) == 0 ? 1 : 0;
}

}  // namespace win
