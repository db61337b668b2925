#pragma once
// Dates of a PDF document's information ("D:20260412093000+02'00'": year,
// month, day, hours, minutes, seconds, then the time zone) as the user
// reads dates: the program's date and time pictures (@d17, @t7). The
// stored text stays as the document gave it.
#include <string>
#include <string_view>

namespace apppdf {

// The date (and the time of day, when the text has one) in the user's
// format; the text unchanged when it is no PDF date.
std::string ShownPdfDate(std::string_view raw);

}  // namespace apppdf
