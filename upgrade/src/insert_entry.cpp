// The record copy's INSERT-list entry points: nothing to add without an
// SQL destination.
#include "copy_internal.h"

namespace upg {

void BeginColumn(CopyContext&, const FieldRow&) {}
rt::Byte GetBinaryFlag(const FieldRow&) { return 0; }
void InsertText(CopyContext&, const FieldRow&) {}
void InsertValue(CopyContext&, const FieldRow&) {}
void InsertGuid(CopyContext&, const FieldRow&) {}
void InsertDateTimePairs(CopyContext&) {}

}  // namespace upg
