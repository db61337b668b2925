#include "velmora/runtime/datetime.h"

#include <ctime>
#include <sys/time.h>

namespace rt {
namespace {

// Days since 1 January 1970 of a proleptic Gregorian date.
constexpr long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

struct Civil { int y; int m; int d; };

Civil CivilFromDays(long long z) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long y = static_cast<long long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return Civil{static_cast<int>(y + (m <= 2)), static_cast<int>(m), static_cast<int>(d)};
}

// Day 0 of the runtime's count: 28 December 1800.
constexpr long long kEpoch = DaysFromCivil(1800, 12, 28);

bool InRange(Long date) { return date >= 1 && date <= kMaxDate; }

std::tm LocalNow(long* micros) {
  timeval tv{};
  gettimeofday(&tv, nullptr);
  std::tm tm{};
  time_t secs = tv.tv_sec;
  localtime_r(&secs, &tm);
  if (micros) *micros = tv.tv_usec;
  return tm;
}

}  // namespace

Long Today() {
  std::tm tm = LocalNow(nullptr);
  return DateOf(tm.tm_mon + 1, tm.tm_mday, tm.tm_year + 1900);
}

Long Clock() {
  long micros = 0;
  std::tm tm = LocalNow(&micros);
  int sec = tm.tm_sec > 59 ? 59 : tm.tm_sec;  // a leap second stays within the day
  return TimeOf(tm.tm_hour, tm.tm_min, sec, static_cast<int>(micros / 10000));
}

Long DateOf(int month, int day, int year) {
  long long m = static_cast<long long>(month) - 1;
  long long y = year + (m >= 0 ? m / 12 : -((11 - m) / 12));
  m -= (y - year) * 12;
  if (y < 1700 || y > 10100) return 0;  // far outside; avoids overflow below
  long long n = DaysFromCivil(y, static_cast<unsigned>(m + 1), 1) + (static_cast<long long>(day) - 1) - kEpoch;
  if (n < 4 || n > kMaxDate) return 0;
  return static_cast<Long>(n);
}

int Day(Long date) { return InRange(date) ? CivilFromDays(date + kEpoch).d : 0; }
int Month(Long date) { return InRange(date) ? CivilFromDays(date + kEpoch).m : 0; }
int Year(Long date) { return InRange(date) ? CivilFromDays(date + kEpoch).y : 0; }
int DayOfWeek(Long date) { return static_cast<int>(((date % 7) + 7) % 7); }

Long TimeOf(int hours, int minutes, int seconds, int hundredths) {
  if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59 || seconds < 0 || seconds > 59 ||
      hundredths < 0 || hundredths > 99)
    return 0;
  return ((hours * 60 + minutes) * 60 + seconds) * 100 + hundredths + 1;
}

ULong PackDate(Long date) {
  if (!InRange(date)) return 0;
  Civil c = CivilFromDays(date + kEpoch);
  return static_cast<ULong>(c.d) | static_cast<ULong>(c.m) << 8 | static_cast<ULong>(c.y) << 16;
}

Long UnpackDate(ULong stored) {
  int d = static_cast<int>(stored & 0xFF);
  int m = static_cast<int>((stored >> 8) & 0xFF);
  int y = static_cast<int>(stored >> 16);
  if (m < 1 || m > 12 || d < 1) return 0;
  Long n = DateOf(m, d, y);
  return Day(n) == d ? n : 0;  // 31 February is no date
}

ULong PackTime(Long time) {
  if (time < 1 || time > kMaxTime) return 0;
  ULong t = static_cast<ULong>(time - 1);
  ULong hs = t % 100, s = t / 100 % 60, m = t / 6000 % 60, h = t / 360000;
  return hs | s << 8 | m << 16 | h << 24;
}

Long UnpackTime(ULong stored) {
  if (stored == 0) return 0;
  return TimeOf(static_cast<int>(stored >> 24), static_cast<int>((stored >> 16) & 0xFF),
                static_cast<int>((stored >> 8) & 0xFF), static_cast<int>(stored & 0xFF));
}

}  // namespace rt
