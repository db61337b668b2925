#include "velmora/runtime/numbers.h"

#include <cmath>
#include <cstdlib>
#include <mutex>
#include <random>

#include "numtext.h"

namespace rt {

bool Numeric(std::string_view text) { return detail::ParseDecimal(text).has_value(); }

Real TextToReal(std::string_view text, bool commaDecimal) {
  std::string s = detail::ParseLeadingDecimal(text, commaDecimal).Text();
  return std::strtod(s.c_str(), nullptr);
}

Long TextToLong(std::string_view text, bool commaDecimal) {
  Real v = std::trunc(TextToReal(text, commaDecimal));
  long long wide;
  if (v >= 9.2e18) wide = INT64_MAX;
  else if (v <= -9.2e18) wide = INT64_MIN;
  else wide = static_cast<long long>(v);
  return static_cast<Long>(static_cast<ULong>(static_cast<unsigned long long>(wide)));
}

std::string IntToText(long long value) { return std::to_string(value); }

std::string RealToText(Real value) { return detail::FromReal(value).Text(); }

Long Random(Long low, Long high) {
  static std::mutex lock;
  static std::mt19937 engine{std::random_device{}()};
  if (low > high) std::swap(low, high);
  std::uniform_int_distribution<Long> pick(low, high);
  std::lock_guard<std::mutex> guard(lock);
  return pick(engine);
}

}  // namespace rt
