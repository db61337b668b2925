#pragma once
// Conversions between numbers and text, NUMERIC and RANDOM.
#include <string>
#include <string_view>

#include "velmora/runtime/types.h"

namespace rt {

// 1 when the text, blanks around it aside, is a number: an optional sign,
// digits and at most one decimal point. A blank text is not numeric.
bool Numeric(std::string_view text);

// The leading number of a text (blanks before it skipped); 0 when the text
// does not start with one. `commaDecimal` lets ',' serve as the decimal
// separator as well as '.'.
Real TextToReal(std::string_view text, bool commaDecimal = false);
// As TextToReal, truncated toward zero; values beyond 64 bits saturate and
// the low 32 bits are kept (the processor's conversion).
Long TextToLong(std::string_view text, bool commaDecimal = false);

// Integers as plain digits with a leading '-'.
std::string IntToText(long long value);
// Reals with up to 15 significant digits in fixed notation, no trailing
// zeros and no trailing point ("2.9", "-0.5", "100").
std::string RealToText(Real value);

// A random whole number from low to high, both included (the two may come
// in either order). Safe to call from any thread.
Long Random(Long low, Long high);

}  // namespace rt
