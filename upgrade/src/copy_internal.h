#pragma once
// The record copy's shared helpers, and its hand-over to the INSERT lists
// of an SQL conversion (reached only under ConversionDetected, which this
// program never raises: the SQL back-ends fill those in).
#include "velmora/upgrade/conversion.h"
#include "velmora/upgrade/settings.h"

namespace upg {

// A trace line built only when its flag is on (the copy runs per field of
// every record).
template <typename Make>
void TraceIf(Flag f, Make make) {
  if (FlagOn(f)) WriteTrace(make());
}

// The destination column's name and its zero-null state.
void BeginColumn(CopyContext& cx, const FieldRow& dst);
// 1 when the destination column is declared binary.
rt::Byte GetBinaryFlag(const FieldRow& dst);
// The column and its value after a text copy (cx.stringValue) or a value
// conversion (cx.resultText, cx.workValue).
void InsertText(CopyContext& cx, const FieldRow& dst);
void InsertValue(CopyContext& cx, const FieldRow& dst);
// A primed GUID column (cx.resultText).
void InsertGuid(CopyContext& cx, const FieldRow& dst);
// The date-time pairs of the record.
void InsertDateTimePairs(CopyContext& cx);

}  // namespace upg
