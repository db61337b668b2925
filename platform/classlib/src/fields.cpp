#include "fields.h"

#include <cstring>
#include <limits>

#include "velmora/runtime/text.h"

namespace cl::field {

using db::Type;

bool IsInteger(const db::FieldInfo& f) {
  switch (f.type) {
    case Type::Byte: case Type::Short: case Type::UShort: case Type::Long:
    case Type::ULong: case Type::Date: case Type::Time:
      return true;
    default:
      return false;
  }
}

namespace {

bool IsText(const db::FieldInfo& f) {
  return f.type == Type::String || f.type == Type::CString || f.type == Type::PString;
}

template <class T>
T Load(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <class T>
void Store(uint8_t* p, int64_t v) {
  T t = static_cast<T>(v);
  std::memcpy(p, &t, sizeof t);
}

void SetText(const db::FieldInfo& f, uint8_t* record, std::string_view text) {
  uint8_t* p = record + f.offset;
  const size_t n = f.size;
  switch (f.type) {
    case Type::String:
      rt::detail::CopyPadded(reinterpret_cast<char*>(p), n, text, ' ');
      break;
    case Type::CString:
      if (n == 0) return;
      rt::detail::CopyPadded(reinterpret_cast<char*>(p), n - 1, text, '\0');
      p[n - 1] = 0;
      break;
    case Type::PString: {
      if (n == 0) return;
      size_t len = text.size() < n - 1 ? text.size() : n - 1;
      p[0] = static_cast<uint8_t>(len);
      rt::detail::CopyPadded(reinterpret_cast<char*>(p + 1), n - 1, text.substr(0, len), ' ');
      break;
    }
    default:
      break;
  }
}

}  // namespace

int64_t GetInt(const db::FieldInfo& f, const uint8_t* record) {
  const uint8_t* p = record + f.offset;
  switch (f.type) {
    case Type::Byte: return Load<uint8_t>(p);
    case Type::Short: return Load<int16_t>(p);
    case Type::UShort: return Load<uint16_t>(p);
    case Type::Long: case Type::Date: case Type::Time: return Load<int32_t>(p);
    case Type::ULong: return Load<uint32_t>(p);
    default: return 0;
  }
}

void SetInt(const db::FieldInfo& f, uint8_t* record, int64_t value) {
  uint8_t* p = record + f.offset;
  switch (f.type) {
    case Type::Byte: Store<uint8_t>(p, value); break;
    case Type::Short: Store<int16_t>(p, value); break;
    case Type::UShort: Store<uint16_t>(p, value); break;
    case Type::Long: case Type::Date: case Type::Time: Store<int32_t>(p, value); break;
    case Type::ULong: Store<uint32_t>(p, value); break;
    default: break;
  }
}

int64_t MaxInt(const db::FieldInfo& f) {
  switch (f.type) {
    case Type::Byte: return std::numeric_limits<uint8_t>::max();
    case Type::Short: return std::numeric_limits<int16_t>::max();
    case Type::UShort: return std::numeric_limits<uint16_t>::max();
    case Type::ULong: return std::numeric_limits<uint32_t>::max();
    default: return std::numeric_limits<int32_t>::max();
  }
}

static int64_t MinInt(const db::FieldInfo& f) {
  switch (f.type) {
    case Type::Short: return std::numeric_limits<int16_t>::min();
    case Type::Long: case Type::Date: case Type::Time:
      return std::numeric_limits<int32_t>::min();
    default: return 0;
  }
}

void SetExtreme(const db::FieldInfo& f, uint8_t* record, bool high) {
  if (IsInteger(f)) return SetInt(f, record, high ? MaxInt(f) : MinInt(f));
  uint8_t* p = record + f.offset;
  switch (f.type) {
    case Type::SReal: {
      float v = high ? std::numeric_limits<float>::max() : std::numeric_limits<float>::lowest();
      std::memcpy(p, &v, sizeof v);
      break;
    }
    case Type::Real: {
      double v = high ? std::numeric_limits<double>::max() : std::numeric_limits<double>::lowest();
      std::memcpy(p, &v, sizeof v);
      break;
    }
    case Type::String: case Type::CString: case Type::PString:
      SetText(f, record, high ? std::string(f.size, '\xff') : std::string());
      break;
    default:
      std::memset(p, high ? 0xFF : 0, f.Bytes());
      break;
  }
}

std::string Text(const db::FieldInfo& f, const uint8_t* record) {
  const char* p = reinterpret_cast<const char*>(record + f.offset);
  switch (f.type) {
    case Type::CString: return std::string(p, ::strnlen(p, f.size));
    case Type::PString: {
      size_t len = static_cast<uint8_t>(p[0]);
      if (f.size == 0) return {};
      return std::string(p + 1, len < f.size - 1 ? len : f.size - 1);
    }
    default: return std::string(p, f.Bytes());
  }
}

bool Same(const db::FieldInfo& a, const uint8_t* recA, const db::FieldInfo& b,
          const uint8_t* recB, bool noCase) {
  if (IsInteger(a) && IsInteger(b)) return GetInt(a, recA) == GetInt(b, recB);
  if (IsText(a) && IsText(b)) {
    std::string ta = Text(a, recA), tb = Text(b, recB);
    return (noCase ? rt::CompareTextNoCase(ta, tb) : rt::CompareText(ta, tb)) == 0;
  }
  return a.Bytes() == b.Bytes() &&
         std::memcmp(recA + a.offset, recB + b.offset, a.Bytes()) == 0;
}

void Copy(const db::FieldInfo& from, const uint8_t* fromRec, const db::FieldInfo& to,
          uint8_t* toRec) {
  if (IsInteger(from) && IsInteger(to)) return SetInt(to, toRec, GetInt(from, fromRec));
  if (IsText(from) && IsText(to)) return SetText(to, toRec, Text(from, fromRec));
  uint32_t n = from.Bytes() < to.Bytes() ? from.Bytes() : to.Bytes();
  std::memcpy(toRec + to.offset, fromRec + from.offset, n);
}

}  // namespace cl::field
