// The rows of the server-structure queues as every catalogue reader builds them.
#include "velmora/upgrade/catalogue_rows.h"

#include "velmora/runtime/errors.h"
#include "velmora/runtime/numbers.h"
#include "velmora/runtime/text.h"

namespace upg {
namespace {

std::string Cut(std::string text, size_t most) {
  if (text.size() > most) text.resize(most);
  return text;
}

void ReportCatalogueFailure(const SqlMessage& message, std::string_view tag,
                            std::string_view separator) {
  ReportSql(message, "[" + std::string(tag) + "] Error: " + rt::FileErrorState() +
                         std::string(separator) + rt::Clip(rt::FileErrorText()));
}

}  // namespace

void SetColumnName(ServerColumn& column, std::string_view name) {
  column.altName = Cut(rt::Clip(name), kServerNameSize);
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
  key.keyFileName = Cut(rt::Clip(name), kServerNameSize);
  key.keyName = rt::Upper(key.keyFileName);
  key.match = 0;
  key.fields.clear();
  key.numFields = 0;
  key.fieldNums.fill(0);
}

bool IsKey(const ServerKey& key, std::string_view name) {
  return key.keyFileName == Cut(rt::Clip(name), kServerNameSize);
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
  ReportCatalogueFailure(message, tag, separator);
  return false;
}

rt::Long CatalogueNumber(std::string_view text) { return rt::TextToLong(text); }

}  // namespace upg
