#pragma once
// What a server says about the table being checked: its columns (SFDQ),
// its keys, indexes and key constraints (SKDQ), the readers' parking queue
// (TIQ) and the current result row of the statement file (ResultRow).
// All are process-wide and used inside the open hook's critical section.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "velmora/runtime/types.h"

namespace upg {

struct ServerColumn {
  std::string name;      // SFDQ:NAME, upper-cased, at most 50 characters
  std::string type;      // SFDQ:TYPE as the reader writes it, at most 30
  std::string altName;   // SFDQ:ALTNAME, as the server spells it
  rt::Byte autoNum = 0;  // SFDQ:AUTONUM, the server generates the values
  rt::Byte nullable = 0; // SFDQ:NULLABLE, as the reader maps it
  rt::Byte dependant = 0;  // SFDQ:DEPENDANT, a key read for the table uses it
  rt::Byte match = 0;    // SFDQ:MATCH, set by the comparison
};

struct ServerKey {
  std::string keyName;   // SKDQ:KEYNAME, upper-cased (MySQL: the server's form)
  std::string att;       // SKDQ:ATT: "primary", "dup" or empty (unique)
  std::string fields;    // SKDQ:FIELDS, column names in key order, blank-separated
  rt::Long numFields = 0;  // SKDQ:NUMFIELDS
  std::string keyFileName;  // SKDQ:KEYFILENAME, as the server spells it
  std::array<rt::Short, 20> fieldNums{};  // SKDQ:FIELDNUMS: n, or -n when descending
  std::string type;      // SKDQ:TYPE
  rt::Long ptr = 0;      // SKDQ:PTR
  rt::Byte index = 0;    // SKDQ:INDEX: 1 a plain index, 0 a key constraint
  std::string tableSpace;  // SKDQ:TABLESPACE
  rt::Byte match = 0;    // SKDQ:MATCH, set by the comparison
};

std::vector<ServerColumn>& SFDQ();
std::vector<ServerKey>& SKDQ();

// SFDQ/SKDQ rows by (upper-cased, clipped) name; nullptr when absent.
ServerColumn* FindServerColumn(std::string_view name);
ServerKey* FindServerKey(std::string_view keyName);

// TIQ: catalogue rows or key names parked while further queries run
// through the same statement file; fifteen texts per row.
using TableInfoRow = std::array<std::string, 15>;
std::vector<TableInfoRow>& TIQ();

// ResultRow: the 40 DS_FIELDn texts of the last row read from the
// statement file (index 0 is DS_FIELD1), at most 255 characters each.
using ResultRowFields = std::array<std::string, 40>;
ResultRowFields& ResultRow();

// NEXT on CurrentSQLFile(): the row goes into ResultRow (clipped texts of
// the record's first 40 fields). False at the end of the result or on an
// error (the runtime's error state tells which); ResultRow is then cleared.
bool NextResultRow();

// The key-column lookup every key reader calls after adding a key column:
// marks the SFDQ row of `column` as used by a key, or traces M38 when the
// column query did not return it.
void LocateKeyField(std::string_view column);

// Reads the server's columns and keys of the checked table into SFDQ and
// SKDQ with the reader of the server code (under "ODB" the ODBC flavour):
// 0 when done (or the server has no reader), 1 when a catalogue query
// failed and was reported.
rt::Long LoadServerStructure(std::string_view serverCode);

// The catalogue readers: 0 done, 1 a query failed and was reported.
rt::Long ds_MSSQLStructure();
rt::Long ds_OracleStructure();
rt::Long ds_ASAStructure();
rt::Long ds_FireBirdStructure();
// Reads through its own ODBC connection; false when it could not read the
// table (reported, queues left empty).
bool ds_MySQLStructure(uintptr_t waitWindow, std::string_view flavour);

// The utility procedures of SQL Server, made once per process.
void CreateUtilitySPs(std::string_view serverCode);

}  // namespace upg
