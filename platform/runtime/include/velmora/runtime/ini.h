#pragma once
// INI files read and written the Windows way.
//
// Section and key names compare case-insensitively; the first matching
// section and key count. Writing changes only the line concerned and keeps
// comments, order, blank lines, other sections and the file's line endings.
// An empty file name means the per-user "WIN.INI" in
// $XDG_CONFIG_HOME/Velmora/ (~/.config/Velmora/ when the variable is
// unset); other names are taken relative to the current folder, with '\'
// read as '/'. All functions are safe to call from any thread.
#include <string>
#include <string_view>

namespace rt {

// The value of section/key with blanks around it removed (and one pair of
// enclosing double quotes); `def` when the file, section or key is missing.
std::string GetIni(std::string_view section, std::string_view key, std::string_view def,
                   std::string_view file = {});
// Sets section/key to value, adding the key at the end of its section, or
// the section at the end of the file, when missing. Creates the file (and
// the per-user folder) when needed. False when the file cannot be written.
bool PutIni(std::string_view section, std::string_view key, std::string_view value,
            std::string_view file = {});
// Removes section/key; an empty key removes the whole section with its
// keys. False when the file cannot be written.
bool DeleteIni(std::string_view section, std::string_view key, std::string_view file = {});

// The host path an INI name stands for.
std::string IniPath(std::string_view file);

}  // namespace rt
