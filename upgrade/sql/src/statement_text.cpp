// Helpers shared by the statement builders.
#include "statement_text.h"

#include "velmora/runtime/text.h"
#include "velmora/upgrade/interpret.h"
#include "velmora/upgrade/settings.h"
#include "velmora/upgrade/sql_check.h"
#include "velmora/upgrade/sql_exec.h"
#include "velmora/upgrade/sqlnames.h"

namespace upg::stmt {

std::string Id(Dialect d, std::string_view name) {
  std::string server = ServerName(d, rt::Trim(name));
  return ExactName(server) ? SqlExactIdentifier(d, server) : SqlIdentifier(d, server);
}

// Not an exact column name even when it reads like one: the table is
// named as the file driver names it, with its owner.
std::string Table(Dialect d) { return SqlTableName(d, CheckedTableName()); }

std::vector<std::string> Words(std::string_view text) {
  std::vector<std::string> words;
  size_t p = 0;
  while (p < text.size()) {
    while (p < text.size() && text[p] == ' ') ++p;
    size_t end = text.find(' ', p);
    if (end == std::string_view::npos) end = text.size();
    if (end > p) words.push_back(KeyListColumn(text.substr(p, end - p)));
    p = end;
  }
  return words;
}

std::string Folded(Dialect d, std::string_view name) {
  std::string clipped = rt::Trim(name);
  bool foldsUnquoted = d == Dialect::Firebird || d == Dialect::Oracle;
  // A name meant exactly keeps its case where the server tells the cases
  // apart.
  if (ExactName(clipped) && (ServerCaseSensitive() || foldsUnquoted)) return clipped;
  if (!ServerCaseSensitive() ||
      (foldsUnquoted && (SqlIdentifier(d, clipped) == clipped ||
                         SqlIdentifier(d, clipped) == SqlIdentifier(d, rt::Upper(clipped)))))
    return rt::Upper(clipped);
  return clipped;
}

bool SameName(Dialect d, std::string_view a, std::string_view b) { return Folded(d, a) == Folded(d, b); }

bool SameDeclared(Dialect d, std::string_view declared, std::string_view server) {
  return Folded(d, ServerName(d, rt::Trim(declared))) == Folded(d, server);
}

std::string ServerFolded(Dialect d, std::string_view names) {
  std::string out;
  for (const std::string& w : Words(names))
    out += (out.empty() ? "" : " ") + KeyListWord(Folded(d, ServerName(d, w)));
  return out;
}

bool SameKey(Dialect d, const KdqRow& declared, std::string_view server) {
  if (SameDeclared(d, declared.sqlKeyName, server)) return true;
  std::string label = LabelKeyName(d, declared);
  return !label.empty() && SameDeclared(d, label, server);
}

void Queue(std::string sql) {
  ScriptRow row;
  row.sql = std::move(sql);
  SQ().push_back(std::move(row));
}

void Advance(size_t done, size_t total) {
  if (FlagOn(Flag::S) || total == 0) return;
  ProgressPercent() = static_cast<rt::Long>(done * 100 / total);
}

}  // namespace upg::stmt
