// Column defaults and tablespaces (not yet built).
#include "velmora/upgrade/server_structure.h"
#include "velmora/upgrade/sql_statements.h"

namespace upg {
std::string DefaultExtra(std::string_view, std::string_view) { return {}; }
std::string GetTableSpace(std::string_view, std::string_view) { return {}; }
rt::Long FindTableSpace(std::string_view) { return 0; }
rt::Long CreateTableSpace(std::string_view, std::string_view, std::string_view) { return 1; }
}  // namespace upg
