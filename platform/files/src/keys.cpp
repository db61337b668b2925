// Order-preserving key encodings.
#include <cmath>
#include <cstring>

#include "internal.h"

namespace db {

namespace {

uint64_t LoadLE(const uint8_t* p, int n) {
  uint64_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

void StoreBE(std::string& out, uint64_t v, int n) {
  for (int i = n - 1; i >= 0; --i) out.push_back(static_cast<char>(v >> (8 * i)));
}

// IEEE bits made sortable: positives get the sign bit, negatives are inverted.
void PutDouble(std::string& out, double d) {
  if (d == 0) d = 0;  // -0 sorts with +0
  uint64_t bits;
  std::memcpy(&bits, &d, 8);
  bits = (bits & 0x8000000000000000ull) ? ~bits : (bits | 0x8000000000000000ull);
  StoreBE(out, bits, 8);
}

void PutFloat(std::string& out, float d) {
  if (d == 0) d = 0;
  uint32_t bits;
  std::memcpy(&bits, &d, 4);
  bits = (bits & 0x80000000u) ? ~bits : (bits | 0x80000000u);
  StoreBE(out, bits, 4);
}

// Microsoft binary format reals: exponent in the last byte, sign in the
// top bit of the byte before it.
double BFloatValue(const uint8_t* p, int n) {
  uint8_t exp = p[n - 1];
  if (exp == 0) return 0;
  bool neg = (p[n - 2] & 0x80) != 0;
  uint64_t mant = 0;
  for (int i = n - 2; i >= 0; --i) mant = (mant << 8) | p[i];
  int bits = 8 * (n - 1);
  mant |= uint64_t{1} << (bits - 1);  // the hidden bit replaces the sign
  double v = std::ldexp(static_cast<double>(mant), exp - 128 - bits);
  return neg ? -v : v;
}

// Digits of a packed decimal (without sign) and its sign.
std::string Digits(const uint8_t* p, uint32_t size, bool pdecimal, bool& neg) {
  std::string d;
  uint32_t nibbles = 2 * size;
  auto nib = [&](uint32_t i) {
    uint8_t b = p[i / 2];
    return (i % 2 == 0) ? (b >> 4) : (b & 0x0F);
  };
  uint32_t first = pdecimal ? 0 : 1, last = pdecimal ? nibbles - 1 : nibbles;
  for (uint32_t i = first; i < last; ++i) {
    int v = nib(i);
    d.push_back(static_cast<char>('0' + (v > 9 ? 0 : v)));  // as the runtime reads them
  }
  uint8_t sign = pdecimal ? nib(nibbles - 1) : nib(0);
  neg = pdecimal ? (sign == 0xD || sign == 0xB) : (sign != 0);
  if (d.find_first_not_of('0') == std::string::npos) neg = false;
  return d;
}

bool IsString(Type t) {
  return t == Type::String || t == Type::CString || t == Type::PString;
}

// Encoded length of one component field.
size_t ComponentLength(const FieldInfo& fi) {
  switch (fi.type) {
    case Type::Decimal: case Type::PDecimal: return 1 + fi.size;
    case Type::BFloat4: case Type::BFloat8: return 8 * fi.Elements();
    case Type::PString: return fi.size ? (fi.size - 1) * size_t{fi.Elements()} : 0;
    default: return fi.Bytes();
  }
}

bool Empty(const FieldInfo& fi, const uint8_t* p) {
  for (uint32_t i = 0; i < fi.Bytes(); ++i)
    if (p[i] != 0 && !(IsString(fi.type) && p[i] == ' ')) return false;
  return true;
}

void EncodeElement(const FieldInfo& fi, const uint8_t* p, bool noCase,
                   std::string& out) {
  size_t start = out.size();
  switch (fi.type) {
    case Type::Byte: out.push_back(static_cast<char>(p[0])); break;
    case Type::Short: StoreBE(out, LoadLE(p, 2) ^ 0x8000, 2); break;
    case Type::Long: StoreBE(out, LoadLE(p, 4) ^ 0x80000000u, 4); break;
    case Type::UShort: StoreBE(out, LoadLE(p, 2), 2); break;
    case Type::ULong: case Type::Date: case Type::Time:
      StoreBE(out, LoadLE(p, 4), 4);
      break;
    case Type::SReal: { float v; std::memcpy(&v, p, 4); PutFloat(out, v); break; }
    case Type::Real: { double v; std::memcpy(&v, p, 8); PutDouble(out, v); break; }
    case Type::BFloat4: PutDouble(out, BFloatValue(p, 4)); break;
    case Type::BFloat8: PutDouble(out, BFloatValue(p, 8)); break;
    case Type::Decimal: case Type::PDecimal: {
      bool neg;
      std::string d = Digits(p, fi.size, fi.type == Type::PDecimal, neg);
      out.push_back(neg ? 0 : 1);
      d.push_back('0');  // pad to whole bytes
      for (size_t i = 0; i + 1 < d.size(); i += 2) {
        int hi = d[i] - '0', lo = d[i + 1] - '0';
        if (neg) { hi = 9 - hi; lo = 9 - lo; }
        out.push_back(static_cast<char>((hi << 4) | lo));
      }
      out.resize(start + 1 + fi.size, '\0');
      break;
    }
    case Type::String: case Type::CString: case Type::PString: {
      const uint8_t* s = p;
      size_t n = fi.size, width = fi.size;
      if (fi.type == Type::CString) {
        n = strnlen(reinterpret_cast<const char*>(p), fi.size);
      } else if (fi.type == Type::PString) {
        s = p + 1;
        width = fi.size ? fi.size - 1 : 0;
        n = width ? std::min<size_t>(p[0], width) : 0;
      }
      for (size_t i = 0; i < n; ++i) out.push_back(static_cast<char>(noCase ? Upper1252(s[i]) : s[i]));
      out.append(width - n, ' ');  // compared as if blank-padded
      break;
    }
    default:  // groups and anything else: their bytes
      out.append(reinterpret_cast<const char*>(p), fi.size);
      break;
  }
}

// Components that take no bytes or lie outside the record (possible only
// in a damaged block) are left out of the key.
bool Fits(const FileDecl& f, const FieldInfo& fi) {
  return fi.Bytes() > 0 && uint64_t{fi.offset} + fi.Bytes() <= f.RecordLength();
}

}  // namespace

size_t KeyLength(const FileDecl& f, const KeyDesc& k) {
  size_t n = 0;
  for (int32_t c : k.components) {
    size_t idx = static_cast<size_t>(c < 0 ? -c : c) - 1;
    if (idx >= f.Fields().size()) continue;
    const FieldInfo& fi = f.Fields()[idx];
    if (Fits(f, fi)) n += ComponentLength(fi);
  }
  return n;
}

bool EncodeKey(const FileDecl& f, const KeyDesc& k, const uint8_t* rec,
               std::string& out) {
  out.clear();
  bool allEmpty = true;
  bool noCase = (k.attrib & kKeyNoCase) != 0;
  for (int32_t c : k.components) {
    size_t idx = static_cast<size_t>(c < 0 ? -c : c) - 1;
    if (idx >= f.Fields().size()) continue;
    const FieldInfo& fi = f.Fields()[idx];
    if (!Fits(f, fi)) continue;
    const uint8_t* p = rec + fi.offset;
    if (!Empty(fi, p)) allEmpty = false;
    size_t start = out.size();
    if (fi.type == Type::Group) {
      out.append(reinterpret_cast<const char*>(p), fi.Bytes());
    } else {
      for (uint32_t e = 0; e < fi.Elements(); ++e)
        EncodeElement(fi, p + e * fi.size, noCase, out);
    }
    if (c < 0)
      for (size_t i = start; i < out.size(); ++i) out[i] = static_cast<char>(~out[i]);
  }
  return !((k.attrib & kKeyOpt) && allEmpty);
}

}  // namespace db
