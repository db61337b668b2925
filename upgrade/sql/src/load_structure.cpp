// The dispatch to the server's catalogue reader and the rules every reader
// follows when it fills SFDQ and SKDQ.
#include <algorithm>

#include "velmora/runtime/errors.h"
#include "velmora/runtime/text.h"
#include "velmora/upgrade/catalogue_rows.h"
#include "velmora/upgrade/interpret.h"
#include "velmora/upgrade/server_structure.h"
#include "velmora/upgrade/version_rows.h"
#include "velmora/upgrade/sql_entry.h"

namespace upg {
namespace {

std::string Cut(std::string_view text, size_t most) {
  return std::string(text.substr(0, std::min(text.size(), most)));
}

}  // namespace

void AddServerColumn(std::string_view name, std::string_view type, rt::Byte autoNum,
                     rt::Byte nullable) {
  ServerColumn c;
  std::string spelt = rt::Clip(name);
  c.name = Cut(rt::Upper(spelt), kServerNameSize);
  c.altName = Cut(spelt, kServerNameSize);
  c.type = Cut(rt::Clip(type), kServerTypeSize);
  c.autoNum = autoNum;
  c.nullable = nullable;
  c.match = 0;
  SFDQ().push_back(std::move(c));
}

ServerKey NewServerKey(std::string_view name, std::string_view att, rt::Byte index,
                       bool keepCase) {
  ServerKey k;
  std::string spelt = rt::Clip(name);
  k.keyName = Cut(keepCase ? spelt : rt::Upper(spelt), kServerNameSize);
  k.keyFileName = Cut(spelt, kServerNameSize);
  k.att = std::string(att);
  k.index = index;
  return k;
}

void AddKeyColumn(ServerKey& key, std::string_view column, bool descending, bool lookup) {
  std::string name = rt::Clip(column);
  std::string fields = rt::Clip(key.fields);
  fields = fields.empty() ? KeyListWord(name) : fields + " " + KeyListWord(name);
  key.fields = Cut(fields, kServerFieldsSize);
  ++key.numFields;
  if (key.numFields >= 1 && key.numFields <= static_cast<rt::Long>(key.fieldNums.size())) {
    auto n = static_cast<rt::Short>(key.numFields);
    key.fieldNums[static_cast<size_t>(n - 1)] = descending ? static_cast<rt::Short>(-n) : n;
  }
  if (lookup) LocateKeyField(Cut(name, kServerNameSize));  // as SFDQ holds it
}

void AddServerKey(ServerKey key) {
  key.match = 0;
  SKDQ().push_back(std::move(key));
}

rt::Long CatalogueFailed(std::string_view tag, std::string_view code, std::string_view text,
                         const SqlMessage& message) {
  ReportSql(message, "[" + std::string(tag) + "] Error: " + std::string(code) + " " +
                         rt::Clip(text));
  return 1;
}

rt::Long RunCatalogueQuery(std::string_view statement, std::string_view tag,
                           const SqlMessage& message) {
  return CatalogueQuery(statement, message, tag, " ") ? 0 : 1;
}

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
