#include "velmora/runtime/picture.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "numtext.h"
#include "velmora/runtime/datetime.h"
#include "velmora/runtime/numbers.h"
#include "velmora/runtime/text.h"

namespace rt {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

const char* const kMonths[12] = {"January", "February", "March",     "April",   "May",      "June",
                                 "July",    "August",   "September", "October", "November", "December"};

enum class Kind { Text, Number, Date, Time, Pattern, Unknown };

struct NumberPicture {
  int size = -1;          // -1: as wide as the value needs
  char leadSign = 0;      // '-' or '('
  char trailSign = 0;     // '-' or ')'
  char fill = ' ';        // ' ', '0'
  char grouping = ',';    // 0 for none
  char point = '.';       // '.', ',' or 0 for an implied point
  int places = 0;
  bool blankZero = false;
};

struct Picture {
  Kind kind = Kind::Unknown;
  int number = 0;          // @s size, @d / @t form
  char separator = 0;      // date/time separator override
  NumberPicture num;
  std::string pattern;     // @p body
};

int ReadInt(std::string_view s, size_t& i) {
  int v = 0;
  bool any = false;
  while (i < s.size() && IsDigit(s[i])) {
    v = std::min(v * 10 + (s[i++] - '0'), 99999);  // long digit runs cannot overflow
    any = true;
  }
  return any ? v : -1;
}

NumberPicture ParseNumber(std::string_view s) {
  NumberPicture p;
  size_t i = 0;
  if (i < s.size() && (s[i] == '-' || s[i] == '(')) p.leadSign = s[i++];
  if (i < s.size() && (s[i] == '0' || s[i] == '_')) {
    p.fill = s[i] == '0' ? '0' : ' ';
    p.grouping = 0;
    ++i;
  }
  p.size = ReadInt(s, i);
  auto placesAt = [&](size_t k) { return k + 1 < s.size() && IsDigit(s[k + 1]); };
  // A '-' after the size groups only when decimals follow; otherwise it is
  // the trailing sign.
  auto decimalsAt = [&](size_t k) {
    return k < s.size() && (s[k] == '.' || s[k] == ',' || s[k] == 'v') && placesAt(k);
  };
  if (i < s.size() && (s[i] == '.' || s[i] == '_' || (s[i] == '-' && decimalsAt(i + 1))) &&
      !placesAt(i)) {
    p.grouping = s[i] == '_' ? ' ' : s[i];
    ++i;
  }
  if (i < s.size() && (s[i] == '.' || s[i] == ',' || s[i] == 'v') && placesAt(i)) {
    p.point = s[i] == 'v' ? 0 : s[i];
    ++i;
    p.places = ReadInt(s, i);
  }
  if (p.point == ',' && p.grouping == ',') p.grouping = '.';
  if (i < s.size() && (s[i] == '-' || s[i] == ')')) p.trailSign = s[i++];
  if (p.leadSign == '(') p.trailSign = ')';
  if (i < s.size() && s[i] == 'b') p.blankZero = true;
  return p;
}

Picture Parse(std::string_view picture) {
  std::string s = Lower(Trim(picture));
  Picture p;
  if (!s.empty() && s[0] == '@') s.erase(0, 1);
  if (s.empty()) return p;
  char k = s[0];
  std::string_view rest = std::string_view(s).substr(1);
  size_t i = 0;
  switch (k) {
    case 's':
      p.kind = Kind::Text;
      p.number = ReadInt(rest, i);
      break;
    case 'n':
      p.kind = Kind::Number;
      p.num = ParseNumber(rest);
      break;
    case 'd':
    case 't':
      p.kind = k == 'd' ? Kind::Date : Kind::Time;
      p.number = ReadInt(rest, i);
      // A trailing 'b' needs no handling: a zero date or time is always blank.
      if (i < rest.size() && (rest[i] == '.' || rest[i] == '-' || rest[i] == '_' || rest[i] == '\''))
        p.separator = rest[i] == '_' ? ' ' : rest[i];
      if (p.number < 1 || p.number > (k == 'd' ? 18 : 8)) p.number = 1;
      break;
    case 'p': {
      p.kind = Kind::Pattern;
      std::string_view body(picture);  // keep the pattern's own case
      size_t first = body.find_first_of("pP");
      size_t last = body.find_last_of("pP");
      p.pattern = last > first ? std::string(body.substr(first + 1, last - first - 1))
                               : std::string(body.substr(first + 1));
      break;
    }
    default:
      break;
  }
  return p;
}

std::string Hashes(int n) { return std::string(static_cast<size_t>(n), '#'); }

std::string FormatNumber(detail::DecimalText v, const NumberPicture& p) {
  v.Round(p.places);
  if (p.blankZero && v.IsZero()) return std::string(static_cast<size_t>(p.size < 0 ? 0 : p.size), ' ');
  std::string whole = v.whole.empty() ? "0" : v.whole;
  if (p.grouping) {
    std::string g;
    for (size_t i = 0; i < whole.size(); ++i) {
      if (i > 0 && (whole.size() - i) % 3 == 0) g += p.grouping;
      g += whole[i];
    }
    whole = g;
  }
  std::string body = whole;
  if (p.places > 0) {
    if (p.point) body += p.point;
    body += v.fraction;
  }
  bool neg = v.negative;
  std::string lead, trail;
  if (p.leadSign == '(') { lead = neg ? "(" : " "; trail = neg ? ")" : " "; }
  else if (p.trailSign == '-') trail = neg ? "-" : " ";
  else if (neg) lead = "-";
  if (p.size < 0) return lead + body + trail;
  int room = p.size - static_cast<int>(lead.size() + trail.size() + body.size());
  if (room < 0) return Hashes(p.size);
  std::string pad(static_cast<size_t>(room), p.fill);
  return p.fill == '0' ? lead + pad + body + trail : pad + lead + body + trail;
}

std::string Two(int v) {
  char b[8];
  std::snprintf(b, sizeof b, "%02d", v % 100);
  return b;
}
std::string Four(int v) {
  char b[8];
  std::snprintf(b, sizeof b, "%04d", v);
  return b;
}

std::string FormatDate(Long date, const Picture& p) {
  if (Day(date) == 0) return {};
  int d = Day(date), m = Month(date), y = Year(date);
  std::string sep(1, p.separator ? p.separator : '/');
  std::string mon = std::string(kMonths[m - 1]);
  std::string mon3 = Upper(mon.substr(0, 3));
  switch (p.number) {
    case 1: return Two(m) + sep + Two(d) + sep + Two(y);
    case 2: case 17: return Two(m) + sep + Two(d) + sep + Four(y);
    case 3: return mon3 + " " + Two(d) + ", " + Four(y);
    case 4: case 18: return mon + " " + std::to_string(d) + ", " + Four(y);
    case 5: return Two(d) + sep + Two(m) + sep + Two(y);
    case 6: return Two(d) + sep + Two(m) + sep + Four(y);
    case 7: return Two(d) + " " + mon3 + " " + Two(y);
    case 8: return Two(d) + " " + mon3 + " " + Four(y);
    case 9: return Two(y) + sep + Two(m) + sep + Two(d);
    case 10: return Four(y) + sep + Two(m) + sep + Two(d);
    case 11: return Two(y) + Two(m) + Two(d);
    case 12: return Four(y) + Two(m) + Two(d);
    case 13: return Two(m) + sep + Two(y);
    case 14: return Two(m) + sep + Four(y);
    case 15: return Two(y) + sep + Two(m);
    default: return Four(y) + sep + Two(m);  // 16
  }
}

std::string FormatTime(Long time, const Picture& p) {
  if (time < 1 || time > kMaxTime) return {};
  Long t = time - 1;
  int h = t / 360000, m = t / 6000 % 60, s = t / 100 % 60;
  std::string sep(1, p.separator ? p.separator : ':');
  auto ampm = [&](std::string rest) {
    int h12 = h % 12 == 0 ? 12 : h % 12;
    return Two(h12) + rest + (h < 12 ? "AM" : "PM");
  };
  switch (p.number) {
    case 2: return Two(h) + Two(m);
    case 3: return ampm(sep + Two(m));
    case 4: case 8: return Two(h) + sep + Two(m) + sep + Two(s);
    case 5: return Two(h) + Two(m) + Two(s);
    case 6: return ampm(sep + Two(m) + sep + Two(s));
    default: return Two(h) + sep + Two(m);  // 1, 7
  }
}

std::string FormatPattern(detail::DecimalText v, const std::string& pattern) {
  v.Round(0);
  std::string digits = v.whole;
  int slots = 0;
  for (char c : pattern) slots += (c == '#' || c == '<');
  if (static_cast<int>(digits.size()) > slots) return Hashes(static_cast<int>(pattern.size()));
  digits.insert(0, static_cast<size_t>(slots) - digits.size(), '0');
  std::string out;
  size_t k = 0;
  bool leading = true;
  for (char c : pattern) {
    if (c == '#' || c == '<') {
      char d = digits[k++];
      if (d != '0') leading = false;
      bool last = k == digits.size();
      out += (c == '<' && leading && d == '0' && !last) ? ' ' : d;
      if (c == '#') leading = false;
    } else {
      out += c;
    }
  }
  return out;
}

std::string Render(const detail::DecimalText& v, std::string_view text, const Picture& p) {
  switch (p.kind) {
    case Kind::Text: {
      std::string s(text);
      if (p.number >= 0) s.resize(static_cast<size_t>(p.number), ' ');
      return s;
    }
    case Kind::Number: return FormatNumber(v, p.num);
    case Kind::Date: {
      detail::DecimalText r = v;
      r.Round(0);
      return FormatDate(r.negative || r.whole.size() > 9 ? 0 : std::stol("0" + r.whole), p);
    }
    case Kind::Time: {
      detail::DecimalText r = v;
      r.Round(0);
      return FormatTime(r.negative || r.whole.size() > 9 ? 0 : std::stol("0" + r.whole), p);
    }
    case Kind::Pattern: return FormatPattern(v, p.pattern);
    default: return std::string(text);
  }
}

// Numbers found in a text, in order.
std::vector<int> NumbersIn(std::string_view text) {
  std::vector<int> out;
  size_t i = 0;
  while (i < text.size()) {
    if (IsDigit(text[i])) out.push_back(ReadInt(text, i));
    else ++i;
  }
  return out;
}

// Splits a run of digits into fields of the given widths ("050126" -> 5,1,26).
std::vector<int> Split(std::string_view digits, std::initializer_list<int> widths) {
  std::vector<int> out;
  size_t i = 0;
  for (int w : widths) {
    if (i + static_cast<size_t>(w) > digits.size()) return {};
    out.push_back(std::stoi(std::string(digits.substr(i, static_cast<size_t>(w)))));
    i += static_cast<size_t>(w);
  }
  return out;
}

int FullYear(int y, size_t digits) {
  if (digits > 2) return y;
  return y < 50 ? 2000 + y : 1900 + y;
}

int MonthByName(std::string_view text) {
  std::string up = Upper(text);
  for (int m = 0; m < 12; ++m)
    if (up.find(Upper(std::string(kMonths[m]).substr(0, 3))) != std::string::npos) return m + 1;
  return 0;
}

std::string DeformatDate(std::string_view text, const Picture& p) {
  std::string t = Trim(text);
  if (t.empty()) return {};
  std::vector<int> n = NumbersIn(t);
  std::string digits;
  for (char c : t) if (IsDigit(c)) digits += c;
  int d = 0, m = 0, y = 0;
  size_t ylen = 4;
  // The year's width: the length of the last (or first) digit run.
  auto lastRunLen = [&]() {
    size_t e = t.find_last_of("0123456789") + 1;
    size_t b = t.find_last_not_of("0123456789", e - 1);
    return e - (b == std::string::npos ? 0 : b + 1);
  };
  auto firstRunLen = [&]() {
    size_t b = t.find_first_of("0123456789");
    size_t e = t.find_first_not_of("0123456789", b);
    return (e == std::string::npos ? t.size() : e) - b;
  };
  switch (p.number) {
    case 3: case 4: case 18: case 7: case 8:
      if (n.size() < 2) return {};
      m = MonthByName(t), d = n[0], y = n[1], ylen = lastRunLen();
      break;
    case 11: case 12: {
      std::vector<int> f = p.number == 11 ? Split(digits, {2, 2, 2}) : Split(digits, {4, 2, 2});
      if (f.empty()) return {};
      y = f[0], m = f[1], d = f[2], ylen = p.number == 11 ? 2 : 4;
      break;
    }
    case 5: case 6:
      if (n.size() < 3) return {};
      d = n[0], m = n[1], y = n[2], ylen = lastRunLen();
      break;
    case 9: case 10:
      if (n.size() < 3) return {};
      y = n[0], m = n[1], d = n[2], ylen = firstRunLen();
      break;
    case 13: case 14:
      if (n.size() < 2) return {};
      m = n[0], y = n[1], d = 1, ylen = lastRunLen();
      break;
    case 15: case 16:
      if (n.size() < 2) return {};
      y = n[0], m = n[1], d = 1, ylen = firstRunLen();
      break;
    default:  // 1, 2, 17
      if (n.size() < 3) return {};
      m = n[0], d = n[1], y = n[2], ylen = lastRunLen();
      break;
  }
  if (m < 1 || m > 12 || d < 1) return {};
  y = FullYear(y, ylen);
  Long date = DateOf(m, d, y);
  if (Day(date) != d) return {};
  return std::to_string(date);
}

std::string DeformatTime(std::string_view text, const Picture& p) {
  std::string t = Trim(text);
  if (t.empty()) return {};
  std::string up = Upper(t);
  std::vector<int> n;
  if (p.number == 2 || p.number == 5) {
    std::string digits;
    for (char c : t) if (IsDigit(c)) digits += c;
    n = p.number == 2 ? Split(digits, {2, 2}) : Split(digits, {2, 2, 2});
  } else {
    n = NumbersIn(t);
  }
  if (n.empty()) return {};
  int h = n[0], m = n.size() > 1 ? n[1] : 0, s = n.size() > 2 ? n[2] : 0;
  if (up.find("PM") != std::string::npos && h < 12) h += 12;
  if (up.find("AM") != std::string::npos && h == 12) h = 0;
  Long time = TimeOf(h, m, s);
  return time ? std::to_string(time) : std::string{};
}

std::string DeformatNumber(std::string_view text, const NumberPicture& p) {
  char point = p.point == ',' ? ',' : '.';
  if (p.grouping == point) point = 0;  // "@n10." groups with '.' and has no decimals
  std::string digits;
  bool neg = false, seenPoint = false;
  for (char c : text) {
    if (IsDigit(c)) digits += c;
    else if (point && c == point && p.point && !seenPoint) { digits += '.'; seenPoint = true; }
    else if (c == '-' || c == '(') neg = true;
  }
  if (digits.find_first_of("0123456789") == std::string::npos) return {};
  if (p.point == 0 && p.places > 0) {
    std::string whole = digits;
    if (whole.size() <= static_cast<size_t>(p.places)) whole.insert(0, static_cast<size_t>(p.places) - whole.size() + 1, '0');
    digits = whole.substr(0, whole.size() - static_cast<size_t>(p.places)) + "." +
             whole.substr(whole.size() - static_cast<size_t>(p.places));
  }
  detail::DecimalText v = detail::ParseDecimal(digits).value_or(detail::DecimalText{});
  v.negative = neg;
  return v.Text();
}

}  // namespace

std::string Format(Real value, std::string_view picture) {
  Picture p = Parse(picture);
  detail::DecimalText v = detail::FromReal(value);
  return Render(v, v.Text(), p);
}

std::string Format(std::string_view text, std::string_view picture) {
  Picture p = Parse(picture);
  return Render(detail::ParseLeadingDecimal(text), text, p);
}

std::string Deformat(std::string_view text, std::string_view picture) {
  Picture p = Parse(picture);
  switch (p.kind) {
    case Kind::Number: return DeformatNumber(text, p.num);
    case Kind::Date: return DeformatDate(text, p);
    case Kind::Time: return DeformatTime(text, p);
    case Kind::Pattern: {
      std::string digits;
      if (text.size() == p.pattern.size()) {
        for (size_t i = 0; i < text.size(); ++i)
          if ((p.pattern[i] == '#' || p.pattern[i] == '<') && IsDigit(text[i])) digits += text[i];
      } else {
        for (char c : text) if (IsDigit(c)) digits += c;
      }
      if (digits.empty()) return {};
      return detail::ParseDecimal(digits)->Text();
    }
    default: return std::string(text);
  }
}

}  // namespace rt
