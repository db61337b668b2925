// Reading and writing the user's settings in the registry.
#include "velmora/app/settings.h"

#include <algorithm>
#include <string>

#include "velmora/files/files.h"
#include "velmora/runtime/numbers.h"
#include "velmora/win/win.h"

namespace app {

rt::Long ReadSetting(std::string_view name, rt::Long def) {
  std::string text = win::GetReg(win::HKEY_CURRENT_USER, std::string(kSettingsKey), std::string(name));
  if (text.size() > 32) text.resize(32);
  return text.empty() ? def : rt::TextToLong(text);
}

AppSettings ReadSettings() {
  AppSettings s;
  s.fieldColor = ReadSetting("Field Color", s.fieldColor);
  s.selectedFieldColor = ReadSetting("Selected Field Color", s.selectedFieldColor);
  s.rbFieldColor = ReadSetting("RB Field Color", s.rbFieldColor);
  s.srbFieldColor = ReadSetting("SRB Field Color", s.srbFieldColor);
  s.fieldTransparent = static_cast<rt::Byte>(ReadSetting("Field Transparent", s.fieldTransparent));
  s.fieldFlat = static_cast<rt::Byte>(ReadSetting("Field Flat", s.fieldFlat));
  s.fieldBoxed = static_cast<rt::Byte>(ReadSetting("Field Boxed", s.fieldBoxed));
  s.openEditor = ReadSetting("Open Editor", s.openEditor);
  return s;
}

void ApplyLockWaitSetting() {
  constexpr rt::Long kDefault = 30, kLongest = 3600;
  const rt::Long seconds = ReadSetting("Lock Wait", kDefault);
  db::SetLockWait(static_cast<int>(seconds < 0 ? kDefault : std::min(seconds, kLongest)));
}

bool WriteSetting(std::string_view name, rt::Long value) {
  return win::PutReg(win::HKEY_CURRENT_USER, std::string(kSettingsKey), std::string(name), std::to_string(value),
                     win::REG_DWORD);
}

}  // namespace app
