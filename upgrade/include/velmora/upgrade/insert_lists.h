#pragma once
// The INSERT lists of a conversion into an SQL table: the record copy
// writes no destination record there but the two halves of one INSERT
// statement per record, the column list and the value list. The upgrade
// driver clears them before each record and sends the statement after it.
//
// Every column goes through SqlIdentifier and every value through
// SqlLiteral or HexLiteral of the target's dialect (sqltext.h); numbers
// are written from the value the destination field holds, so no text of
// the source ever reaches the statement unescaped.
//
// A DATE and a TIME grouped OVER a string are one date-time column on the
// server (a DTQ row): their values are kept in the pair during the copy
// and added as one column at the end of the record.
#include <string>
#include <string_view>
#include <vector>

#include "velmora/runtime/types.h"
#include "velmora/upgrade/conversion.h"
#include "velmora/upgrade/sqltext.h"

namespace upg {

// The lists of the current record (process-wide; one conversion runs at
// a time).
struct InsertLists {
  std::string names;             // InsertNames
  std::string values;            // InsertValues
  std::string separator = "  ";  // InsertSeparator
  std::string column;            // InsertColumn
};
InsertLists& Insert();
// Before each record: both lists empty, the separator two blanks.
void ClearInsertLists();

// The dialect of the table being filled (set by the SQL check).
Dialect& InsertDialect();
// 12 (yyyymmdd) or 10 (yyyy/mm/dd, Firebird): the date picture of values.
rt::Long& DatePicture();
// The ZeroNull state of the field being added.
rt::Byte& ZeroNullState();

// DTQ: the date-time pairs (names upper-cased "PRE:NAME").
struct DateTimePair {
  std::string stringName, sqlStringName, dateName, timeName;
  std::string dateValue, timeValue;
};
std::vector<DateTimePair>& DateTimeQueue();

// FSDQ: the forced types, with the fields declared binary.
struct ForcedType {
  std::string field;  // upper-cased "PRE:NAME"
  std::string type;
  rt::Byte isBinary = 0;
};
std::vector<ForcedType>& ForcedTypes();

// The routines of the lists.
void SetValueSeparator();
void AppendColumnName();
void AppendValue(CopyContext& cx);
void BuildColumnName(const FieldRow& dst);
void ZeroNullCheck(const FieldRow& dst);
void ApplyZeroNull(CopyContext& cx);
// The string value (cx.stringValue) as a text or, when cx.binaryFlag is
// set, a binary literal (every byte, trailing blanks included).
void InsertQuotedValue(CopyContext& cx);
void InsertStringValue(CopyContext& cx);      // cx.resultText
void InsertNumberValue(CopyContext& cx);      // cx.resultText, a number's text
void InsertAutoNumberValue(CopyContext& cx, bool isUnsigned);  // cx.integerValue
void InsertDateValue(CopyContext& cx, const FieldRow& dst, rt::Long day);
void InsertTimeValue(CopyContext& cx, const FieldRow& dst, rt::Long time);

}  // namespace upg
