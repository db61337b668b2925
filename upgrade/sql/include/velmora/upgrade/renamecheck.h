#pragma once
// The rename check: before a missing table is created, the old file names
// (OFN) may name an older table of the file, which then gets the new name
// on the server and keeps its data.
#include <string>
#include <string_view>
#include <vector>

#include "velmora/runtime/types.h"
#include "velmora/upgrade/upgrade_file.h"

namespace upg {

// OFN (upgrade_file.h), filled by the host before it opens its files.
std::vector<OldFileName>& OldFileNames();

// The statement that renames table `oldName` to `newName` for a server
// code (under "ODB" the ODBC flavour): empty for a generic ODBC flavour.
std::string RenameStatement(std::string_view server, std::string_view flavour,
                            std::string_view oldName, std::string_view newName);

// 0: an old table now bears the new name; 1: an old table is known but did
// not get the new name (or the server cannot rename); 2: no old name is
// known. `fileName` and `tableLabel` are the file's table name and label.
rt::Long ds_RenameCheck(std::string_view server, std::string_view fileName,
                        std::string_view tableLabel);

}  // namespace upg
