// Comparing keys (not yet built).
#include "velmora/upgrade/server_structure.h"
#include "velmora/upgrade/sql_statements.h"

namespace upg {
void CompareKeys(std::string_view) {}
}  // namespace upg
