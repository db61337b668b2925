#include "velmora/runtime/text.h"

#include <algorithm>

namespace rt {
namespace {

// Unicode code points of Windows-1252 bytes 0x80..0x9F. The five bytes the
// code page leaves undefined map to the C1 control of the same number.
constexpr char32_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

char ToCp1252(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  for (int i = 0; i < 32; ++i)
    if (kHigh[i] == cp) return static_cast<char>(0x80 + i);
  return '?';
}

// Decodes one UTF-8 sequence at text[i]; advances i. Malformed input
// (bad lead byte, missing continuation, overlong form, surrogate, beyond
// U+10FFFF) yields U+FFFD and skips one byte.
char32_t DecodeUtf8(std::string_view text, size_t& i) {
  unsigned char c = static_cast<unsigned char>(text[i]);
  int extra;
  char32_t cp;
  if (c < 0x80) { ++i; return c; }
  if (c >= 0xC2 && c <= 0xDF) { extra = 1; cp = c & 0x1F; }
  else if (c >= 0xE0 && c <= 0xEF) { extra = 2; cp = c & 0x0F; }
  else if (c >= 0xF0 && c <= 0xF4) { extra = 3; cp = c & 0x07; }
  else { ++i; return 0xFFFD; }
  if (i + extra >= text.size()) { ++i; return 0xFFFD; }
  for (int k = 1; k <= extra; ++k) {
    unsigned char d = static_cast<unsigned char>(text[i + k]);
    if ((d & 0xC0) != 0x80) { ++i; return 0xFFFD; }
    cp = (cp << 6) | (d & 0x3F);
  }
  static constexpr char32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
  if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) { ++i; return 0xFFFD; }
  i += extra + 1;
  return cp;
}

int CompareWith(std::string_view a, std::string_view b, char (*map)(char)) {
  size_t n = std::max(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(map(i < a.size() ? a[i] : ' '));
    unsigned char y = static_cast<unsigned char>(map(i < b.size() ? b[i] : ' '));
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

char Same(char c) { return c; }

}  // namespace

std::string Clip(std::string_view text) {
  size_t n = text.size();
  while (n > 0 && text[n - 1] == ' ') --n;
  return std::string(text.substr(0, n));
}

char UpperChar(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  if (u >= 'a' && u <= 'z') return static_cast<char>(u - 32);
  if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return static_cast<char>(u - 32);
  switch (u) {
    case 0x9A: return static_cast<char>(0x8A);
    case 0x9C: return static_cast<char>(0x8C);
    case 0x9E: return static_cast<char>(0x8E);
    case 0xFF: return static_cast<char>(0x9F);
    default: return c;
  }
}

char LowerChar(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  if (u >= 'A' && u <= 'Z') return static_cast<char>(u + 32);
  if (u >= 0xC0 && u <= 0xDE && u != 0xD7) return static_cast<char>(u + 32);
  switch (u) {
    case 0x8A: return static_cast<char>(0x9A);
    case 0x8C: return static_cast<char>(0x9C);
    case 0x8E: return static_cast<char>(0x9E);
    case 0x9F: return static_cast<char>(0xFF);
    default: return c;
  }
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = UpperChar(c);
  return out;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = LowerChar(c);
  return out;
}

std::string Left(std::string_view text, size_t length) {
  if (length == std::string_view::npos) length = text.size();
  size_t first = text.find_first_not_of(' ');
  std::string out(first == std::string_view::npos ? std::string_view{} : text.substr(first));
  out.resize(length, ' ');
  return out;
}

std::string Right(std::string_view text, size_t length) {
  if (length == std::string_view::npos) length = text.size();
  std::string body = Trim(text);
  if (body.size() >= length) return body.substr(body.size() - length);
  return std::string(length - body.size(), ' ') + body;
}

std::string Trim(std::string_view text) {
  size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return Clip(text.substr(first));
}

std::string Sub(std::string_view text, long start, long length) {
  long size = static_cast<long>(text.size());
  if (length <= 0 || start > size) return {};
  long end;  // one past the last wanted position
  if (__builtin_add_overflow(start, length, &end)) end = size + 1;
  if (start < 1) start = 1;
  if (end > size + 1) end = size + 1;
  if (start >= end) return {};
  return std::string(text.substr(static_cast<size_t>(start - 1), static_cast<size_t>(end - start)));
}

long InString(std::string_view search, std::string_view text, long step, long start) {
  long size = static_cast<long>(text.size());
  long len = static_cast<long>(search.size());
  if (len == 0 || step < 1 || start > size) return 0;
  if (start < 1) start = 1;
  for (long pos = start; pos <= size - len + 1; pos += step) {
    if (text.compare(static_cast<size_t>(pos - 1), search.size(), search) == 0)
      return step == 1 ? pos : (pos - 1) / step + 1;
    if (step > size) break;
  }
  return 0;
}

int CompareText(std::string_view a, std::string_view b) { return CompareWith(a, b, Same); }
int CompareTextNoCase(std::string_view a, std::string_view b) { return CompareWith(a, b, UpperChar); }
bool EqualNoCase(std::string_view a, std::string_view b) { return CompareTextNoCase(a, b) == 0; }

std::string ToUtf8(std::string_view cp1252) {
  std::string out;
  out.reserve(cp1252.size());
  for (char ch : cp1252) {
    unsigned char c = static_cast<unsigned char>(ch);
    AppendUtf8(out, c >= 0x80 && c < 0xA0 ? kHigh[c - 0x80] : c);
  }
  return out;
}

std::string FromUtf8(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) out += ToCp1252(DecodeUtf8(utf8, i));
  return out;
}

}  // namespace rt
