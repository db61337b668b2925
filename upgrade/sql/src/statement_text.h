#pragma once
// Helpers shared by the statement builders: names written for the
// server, the case rule of comparisons, the key statements, progress.
#include <string>
#include <string_view>
#include <vector>

#include "velmora/upgrade/interpret.h"
#include "velmora/upgrade/server_structure.h"
#include "velmora/upgrade/sqltext.h"

namespace upg::stmt {

// A name as the server holds it, quoted where the dialect needs it.
std::string Id(Dialect d, std::string_view name);
// The checked table's name ({T}), with its owner.
std::string Table(Dialect d);
// The blank-separated words of a text; a key column list's words are
// given back as their column names (KeyListColumn).
std::vector<std::string> Words(std::string_view text);
// Names compared under the server's case rule.
// A name written unquoted is held upper-cased by Firebird and Oracle.
std::string Folded(Dialect d, std::string_view name);
bool SameName(Dialect d, std::string_view a, std::string_view b);
// A declared name and a server's name are the same column or key.
bool SameDeclared(Dialect d, std::string_view declared, std::string_view server);
// A declared key and a server key of this name are the same key: the
// key's server name, or the label alone it was named by before.
bool SameKey(Dialect d, const KdqRow& declared, std::string_view server);
// A declared name or blank-separated list as the server holds it, folded.
std::string ServerFolded(Dialect d, std::string_view names);
// One SQ row.
void Queue(std::string sql);
// Advances the wait window's progress to `done` of `total` (nothing for
// a total of 0 or while upgrading silently).
void Advance(size_t done, size_t total);

// Whether part `part` (0-based) of a declared key is descending as the
// server holds it: a Firebird index runs one way, descending only when
// every part is; a key mixing directions is held ascending.
bool HeldDescending(Dialect d, const KdqRow& key, size_t part);

// The four statements that create a key.
enum class KeyKind { None, Index, UniqueIndex, UniqueConstraint, PrimaryKey };
// How a declared key is created: by containment in its attributes,
// primary first; an unmanaged dup key is not created.
KeyKind DeclaredKind(const KdqRow& key);
// How a server key is created back from its own definition.
KeyKind ServerKind(const ServerKey& key);
// The statement creating the declared key at KDQ row `row` (0-based) as
// `kind`; blank for KeyKind::None.
std::string CreateKeyStatement(Dialect d, size_t row, KeyKind kind);
// The statement creating a server key back from its own definition.
std::string RecreateServerKeyStatement(Dialect d, size_t row);
// The statement dropping the server key at SKDQ row `row` (0-based).
std::string DropKeyStatement(Dialect d, size_t row);

// The Firebird generator and its trigger numbering `column` (once).
void QueueFirebirdAutoNumber(std::string_view column);

}  // namespace upg::stmt
