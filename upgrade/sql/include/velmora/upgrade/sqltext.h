#pragma once
// SQL text built safely: the one place where values become literals and
// names become identifiers in statements sent to a server.
//
// Each server speaks a dialect. A text literal is always written between
// single quotes with every quote inside doubled; MySQL/MariaDB and SQL
// Anywhere also read a backslash as an escape, so there it is doubled too.
// A NUL byte cannot travel inside a statement to most servers: MySQL
// takes it as \0, the others get a blank in its place (the engine's own
// rule for NUL bytes in text fields). Other control bytes are taken
// literally between quotes by every dialect and are kept; MySQL's
// Ctrl-Z is escaped as \Z as its client library does.
//
// Binary values never pass through the text literal: they are written
// once, whole, as a hexadecimal literal in the server's own form.
//
// Identifiers made only of letters, digits, "_", "$" and "#" (not starting
// with a digit) are written as they stand, so the server's own case rules
// apply as for any unquoted name; any other name is quoted in the
// server's way with its closing quote character doubled.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "velmora/sql_names.h"

namespace upg {

// The dialects of the servers (sql_names.h): MsSql ("MSS", or ODBC flavour
// "MSSQL"), Oracle ("ORA", "ORACLE"), Anywhere ("ASA", "ASA"), Firebird
// ("FIREBIRD"), MySql ("MYODBC 2", "MYODBC 3") and Odbc (plain ODBC).
using Dialect = velmora::sql::Dialect;

// The dialect of a server code and, under "ODB", of the ODBC flavour.
Dialect DialectOf(std::string_view serverCode, std::string_view odbcFlavour = {});

// `text` as a quoted string literal of the dialect.
std::string SqlLiteral(Dialect dialect, std::string_view text);

// `name` as an identifier of the dialect.
std::string SqlIdentifier(Dialect dialect, std::string_view name);

// `name` always quoted in the dialect's way, its letter case kept: the
// server takes it exactly as written.
std::string SqlExactIdentifier(Dialect dialect, std::string_view name);

// A name declared between double quotes ("FullName") is meant exactly.
bool QuotedName(std::string_view name);

// A table name, possibly owner.table (or db.table), with each part
// written as an identifier of the dialect.
std::string SqlTableName(Dialect dialect, std::string_view name);

// `length` bytes as the dialect's hexadecimal literal: 0x4142 (SQL Server,
// SQL Anywhere), X'4142' (MySQL, Firebird, plain ODBC; X'' is also a valid
// empty value there), HEXTORAW('4142') (Oracle). Every byte is encoded,
// trailing blanks included.
std::string HexLiteral(Dialect dialect, const uint8_t* bytes, size_t length);

// "0x" followed by two upper-case hexadecimal digits per byte.
std::string HexEncodeString(const uint8_t* bytes, size_t length);

}  // namespace upg
