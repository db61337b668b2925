#pragma once
// Decimal numbers as digit texts, shared by the number conversions, the
// packed decimals and the pictures. Working on digits keeps values such as
// 2.675 exact where a double would not.
#include <optional>
#include <string>
#include <string_view>

namespace rt::detail {

struct DecimalText {
  bool negative = false;
  std::string whole;     // integer digits, no leading zeros ("" for zero)
  std::string fraction;  // fraction digits, as given

  bool IsZero() const;
  // Rounds half away from zero to `places` fraction digits (padding with zeros).
  void Round(int places);
  // "-123.45"; "0" for zero; the fraction as held.
  std::string Text() const;
};

// Parses optional blanks, a sign, digits with one decimal separator, and
// blanks. `comma` also accepts ',' as the separator. nullopt when the text
// is not such a number (an empty or blank text is not a number).
std::optional<DecimalText> ParseDecimal(std::string_view text, bool comma = false);
// Like ParseDecimal but takes the longest leading number and yields zero
// when there is none.
DecimalText ParseLeadingDecimal(std::string_view text, bool comma = false);
// Exact decimal form of a double with up to 15 significant digits, in fixed
// notation.
DecimalText FromReal(double value);

}  // namespace rt::detail
