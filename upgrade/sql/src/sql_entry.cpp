// The ODBC flavour, the server codes and the masking of passwords in
// connection strings and statements before they are traced.
#include "velmora/upgrade/sql_entry.h"

#include "velmora/runtime/system.h"
#include "velmora/runtime/text.h"
#include "velmora/sql.h"
#include "velmora/sql_owner.h"
#include "velmora/upgrade/registration.h"
#include "velmora/upgrade/settings.h"
#include "velmora/upgrade/sql_exec.h"

namespace upg {
namespace {

constexpr std::string_view kMask = "****************";

}  // namespace

bool IsSqlServerCode(std::string_view code) {
  std::string up = rt::Upper(rt::Clip(code));
  return up == "MSS" || up == "ORA" || up == "ASA" || up == "ODB";
}

std::string ODBCFlavour() { return CurrentOptions().odbcFlavour; }

void SetODBCFlavour(std::string_view flavour) {
  velmora::sql::setOdbcFlavour(rt::Upper(rt::Clip(flavour)));
}

std::string MaskPasswords(std::string_view text) {
  std::string out;
  size_t from = 0;
  for (const velmora::sql::Setting& s : velmora::sql::passwordSettings(text)) {
    out += text.substr(from, s.begin - from);
    out += s.key + "=" + std::string(kMask);
    from = s.end;
  }
  out += text.substr(from);
  return out;
}

std::string ds_EncryptOwner(std::string_view serverCode, std::string_view owner) {
  std::string code = rt::Upper(rt::Clip(serverCode));
  Trace(Flag::A, "ds_EncryptOwner IN: dr: " + code);
  std::string out;
  if (IsSqlServerCode(code)) {
    // "...;PWD=x;..." in any server's string, else the field that holds it.
    std::vector<velmora::sql::Setting> found = velmora::sql::ownerPasswords(owner, code);
    if (found.empty()) {
      out = code == "ORA" ? std::string(kMask) : rt::Clip(owner) + "," + std::string(kMask);
    } else if (!found[0].key.empty()) {
      out = MaskPasswords(owner);
    } else {
      // Whatever follows the field is dropped, except Oracle's "@service".
      const velmora::sql::Setting& s = found[0];
      bool service = code == "ORA" && s.end < owner.size() && owner[s.end] == '@';
      out = std::string(owner.substr(0, s.valueBegin)) + std::string(kMask) +
            (service ? std::string(owner.substr(s.end)) : std::string());
    }
  }  // Not a server's connection string: nothing of it is shown.
  out = out.substr(0, std::min<size_t>(out.size(), 255));
  Trace(Flag::A, "ds_EncryptOwner OUT: o: " + out);
  return out;
}

}  // namespace upg
