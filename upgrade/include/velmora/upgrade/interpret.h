#pragma once
// The declared structure as readable rows: every field, key and memo of a
// declaration rendered as text in three per-thread queues, FDQ (fields),
// KDQ (keys) and MDQ (memos and blobs), plus the file's prefix. The SQL
// back-ends give these rows server names, match them against a server's
// catalogue and build statements from them.
//
// FDQ has one row per member descriptor in declaration order (a group and
// each of its members have a row of their own; row n is field number n,
// the number key components refer to). Names lose their prefix and read
// "Formname" for FOR:FORMNAME. A key's FIELDS text is its column names,
// each after one blank: the field's name upper-cased, or its external
// name (as written when the server compares names exactly). A key on the
// DATE or TIME part of a date-time pair (a DATE and a TIME grouped OVER a
// string, marked "realfield"/"unrealfield") becomes a key on the pair's
// column, which is named once even when both parts are components.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "velmora/files/decl.h"
#include "velmora/runtime/types.h"

namespace upg {

struct FdqRow {
  std::string name;        // "Formname"
  std::string type;        // "cstring(80)", "decimal(7,2)", "group (next 2 fields)"
  std::string attrib;      // " other", " picture", " over", " dim(3,4)", " name(x)"
  rt::Long offset = 0;     // 0-based record position
  std::string other;       // strings: "(80)" or "(@s30)"
  rt::Long length = 0;     // one element's size; a group's length
  rt::Long typeNum = 0;
  rt::Byte places = 0, chars = 0;
  rt::Long cnum = 0;       // display column ((n - 1) mod 75) + 1
  std::string cpict;       // display picture
  rt::Long width = 65;
  rt::Long onum = 0;
  std::string opict;
  rt::Long owid = 0;
  std::array<rt::Long, 4> dims{};    // 0 where not declared
  std::array<rt::Byte, 4> array{1, 1, 1, 1};
  std::array<rt::Long, 4> factor{};  // element strides
  std::string picture;     // a string's declared picture
  std::string altName;     // external name without enclosing quotes
  rt::Byte exactName = 0;  // the external name was quoted: its case is meant
  rt::Byte over = 0;       // OVER another field
  std::string sqlName;     // set by the SQL naming
  rt::Byte dctMaster = 0, pkField = 0, match = 0;
};

// A column name as one word of a blank-separated key column list (KDQ and
// SKDQ fields): a blank inside the name is held as \x1F, so a name such as
// "Order No" stays one column. KeyListColumn gives the name back.
std::string KeyListWord(std::string_view column);
std::string KeyListColumn(std::string_view word);

struct KdqRow {
  std::string keyName;     // "Id_key"
  std::string att;         // " other", " dup", " opt", " nocase", " primary"
  std::string fields;      // " COL1 COL2", each column a KeyListWord
  rt::Long numFields = 0;
  std::string keyFileName;  // the key's external name
  // Signed field numbers (negative: descending), one per column of
  // `fields`, in the same order.
  std::vector<rt::Short> fieldNums;
  std::string type;
  const db::KeyDesc* ptr = nullptr;
  std::string sqlKeyName;
  rt::Byte dctMaster = 0;  // 1 for a primary key, else the create check
  rt::Byte match = 0;
};

struct MdqRow {
  std::string memoName;    // "Pdfdata"
  rt::Long length = 0;
  std::string attrib;      // "Ascii" or "Binary"
  std::vector<uint8_t>* ptr = nullptr;
  std::string memoFileName;  // the memo's external name
  rt::Byte type = 0;       // 1 text memo, 2 blob
  rt::Byte match = 0;
  std::string sqlName;
};

// The calling thread's queues (FilePrefix() of conversion.h is the
// thread's prefix).
std::vector<FdqRow>& Fdq();
std::vector<KdqRow>& Kdq();
std::vector<MdqRow>& Mdq();

// Fills FDQ, KDQ, MDQ and FilePrefix() of the calling thread from the
// declared file. A key component naming no field shows the stop box
// "RV3: kfn ..." and is left out of the key.
void ds_InterpretStructure(db::FileDecl& file);

// Names are compared exactly on the server (set by the SQL naming once
// per process); otherwise they are upper-cased.
rt::Byte& ServerCaseSensitive();

// The table of the file being checked (set by the SQL check).
std::string& SQLTableName();

// The wait window's line while a table is checked (its progress is the
// scripts' ProgressPercent).
std::string& WaitMessage();

// The create flags of a field and a key (1 or 0) for the file text
// (prefix + ":" + table) and the field's or key's full label: the
// options "dctmasterfields" and "dctmasterkeys".
rt::Byte ds_CheckCreateField(std::string_view fileText, std::string_view fieldText);
rt::Byte ds_CheckCreateKey(std::string_view fileText, std::string_view keyText);

// Cuts `text` before the blank that precedes a marker word ("READONLY",
// "BINARY") of an external name; false when the word is absent.
bool CutAtMarker(std::string& text, std::string_view word);

// "Formname" for "FORMNAME": lower-cased, first letter upper-cased.
std::string CapitalisedName(std::string_view name);

}  // namespace upg
