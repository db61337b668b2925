#pragma once
// The create flags a host may keep per field (DMF), per file (DMFF), per
// key (DMK) and per file for keys (DMKF, sql_statements.h): a row's value
// decides before the options "dctmasterfields" and "dctmasterkeys" do. No
// operation of the engine adds rows, so without a host's rows the options
// decide.
#include <optional>
#include <string_view>
#include <vector>

#include "velmora/runtime/types.h"
#include "velmora/upgrade/sql_statements.h"

namespace upg {

std::vector<FileFlag>& DMF();
std::vector<FileFlag>& DMFF();
std::vector<FileFlag>& DMK();

// The value of the row named `name` upper-cased (names compared clipped and
// upper-cased), when there is one.
std::optional<rt::Byte> FindCreateFlag(const std::vector<FileFlag>& flags, std::string_view name);

}  // namespace upg
