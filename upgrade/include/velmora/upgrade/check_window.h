#pragma once
// The SQL check's wait window "RV2B$WAITWIN", captioned "Please wait" as
// the conversion's is: ?WAITMESS shows WaitMessage(),
// ?PROGRESS follows ProgressPercent() (0 to 100 of the phase's
// ProgressTotal) and ?NAMEOUTFILE the name of the file being checked. The
// check opens it when it first needs it and closes it when it ends; nothing
// opens or repaints while upgrading silently ("/silentupgrading").
#include <string>

namespace upg {

// ?NAMEOUTFILE's text: the file the check is working on.
std::string& WaitFileName();
// Opens the window unless it is open, then shows its texts and bar again.
void OpenCheckWindow();
// Shows the open window's texts and bar again.
void RedisplayCheckWindow();
// Closes the window when it is open (the end of a check).
void CloseCheckWindow();

}  // namespace upg
