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

// How the dialect quotes a name, and whether it folds bare names.
velmora::sql::QuoteStyle QuoteOf(Dialect dialect) {
  if (dialect == Dialect::MsSql) return velmora::sql::QuoteStyle::Bracket;
  if (dialect == Dialect::MySql) return velmora::sql::QuoteStyle::Backtick;
  return velmora::sql::QuoteStyle::Double;
}
bool FoldsUnquoted(Dialect dialect) { return dialect == Dialect::Firebird || dialect == Dialect::Oracle; }

}  // namespace

Dialect DialectOf(std::string_view serverCode, std::string_view odbcFlavour) {
  std::string code = rt::Upper(rt::Clip(serverCode));
  if (code == "MSS") return Dialect::MsSql;
  if (code == "ORA") return Dialect::Oracle;
  if (code == "ASA") return Dialect::Anywhere;
  std::string flavour = rt::Upper(rt::Clip(odbcFlavour));
  if (flavour == "MYODBC 2" || flavour == "MYODBC 3") return Dialect::MySql;
  if (flavour == "FIREBIRD") return Dialect::Firebird;
  if (flavour == "MSSQL") return Dialect::MsSql;
  if (flavour == "ORACLE") return Dialect::Oracle;
  if (flavour == "ASA") return Dialect::Anywhere;
  return Dialect::Odbc;
}

std::string SqlLiteral(Dialect dialect, std::string_view text) {
  using velmora::sql::LiteralStyle;
  return velmora::sql::literal(dialect == Dialect::MySql      ? LiteralStyle::MySql
                               : dialect == Dialect::Anywhere ? LiteralStyle::Backslash
                                                              : LiteralStyle::Standard,
                               text);
}

std::string SqlIdentifier(Dialect dialect, std::string_view name) {
  return velmora::sql::identifier(QuoteOf(dialect), FoldsUnquoted(dialect), name);
}

bool QuotedName(std::string_view name) { return velmora::sql::quotedName(name); }

std::string SqlExactIdentifier(Dialect dialect, std::string_view name) {
  return velmora::sql::exactIdentifier(QuoteOf(dialect), name);
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
  return velmora::sql::qualifiedIdentifier(QuoteOf(dialect), FoldsUnquoted(dialect), name);
}

std::string HexEncodeString(const uint8_t* bytes, size_t length) {
  return "0x" + HexDigits(bytes, length);
}

}  // namespace upg
