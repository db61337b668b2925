// The BASIC driver: comma-delimited text, one record per line, the
// fields in declaration order; strings in double quotes with "" for an
// embedded quote, numbers as text. Read in record order and add.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "internal.h"
#include "velmora/files/field_text.h"
#include "velmora/runtime/decimal.h"
#include "velmora/runtime/errors.h"

namespace db {

namespace {

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
    std::vector<const FieldInfo*> fields = ValueFields(f);
    size_t v = 0;
    for (const FieldInfo* fi : fields)
      for (uint32_t e = 0; e < fi->Elements() && v < values.size(); ++e)
        SetFieldText(*fi, f.Record() + fi->offset + e * fi->size, values[v++]);
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
    for (const FieldInfo* fi : ValueFields(f)) {
      for (uint32_t e = 0; e < fi->Elements(); ++e) {
        if (!first) line.push_back(',');
        first = false;
        std::string v = FieldText(*fi, f.Record() + fi->offset + e * fi->size);
        if (IsTextType(fi->type)) {
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
