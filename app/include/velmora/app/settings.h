#pragma once
// The user's settings under the current user's "Software\Velmora": the
// Form Editor's field colours, the appearance defaults of fields made
// from a PDF, and whether the editor opens at start-up. The settings
// window writes them; the editor, the PDF import and the frame read them.
#include <string_view>

#include "velmora/runtime/types.h"

namespace app {

inline constexpr std::string_view kSettingsKey = "Software\\Velmora";

struct AppSettings {
  rt::Long fieldColor = 0x00FFFF;          // "Field Color", yellow
  rt::Long selectedFieldColor = 0xFFFF80;  // "Selected Field Color", light cyan
  rt::Long rbFieldColor = 0xFF00FF;        // "RB Field Color", magenta
  rt::Long srbFieldColor = 0xFF0000;       // "SRB Field Color", blue
  rt::Byte fieldTransparent = 0;           // "Field Transparent"
  rt::Byte fieldFlat = 1;                  // "Field Flat"
  rt::Byte fieldBoxed = 1;                 // "Field Boxed"
  rt::Long openEditor = 1;                 // "Open Editor"
};

// One value read as text of at most 32 characters and taken as a number;
// a missing or empty value (or one that cannot be read) gives `def`.
rt::Long ReadSetting(std::string_view name, rt::Long def);
// The eight values, each with its default.
AppSettings ReadSettings();
// How long, in seconds, a change waits for another copy's lock on a data
// file while that copy makes progress: "Lock Wait", 30 when not set. Taken
// into the file layer at start-up.
void ApplyLockWaitSetting();
// Writes a value as a REG_DWORD; false when it could not be written.
bool WriteSetting(std::string_view name, rt::Long value);

}  // namespace app
