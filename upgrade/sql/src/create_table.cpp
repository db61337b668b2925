// Creating tables and keys (not yet built).
#include "velmora/upgrade/server_structure.h"
#include "velmora/upgrade/sql_statements.h"

namespace upg {
rt::Long ds_CreateSQLTable(std::string_view) { return 0; }
void CreateKeys(std::string_view) {}
std::string CommaSeperateAndDescCheck(std::string_view, size_t) { return {}; }
}  // namespace upg
