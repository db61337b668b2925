#pragma once
// The program's command line and its switches.
#include <string>
#include <string_view>
#include <vector>

namespace rt {

// Position 0 is the program's own path, the others its arguments. From
// argc/argv the path is the running executable's absolute path in Windows
// form ("\usr\bin\velmora"), as the system's code splits it at "\";
// a vector is taken as it stands.
void SetCommandLine(int argc, char** argv);
void SetCommandLine(std::vector<std::string> args);

// How a switch name is compared with the arguments: the program's own
// switches ignore case; the upgrade engine's match with their case as
// written ("/DOWNGRADE" and "/downgrade" are two switches).
enum class SwitchCase { Ignore, Exact };

// True when an argument is the switch itself or the switch followed by "="
// and a value ("/debugrv" does not match "/debugrvall").
bool HasSwitch(std::string_view name, SwitchCase match = SwitchCase::Ignore);

// With an empty name: the argument at `position` (0 the program's path,
// 1 the first argument; "" beyond the last). With a name: the value of
// "name=value" ("" when the switch is absent or has an empty value); a
// switch given without "=" answers with its own text, so a present switch
// never reads as absent.
std::string Command(std::string_view switchName, int position = 0,
                    SwitchCase match = SwitchCase::Ignore);

}  // namespace rt
