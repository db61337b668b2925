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

bool PlainName(std::string_view name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
  for (char c : name) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
              c == '_' || c == '$' || c == '#';
    if (!ok) return false;
  }
  return true;
}

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
  bool backslash = dialect == Dialect::MySql || dialect == Dialect::Anywhere;
  std::string out;
  out.reserve(text.size() + 2);
  out.push_back('\'');
  for (char c : text) {
    switch (c) {
      case '\'': out += "''"; break;
      case '\\': out += backslash ? "\\\\" : "\\"; break;
      case '\0': out += dialect == Dialect::MySql ? "\\0" : " "; break;
      case '\x1A': out += dialect == Dialect::MySql ? "\\Z" : "\x1A"; break;
      default: out.push_back(c);
    }
  }
  out.push_back('\'');
  return out;
}

std::string SqlIdentifier(Dialect dialect, std::string_view name) {
  if (PlainName(name) && !velmora::sql::reservedWord(name)) return std::string(name);
  // A reserved word means what the unquoted name would: Firebird and
  // Oracle hold unquoted names upper-cased.
  std::string folded(name);
  if (PlainName(name) && (dialect == Dialect::Firebird || dialect == Dialect::Oracle))
    for (char& c : folded) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  name = folded;
  char open = '"', close = '"';
  if (dialect == Dialect::MsSql) open = '[', close = ']';
  if (dialect == Dialect::MySql) open = close = '`';
  std::string out(1, open);
  for (char c : name) {
    if (c == '\0') continue;  // no server takes it in a name
    if (c == close) out.push_back(c);
    out.push_back(c);
  }
  out.push_back(close);
  return out;
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
  std::string out;
  size_t start = 0;
  while (true) {
    size_t dot = name.find('.', start);
    out += SqlIdentifier(dialect, name.substr(start, dot - start));
    if (dot == std::string_view::npos) return out;
    out += ".";
    start = dot + 1;
  }
}

std::string HexEncodeString(const uint8_t* bytes, size_t length) {
  return "0x" + HexDigits(bytes, length);
}

}  // namespace upg
