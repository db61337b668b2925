// The MySQL catalogue reader (not yet built).
#include "velmora/upgrade/server_structure.h"
#include "velmora/upgrade/sql_statements.h"

namespace upg {
bool ds_MySQLStructure(uintptr_t, std::string_view) { return false; }
}  // namespace upg
