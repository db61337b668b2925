#pragma once
// Dates and times as the runtime counts them.
//
// A date is a day number: 28 December 1800 is day 0, so 1 January 1801 is
// day 4; 0 means "no date". Day numbers run up to 31 December 9999.
// A time is hundredths of a second since midnight plus 1 (midnight is 1,
// 23:59:59.99 is 8640000); 0 means "no time".
//
// Stored forms, 4 bytes each, read as a little-endian ULong:
//   DATE: byte 0 day, byte 1 month, bytes 2-3 year (little-endian)
//   TIME: byte 0 hundredths, byte 1 seconds, byte 2 minutes, byte 3 hours
// A stored 0 is no date / no time. Midnight (time 1) also stores as 0 and
// therefore reads back as "no time".
#include "velmora/runtime/types.h"

namespace rt {

constexpr Long kMaxDate = 2994626;     // 31 December 9999
constexpr Long kMaxTime = 8640000;     // 23:59:59.99

// Today's date and the time now, in local time.
Long Today();
Long Clock();

// The day number of a date. Months beyond 12 or below 1 carry into the
// year, and days beyond the month (or below 1) into the following (or
// previous) months, so DateOf(13, 1, 2000) is 1 January 2001 and
// DateOf(3, 0, 2000) is 29 February 2000. 0 outside 1801..9999.
Long DateOf(int month, int day, int year);
// Parts of a day number; 0 for a number outside 1..kMaxDate.
int Day(Long date);
int Month(Long date);
int Year(Long date);
// 0 Sunday .. 6 Saturday.
int DayOfWeek(Long date);

// A time number from its parts (each within range); 0 when a part is out
// of range.
Long TimeOf(int hours, int minutes, int seconds, int hundredths = 0);

// Stored DATE and TIME forms. Values out of range store as 0, and stored
// forms that hold no valid date or time read as 0.
ULong PackDate(Long date);
Long UnpackDate(ULong stored);
ULong PackTime(Long time);
Long UnpackTime(ULong stored);

}  // namespace rt
