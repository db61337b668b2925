// Field values as text: the one codec of the text drivers and the SQL drivers.
#include "velmora/files/field_text.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "velmora/runtime/decimal.h"

namespace db {

namespace {

template <class T>
T Load(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

}  // namespace

bool IsTextType(Type t) {
  return t == Type::String || t == Type::CString || t == Type::PString;
}

std::vector<const FieldInfo*> ValueFields(const FileDecl& f) {
  std::vector<const FieldInfo*> out;
  const auto& fl = f.Fields();
  for (size_t i = 0; i < fl.size(); ++i) {
    bool overlaid = false;
    for (int p = static_cast<int>(i); p >= 0; p = fl[p].parent)
      if (fl[p].over) overlaid = true;
    // (string fields of no length, possible only in a damaged block, are skipped)
    bool empty = IsTextType(fl[i].type) && fl[i].size == 0;
    if (!overlaid && !empty && fl[i].type != Type::Group &&
        uint64_t{fl[i].offset} + fl[i].Bytes() <= f.RecordLength())
      out.push_back(&fl[i]);
  }
  return out;
}

std::string FieldText(const FieldInfo& fi, const uint8_t* p) {
  char buf[64];
  switch (fi.type) {
    case Type::String: {
      size_t n = fi.size;
      while (n && (p[n - 1] == ' ' || p[n - 1] == 0)) --n;
      return std::string(reinterpret_cast<const char*>(p), n);
    }
    case Type::CString:
      return std::string(reinterpret_cast<const char*>(p), strnlen(reinterpret_cast<const char*>(p), fi.size));
    case Type::PString:
      return std::string(reinterpret_cast<const char*>(p + 1), std::min<size_t>(p[0], fi.size - 1));
    case Type::Byte: return std::to_string(p[0]);
    case Type::Short: return std::to_string(Load<int16_t>(p));
    case Type::UShort: return std::to_string(Load<uint16_t>(p));
    case Type::Long: case Type::Date: case Type::Time: return std::to_string(Load<int32_t>(p));
    case Type::ULong: return std::to_string(Load<uint32_t>(p));
    case Type::SReal: std::snprintf(buf, sizeof buf, "%.7g", static_cast<double>(Load<float>(p))); return buf;
    case Type::Real: std::snprintf(buf, sizeof buf, "%.15g", Load<double>(p)); return buf;
    case Type::Decimal: case Type::PDecimal:
      return rt::UnpackDecimal(p, fi.size, fi.places, fi.type == Type::PDecimal);
    default: return {};
  }
}

void SetFieldText(const FieldInfo& fi, uint8_t* p, const std::string& v) {
  auto integer = [&] { return std::strtoll(v.c_str(), nullptr, 10); };
  switch (fi.type) {
    case Type::String:
      std::memset(p, ' ', fi.size);
      std::memcpy(p, v.data(), std::min<size_t>(v.size(), fi.size));
      break;
    case Type::CString:
      std::memset(p, 0, fi.size);
      std::memcpy(p, v.data(), std::min<size_t>(v.size(), fi.size - 1));
      break;
    case Type::PString: {
      std::memset(p, 0, fi.size);
      size_t n = std::min<size_t>(v.size(), std::min<size_t>(fi.size - 1, 255));
      p[0] = static_cast<uint8_t>(n);
      std::memcpy(p + 1, v.data(), n);
      break;
    }
    case Type::Byte: p[0] = static_cast<uint8_t>(integer()); break;
    case Type::Short: case Type::UShort: {
      uint16_t x = static_cast<uint16_t>(integer());
      std::memcpy(p, &x, 2);
      break;
    }
    case Type::Long: case Type::ULong: case Type::Date: case Type::Time: {
      uint32_t x = static_cast<uint32_t>(integer());
      std::memcpy(p, &x, 4);
      break;
    }
    case Type::SReal: {
      float x = std::strtof(v.c_str(), nullptr);
      std::memcpy(p, &x, 4);
      break;
    }
    case Type::Real: {
      double x = std::strtod(v.c_str(), nullptr);
      std::memcpy(p, &x, 8);
      break;
    }
    case Type::Decimal: case Type::PDecimal:
      rt::PackDecimal(v, p, fi.size, fi.places, fi.type == Type::PDecimal);
      break;
    default: break;
  }
}

}  // namespace db
