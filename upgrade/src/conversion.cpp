// The field conversion: one element of a source field into a destination
// field of any value type. Text fields of the same picture are copied as
// text; every other pair goes through one value (integer, real, day or
// time number, text) and is stored in the destination's form.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <span>

#include "copy_internal.h"
#include "velmora/runtime/datetime.h"
#include "velmora/runtime/numbers.h"
#include "velmora/runtime/picture.h"
#include "velmora/runtime/text.h"
#include "velmora/upgrade/conversion.h"
#include "velmora/upgrade/settings.h"
#include "velmora/win/win.h"

namespace upg {
namespace {

using T = db::Type;

T TypeOf(uint8_t t) { return static_cast<T>(t); }
bool IsMemo(uint8_t t) { return t == kMemoRowType; }
bool IsText(uint8_t t) {
  return IsMemo(t) || t == uint8_t(T::String) || t == uint8_t(T::CString) ||
         t == uint8_t(T::PString);
}

// The bytes of one element: a memo's whole buffer, else the element.
std::span<const uint8_t> SourceBytes(const CopyContext& cx, const FieldRow& src) {
  if (IsMemo(src.type)) {
    if (!src.ptr) return {};
    return {src.ptr->data(), src.ptr->size()};
  }
  return {cx.sourceRecord + src.offset - 1 + cx.sourceOffset, src.len};
}

// A text field's text, delimited by its own form: a CSTRING ends at its
// zero byte, a PSTRING holds as many bytes as its length byte says.
std::string_view TextOf(uint8_t type, std::span<const uint8_t> b) {
  const char* p = reinterpret_cast<const char*>(b.data());
  if (type == uint8_t(T::CString)) {
    const void* zero = std::memchr(p, 0, b.size());
    return std::string_view(p, zero ? static_cast<size_t>(static_cast<const char*>(zero) - p) : b.size());
  }
  if (type == uint8_t(T::PString)) {
    if (b.empty()) return {};
    size_t n = std::min<size_t>(b[0], b.size() - 1);
    return std::string_view(p + 1, n);
  }
  return std::string_view(p, b.size());
}

std::string ClipBlanks(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::string_view ClipBlanks(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

bool CountsAsBlankPadded(uint8_t type) { return type == uint8_t(T::String) || IsMemo(type); }

// Stores a text in a text destination. A STRING is blank-padded, a CSTRING
// keeps its last byte for the terminator and is zero-filled, a PSTRING
// gets the length byte of its text, a memo takes the whole text.
void StoreText(const CopyContext& cx, const FieldRow& dst, std::string_view text,
               uint8_t sourceType) {
  if (IsMemo(dst.type)) {  // a memo holds the text without the STRING's padding
    if (sourceType == uint8_t(T::String)) text = ClipBlanks(text);
    if (dst.ptr) dst.ptr->assign(text.begin(), text.end());
    return;
  }
  uint8_t* to = cx.destRecord + dst.offset - 1 + cx.destOffset;
  size_t len = dst.len;
  if (len == 0) return;
  switch (TypeOf(dst.type)) {
    case T::CString: {
      while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.remove_suffix(1);
      size_t n = std::min(text.size(), len - 1);
      std::memmove(to, text.data(), n);
      std::memset(to + n, 0, len - n);
      break;
    }
    case T::PString: {
      if (CountsAsBlankPadded(sourceType)) text = ClipBlanks(text);
      size_t n = std::min({text.size(), len - 1, size_t{255}});
      to[0] = static_cast<uint8_t>(n);
      std::memmove(to + 1, text.data(), n);
      std::memset(to + 1 + n, ' ', len - 1 - n);
      break;
    }
    default: {  // STRING
      size_t n = std::min(text.size(), len);
      std::memmove(to, text.data(), n);
      std::memset(to + n, ' ', len - n);
    }
  }
}

// The text copy between text fields of the same picture.
void TextCopy(CopyContext& cx, FieldRow& src, const FieldRow& dst) {
  std::span<const uint8_t> bytes = SourceBytes(cx, src);
  if (IsMemo(src.type) && IsMemo(dst.type)) {  // whole, whatever its size
    if (dst.ptr) dst.ptr->assign(bytes.begin(), bytes.end());
    return;
  }
  std::string_view text = TextOf(src.type, bytes);
  TraceIf(Flag::D, [&] {
    return "Converting Field Part 2f " + std::to_string(src.len) + " " +
           std::to_string(dst.len) + " " + std::to_string(text.size());
  });
  cx.stringValue.clear();
  cx.emptyFlag = 1;
  cx.binaryFlag = GetBinaryFlag(dst);
  bool sql = ConversionDetected();
  bool zeros = !IsMemo(src.type) && std::memchr(text.data(), 0, text.size()) != nullptr;
  if (zeros || sql) {
    for (char c : text) {
      if (c == '\0' && !cx.binaryFlag) {
        win::OutputDebugStringA(
            ("[RV3][ERROR] NULL DATA IN NON BINARY STRING (*CHANGED TO SPACE*) record: " +
             std::to_string(RecordNumber()) + " :: " + rt::Clip(dst.name))
                .c_str());
        c = ' ';
      }
      if (c != ' ') cx.emptyFlag = 0;
      if (sql) cx.stringValue.push_back(c);  // escaped once, by the INSERT lists
    }
  } else if (text.find_first_not_of(' ') != std::string::npos) {
    cx.emptyFlag = 0;
  }
  Trace(Flag::D, "Converting Field Part 2q ");
  StoreText(cx, dst, text, src.type);
  if (ConversionDetected()) InsertText(cx, dst);
  Trace(Flag::D, "Converting Field Part 2 Done");
}

// ---- packed decimals

int Nibble(const uint8_t* b, int k) {  // 1-based, from the high nibble of byte 0
  uint8_t v = b[(k - 1) / 2];
  return (k % 2) ? v >> 4 : v & 0xF;
}

void SetNibble(uint8_t* b, int k, int value) {
  uint8_t& v = b[(k - 1) / 2];
  if (k % 2)
    v = static_cast<uint8_t>((v & 0x0F) | (value << 4));
  else
    v = static_cast<uint8_t>((v & 0xF0) | (value & 0xF));
}

char Digit(int n) { return n > 9 ? '0' : static_cast<char>('0' + n); }

// L: characters before the first "." (or the run of number characters).
int IntegerLength(const std::string& s) {
  size_t dot = s.find('.');
  if (dot != std::string::npos) return static_cast<int>(dot);
  size_t n = 0;
  while (n < s.size() && n < 35 && (std::isdigit(static_cast<unsigned char>(s[n])) ||
                                    s[n] == '.' || s[n] == '-' || s[n] == '+'))
    ++n;
  return static_cast<int>(n);
}

std::string LeftJustify(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  return std::string(s.substr(i));
}

// Puts digits from the text at 1-based reading position r into nibbles
// w..last, passing over a "." wherever it stands.
void FillDigits(uint8_t* out, const std::string& s, int w, int last, int r) {
  for (; w <= last; ++w, ++r) {
    if (r >= 1 && r <= static_cast<int>(s.size()) && s[r - 1] == '.') ++r;
    char c = (r >= 1 && r <= static_cast<int>(s.size())) ? s[r - 1] : ' ';
    SetNibble(out, w, (c - '0') & 0xF);
  }
}

}  // namespace

// ---- the packers

std::string DecimalToText(const uint8_t* b, int chars, int places) {
  std::string t = Nibble(b, 1) != 0 ? "-" : "";
  if (chars == places) t += '.';
  for (int k = 2; k <= chars + 1; ++k) {
    t += Digit(Nibble(b, k));
    if (k == chars - places + 1 && chars != places) t += '.';
  }
  return t.substr(0, 35);
}

std::string PDecimalToText(const uint8_t* b, uint32_t len, int chars, int places) {
  std::string t = (len > 0 && (b[len - 1] & 0xF) == 0xD) ? "-" : "";
  if (chars == places) t += '.';
  for (int k = 1; k <= chars; ++k) {
    t += Digit(Nibble(b, k));
    if (k == chars - places && chars != places) t += '.';
  }
  return t.substr(0, 35);
}

void TextToDecimal(std::string_view text, uint8_t* out, uint32_t len, int chars, int places) {
  std::string s = LeftJustify(text);
  std::memset(out, 0, len);
  int r = 1;
  bool negative = !s.empty() && s[0] == '-';
  if (negative) {
    SetNibble(out, 1, 8);
    r = 2;
  }
  int L = IntegerLength(s), D = chars - places, w = 2;
  if (L < D || (L == D && negative))
    w = D - L + r + 1;
  else if (L > D)
    r = L - D + 1;
  FillDigits(out, s, w, chars + 1, r);
}

void TextToPDecimal(std::string_view text, uint8_t* out, uint32_t len, int chars, int places) {
  std::string s = LeftJustify(text);
  std::memset(out, 0, len);
  if (len == 0) return;
  int r = 1;
  bool negative = !s.empty() && s[0] == '-';
  if (negative) r = 2;
  out[len - 1] = static_cast<uint8_t>((out[len - 1] & 0xF0) | (negative ? 0xD : 0xF));
  int L = IntegerLength(s), D = chars - places, w = 1;
  if (L < D || (L == D && negative))
    w = D - L + r;
  else if (L > D)
    r = L - D + 1;
  FillDigits(out, s, w, chars, r);
}

// The tidying of a number's text: no trailing ".", no leading zeros.
std::string TrimNumberText(std::string s) {
  size_t last = s.find_last_not_of(' ');
  if (last != std::string::npos && s[last] == '.') s[last] = ' ';
  if (!s.empty() && s[0] == '-') {
    while (s.size() > 1 && s[1] == '0') s.erase(1, 1);
  } else {
    while (!s.empty() && s[0] == '0') s.erase(0, 1);
  }
  return ClipBlanks(std::move(s));
}

bool IsFormatted(std::string_view value) {
  for (char c : rt::Clip(value))
    if (!std::isdigit(static_cast<unsigned char>(c)) && c != ' ' && c != '.' && c != '-')
      return true;
  return false;
}

namespace {

// ---- the value conversion

struct Value {
  enum Kind { None, Int, Real, Text, Date, Time } kind = None;
  int64_t i = 0;
  double r = 0;
  bool single = false;  // a real that came from an SREAL
  std::string text;
};

Value Make(Value::Kind kind, int64_t i) {
  Value v;
  v.kind = kind;
  v.i = i;
  return v;
}

template <typename V>
V Load(std::span<const uint8_t> b) {
  V v{};
  std::memcpy(&v, b.data(), std::min(sizeof v, b.size()));
  return v;
}

Value ReadValue(CopyContext& cx, FieldRow& src) {
  std::span<const uint8_t> b = SourceBytes(cx, src);
  Value v;
  switch (TypeOf(src.type)) {
    case T::Byte: v = Make(Value::Int, Load<uint8_t>(b)); break;
    case T::Short: v = Make(Value::Int, Load<int16_t>(b)); break;
    case T::UShort: v = Make(Value::Int, Load<uint16_t>(b)); break;
    case T::Long: v = Make(Value::Int, Load<int32_t>(b)); break;
    case T::ULong: v = Make(Value::Int, Load<uint32_t>(b)); break;
    case T::Date: v = Make(Value::Date, rt::UnpackDate(Load<uint32_t>(b))); break;
    case T::Time: v = Make(Value::Time, rt::UnpackTime(Load<uint32_t>(b))); break;
    case T::SReal:
      v.kind = Value::Real;
      v.r = Load<float>(b);
      v.single = true;
      break;
    case T::Real:
      v.kind = Value::Real;
      v.r = Load<double>(b);
      break;
    case T::Decimal:
      v.kind = Value::Text;
      v.text = b.size() >= (src.chars + 2u) / 2 ? DecimalToText(b.data(), src.chars, src.places) : "";
      src.type = uint8_t(T::String);
      TraceIf(Flag::B, [&] { return "src decimal, now string (18)? " + std::to_string(src.type); });
      break;
    case T::PDecimal:
      v.kind = Value::Text;
      v.text = b.size() >= (src.chars + 1u) / 2
                   ? PDecimalToText(b.data(), static_cast<uint32_t>(b.size()), src.chars, src.places)
                   : "";
      src.type = uint8_t(T::String);
      break;
    default:
      if (!IsText(src.type)) break;  // BFLOAT4, BFLOAT8: no rule
      v.kind = Value::Text;
      v.text = TextOf(src.type, b);
      if (!rt::Clip(src.picture).empty()) {
        bool early = RecordNumber() < 5;  // reported for the first records only
        if (early) Trace(Flag::B, "Is Formatted? : " + rt::Clip(v.text) + " pic : " + src.picture);
        if (IsFormatted(v.text)) {
          v.text = rt::Deformat(v.text, src.picture);
          if (early) Trace(Flag::B, "After Deformatting " + v.text + " pic : " + src.picture);
        } else if (early) {
          Trace(Flag::B, "Not deformatted : " + v.text + " pic : " + src.picture);
        }
      }
  }
  cx.sourceText = v.text;
  return v;
}

// The processor's truncating conversion to a signed integer of `bits`
// bits: out of range (or not a number) gives the lowest value.
int64_t Truncate(double r, int bits) {
  double lim = std::ldexp(1.0, bits - 1);
  if (!(r > -lim - 1 && r < lim)) return -static_cast<int64_t>(lim);
  return static_cast<int64_t>(std::trunc(r));
}

// The value as a whole number for the integer destinations, with the
// width the real conversion goes through.
int64_t AsInteger(const Value& v, T dst) {
  switch (v.kind) {
    case Value::Int:
    case Value::Date:
    case Value::Time: return v.i;
    case Value::Real:
      switch (dst) {
        case T::Long: return Truncate(v.r, 32);
        case T::Short: case T::Byte: return Truncate(v.r, 16);
        case T::UShort: return Truncate(v.r, 32);
        default: return Truncate(v.r, 64);  // ULONG, DATE, TIME
      }
    case Value::Text:
      if (dst == T::ULong) return Truncate(rt::TextToReal(v.text), 64);
      return rt::TextToLong(v.text);
    default: return 0;
  }
}

double AsReal(const Value& v) {
  switch (v.kind) {
    case Value::Int: case Value::Date: case Value::Time: return static_cast<double>(v.i);
    case Value::Real: return v.r;
    case Value::Text: return rt::TextToReal(v.text);
    default: return 0;
  }
}

std::string RealText(double r, bool single) {
  if (single) {  // the single's own digits, not the double's
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.7g", r);
    r = std::strtod(buf, nullptr);
  }
  return rt::RealToText(r);
}

std::string AsText(const Value& v) {
  switch (v.kind) {
    case Value::Int: case Value::Date: case Value::Time: return rt::IntToText(v.i);
    case Value::Real: return RealText(v.r, v.single);
    case Value::Text: return v.text;
    default: return {};
  }
}

template <typename V>
void Put(uint8_t* to, size_t len, V v) {
  std::memcpy(to, &v, std::min(sizeof v, len));
}

void ValueConversion(CopyContext& cx, FieldRow& src, const FieldRow& dst) {
  Trace(Flag::D, "Converting Field Part 3");
  Value v = ReadValue(cx, src);
  if (TypeOf(src.type) == T::String)
    TraceIf(Flag::B, [&] { return "src string to cstring (19)? " + std::to_string(dst.type); });
  cx.workValue.fill(0);
  T d = TypeOf(dst.type);
  if (IsText(dst.type)) {
    std::string text = AsText(v);
    if (!rt::Clip(dst.picture).empty()) text = rt::Format(text, dst.picture);
    TraceIf(Flag::D, [&] { return "Converting Field Part 5 " + std::to_string(dst.type); });
    if (rt::Numeric(text)) text = TrimNumberText(std::move(text));
    TraceIf(Flag::D, [&] { return "Converting Field Part 6 " + std::to_string(dst.type); });
    size_t n = std::min(text.size(), cx.workValue.size());
    std::memcpy(cx.workValue.data(), text.data(), n);
    cx.resultText = text;
    StoreText(cx, dst, text, uint8_t(T::String));
    if (ConversionDetected()) InsertValue(cx, dst);
    return;
  }
  uint8_t* to = cx.destRecord + dst.offset - 1 + cx.destOffset;
  uint8_t* w = cx.workValue.data();
  size_t wl = cx.workValue.size();
  bool none = v.kind == Value::None ||
              (v.kind == Value::Date && d == T::Time) || (v.kind == Value::Time && d == T::Date);
  if (!none) switch (d) {
      case T::Byte: Put(w, wl, static_cast<uint8_t>(AsInteger(v, d))); break;
      case T::Short: Put(w, wl, static_cast<int16_t>(AsInteger(v, d))); break;
      case T::UShort: Put(w, wl, static_cast<uint16_t>(AsInteger(v, d))); break;
      case T::Long: Put(w, wl, static_cast<int32_t>(AsInteger(v, d))); break;
      case T::ULong: Put(w, wl, static_cast<uint32_t>(AsInteger(v, d))); break;
      case T::Date: Put(w, wl, rt::PackDate(static_cast<rt::Long>(AsInteger(v, d)))); break;
      case T::Time: Put(w, wl, rt::PackTime(static_cast<rt::Long>(AsInteger(v, d)))); break;
      case T::SReal: Put(w, wl, static_cast<float>(AsReal(v))); break;
      case T::Real: Put(w, wl, AsReal(v)); break;
      case T::Decimal:
      case T::PDecimal: {
        std::string text = AsText(v);
        uint32_t n = std::min<uint32_t>(dst.len, static_cast<uint32_t>(wl));
        if (d == T::Decimal)
          TextToDecimal(text, w, n, dst.chars, dst.places);
        else
          TextToPDecimal(text, w, n, dst.chars, dst.places);
        cx.sourceText = LeftJustify(text);
        break;
      }
      default: break;  // BFLOAT4, BFLOAT8: zeros
    }
  std::memcpy(to, w, std::min<size_t>(dst.len, wl));
  if (dst.len > wl) std::memset(to + wl, 0, dst.len - wl);
  if (ConversionDetected()) InsertValue(cx, dst);
  Trace(Flag::D, "Converting Field Part 9");
}

}  // namespace

void ConvertField(CopyContext& cx, FieldRow& src, const FieldRow& dst) {
  TraceIf(Flag::B, [&] {
    return "Converting Field" + rt::Clip(dst.name) + " src:type = " + std::to_string(src.type) +
           " dst:type = " + std::to_string(dst.type) + " src:pic = " + src.picture +
           " dst:pic = " + dst.picture + " src:offSet = " + std::to_string(src.offset) +
           " dst:offSet " + std::to_string(dst.offset) + " los = " +
           std::to_string(cx.sourceOffset) + " lod = " + std::to_string(cx.destOffset);
  });
  if (ConversionDetected()) BeginColumn(cx, dst);
  Trace(Flag::D, "Converting Field Part 2");
  // A number, date or time of the same type and size is copied unchanged.
  if (src.type == dst.type && !IsText(src.type) && src.len == dst.len &&
      src.places == dst.places && src.picture == dst.picture && !ConversionDetected()) {
    std::memcpy(cx.destRecord + dst.offset - 1 + cx.destOffset,
                cx.sourceRecord + src.offset - 1 + cx.sourceOffset, dst.len);
    return;
  }
  if (IsText(src.type) && IsText(dst.type) && rt::Clip(src.picture) == rt::Clip(dst.picture))
    TextCopy(cx, src, dst);
  else
    ValueConversion(cx, src, dst);
}

}  // namespace upg
