// Identifiers of SQL statements, quoted per server.
#include "velmora/sql_names.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace velmora::sql {
namespace {

bool plainName(std::string_view name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
  for (char c : name) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
              c == '_' || c == '$' || c == '#';
    if (!ok) return false;
  }
  return true;
}

}  // namespace

bool reservedWord(std::string_view name) {
  static constexpr std::string_view kWords[] = {
      "ADD", "ALL", "ALTER", "AND", "AS", "ASC", "BETWEEN", "BY", "CASE", "CHAR", "CHECK", "COLUMN",
      "CONSTRAINT", "CREATE", "CURRENT", "DATE", "DEC", "DECIMAL", "DEFAULT", "DELETE", "DESC",
      "DISTINCT", "DOUBLE", "DROP", "ELSE", "END", "EXISTS", "FLOAT", "FOR", "FROM", "GRANT", "GROUP",
      "HAVING", "IN", "INDEX", "INSERT", "INT", "INTEGER", "INTO", "IS", "JOIN", "KEY", "LEFT", "LIKE",
      "LIMIT", "NOT", "NULL", "NUMBER", "OF", "ON", "OPTION", "OR", "ORDER", "POSITION", "PRIMARY",
      "REAL", "REFERENCES", "RIGHT", "ROW", "ROWS", "SELECT", "SET", "SMALLINT", "TABLE", "THEN", "TIME",
      "TIMESTAMP", "TO", "TRIGGER", "UNION", "UNIQUE", "UPDATE", "USER", "USING", "VALUE", "VALUES",
      "VARCHAR", "VIEW", "WHEN", "WHERE", "WITH"};
  std::string upper;
  for (char c : name) upper.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  return std::find(std::begin(kWords), std::end(kWords), upper) != std::end(kWords);
}

std::string exactIdentifier(QuoteStyle style, std::string_view name) {
  char open = '"', close = '"';
  if (style == QuoteStyle::Bracket) open = '[', close = ']';
  if (style == QuoteStyle::Backtick) open = close = '`';
  std::string out(1, open);
  for (char c : name) {
    if (c == '\0') continue;  // no server takes it in a name
    if (c == close) out.push_back(c);
    out.push_back(c);
  }
  out.push_back(close);
  return out;
}

std::string identifier(QuoteStyle style, bool foldsUnquoted, std::string_view name) {
  bool plain = plainName(name);
  if (plain && !reservedWord(name)) return std::string(name);
  if (!plain || !foldsUnquoted) return exactIdentifier(style, name);
  std::string upper;
  for (char c : name) upper.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  return exactIdentifier(style, upper);
}

std::string qualifiedIdentifier(QuoteStyle style, bool foldsUnquoted, std::string_view name) {
  std::string out;
  size_t start = 0;
  while (true) {
    size_t dot = name.find('.', start);
    out += identifier(style, foldsUnquoted, name.substr(start, dot - start));
    if (dot == std::string_view::npos) return out;
    out += ".";
    start = dot + 1;
  }
}

}  // namespace velmora::sql
