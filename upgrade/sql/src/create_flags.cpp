// The per-field, per-file and per-key create flags and their lookup.
#include "velmora/upgrade/create_flags.h"

#include "velmora/runtime/text.h"

namespace upg {

std::vector<FileFlag>& DMF() {
  static std::vector<FileFlag> q;
  return q;
}
std::vector<FileFlag>& DMFF() {
  static std::vector<FileFlag> q;
  return q;
}
std::vector<FileFlag>& DMK() {
  static std::vector<FileFlag> q;
  return q;
}

std::optional<rt::Byte> FindCreateFlag(const std::vector<FileFlag>& flags, std::string_view name) {
  const std::string wanted = rt::Upper(rt::Clip(name));
  for (const FileFlag& row : flags)
    if (rt::Upper(rt::Clip(row.fileName)) == wanted) return row.value;
  return std::nullopt;
}

}  // namespace upg
