// The words the servers reserve, shared by every statement writer.
#include "velmora/sql_names.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <string>

namespace velmora::sql {

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

}  // namespace velmora::sql
