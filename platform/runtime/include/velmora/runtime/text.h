#pragma once
// Fixed-length text fields and the runtime's string helpers.
//
// All text inside the runtime is bytes in Windows-1252; ToUtf8/FromUtf8
// convert at the edges. The three field kinds have sizeof == N exactly and
// are standard-layout, so they can sit inside packed record structs:
//   String<N>   N bytes, blank-padded
//   CString<N>  NUL-terminated, at most N-1 characters
//   PString<N>  length byte followed by at most N-1 characters
// Assignment clips what does not fit; comparisons ignore trailing blanks.
#include <compare>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

#include "velmora/runtime/types.h"

namespace rt {

// Text without its trailing blanks.
std::string Clip(std::string_view text);
// Upper and lower case, Windows-1252 letters included.
std::string Upper(std::string_view text);
std::string Lower(std::string_view text);
char UpperChar(char c);
char LowerChar(char c);
// Leading blanks moved to the end: the result keeps the text's length, or
// has `length` bytes (clipped or blank-padded) when one is given.
std::string Left(std::string_view text, size_t length = std::string_view::npos);
// Leading blanks removed and the text placed at the right of `length` bytes
// (the text's own length when none is given).
std::string Right(std::string_view text, size_t length = std::string_view::npos);
// Text without leading and trailing blanks.
std::string Trim(std::string_view text);
// Substring from 1-based `start`, at most `length` bytes; out-of-range parts
// yield less (or empty).
std::string Sub(std::string_view text, long start, long length);
// Searches `search` in `text` at positions start, start+step, ... (1-based).
// Returns the 1-based position where it was found for step 1, and the number
// of the step-sized piece holding it ((position - 1) / step + 1) otherwise;
// 0 when not found or when `search` is empty.
long InString(std::string_view search, std::string_view text, long step = 1,
              long start = 1);
// Case-insensitive (Windows-1252) equality and ordering, trailing blanks ignored.
bool EqualNoCase(std::string_view a, std::string_view b);
// Ordering of two texts as blank-padded fields: the shorter one is compared
// as if padded with blanks; bytes compare unsigned. <0, 0, >0.
int CompareText(std::string_view a, std::string_view b);
int CompareTextNoCase(std::string_view a, std::string_view b);

// Windows-1252 <-> UTF-8. Bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D map to the
// control characters of the same number. FromUtf8 turns characters that
// Windows-1252 cannot hold, and malformed sequences, into '?'.
std::string ToUtf8(std::string_view cp1252);
std::string FromUtf8(std::string_view utf8);

namespace detail {
inline void CopyPadded(char* out, size_t n, std::string_view s, char pad) {
  size_t k = s.size() < n ? s.size() : n;
  if (k) std::memcpy(out, s.data(), k);
  if (n > k) std::memset(out + k, pad, n - k);
}
}  // namespace detail

// Blank-padded text of N bytes (STRING).
template <size_t N>
struct String {
  static_assert(N > 0);
  char data[N];

  String() { std::memset(data, ' ', N); }
  String(std::string_view s) { Assign(s); }
  String(const char* s) { Assign(s); }
  String(const std::string& s) { Assign(s); }
  String& operator=(std::string_view s) { Assign(s); return *this; }
  String& operator=(const char* s) { Assign(s); return *this; }
  String& operator=(const std::string& s) { Assign(s); return *this; }

  void Assign(std::string_view s) { detail::CopyPadded(data, N, s, ' '); }
  static constexpr size_t Size() { return N; }
  std::string Value() const { return std::string(data, N); }
  std::string Clip() const { return rt::Clip(View()); }
  std::string_view View() const { return std::string_view(data, N); }
  operator std::string_view() const { return View(); }
};

// NUL-terminated text of N bytes, at most N-1 characters (CSTRING).
template <size_t N>
struct CString {
  static_assert(N > 0);
  char data[N];

  CString() { std::memset(data, 0, N); }
  CString(std::string_view s) { Assign(s); }
  CString(const char* s) { Assign(s); }
  CString(const std::string& s) { Assign(s); }
  CString& operator=(std::string_view s) { Assign(s); return *this; }
  CString& operator=(const char* s) { Assign(s); return *this; }
  CString& operator=(const std::string& s) { Assign(s); return *this; }

  // A NUL inside `s` ends the value, as it would in the stored field.
  void Assign(std::string_view s) { detail::CopyPadded(data, N - 1, s, '\0'); data[N - 1] = '\0'; }
  static constexpr size_t Size() { return N; }
  std::string Value() const { return std::string(View()); }
  std::string Clip() const { return rt::Clip(View()); }
  std::string_view View() const { return std::string_view(data, ::strnlen(data, N)); }
  const char* c_str() const { return data; }
  operator std::string_view() const { return View(); }
};

// Length-prefixed text of N bytes: one length byte and at most N-1
// characters (PSTRING; N is at most 256).
template <size_t N>
struct PString {
  static_assert(N > 1 && N <= 256);
  unsigned char length;
  char data[N - 1];

  PString() : length(0) { std::memset(data, ' ', N - 1); }
  PString(std::string_view s) { Assign(s); }
  PString(const char* s) { Assign(s); }
  PString(const std::string& s) { Assign(s); }
  PString& operator=(std::string_view s) { Assign(s); return *this; }
  PString& operator=(const char* s) { Assign(s); return *this; }
  PString& operator=(const std::string& s) { Assign(s); return *this; }

  void Assign(std::string_view s) {
    length = static_cast<unsigned char>(s.size() < N - 1 ? s.size() : N - 1);
    detail::CopyPadded(data, N - 1, s.substr(0, length), ' ');
  }
  static constexpr size_t Size() { return N; }
  std::string Value() const { return std::string(View()); }
  std::string Clip() const { return rt::Clip(View()); }
  // A damaged length byte never reads past the field.
  std::string_view View() const { return std::string_view(data, length < N - 1 ? length : N - 1); }
  operator std::string_view() const { return View(); }
};

template <class T> inline constexpr bool kIsTextField = false;
template <size_t N> inline constexpr bool kIsTextField<String<N>> = true;
template <size_t N> inline constexpr bool kIsTextField<CString<N>> = true;
template <size_t N> inline constexpr bool kIsTextField<PString<N>> = true;

template <class A, class B>
concept TextComparable = (kIsTextField<A> || kIsTextField<B>) &&
                         std::is_convertible_v<const A&, std::string_view> &&
                         std::is_convertible_v<const B&, std::string_view>;

// Field against field or against any text; trailing blanks do not count.
template <class A, class B>
  requires TextComparable<A, B>
bool operator==(const A& a, const B& b) {
  return CompareText(std::string_view(a), std::string_view(b)) == 0;
}
template <class A, class B>
  requires TextComparable<A, B>
std::weak_ordering operator<=>(const A& a, const B& b) {
  return CompareText(std::string_view(a), std::string_view(b)) <=> 0;
}

}  // namespace rt
