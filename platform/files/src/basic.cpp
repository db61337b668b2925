// The BASIC driver: comma-delimited text, one record per line, the
// fields in declaration order; strings in double quotes with "" for an
// embedded quote, numbers as text. Read in record order and add.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "internal.h"
#include "velmora/runtime/decimal.h"
#include "velmora/runtime/errors.h"

namespace db {

namespace {

bool IsText(Type t) {
  return t == Type::String || t == Type::CString || t == Type::PString;
}

// The fields a line holds: every non-group field not laid over another.
std::vector<const FieldInfo*> LineFields(const FileDecl& f) {
  std::vector<const FieldInfo*> out;
  const auto& fl = f.Fields();
  for (size_t i = 0; i < fl.size(); ++i) {
    bool overlaid = false;
    for (int p = static_cast<int>(i); p >= 0; p = fl[p].parent)
      if (fl[p].over) overlaid = true;
    // (string fields of no length, possible only in a damaged block, are skipped)
    bool empty = IsText(fl[i].type) && fl[i].size == 0;
    if (!overlaid && !empty && fl[i].type != Type::Group &&
        uint64_t{fl[i].offset} + fl[i].Bytes() <= f.RecordLength())
      out.push_back(&fl[i]);
  }
  return out;
}

template <class T>
T Load(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

std::string FormatValue(const FieldInfo& fi, const uint8_t* p) {
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

void StoreValue(const FieldInfo& fi, uint8_t* p, const std::string& v) {
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

// Splits one line into its values: quoted values keep their blanks and
// turn "" into ", unquoted ones are trimmed.
std::vector<std::string> SplitLine(const std::string& line) {
  std::vector<std::string> out;
  size_t i = 0;
  while (true) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    std::string v;
    if (i < line.size() && line[i] == '"') {
      ++i;
      while (i < line.size()) {
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            v.push_back('"');
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        v.push_back(line[i++]);
      }
      while (i < line.size() && line[i] != ',') ++i;
    } else {
      size_t end = line.find(',', i);
      v = line.substr(i, end == std::string::npos ? std::string::npos : end - i);
      while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.pop_back();
      i = end == std::string::npos ? line.size() : end;
    }
    out.push_back(std::move(v));
    if (i >= line.size()) break;
    ++i;  // the comma
  }
  return out;
}

class Basic final : public PlainDriver {
 public:
  void Open(FileDecl& f, uint32_t mode) override {
    auto s = std::make_unique<PlainState>();
    if (!Prepare(f, mode, *s)) return;
    f.StateSlot() = std::move(s);
    rt::ClearError();
  }
  void Next(FileDecl& f) override {
    PlainState& s = Plain(f);
    std::ifstream in(s.path, std::ios::binary);
    if (!in) return rt::SetError(rt::kAccessDenied);
    in.seekg(static_cast<std::streamoff>(s.next));
    std::string line;
    while (true) {
      uint64_t at = static_cast<uint64_t>(in.tellg());
      if (!std::getline(in, line)) return rt::SetError(rt::kRecordNotAvailable);
      s.next = in.eof() ? at + line.size() : static_cast<uint64_t>(in.tellg());
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty()) continue;
      s.current = at;
      s.haveCur = true;
      break;
    }
    f.ClearRecord();
    std::vector<std::string> values = SplitLine(line);
    std::vector<const FieldInfo*> fields = LineFields(f);
    size_t v = 0;
    for (const FieldInfo* fi : fields)
      for (uint32_t e = 0; e < fi->Elements() && v < values.size(); ++e)
        StoreValue(*fi, f.Record() + fi->offset + e * fi->size, values[v++]);
    rt::ClearError();
  }
  void GetAtPosition(FileDecl& f, std::string_view position) override {
    PlainState& s = Plain(f);
    uint64_t keep = s.next;
    s.next = ParsePosition(position);
    Next(f);
    s.next = keep;
    if (rt::ErrorCode() == rt::kRecordNotAvailable) rt::SetError(rt::kRecordNotFound);
  }
  void Add(FileDecl& f) override {
    PlainState& s = Plain(f);
    if ((s.mode & 0x0F) == 0) return rt::SetError(rt::kAccessDenied);
    std::string line;
    bool first = true;
    for (const FieldInfo* fi : LineFields(f)) {
      for (uint32_t e = 0; e < fi->Elements(); ++e) {
        if (!first) line.push_back(',');
        first = false;
        std::string v = FormatValue(*fi, f.Record() + fi->offset + e * fi->size);
        if (IsText(fi->type)) {
          line.push_back('"');
          for (char c : v) {
            if (c == '"') line.push_back('"');
            line.push_back(c);
          }
          line.push_back('"');
        } else {
          line += v;
        }
      }
    }
    line += "\r\n";
    std::ofstream out(s.path, std::ios::binary | std::ios::app);
    out << line;
    out.flush();
    if (!out) return rt::SetError(rt::kAccessDenied);
    rt::ClearError();
  }
  uint32_t Records(FileDecl& f) override {
    std::ifstream in(Plain(f).path, std::ios::binary);
    std::string line;
    uint32_t n = 0;
    while (std::getline(in, line))
      if (!(line.empty() || line == "\r")) ++n;
    rt::ClearError();
    return n;
  }

};

}  // namespace

Driver& BasicDriver() {
  static Basic d;
  return d;
}

}  // namespace db
