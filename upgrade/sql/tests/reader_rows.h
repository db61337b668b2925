#pragma once
// SFDQ and SKDQ rows as one line each, for comparing what a reader read
// with what a test expects in one table.
#include <string>
#include <vector>

#include "velmora/upgrade/server_structure.h"

namespace sqltest {

// A column and a key left in the queues from an earlier table.
inline void Leftovers() {
  upg::SFDQ().push_back(upg::ServerColumn{});
  upg::SFDQ().back().name = "OLD";
  upg::SKDQ().push_back(upg::ServerKey{});
  upg::SKDQ().back().keyName = "OLD";
}

// NAME|type|ALTNAME|autonum|nullable|dependant
inline std::vector<std::string> ColumnRows() {
  std::vector<std::string> out;
  for (const upg::ServerColumn& c : upg::SFDQ())
    out.push_back(c.name + "|" + c.type + "|" + c.altName + "|" + std::to_string(c.autoNum) + "|" +
                  std::to_string(c.nullable) + "|" + std::to_string(c.dependant));
  return out;
}

// KEYNAME|att|fields|numfields|KEYFILENAME|fieldnums|index
inline std::vector<std::string> KeyRows() {
  std::vector<std::string> out;
  for (const upg::ServerKey& k : upg::SKDQ()) {
    std::string nums;
    for (rt::Long i = 0; i < k.numFields && i < static_cast<rt::Long>(k.fieldNums.size()); ++i)
      nums += (i ? "," : "") + std::to_string(k.fieldNums[static_cast<size_t>(i)]);
    out.push_back(k.keyName + "|" + k.att + "|" + k.fields + "|" + std::to_string(k.numFields) +
                  "|" + k.keyFileName + "|" + nums + "|" + std::to_string(k.index));
  }
  return out;
}

}  // namespace sqltest
