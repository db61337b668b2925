// Identifiers of SQL statements, quoted per server.
#include "velmora/sql_names.h"

#include <cstdint>
#include <unordered_set>
#include <vector>

#include "velmora/runtime/text.h"

namespace velmora::sql {
namespace {

constexpr size_t kHashDigits = 10;

uint64_t nameHash(std::string_view name) {
  uint64_t h = 14695981039346656037ull;  // FNV-1a
  for (char c : rt::Upper(name)) {
    h ^= static_cast<uint8_t>(c);
    h *= 1099511628211ull;
  }
  return h;
}

bool letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool digit(char c) { return c >= '0' && c <= '9'; }

// A name every server reads bare: a letter, then letters, digits, "_" and
// "$". ("#" starts a comment on MySQL and is no name character on
// Firebird; a name starting with "_", "$" or "#" is none there nor on
// Oracle, and one starting with "#" a temporary table on SQL Server.)
bool plainName(std::string_view name) {
  if (name.empty() || !letter(name[0])) return false;
  for (char c : name)
    if (!letter(c) && !digit(c) && c != '_' && c != '$') return false;
  return true;
}

// A name of letters, digits, "_", "$" and "#" not starting with a digit:
// one a folding server would read bare (upper-cased) where it reads it.
bool wordName(std::string_view name) {
  if (name.empty() || digit(name[0])) return false;
  for (char c : name)
    if (!letter(c) && !digit(c) && c != '_' && c != '$' && c != '#') return false;
  return true;
}

}  // namespace

// Words one of the servers reserves (the union of their reserved words, not
// of their other keywords): as names they are always quoted, so a column
// named DAY or SIZE works on every server.
bool reservedWord(std::string_view name) {
  static const std::unordered_set<std::string_view> kWords = {
      "ACCESS", "ADD", "ADMIN", "ALL", "ALTER", "AND", "ANY", "AS", "ASC", "AT", "AUDIT",
      "AUTHORIZATION", "AVG", "BACKUP", "BEGIN", "BETWEEN", "BIGINT", "BINARY", "BIT_LENGTH",
      "BLOB", "BOOLEAN", "BOTH", "BREAK", "BROWSE", "BULK", "BY", "CALL", "CASCADE", "CASE", "CAST",
      "CHANGE", "CHAR", "CHARACTER", "CHARACTER_LENGTH", "CHAR_LENGTH", "CHECK", "CHECKPOINT",
      "CLOSE", "CLUSTER", "CLUSTERED", "COALESCE", "COLLATE", "COLUMN", "COMMENT", "COMMIT",
      "COMPRESS", "COMPUTE", "CONDITION", "CONNECT", "CONSTRAINT", "CONTAINS", "CONTINUE",
      "CONVERT", "CORR", "COUNT", "COVAR_POP", "COVAR_SAMP", "CREATE", "CROSS", "CURRENT",
      "CURRENT_CONNECTION", "CURRENT_DATE", "CURRENT_ROLE", "CURRENT_TIME", "CURRENT_TIMESTAMP",
      "CURRENT_TRANSACTION", "CURRENT_USER", "CURSOR", "DATABASE", "DATABASES", "DATE", "DAY",
      "DAY_HOUR", "DAY_MINUTE", "DAY_SECOND", "DBCC", "DEALLOCATE", "DEC", "DECIMAL", "DECLARE",
      "DEFAULT", "DELAYED", "DELETE", "DELETING", "DENY", "DESC", "DESCRIBE", "DETERMINISTIC",
      "DISCONNECT", "DISK", "DISTINCT", "DISTINCTROW", "DISTRIBUTED", "DIV", "DOUBLE", "DROP",
      "DUAL", "DUMP", "EACH", "ELSE", "ELSEIF", "ENCLOSED", "END", "ERRLVL", "ESCAPE", "ESCAPED",
      "EXCEPT", "EXCLUSIVE", "EXEC", "EXECUTE", "EXISTS", "EXIT", "EXPLAIN", "EXTERNAL", "EXTRACT",
      "FALSE", "FETCH", "FILE", "FILLFACTOR", "FILTER", "FLOAT", "FLOAT4", "FLOAT8", "FOR", "FORCE",
      "FOREIGN", "FREETEXT", "FROM", "FULL", "FULLTEXT", "FUNCTION", "GDSCODE", "GLOBAL", "GOTO",
      "GRANT", "GROUP", "HAVING", "HIGH_PRIORITY", "HOLDLOCK", "HOUR", "HOUR_MINUTE", "HOUR_SECOND",
      "IDENTIFIED", "IDENTITY", "IDENTITYCOL", "IF", "IGNORE", "IMMEDIATE", "IN", "INCREMENT",
      "INDEX", "INFILE", "INITIAL", "INNER", "INOUT", "INSENSITIVE", "INSERT", "INSERTING", "INT",
      "INT1", "INT2", "INT3", "INT4", "INT8", "INTEGER", "INTERSECT", "INTERVAL", "INTO", "IS",
      "ITERATE", "JOIN", "KEY", "KEYS", "KILL", "LEADING", "LEAVE", "LEFT", "LEVEL", "LIKE",
      "LIMIT", "LINENO", "LINES", "LOAD", "LOCK", "LONG", "LONGBLOB", "LONGTEXT", "LOOP", "LOWER",
      "LOW_PRIORITY", "MATCH", "MAX", "MAXEXTENTS", "MEDIUMBLOB", "MEDIUMINT", "MEDIUMTEXT",
      "MERGE", "MIN", "MINUS", "MINUTE", "MINUTE_SECOND", "MLSLABEL", "MOD", "MODE", "MODIFIES",
      "MODIFY", "MONTH", "NATIONAL", "NATURAL", "NCHAR", "NOAUDIT", "NOCHECK", "NOCOMPRESS",
      "NONCLUSTERED", "NOT", "NOWAIT", "NO_WRITE_TO_BINLOG", "NULL", "NULLIF", "NUMBER", "NUMERIC",
      "OCTET_LENGTH", "OF", "OFF", "OFFLINE", "OFFSET", "OFFSETS", "ON", "ONLINE", "ONLY", "OPEN",
      "OPENDATASOURCE", "OPENQUERY", "OPENROWSET", "OPENXML", "OPTIMIZE", "OPTION", "OPTIONALLY",
      "OR", "ORDER", "OUT", "OUTER", "OUTFILE", "OVER", "PARAMETER", "PCTFREE", "PERCENT", "PIVOT",
      "PLAN", "POSITION", "POST_EVENT", "PRECISION", "PRIMARY", "PRINT", "PRIOR", "PRIVILEGES",
      "PROC", "PROCEDURE", "PUBLIC", "PURGE", "RAISERROR", "RANGE", "RAW", "READ", "READS",
      "READTEXT", "REAL", "RECONFIGURE", "RECREATE", "RECURSIVE", "REFERENCES", "REGEXP", "RELEASE",
      "RENAME", "REPEAT", "REPLACE", "REPLICATION", "REQUIRE", "RESOURCE", "RESTORE", "RESTRICT",
      "RETURN", "RETURNING_VALUES", "RETURNS", "REVERT", "REVOKE", "RIGHT", "RLIKE", "ROLLBACK",
      "ROW", "ROWCOUNT", "ROWGUIDCOL", "ROWID", "ROWNUM", "ROWS", "ROW_COUNT", "RULE", "SAVE",
      "SAVEPOINT", "SCHEMA", "SCHEMAS", "SCROLL", "SECOND", "SECURITYAUDIT", "SELECT", "SENSITIVE",
      "SEPARATOR", "SESSION", "SESSION_USER", "SET", "SETUSER", "SHARE", "SHOW", "SHUTDOWN",
      "SIMILAR", "SIZE", "SMALLINT", "SOME", "SPATIAL", "SPECIFIC", "SQL", "SQLCODE",
      "SQLEXCEPTION", "SQLSTATE", "SQLWARNING", "SSL", "START", "STARTING", "STATISTICS",
      "STDDEV_POP", "STDDEV_SAMP", "STRAIGHT_JOIN", "SUCCESSFUL", "SUM", "SYNONYM", "SYSDATE",
      "SYSTEM_USER", "TABLE", "TABLESAMPLE", "TERMINATED", "TEXTSIZE", "THEN", "TIME", "TIMESTAMP",
      "TINYBLOB", "TINYINT", "TINYTEXT", "TO", "TOP", "TRAILING", "TRAN", "TRANSACTION", "TRIGGER",
      "TRIM", "TRUE", "TRUNCATE", "TSEQUAL", "UID", "UNDO", "UNION", "UNIQUE", "UNKNOWN", "UNLOCK",
      "UNPIVOT", "UNSIGNED", "UPDATE", "UPDATETEXT", "UPDATING", "UPPER", "USAGE", "USE", "USER",
      "USING", "UTC_DATE", "UTC_TIME", "UTC_TIMESTAMP", "VALIDATE", "VALUE", "VALUES", "VARBINARY",
      "VARCHAR", "VARCHAR2", "VARCHARACTER", "VARIABLE", "VARYING", "VAR_POP", "VAR_SAMP", "VIEW",
      "WAITFOR", "WHEN", "WHENEVER", "WHERE", "WHILE", "WITH", "WITHIN", "WRITE", "WRITETEXT",
      "XOR", "YEAR", "YEAR_MONTH", "ZEROFILL"};
  return kWords.count(rt::Upper(name)) != 0;
}

Dialect dialectOf(std::string_view driver, std::string_view flavour) {
  std::string code = rt::Upper(rt::Clip(driver));
  if (code == "MSS" || code == "MSSQL") return Dialect::MsSql;
  if (code == "ORA" || code == "ORACLE") return Dialect::Oracle;
  if (code == "ASA" || code == "SQLANYWHERE") return Dialect::Anywhere;
  std::string f = rt::Upper(rt::Clip(flavour));
  if (f == "MYODBC 2" || f == "MYODBC 3") return Dialect::MySql;
  if (f == "FIREBIRD") return Dialect::Firebird;
  if (f == "MSSQL") return Dialect::MsSql;
  if (f == "ORACLE") return Dialect::Oracle;
  if (f == "ASA") return Dialect::Anywhere;
  return Dialect::Odbc;
}

QuoteStyle quoteStyle(Dialect dialect) {
  if (dialect == Dialect::MsSql) return QuoteStyle::Bracket;
  if (dialect == Dialect::MySql) return QuoteStyle::Backtick;
  return QuoteStyle::Double;
}

bool foldsUnquoted(Dialect dialect) { return dialect == Dialect::Firebird || dialect == Dialect::Oracle; }

std::string exactIdentifier(Dialect dialect, std::string_view name) {
  char open = '"', close = '"';
  QuoteStyle style = quoteStyle(dialect);
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

std::string identifier(Dialect dialect, std::string_view name) {
  if (plainName(name) && !reservedWord(name)) return std::string(name);
  if (foldsUnquoted(dialect) && wordName(name)) return exactIdentifier(dialect, rt::Upper(name));
  return exactIdentifier(dialect, name);
}

std::string tableIdentifier(Dialect dialect, std::string_view name) {
  std::string out;
  size_t start = 0;
  while (true) {
    size_t dot = name.find('.', start);
    out += identifier(dialect, serverName(dialect, name.substr(start, dot - start)));
    if (dot == std::string_view::npos) return out;
    out += ".";
    start = dot + 1;
  }
}

size_t nameLimit(Dialect dialect) {
  switch (dialect) {
    case Dialect::Firebird: return 31;
    case Dialect::Oracle: return 30;
    case Dialect::MySql: return 64;
    case Dialect::MsSql:
    case Dialect::Anywhere: return 128;
    case Dialect::Odbc: return 0;
  }
  return 0;
}

std::string serverName(Dialect dialect, std::string_view name) {
  size_t limit = nameLimit(dialect);
  if (limit == 0 || name.size() <= limit) return std::string(name);
  static constexpr char kHex[] = "0123456789ABCDEF";
  uint64_t h = nameHash(name);
  std::string tail(kHashDigits, '0');
  for (size_t i = kHashDigits; i-- > 0; h >>= 4) tail[i] = kHex[h & 0x0F];
  return std::string(name.substr(0, limit - kHashDigits - 1)) + "_" + tail;
}

bool quotedName(std::string_view name) {
  return name.size() >= 2 && name.front() == '"' && name.back() == '"';
}

namespace {

// `text` up to the character before the option word `word` (any case);
// false when it holds no such word.
bool cutAtOption(std::string& text, std::string_view word) {
  size_t at = rt::Upper(text).find(word);
  if (at == std::string::npos) return false;
  text.resize(at >= 1 ? at - 1 : 0);
  return true;
}

}  // namespace

ColumnName columnName(Dialect dialect, std::string_view extName, std::string_view fieldName) {
  ColumnName c;
  std::string ext = rt::Clip(extName);
  if (ext.empty()) {
    c.declared = rt::Upper(rt::Clip(fieldName));
  } else if (ext[0] == '"') {
    c.declared = ext.size() >= 2 ? ext.substr(1, ext.size() - 2) : std::string();
    c.exact = quotedName(ext);
  } else {
    c.declared = ext;
    if (!cutAtOption(c.declared, "READONLY")) c.binary = cutAtOption(c.declared, "BINARY");
  }
  c.name = serverName(dialect, c.declared);
  return c;
}

std::string columnIdentifier(Dialect dialect, const ColumnName& column) {
  return column.exact ? exactIdentifier(dialect, column.name) : identifier(dialect, column.name);
}

std::string msSqlOutputCall(std::string_view statement) {
  constexpr std::string_view kCall = "NORESULTCALL ";
  std::string_view s = statement;
  size_t start = s.find_first_not_of(' ');
  if (start == std::string_view::npos || rt::Upper(s.substr(start, kCall.size())) != kCall) return {};
  s = s.substr(start + kCall.size());
  size_t open = s.find('('), close = s.rfind(')');
  if (open == std::string_view::npos || close == std::string_view::npos || close < open) return {};
  std::string procedure = rt::Trim(s.substr(0, open));
  std::string declare, args, select;
  std::string_view list = s.substr(open + 1, close - open - 1);
  // The arguments, split at commas outside quotes.
  std::vector<std::string> parts(1);
  bool quoted = false;
  for (char c : list) {
    if (c == '\'') quoted = !quoted;
    if (c == ',' && !quoted) parts.emplace_back();
    else parts.back().push_back(c);
  }
  for (std::string part : parts) {
    part = rt::Trim(part);
    if (part.empty()) continue;
    if (part[0] == '&') {
      bool out = rt::Upper(part).find("[OUT]") != std::string::npos;
      std::string name = rt::Trim(part.substr(1, part.find('[') == std::string::npos ? std::string::npos
                                                                                     : part.find('[') - 1));
      std::string var = "@" + name;
      declare += "DECLARE " + var + " int; ";
      part = var + (out ? " OUTPUT" : "");
      if (out) select += (select.empty() ? "" : ", ") + var;
    }
    args += (args.empty() ? " " : ", ") + part;
  }
  return declare + "EXEC " + procedure + args + (select.empty() ? "" : "; SELECT " + select);
}

std::string literal(LiteralStyle style, std::string_view text) {
  const bool backslash = style != LiteralStyle::Standard, mysql = style == LiteralStyle::MySql;
  std::string out;
  out.reserve(text.size() + 2);
  out.push_back('\'');
  for (char c : text) {
    switch (c) {
      case '\'': out += "''"; break;
      case '\\': out += backslash ? "\\\\" : "\\"; break;
      case '\0': out += mysql ? "\\0" : " "; break;
      case '\x1A': out += mysql ? "\\Z" : "\x1A"; break;
      default: out.push_back(c);
    }
  }
  out.push_back('\'');
  return out;
}

}  // namespace velmora::sql
