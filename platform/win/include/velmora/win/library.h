// Loading a shared library by name and taking its entry points (LoadLibraryA and its kin over dlopen).
#pragma once

#include "velmora/win/win.h"

namespace win {

using HMODULE = void*;
using FARPROC = void (*)();

// Loads a library by file name or path. A bare name is looked up the
// dynamic loader's way, then in the system's ODBC driver folder. Null when
// the library cannot be loaded.
HMODULE LoadLibraryA(const char* lpLibFileName);

// The entry point `lpProcName` of a loaded library; null when the module
// or the name is null or the library has no such entry point.
FARPROC GetProcAddress(HMODULE hModule, const char* lpProcName);

// Unloads a library; 0 for a null module or a failed unload.
BOOL FreeLibrary(HMODULE hModule);

}  // namespace win
