// The rows of the server-structure queues as every catalogue reader builds them.
#include "velmora/upgrade/catalogue_rows.h"

#include <algorithm>

#include "velmora/runtime/errors.h"
#include "velmora/runtime/numbers.h"
#include "velmora/runtime/text.h"
#include "velmora/upgrade/interpret.h"

namespace upg {
namespace {

std::string Cut(std::string text, size_t most) {
  if (text.size() > most) text.resize(most);
  return text;
}

void ReportCatalogueFailure(const SqlMessage& message, std::string_view tag, std::string_view code,
                            std::string_view separator, std::string_view text) {
  ReportSql(message, "[" + std::string(tag) + "] Error: " + std::string(code) + std::string(separator) +
                         rt::Clip(text));
}

size_t& NameSize() {
  static size_t size = kServerNameSize;
  return size;
}

}  // namespace

void ReadNamesOf(Dialect dialect) { NameSize() = std::max(kServerNameSize, velmora::sql::nameLimit(dialect)); }

size_t ServerNameSize() { return NameSize(); }

void SetColumnName(ServerColumn& column, std::string_view name) {
  column.altName = Cut(rt::Clip(name), ServerNameSize());
  column.name = rt::Upper(column.altName);
}

void SetColumnType(ServerColumn& column, std::string_view type) {
  column.type = Cut(rt::Clip(type), kServerTypeSize);
}

void SetNullableFlag(rt::Byte& nullable, std::string_view flag) {
  std::string f = rt::Lower(rt::Trim(flag));
  if (f == "y") nullable = 1;
  if (f == "n") nullable = 0;
}

void StartKey(ServerKey& key, std::string_view name) {
  key.keyFileName = Cut(rt::Clip(name), ServerNameSize());
  key.keyName = rt::Upper(key.keyFileName);
  key.match = 0;
  key.fields.clear();
  key.numFields = 0;
  key.fieldNums.fill(0);
}

ServerKey NewServerKey(std::string_view name, std::string_view att, rt::Byte index,
                       bool keepCase) {
  ServerKey k;
  StartKey(k, name);
  if (keepCase) k.keyName = k.keyFileName;
  k.att = std::string(att);
  k.index = index;
  return k;
}

void AddServerColumn(std::string_view name, std::string_view type, rt::Byte autoNum,
                     rt::Byte nullable) {
  ServerColumn c;
  SetColumnName(c, name);
  SetColumnType(c, type);
  c.autoNum = autoNum;
  c.nullable = nullable;
  c.match = 0;
  SFDQ().push_back(std::move(c));
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
  if (lookup) LocateKeyField(Cut(name, ServerNameSize()));  // as SFDQ holds it
}

void AddServerKey(ServerKey key) {
  key.match = 0;
  SKDQ().push_back(std::move(key));
}

bool IsKey(const ServerKey& key, std::string_view name) {
  return key.keyFileName == Cut(rt::Clip(name), ServerNameSize());
}

bool AddKeyRowColumn(std::string_view name, std::string_view column, bool descending,
                     const ServerKey& start) {
  std::vector<ServerKey>& keys = SKDQ();
  bool added = keys.empty() || !IsKey(keys.back(), name);
  if (added) {
    keys.push_back(start);
    StartKey(keys.back(), name);
  }
  AddKeyColumn(keys.back(), column, descending);
  return added;
}

bool CatalogueQuery(std::string_view statement, const SqlMessage& message, std::string_view tag,
                    std::string_view separator) {
  if (ExecuteSQLStatement(statement, 0) == 0) return true;
  ReportCatalogueFailure(message, tag, rt::FileErrorState(), separator, rt::FileErrorText());
  return false;
}

rt::Long CatalogueFailed(std::string_view tag, std::string_view code, std::string_view text,
                         const SqlMessage& message) {
  ReportCatalogueFailure(message, tag, code, " ", text);
  return 1;
}

rt::Long RunCatalogueQuery(std::string_view statement, std::string_view tag,
                           const SqlMessage& message) {
  return CatalogueQuery(statement, message, tag, " ") ? 0 : 1;
}

rt::Long CatalogueNumber(std::string_view text) { return rt::TextToLong(text); }

}  // namespace upg
