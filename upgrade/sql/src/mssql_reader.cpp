// The SQL Server catalogue reader and utility procedures (not yet built).
#include "velmora/upgrade/server_structure.h"
#include "velmora/upgrade/sql_statements.h"

namespace upg {
rt::Long ds_MSSQLStructure() { return 0; }
void CreateUtilitySPs(std::string_view) {}
}  // namespace upg
