#include "numtext.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace rt::detail {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

void StripLeadingZeros(std::string& s) {
  size_t k = s.find_first_not_of('0');
  s.erase(0, k == std::string::npos ? s.size() : k);
}

// Reads a number at text[i]; returns false when no digit is there.
bool ReadNumber(std::string_view text, size_t& i, bool comma, DecimalText& out) {
  size_t p = i;
  out = DecimalText{};
  if (p < text.size() && (text[p] == '-' || text[p] == '+')) {
    out.negative = text[p] == '-';
    ++p;
    while (p < text.size() && text[p] == ' ') ++p;  // "- 5" as some pictures show it
  }
  bool any = false;
  while (p < text.size() && IsDigit(text[p])) { out.whole += text[p++]; any = true; }
  if (p < text.size() && (text[p] == '.' || (comma && text[p] == ','))) {
    size_t q = p + 1;
    std::string frac;
    while (q < text.size() && IsDigit(text[q])) frac += text[q++];
    if (any || !frac.empty()) {
      out.fraction = frac;
      any = true;
      p = q;
    }
  }
  if (!any) return false;
  StripLeadingZeros(out.whole);
  i = p;
  return true;
}

}  // namespace

bool DecimalText::IsZero() const {
  return whole.empty() && fraction.find_first_not_of('0') == std::string::npos;
}

void DecimalText::Round(int places) {
  if (places < 0) places = 0;
  if (static_cast<int>(fraction.size()) <= places) {
    fraction.resize(static_cast<size_t>(places), '0');
    return;
  }
  bool up = fraction[static_cast<size_t>(places)] >= '5';
  fraction.resize(static_cast<size_t>(places));
  if (up) {
    std::string all = whole + fraction;
    int k = static_cast<int>(all.size()) - 1;
    while (k >= 0 && all[static_cast<size_t>(k)] == '9') all[static_cast<size_t>(k--)] = '0';
    if (k < 0) all.insert(all.begin(), '1');
    else ++all[static_cast<size_t>(k)];
    whole = all.substr(0, all.size() - fraction.size());
    fraction = all.substr(all.size() - fraction.size());
    StripLeadingZeros(whole);
  }
  if (IsZero()) negative = false;
}

std::string DecimalText::Text() const {
  std::string s;
  if (negative && !IsZero()) s += '-';
  s += whole.empty() ? "0" : whole;
  if (!fraction.empty()) s += "." + fraction;
  return s;
}

std::optional<DecimalText> ParseDecimal(std::string_view text, bool comma) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  DecimalText d;
  if (!ReadNumber(text, i, comma, d)) return std::nullopt;
  while (i < text.size() && text[i] == ' ') ++i;
  if (i != text.size()) return std::nullopt;
  return d;
}

DecimalText ParseLeadingDecimal(std::string_view text, bool comma) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  DecimalText d;
  if (!ReadNumber(text, i, comma, d)) return DecimalText{};
  return d;
}

DecimalText FromReal(double value) {
  DecimalText d;
  if (!std::isfinite(value)) return d;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14e", value);  // 15 significant digits
  std::string_view s(buf);
  d.negative = s[0] == '-';
  if (d.negative) s.remove_prefix(1);
  size_t e = s.find('e');
  std::string digits;
  for (char c : s.substr(0, e)) if (IsDigit(c)) digits += c;
  int exp = std::atoi(std::string(s.substr(e + 1)).c_str());
  // digits = d0 d1 ... d14, value = d0.d1...d14 * 10^exp
  int pointAt = exp + 1;  // digits before the decimal point
  if (pointAt <= 0) {
    d.fraction = std::string(static_cast<size_t>(-pointAt), '0') + digits;
  } else if (pointAt >= static_cast<int>(digits.size())) {
    d.whole = digits + std::string(static_cast<size_t>(pointAt) - digits.size(), '0');
  } else {
    d.whole = digits.substr(0, static_cast<size_t>(pointAt));
    d.fraction = digits.substr(static_cast<size_t>(pointAt));
  }
  while (!d.fraction.empty() && d.fraction.back() == '0') d.fraction.pop_back();
  StripLeadingZeros(d.whole);
  if (d.IsZero()) d.negative = false;
  return d;
}

}  // namespace rt::detail
