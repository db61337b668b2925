#pragma once
// Names some server reserves: a column or table of such a name is written
// quoted in every statement, by the engine and by the SQL file drivers.
#include <string_view>

namespace velmora::sql {

// `name` is a word one of the servers reserves (compared without case).
bool reservedWord(std::string_view name);

}  // namespace velmora::sql
