// The server-structure queues, the result row of the statement file and the
// key-column lookup shared by the catalogue readers.
#include "velmora/upgrade/server_structure.h"

#include "velmora/upgrade/catalogue_rows.h"

#include <algorithm>

#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/text.h"
#include "velmora/upgrade/sql_check.h"
#include "velmora/upgrade/sql_exec.h"

namespace upg {

std::vector<ServerColumn>& SFDQ() {
  static std::vector<ServerColumn> q;
  return q;
}

std::vector<ServerKey>& SKDQ() {
  static std::vector<ServerKey> q;
  return q;
}

std::vector<TableInfoRow>& TIQ() {
  static std::vector<TableInfoRow> q;
  return q;
}

ResultRowFields& ResultRow() {
  static ResultRowFields row;
  return row;
}

SqlCheckState& SqlCheck() {
  static SqlCheckState state;
  return state;
}

// A name as the queues keep it: clipped, upper-cased, at most as long as
// the server being read takes.
static std::string QueueKey(std::string_view name) {
  std::string key = rt::Upper(rt::Clip(name));
  if (key.size() > ServerNameSize()) key.resize(ServerNameSize());
  return key;
}

ServerColumn* FindServerColumn(std::string_view name) {
  std::string key = QueueKey(name);
  auto& q = SFDQ();
  auto it = std::find_if(q.begin(), q.end(), [&](const ServerColumn& c) { return c.name == key; });
  return it == q.end() ? nullptr : &*it;
}

ServerKey* FindServerKey(std::string_view keyName) {
  std::string key = QueueKey(keyName);
  auto& q = SKDQ();
  auto it = std::find_if(q.begin(), q.end(),
                         [&](const ServerKey& k) { return rt::Upper(k.keyName) == key; });
  return it == q.end() ? nullptr : &*it;
}

bool NextResultRow() {
  ResultRowFields& row = ResultRow();
  row.fill({});
  db::FileDecl* file = CurrentSQLFile();
  if (!file) return false;
  db::Next(*file);
  if (rt::ErrorCode() != 0) return false;
  size_t n = 0;
  for (const db::FieldInfo& f : file->Fields()) {
    if (n == row.size()) break;
    if (f.type == db::Type::Group) continue;
    // The statement file's record is texts; a number field reads as empty.
    const char* p = reinterpret_cast<const char*>(file->Record() + f.offset);
    std::string_view text;
    if (f.type == db::Type::String) text = {p, f.size};
    if (f.type == db::Type::CString) text = std::string_view(p, f.size).substr(0, std::string_view(p, f.size).find('\0'));
    if (f.type == db::Type::PString && f.size > 0)
      text = {p + 1, std::min<size_t>(static_cast<uint8_t>(p[0]), f.size - 1)};
    row[n++] = std::string(rt::Clip(text.substr(0, 255)));
  }
  return true;
}

void LocateKeyField(std::string_view column) {
  if (ServerColumn* c = FindServerColumn(column)) {
    c->dependant = 1;
    return;
  }
  ReportSql(kM38, rt::Upper(rt::Clip(column)));
}

}  // namespace upg
