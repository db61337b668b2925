#pragma once
// The ODBC driver library the MySQL catalogue reader loads by name.
#include <string>

namespace upg {

// The MariaDB ODBC driver ("libmaodbc.so", looked up the loader's way and
// in the system's ODBC driver folder) for both MySQL flavours.
std::string& MySQLDriverLibrary();

}  // namespace upg
