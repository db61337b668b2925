#pragma once
// Server names and column types of a declared structure: the name every
// field, blob and key bears on the server, the column type of every field
// in the server's dialect, and the date-time pairs (a STRING(8) with a
// DATE and a TIME grouped over it is one date-time column).
//
// Names longer than the server takes are shortened by ServerName, the one
// routine every statement builder and the INSERT lists use, so a column
// has the same name wherever it is written. Names are then written into
// statements through SqlIdentifier (sqltext.h).
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "velmora/runtime/types.h"
#include "velmora/upgrade/interpret.h"
#include "velmora/upgrade/sqltext.h"

namespace upg {

// The longest name the dialect's server takes (0: no limit known).
size_t NameLimit(Dialect dialect);

// `name` as the server can hold it: unchanged when it fits the limit;
// otherwise its first characters, "_" and ten hexadecimal digits of a hash
// of the whole name (upper-cased, as the servers compare names), exactly
// the limit long. Two names that differ only beyond the limit get
// different names; the same name always gets the same one.
std::string ServerName(Dialect dialect, std::string_view name);

// Whether the dialect's server names indexes and constraints once per
// database (or schema) rather than per table: Firebird, Oracle, and SQL
// Server for constraints.
bool KeyNamesDatabaseWide(Dialect dialect);

// The server name of a declared key without an external name. Where key
// names are database-wide the table's name and the key's label are joined
// (FORMS_ID_KEY), so two tables declaring the same label each get a key of
// their own; elsewhere it is the upper-cased label. Shortened by ServerName.
std::string DeclaredKeyName(Dialect dialect, std::string_view table, std::string_view keyLabel);

// The name the same key bore when it was named by its label alone; a
// server key of that name is the declared key. Blank when the key has an
// external name or its name is the label anyway.
std::string LabelKeyName(Dialect dialect, const KdqRow& key);

// The SQL names of the current table's fields declared with a quoted
// external name: written as quoted identifiers and compared exactly.
// Filled by ds_SetSQLNames for the calling thread.
std::vector<std::string>& ExactNames();
bool ExactName(std::string_view sqlName);

// The last type came from the forced-type list.
rt::Byte& TypeForced();
// The last field was a GROUP (no column of its own).
rt::Byte& GroupDetected();
// The last field became a date-time column: its three following rows
// (the group, the DATE and the TIME) have no column of their own.
rt::Byte& DateTimeGroupDetected();
// The server's case rule has been found (once per process).
rt::Byte& ServerCaseKnown();
// Finds the server's case rule (ServerCaseSensitive) once per process;
// the SQL check calls it before the declaration is interpreted. SQL Server
// is asked through a procedure the engine creates, whose answer the call
// gives back as its result row.
void FindServerCase(std::string_view server, Dialect dialect);

// The column type of FDQ row `position` (1-based) whose type text is
// `type`, for a server code (under "ODB" the ODBC flavour picks the
// dialect). Blank when the dialect has no type for it.
std::string GetSQLDatatype(size_t position, std::string_view type, std::string_view server);
std::string GetSQLDatatype(size_t position, std::string_view type, Dialect dialect);

// 1 when FDQ row `position` (a string of `size`) and the three rows after
// it form a date-time pair; the pair is then added to DTQ and the three
// rows are marked matched.
rt::Byte AddToDateTimeQ(size_t position, std::string_view size);

// The column type of a memo (text) or blob (binary) of MDQ.
std::string GetSQLBlobType(const MdqRow& memo, Dialect dialect);

// Fills the SQL names of FDQ, MDQ and KDQ (and the keys' column lists) of
// the calling thread and finds the server's case rule once per process.
void ds_SetSQLNames(std::string_view server);
void ds_SetSQLNames(std::string_view server, Dialect dialect);

}  // namespace upg
