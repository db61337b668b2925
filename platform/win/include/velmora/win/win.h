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
// rest of this process. Returns nonzero on success, 0 for an action it
// does not know or a missing pvParam.
BOOL SystemParametersInfoA(UINT uiAction, UINT uiParam, void* pvParam,
                           UINT fWinIni);

// Hands the text to the runtime's debugger output.
void OutputDebugStringA(const char* text);

}  // namespace win
