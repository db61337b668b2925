// PDF information dates in the user's format.
#include "velmora/apppdf/pdfdate.h"

#include <vector>

#include "velmora/runtime/datetime.h"
#include "velmora/runtime/picture.h"
#include "velmora/runtime/text.h"

namespace apppdf {

std::string ShownPdfDate(std::string_view raw) {
  const std::string text = rt::Trim(raw);
  std::string_view s = text;
  if (s.substr(0, 2) == "D:") s.remove_prefix(2);
  size_t digits = 0;
  while (digits < s.size() && digits < 14 && s[digits] >= '0' && s[digits] <= '9') ++digits;
  // the year alone is a date; a part cut in half is not
  if (digits < 4 || digits % 2 != 0) return text;
  auto part = [&](size_t at, size_t length, int missing) {
    return at + length <= digits ? std::stoi(std::string(s.substr(at, length))) : missing;
  };
  const int year = part(0, 4, 0), month = part(4, 2, 1), day = part(6, 2, 1);
  const rt::Long date = rt::DateOf(month, day, year);
  if (month < 1 || month > 12 || day < 1 || date == 0 || rt::Day(date) != day) return text;
  std::string shown = rt::Format(static_cast<rt::Real>(date), "@d17");
  if (digits >= 10) {
    const int hours = part(8, 2, 0), minutes = part(10, 2, 0), seconds = part(12, 2, 0);
    if (hours > 23 || minutes > 59 || seconds > 59) return text;
    shown += " " + rt::Format(static_cast<rt::Real>(rt::TimeOf(hours, minutes, seconds)), "@t7");
  }
  return shown;
}

}  // namespace apppdf
