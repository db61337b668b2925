// The SQL Anywhere catalogue reader (not yet built).
#include "velmora/upgrade/server_structure.h"
#include "velmora/upgrade/sql_statements.h"

namespace upg {
rt::Long ds_ASAStructure() { return 0; }
}  // namespace upg
