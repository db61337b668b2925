#pragma once
// Packed decimal values as records store them.
//
// A field of `size` bytes holds 2 * size - 1 digits and a sign nibble, the
// last `places` digits after the decimal point.
//   DECIMAL:  the sign is the high nibble of the first byte (0 positive; 8 is
//             written for negative and any non-zero nibble reads as
//             negative), the digits follow.
//   PDECIMAL: the digits come first and the sign is the low nibble of the
//             last byte (0xF written for positive, 0xD for negative; 0xB and
//             0xD read as negative).
// Digit nibbles above 9 read as 0.
#include <cstdint>
#include <string>
#include <string_view>

#include "velmora/runtime/types.h"

namespace rt {

// Packs a number's text (blanks around it, an optional sign, '.' as the
// decimal point), rounded half away from zero to `places`. Integer digits
// the field cannot hold are dropped from the left; a text that is not a
// number packs as zero.
void PackDecimal(std::string_view number, uint8_t* out, uint32_t size, uint8_t places,
                 bool pdecimal);
void PackDecimal(Real value, uint8_t* out, uint32_t size, uint8_t places, bool pdecimal);

// The value as text without leading zeros and with all `places` digits:
// "-123.45", "0.50", "7". Zero is never negative.
std::string UnpackDecimal(const uint8_t* in, uint32_t size, uint8_t places, bool pdecimal);
Real DecimalToReal(const uint8_t* in, uint32_t size, uint8_t places, bool pdecimal);

}  // namespace rt
