#pragma once
// Display pictures: FORMAT turns a value into its picture's text, DEFORMAT
// takes such a text back to the plain value. Pictures are case-insensitive
// and may be given with or without the leading '@'.
//
//   @sN      text of N bytes (clipped or blank-padded)
//   @n...    numbers: [sign][fill]size[grouping][.places|,places|vplaces][sign][b]
//            sign '-' (leading or trailing) or '(' ... ')'; fill '0' (leading
//            zeros) or '_' (blanks); both fills drop the default ',' grouping;
//            grouping '.', '-' or '_' (blank) after the size replaces it;
//            ',places' shows a decimal comma, 'vplaces' an implied point;
//            'b' blanks a zero. Values round half away from zero; a value
//            that does not fit shows as size '#' characters; a negative
//            value under a picture without a sign still shows a leading '-'.
//   @dN[sep][b]  dates (day numbers), N 1..18; sep '.', '-', '_' (blank) or
//            '\'' replaces '/'. @d17 and @d18 (the regional short and long
//            forms) are mm/dd/yyyy and "Month d, yyyy". A zero date is blank.
//   @tN[sep][b]  times (time numbers), N 1..8; sep replaces ':'. @t7 is
//            hh:mm and @t8 hh:mm:ss (the regional forms). A zero time is blank.
//   @p...p   patterns: '#' a digit, '<' a digit shown as a blank while it is a
//            leading zero, any other character as it stands.
#include <string>
#include <string_view>

#include "velmora/runtime/types.h"

namespace rt {

std::string Format(Real value, std::string_view picture);
// Text values: under number, date, time and pattern pictures the text is
// read as a number first.
std::string Format(std::string_view text, std::string_view picture);

// The plain value of a picture's text: the number ("-1234.5"), the day or
// time number, or the digits of a pattern, as text; "" when the text holds
// none. Text pictures return the text unchanged.
std::string Deformat(std::string_view text, std::string_view picture);

}  // namespace rt
