#include "velmora/runtime/decimal.h"

#include <cstdlib>
#include <cstring>

#include "numtext.h"

namespace rt {
namespace {

// Nibble k (0-based from the high nibble of the first byte).
int GetNibble(const uint8_t* p, uint32_t k) {
  uint8_t b = p[k / 2];
  return (k % 2 == 0) ? b >> 4 : b & 0x0F;
}

void SetNibble(uint8_t* p, uint32_t k, int v) {
  uint8_t& b = p[k / 2];
  b = (k % 2 == 0) ? static_cast<uint8_t>((b & 0x0F) | (v << 4))
                   : static_cast<uint8_t>((b & 0xF0) | (v & 0x0F));
}

// Index of the first digit nibble.
uint32_t FirstDigit(bool pdecimal) { return pdecimal ? 0 : 1; }

void Pack(detail::DecimalText d, uint8_t* out, uint32_t size, uint8_t places, bool pdecimal) {
  if (size == 0) return;
  const uint32_t digits = 2 * size - 1;
  if (places > digits) places = static_cast<uint8_t>(digits);
  d.Round(places);
  std::string all = d.whole + d.fraction;  // fraction has exactly `places` digits
  if (all.size() > digits) all.erase(0, all.size() - digits);
  all.insert(0, digits - all.size(), '0');
  std::memset(out, 0, size);
  bool negative = d.negative && all.find_first_not_of('0') != std::string::npos;
  uint32_t first = FirstDigit(pdecimal);
  for (uint32_t i = 0; i < digits; ++i) SetNibble(out, first + i, all[i] - '0');
  if (pdecimal) SetNibble(out, 2 * size - 1, negative ? 0xD : 0xF);
  else SetNibble(out, 0, negative ? 8 : 0);
}

}  // namespace

void PackDecimal(std::string_view number, uint8_t* out, uint32_t size, uint8_t places,
                 bool pdecimal) {
  Pack(detail::ParseDecimal(number).value_or(detail::DecimalText{}), out, size, places, pdecimal);
}

void PackDecimal(Real value, uint8_t* out, uint32_t size, uint8_t places, bool pdecimal) {
  Pack(detail::FromReal(value), out, size, places, pdecimal);
}

std::string UnpackDecimal(const uint8_t* in, uint32_t size, uint8_t places, bool pdecimal) {
  if (size == 0) return "0";
  const uint32_t digits = 2 * size - 1;
  if (places > digits) places = static_cast<uint8_t>(digits);
  std::string all;
  uint32_t first = FirstDigit(pdecimal);
  for (uint32_t i = 0; i < digits; ++i) {
    int n = GetNibble(in, first + i);
    all += static_cast<char>('0' + (n > 9 ? 0 : n));
  }
  detail::DecimalText d;
  if (pdecimal) {
    int sign = GetNibble(in, 2 * size - 1);
    d.negative = sign == 0xD || sign == 0xB;
  } else {
    d.negative = GetNibble(in, 0) != 0;
  }
  d.whole = all.substr(0, digits - places);
  d.fraction = all.substr(digits - places);
  size_t k = d.whole.find_first_not_of('0');
  d.whole.erase(0, k == std::string::npos ? d.whole.size() : k);
  return d.Text();
}

Real DecimalToReal(const uint8_t* in, uint32_t size, uint8_t places, bool pdecimal) {
  return std::strtod(UnpackDecimal(in, size, places, pdecimal).c_str(), nullptr);
}

}  // namespace rt
