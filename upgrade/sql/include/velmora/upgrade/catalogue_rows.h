#pragma once
// The rules every catalogue reader follows when it fills SFDQ and SKDQ:
// names and types cut to the queues' sizes, key column lists built in key
// order with descending parts negative, and a failed catalogue query
// reported once with the tag of the query.
#include <string>
#include <string_view>

#include "velmora/runtime/types.h"
#include "velmora/upgrade/server_structure.h"
#include "velmora/upgrade/sql_exec.h"
#include "velmora/upgrade/sqltext.h"

namespace upg {

// Sizes of the queues' texts. Names (SFDQ:NAME, ALTNAME, SKDQ:KEYNAME,
// KEYFILENAME) hold at least 50 characters, and as many as the server
// being read takes (ReadNamesOf), so a name the engine gave a column or key
// is read back whole.
inline constexpr size_t kServerNameSize = 50;
inline constexpr size_t kServerTypeSize = 30;    // SFDQ:TYPE
inline constexpr size_t kServerFieldsSize = 500; // SKDQ:FIELDS

// The server whose catalogue is read next: its names are kept up to its
// own limit. Every reader calls it first.
void ReadNamesOf(Dialect dialect);
// The longest name the queues keep now.
size_t ServerNameSize();

// Adds a column read from the catalogue: `name` as the server spells it
// (the key is its upper-cased form), names cut to ServerNameSize and the type to 30
// characters (SetColumnName, SetColumnType), not yet matched.
void AddServerColumn(std::string_view name, std::string_view type, rt::Byte autoNum,
                     rt::Byte nullable);

// A key being read (StartKey): its names (the key name upper-cased unless
// `keepCase`), kind and index flag; no columns yet.
ServerKey NewServerKey(std::string_view name, std::string_view att, rt::Byte index,
                       bool keepCase = false);

// Appends the next column of `key`: the name joins SKDQ:FIELDS after a
// blank, SKDQ:NUMFIELDS grows by one and its FIELDNUMS entry is n, or -n
// when `descending`. With `lookup` the column is marked in SFDQ as used by
// a key (or M38 traced when the column query did not return it).
void AddKeyColumn(ServerKey& key, std::string_view column, bool descending, bool lookup = true);

// Adds the key to SKDQ, not yet matched.
void AddServerKey(ServerKey key);

// Runs a catalogue query at level 0. When it fails: `message` (M34, or
// M42) with the detail "[" tag "] Error: " + the server's state + " " +
// its text, and the result is 1; else 0.
rt::Long RunCatalogueQuery(std::string_view statement, std::string_view tag,
                           const SqlMessage& message = kM34);

// Reports a catalogue failure that is not a statement of the statement
// file (the detail as above, from `code` and `text`); always 1.
rt::Long CatalogueFailed(std::string_view tag, std::string_view code, std::string_view text,
                         const SqlMessage& message = kM34);

// LoadServerStructure with the ODBC flavour given rather than the setting.
rt::Long LoadServerStructure(std::string_view serverCode, std::string_view odbcFlavour);

// What opens the engine system table (the statement file) before a reader
// runs: OpenRV3SQLFile, or a test's stand-in. Without one, the reader runs
// on the statement file as it is.
using OpenSystemTableCall = rt::Long (*)(std::string_view serverCode);
OpenSystemTableCall& OpenRV3SQLFileCall();

// Row building of the readers that read names and flags one by one.

// SFDQ:NAME and SFDQ:ALTNAME of `column`; its SFDQ:TYPE.
void SetColumnName(ServerColumn& column, std::string_view name);
void SetColumnType(ServerColumn& column, std::string_view type);

// A catalogue's "Y"/"N" nullability flag (any case, blanks aside): 1 and 0;
// any other text leaves `nullable` as it is.
void SetNullableFlag(rt::Byte& nullable, std::string_view flag);

// Starts `key` named `name` without columns: names set, MATCH 0, FIELDS
// empty, NUMFIELDS 0, every FIELDNUMS entry 0. ATT and INDEX are left.
void StartKey(ServerKey& key, std::string_view name);
// `name` (as the server spells it) is the key's name.
bool IsKey(const ServerKey& key, std::string_view name);

// The catalogue row of key `name` with its next `column`: appended to the
// key last added when that has the name, else to a new key started from
// `start` (ATT and INDEX kept) and added to SKDQ; the column is then looked
// up in SFDQ. True when the key is new (SKDQ's last row).
bool AddKeyRowColumn(std::string_view name, std::string_view column, bool descending,
                     const ServerKey& start = {});

// Runs a catalogue query at level 0; when it fails, reports it with
// `message` (M34 or M42) and detail "[" + tag + "] Error: " + the
// file-error code + `separator` + the clipped file-error text, and answers
// false.
bool CatalogueQuery(std::string_view statement, const SqlMessage& message, std::string_view tag,
                    std::string_view separator);

// The number at the start of a catalogue text, 0 when there is none.
rt::Long CatalogueNumber(std::string_view text);

}  // namespace upg
