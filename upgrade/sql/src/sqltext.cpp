// Literals and identifiers of SQL statements, per server dialect.
#include "velmora/upgrade/sqltext.h"
#include <algorithm>
#include <cctype>
#include <iterator>

#include "velmora/runtime/text.h"
#include "velmora/sql_names.h"

namespace upg {
namespace {

std::string HexDigits(const uint8_t* bytes, size_t length) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(length * 2);
  for (size_t i = 0; i < length; ++i) {
    out.push_back(kHex[bytes[i] >> 4]);
    out.push_back(kHex[bytes[i] & 0x0F]);
  }
  return out;
}

}  // namespace

Dialect DialectOf(std::string_view serverCode, std::string_view odbcFlavour) {
  return velmora::sql::dialectOf(serverCode, odbcFlavour);
}

std::string SqlLiteral(Dialect dialect, std::string_view text) {
  using velmora::sql::LiteralStyle;
  return velmora::sql::literal(dialect == Dialect::MySql      ? LiteralStyle::MySql
                               : dialect == Dialect::Anywhere ? LiteralStyle::Backslash
                                                              : LiteralStyle::Standard,
                               text);
}

std::string SqlIdentifier(Dialect dialect, std::string_view name) {
  return velmora::sql::identifier(dialect, name);
}

bool QuotedName(std::string_view name) { return velmora::sql::quotedName(name); }

std::string SqlExactIdentifier(Dialect dialect, std::string_view name) {
  return velmora::sql::exactIdentifier(dialect, name);
}

std::string HexLiteral(Dialect dialect, const uint8_t* bytes, size_t length) {
  std::string digits = HexDigits(bytes, length);
  switch (dialect) {
    case Dialect::Oracle: return "HEXTORAW('" + digits + "')";
    case Dialect::MySql:
    case Dialect::Firebird:
    case Dialect::Odbc: return "X'" + digits + "'";
    default: return "0x" + digits;
  }
}

std::string SqlTableName(Dialect dialect, std::string_view name) {
  return velmora::sql::tableIdentifier(dialect, name);
}

std::string HexEncodeString(const uint8_t* bytes, size_t length) {
  return "0x" + HexDigits(bytes, length);
}

}  // namespace upg
