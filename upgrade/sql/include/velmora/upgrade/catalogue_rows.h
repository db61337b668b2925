#pragma once
// Building the rows of SFDQ and SKDQ from a server's catalogue, the way
// every catalogue reader does it.
//
// A column row holds the name twice: upper-cased (the key every lookup
// uses) and as the server spells it, both cut at 50 characters; its type
// text is cut at 30. A key row lists its columns in key order in one text,
// separated by single blanks, and numbers them 1..n in SKDQ:FIELDNUMS with
// -n for a descending column (the first 20 columns have a number).
#include <string_view>

#include "velmora/upgrade/server_structure.h"
#include "velmora/upgrade/sql_exec.h"

namespace upg {

inline constexpr size_t kServerNameLength = 50;
inline constexpr size_t kServerTypeLength = 30;
inline constexpr size_t kKeyFieldsLength = 500;

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
// Appends `column` to the key's FIELDS and numbers it.
void AddKeyColumn(ServerKey& key, std::string_view column, bool descending);

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
