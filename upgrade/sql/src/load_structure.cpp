// Dispatch to the server's catalogue reader (not yet built).
#include "velmora/upgrade/server_structure.h"
#include "velmora/upgrade/sql_statements.h"

namespace upg {
rt::Long LoadServerStructure(std::string_view) { return 0; }
}  // namespace upg
