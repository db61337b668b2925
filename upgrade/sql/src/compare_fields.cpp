// Comparing columns (not yet built).
#include "velmora/upgrade/server_structure.h"
#include "velmora/upgrade/sql_statements.h"

namespace upg {
void CompareFields(std::string_view) {}
void HandleDependancies(std::string_view, std::string_view, size_t) {}
}  // namespace upg
