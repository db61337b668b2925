// Names and text literals written into SQL statements, the server's way.
#pragma once

#include <string>
#include <string_view>

namespace velmora::sql {

// How a server quotes a name: "name" (standard, Firebird, Oracle, SQL
// Anywhere), `name` (MySQL and MariaDB) or [name] (SQL Server).
enum class QuoteStyle { Double, Backtick, Bracket };

// Words some server reserves: as names they are always quoted.
bool reservedWord(std::string_view name);

// `name` as an identifier. A name of letters, digits, "_", "$" and "#" (not
// starting with a digit) that no server reserves stands bare, so the
// server's own case rule applies; any other name is quoted with its closing
// quote doubled and NUL bytes dropped. `foldsUnquoted` (Firebird, Oracle)
// upper-cases a plain reserved word before quoting it, so it means what the
// bare name would.
std::string identifier(QuoteStyle style, bool foldsUnquoted, std::string_view name);

// `name` exactly as written, always quoted (its closing quote doubled, NUL
// bytes dropped): the server keeps its case.
std::string exactIdentifier(QuoteStyle style, std::string_view name);

// A name of the form owner.table (or database.table): each part an identifier.
std::string qualifiedIdentifier(QuoteStyle style, bool foldsUnquoted, std::string_view name);

// A declared external name written between double quotes: the exact name
// inside them.
bool quotedName(std::string_view name);

// How a server reads a text literal: quotes doubled everywhere; a
// backslash escapes on SQL Anywhere and MySQL/MariaDB, which also take \0
// and \Z for NUL and Ctrl-Z.
enum class LiteralStyle { Standard, Backslash, MySql };

// `text` as a quoted literal. A NUL byte, which no other server takes in a
// statement, becomes a blank there.
std::string literal(LiteralStyle style, std::string_view text);

}  // namespace velmora::sql
