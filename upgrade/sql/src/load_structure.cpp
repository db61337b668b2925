// The dispatch to the server's catalogue reader.
#include "velmora/runtime/errors.h"
#include "velmora/runtime/text.h"
#include "velmora/upgrade/catalogue_rows.h"
#include "velmora/upgrade/server_structure.h"
#include "velmora/upgrade/version_rows.h"
#include "velmora/upgrade/sql_entry.h"

namespace upg {

OpenSystemTableCall& OpenRV3SQLFileCall() {
  static OpenSystemTableCall call = &OpenRV3SQLFile;
  return call;
}

rt::Long LoadServerStructure(std::string_view serverCode) {
  return LoadServerStructure(serverCode, ODBCFlavour());
}

rt::Long LoadServerStructure(std::string_view serverCode, std::string_view odbcFlavour) {
  // The system table opened first; its result is not looked at.
  if (OpenSystemTableCall open = OpenRV3SQLFileCall()) open(serverCode);
  std::string code = rt::Upper(rt::Clip(serverCode));
  std::string flavour = rt::Upper(rt::Clip(odbcFlavour));
  rt::Long result = 0;
  if (code == "MSS") {
    result = ds_MSSQLStructure();
  } else if (code == "ORA") {
    result = ds_OracleStructure();
  } else if (code == "ASA") {
    result = ds_ASAStructure();
  } else if (code == "ODB" && (flavour == "MYODBC 2" || flavour == "MYODBC 3")) {
    // No native window here a driver could hang a dialog on: it never prompts.
    result = ds_MySQLStructure(0, flavour) ? 0 : 1;
  } else if (code == "ODB" && flavour == "FIREBIRD") {
    result = ds_FireBirdStructure();
  }
  if (result != 0) {
    // Nothing read half-way may pass for the table.
    SFDQ().clear();
    SKDQ().clear();
  }
  return result;
}

}  // namespace upg
