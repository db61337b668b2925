// Names and text literals written into SQL statements, the server's way.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmora::sql {

// The dialect a statement is written in: the server's own SQL.
enum class Dialect {
  MsSql,     // "MSSQL" ("MSS"), or ODBC flavour "MSSQL"
  Oracle,    // "ORACLE" ("ORA"), or ODBC flavour "ORACLE"
  Anywhere,  // "SQLANYWHERE" ("ASA"), or ODBC flavour "ASA"
  Firebird,  // ODBC flavour "FIREBIRD"
  MySql,     // ODBC flavours "MYODBC 2" and "MYODBC 3"
  Odbc,      // plain ODBC: standard SQL
};

// The dialect of a driver name or its server code ("MSSQL" or "MSS",
// "ORACLE" or "ORA", "SQLANYWHERE" or "ASA"); anything else is ODBC, whose
// flavour picks the dialect. Case and trailing blanks do not matter.
Dialect dialectOf(std::string_view driver, std::string_view flavour = {});

// How a server quotes a name: "name" (standard, Firebird, Oracle, SQL
// Anywhere), `name` (MySQL and MariaDB) or [name] (SQL Server).
enum class QuoteStyle { Double, Backtick, Bracket };
QuoteStyle quoteStyle(Dialect dialect);
// The server holds a name written bare upper-cased (Firebird, Oracle).
bool foldsUnquoted(Dialect dialect);

// Words some server reserves: as names they are always quoted.
bool reservedWord(std::string_view name);

// `name` as an identifier. A name that every server reads as a name when
// written bare (a letter, then letters, digits, "_" and "$") and that no
// server reserves stands bare, so the server's own case rule applies; any
// other name is quoted with its closing quote doubled and NUL bytes
// dropped. Where the server folds bare names, a reserved word or a name
// of letters, digits, "_", "$" and "#" is upper-cased before it is quoted,
// so it means what the bare name would.
std::string identifier(Dialect dialect, std::string_view name);

// `name` exactly as written, always quoted (its closing quote doubled, NUL
// bytes dropped): the server keeps its case.
std::string exactIdentifier(Dialect dialect, std::string_view name);

// A name of the form owner.table (or database.table): each part as the
// server holds it (serverName) written as an identifier.
std::string tableIdentifier(Dialect dialect, std::string_view name);

// The longest name the dialect's server takes (0: no limit known).
size_t nameLimit(Dialect dialect);

// `name` as the server can hold it: unchanged when it fits the limit;
// otherwise its first characters, "_" and ten hexadecimal digits of a hash
// of the whole name (upper-cased, as the servers compare names), exactly
// the limit long. Two names that differ only beyond the limit get
// different names; the same name always gets the same one.
std::string serverName(Dialect dialect, std::string_view name);

// A declared external name written between double quotes: the exact name
// inside them.
bool quotedName(std::string_view name);

// The column a declared field has on the server. Its name is the field's
// external name, with an option written after it (" READONLY", else
// " BINARY") left off; an external name between double quotes is the exact
// name inside them; a field without one is named by its label (without the
// prefix) upper-cased. The name is then shortened to the server's limit
// (serverName). The engine and the file drivers name every column so.
struct ColumnName {
  std::string name;      // as the server holds it
  std::string declared;  // before it was shortened
  bool exact = false;    // meant exactly: always quoted, its case kept
  bool binary = false;   // the external name carries the option BINARY
};
ColumnName columnName(Dialect dialect, std::string_view extName, std::string_view fieldName);

// The column written into a statement: exactly when it is meant exactly,
// else as an identifier.
std::string columnIdentifier(Dialect dialect, const ColumnName& column);

// A procedure call with output variables, "NORESULTCALL name(&var [OUT],
// 'text', 5)", as one SQL Server batch that declares each variable as an
// integer, calls the procedure and answers the variables as its one result
// row: "DECLARE @var int; EXEC name @var OUTPUT, 'text', 5; SELECT @var".
// Empty for any other statement.
std::string msSqlOutputCall(std::string_view statement);

// How a server reads a text literal: quotes doubled everywhere; a
// backslash escapes on SQL Anywhere and MySQL/MariaDB, which also take \0
// and \Z for NUL and Ctrl-Z.
enum class LiteralStyle { Standard, Backslash, MySql };

// `text` as a quoted literal. A NUL byte, which no other server takes in a
// statement, becomes a blank there.
std::string literal(LiteralStyle style, std::string_view text);

}  // namespace velmora::sql
