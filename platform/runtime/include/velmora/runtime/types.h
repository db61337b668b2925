#pragma once
// The runtime's scalar types, with the widths stored records rely on.
#include <cstdint>

namespace rt {

using Byte = uint8_t;
using Short = int16_t;
using UShort = uint16_t;
using Long = int32_t;
using ULong = uint32_t;
using SReal = float;
using Real = double;

}  // namespace rt
