// The structure of an old-format data file: its header with the field,
// key, picture and array records after it, serialised as a declaration
// of the older generation.
#include "velmora/upgrade/tavrel.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "velmora/files/decl.h"
#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/text.h"
#include "velmora/upgrade/conversion.h"
#include "velmora/upgrade/format.h"
#include "velmora/upgrade/settings.h"
#include "velmora/upgrade/store.h"

namespace upg {
namespace {

constexpr uint32_t kHeaderSize = 85;
constexpr uint32_t kFieldSize = 27;
constexpr uint32_t kMaxKeyComponents = 39;  // what a 255-byte key read holds
constexpr uint32_t kMaxPicture = 250;
constexpr uint32_t kMaxDims = 4;

uint32_t U16(const uint8_t* p) { return p[0] | uint32_t{p[1]} << 8; }
std::string Text(const uint8_t* p, size_t n) { return std::string(reinterpret_cast<const char*>(p), n); }
// A stored name: up to its first zero byte, clipped.
std::string Name(const uint8_t* p, size_t n) {
  std::string s = Text(p, n);
  return rt::Clip(s.substr(0, s.find('\0')));
}

struct Header {
  std::string sig;
  uint32_t attr = 0, nkeys = 0, nfields = 0, npics = 0, narrays = 0, reclen = 0, memolen = 0;
  std::string memoName, prefix;
};

struct StRow {  // ST
  std::string name;
  uint32_t start = 0, len = 0, type = 0, arrnum = 0, numdim = 0, decsig = 0, decdec = 0;
  uint32_t picnum = 0, groupFields = 0;
  std::array<uint32_t, kMaxDims> dims{1, 1, 1, 1};
  std::string pic;
};

struct KtRow {  // KT
  std::string name;
  uint32_t attr = 0;
  std::vector<uint32_t> fields;
};

// Reads the old file by 1-based position; a record that the file does not
// hold whole marks the structure as damaged.
class OldFile {
 public:
  explicit OldFile(db::FileDecl& f) : f_(f), size_(db::FileSize(f)) {}
  // `want` bytes (fewer at the end of the file); `need` of them must exist.
  std::vector<uint8_t> Read(uint64_t position, uint32_t want, uint32_t need) {
    std::vector<uint8_t> b;
    if (position >= 1 && position - 1 + need <= size_) b = db::ReadBytes(f_, position - 1, want);
    if (b.size() < need || rt::ErrorCode() != 0) {
      damaged = true;
      b.clear();
    }
    b.resize(want, 0);
    return b;
  }
  bool damaged = false;

 private:
  db::FileDecl& f_;
  uint64_t size_;
};

class Import {
 public:
  Import(OldFile& file, bool debug) : file_(file), debug_(debug) {}

  // The reason the structure cannot be imported ("" when it can).
  std::string ReadStructure(const std::vector<uint8_t>& t);
  std::vector<uint8_t> BuildFormat() const;

 private:
  void Debug(const std::string& s) const {
    if (debug_) WriteTrace(s);
  }
  std::string ReadFields();
  std::string ReadKeys(uint64_t& at);
  std::string ReadPictures(uint64_t& at);
  std::string ReadArrays(uint64_t at);
  std::string CountGroupFields();
  void AddField(std::vector<uint8_t>& out, size_t row,
                std::vector<std::pair<size_t, size_t>>& open) const;

  OldFile& file_;
  bool debug_;
  Header h_;
  std::vector<StRow> st_;
  std::vector<KtRow> kt_;
};

// Picture text normalised: from the first "p" within the first 32
// characters (never past the stored length) to the next "p", with a
// following "b"; else the text up to its first zero byte.
std::string NormalisePicture(const std::string& stored) {
  std::string s = stored.substr(0, 32);
  size_t first = 0;
  while (first < s.size() && s[first] != 'p' && s[first] != 'P' && s[first] != '\0') ++first;
  s = s.substr(first);
  size_t q = std::string::npos;
  for (size_t i = 1; i < s.size() && q == std::string::npos; ++i)
    if (s[i] == 'p' || s[i] == 'P') q = i;
  if (q != std::string::npos) {
    size_t len = q + 1;
    if (len < s.size() && (s[len] == 'b' || s[len] == 'B')) ++len;
    return s.substr(0, len);
  }
  return rt::Clip(stored.substr(0, stored.find('\0')));
}

std::string Import::ReadStructure(const std::vector<uint8_t>& t) {
  const uint8_t* p = t.data();
  h_.attr = U16(p + 2);
  h_.nkeys = p[4];
  h_.nfields = U16(p + 13);
  h_.npics = U16(p + 15);
  h_.narrays = U16(p + 17);
  h_.reclen = U16(p + 19);
  h_.memoName = Name(p + 49, 12);
  std::string prefix = Text(p + 61, 3);
  for (char& c : prefix)
    if (c == '\0') c = ' ';
  h_.prefix = prefix;
  h_.memolen = U16(p + 67);
  if (h_.attr & 0x02) return "the header is scrambled";
  if (h_.nfields == 0) return "no fields";
  if (h_.reclen <= 5) return "record length " + std::to_string(h_.reclen);
  Debug("Num Fields = " + std::to_string(h_.nfields) + " Num Keys = " + std::to_string(h_.nkeys) +
        " Num Pics = " + std::to_string(h_.npics) + " Num Arrays = " + std::to_string(h_.narrays) +
        " Memo Name = " + h_.memoName + " prefix  = " + h_.prefix);
  uint64_t at = 86 + uint64_t{kFieldSize} * h_.nfields;
  std::string why = ReadFields();
  if (why.empty()) why = ReadKeys(at);
  if (why.empty()) why = ReadPictures(at);
  if (why.empty()) why = ReadArrays(at);
  if (why.empty()) why = CountGroupFields();
  return why;
}

std::string Import::ReadFields() {
  for (uint32_t i = 0; i < h_.nfields; ++i) {
    Trace(Flag::D, "Reading Field " + std::to_string(i) + " of " + std::to_string(h_.nfields));
    std::vector<uint8_t> f = file_.Read(86 + uint64_t{kFieldSize} * i, kFieldSize, kFieldSize);
    if (file_.damaged) return "field " + std::to_string(i + 1) + " lies past the end of the file";
    StRow r;
    r.type = f[0];
    r.name = rt::Upper(Name(f.data() + 1, 16));
    r.start = U16(f.data() + 17) + 6;
    r.len = U16(f.data() + 19);
    r.decsig = f[21];
    r.decdec = f[22];
    r.arrnum = U16(f.data() + 23) & 0xFF;
    r.picnum = U16(f.data() + 25);
    Debug(std::to_string(i) + "/" + std::to_string(h_.nfields) + " Field name = " + r.name +
          " st:ntype = " + std::to_string(r.type) + " st:nlen = " + std::to_string(r.len) +
          "st:picnum = " + std::to_string(r.picnum));
    std::string which = "field " + std::to_string(i + 1);
    if (r.type < 1 || r.type > 8) return which + " has the unknown type " + std::to_string(r.type);
    if (r.name.empty()) return which + " has no name";
    if (r.type != 7 && r.len == 0) return which + " has no length";
    if (r.start - 6 + r.len > h_.reclen) return which + " lies outside the record";
    if (r.arrnum > h_.narrays) return which + " names a missing array record";
    if (r.picnum > h_.npics) return which + " names a missing picture record";
    st_.push_back(std::move(r));
  }
  return {};
}

std::string Import::ReadKeys(uint64_t& at) {
  for (uint32_t i = 0; i < h_.nkeys; ++i) {
    Trace(Flag::D, "Reading key " + std::to_string(i) + " of " + std::to_string(h_.nkeys));
    std::vector<uint8_t> k = file_.Read(at, 255, 19);
    std::string which = "key " + std::to_string(i + 1);
    if (file_.damaged) return which + " lies past the end of the file";
    KtRow r;
    uint32_t n = k[0];
    r.name = Name(k.data() + 1, 16);
    r.attr = k[17];
    Debug("Key name = " + r.name + " attr = " + std::to_string(r.attr) +
          " numfields = " + std::to_string(n));
    if (n == 0 || n > kMaxKeyComponents) return which + " has " + std::to_string(n) + " components";
    file_.Read(at, 19 + 6 * n, 19 + 6 * n);
    if (file_.damaged) return which + " lies past the end of the file";
    for (uint32_t j = 0; j < n; ++j) {
      uint32_t field = U16(k.data() + 19 + 6 * j + 1);
      if (field < 1 || field > h_.nfields)
        return which + " names the missing field " + std::to_string(field);
      r.fields.push_back(field);
    }
    at += 19 + 6 * n;
    kt_.push_back(std::move(r));
  }
  return {};
}

std::string Import::ReadPictures(uint64_t& at) {
  for (uint32_t k = 0; k < h_.npics; ++k) {
    Trace(Flag::D, "Reading Pic " + std::to_string(k) + " of " + std::to_string(h_.npics));
    std::vector<uint8_t> b = file_.Read(at, 255, 2);
    uint32_t len = U16(b.data());
    std::string which = "picture " + std::to_string(k + 1);
    if (file_.damaged) return which + " lies past the end of the file";
    if (len > kMaxPicture) return which + " is " + std::to_string(len) + " characters long";
    file_.Read(at, 2 + len, 2 + len);
    if (file_.damaged) return which + " lies past the end of the file";
    std::string stored = Text(b.data() + 2, len);  // never past its stored length
    Trace(Flag::D, "p:Pic " + rt::Clip(stored));
    std::string pic = NormalisePicture(stored);
    for (StRow& r : st_) {
      if (r.picnum != k + 1) continue;
      r.pic = pic;
      Debug("Field : " + r.name + "Picture : st:picnum = " + std::to_string(r.picnum) +
            " p:lenpic = " + std::to_string(len) + "p:pic = " + pic);
    }
    at += 2 + len;
  }
  return {};
}

std::string Import::ReadArrays(uint64_t at) {
  for (uint32_t a = 0; a < h_.narrays; ++a) {
    std::vector<uint8_t> b = file_.Read(at, 6 + 4 * kMaxDims, 6);
    uint32_t numdim = U16(b.data());
    std::string which = "array " + std::to_string(a + 1);
    if (file_.damaged) return which + " lies past the end of the file";
    if (numdim < 1 || numdim > kMaxDims) return which + " has " + std::to_string(numdim) + " dimensions";
    file_.Read(at, 6 + 4 * numdim, 6 + 4 * numdim);
    if (file_.damaged) return which + " lies past the end of the file";
    for (StRow& r : st_) {
      if (r.arrnum != a + 1) continue;
      r.numdim = numdim;
      for (uint32_t d = 0; d < numdim; ++d) {
        r.dims[d] = U16(b.data() + 6 + 4 * d);
        if (r.dims[d] == 0) return which + " has an empty dimension";
      }
      break;  // the first field that names it
    }
    at += 6 + 4 * numdim;
  }
  return {};
}

std::string Import::CountGroupFields() {
  for (size_t g = 0; g < st_.size(); ++g) {
    if (st_[g].type != 7) continue;
    int64_t remaining = st_[g].len;
    for (size_t r = g + 1; r < st_.size() && remaining > 0; ++r) {
      if (st_[r].type != 7) remaining -= st_[r].len;
      if (remaining <= 0) st_[g].groupFields = static_cast<uint32_t>(r - g);
    }
    // A group its members do not fill would swallow the fields after it.
    if (st_[g].groupFields == 0 && st_[g].len > 0)
      return "group " + st_[g].name + " is not filled by the fields after it";
  }
  return {};
}

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void PutText(std::vector<uint8_t>& out, std::string_view s) {
  out.insert(out.end(), s.begin(), s.end());
  out.push_back(0);
}
void Set16(std::vector<uint8_t>& out, size_t at, size_t v) {
  out[at] = static_cast<uint8_t>(v);
  out[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Import::AddField(std::vector<uint8_t>& out, size_t row,
                      std::vector<std::pair<size_t, size_t>>& open) const {
  const StRow& r = st_[row];
  Debug("Adding Field " + std::to_string(r.type) + " " + r.name);
  uint8_t attr = db::kMemEmitted | (r.arrnum ? db::kMemDims : 0) | (r.picnum ? db::kMemPicture : 0);
  static constexpr uint8_t kTypes[] = {0, 6, 9, 18, 18, 1, 2, 22, 10};
  out.push_back(kTypes[r.type]);
  out.push_back(attr);
  if (r.type == 3 || r.type == 4) {
    db::block::PutStringLength(out, r.len);
  } else if (r.type == 7) {
    Put16(out, r.len);
    Put16(out, r.groupFields);
    open.emplace_back(row + r.groupFields, out.size());  // its last member, its slot
    Put16(out, 0);
  } else if (r.type == 8) {
    out.push_back(static_cast<uint8_t>(r.len));
    out.push_back(static_cast<uint8_t>(r.decdec));
  }
  if (r.picnum) PutText(out, r.pic);
  PutText(out, r.name);
  if (r.arrnum) {
    out.push_back(static_cast<uint8_t>(r.numdim));
    for (uint32_t d = 0; d < r.numdim; ++d) db::block::PutNumber(out, r.dims[d]);
  }
  // Groups whose last member this is: their length reaches to here.
  for (size_t i = open.size(); i-- > 0;) {
    if (open[i].first != row) continue;
    Set16(out, open[i].second, out.size() - open[i].second + 6);
    open.erase(open.begin() + static_cast<ptrdiff_t>(i));
  }
}

std::vector<uint8_t> Import::BuildFormat() const {
  std::vector<uint8_t> out;
  PutText(out, "Tav");  // the driver, with empty options
  out.push_back(0);     // no owner
  uint8_t attrib = 0x20;
  if (h_.attr & 0x20) attrib += 8;
  if (h_.attr & 0x80) attrib += 4;
  if (h_.attr & 0x04) attrib += 2;
  if (h_.attr & 0x02) attrib += 1;
  out.push_back(attrib);
  out.push_back(static_cast<uint8_t>(kt_.size()));
  out.push_back(h_.memolen ? 1 : 0);
  Put16(out, h_.reclen - 5);
  for (const KtRow& k : kt_) {
    out.push_back(static_cast<uint8_t>(k.fields.size()));
    uint8_t first = ((k.attr & 0x11) ? 1 : 0) + ((k.attr & 0x40) ? 0 : 2) + ((k.attr & 0x20) ? 4 : 0);
    out.push_back(first);
    out.push_back(static_cast<uint8_t>(k.attr & 0x01));
    out.push_back(0);  // external name
    PutText(out, k.name);
    for (uint32_t f : k.fields) Put16(out, f);
  }
  if (h_.memolen) {
    out.push_back(1);
    // The header's numbers are little-endian, and so are the serialised
    // declaration's: the size is kept in that order.
    Put16(out, h_.memolen);
    out.push_back(0);  // external name
    std::string prefix = rt::Clip(h_.prefix);
    std::string label = rt::Upper(prefix.empty() ? h_.memoName : prefix + ":" + h_.memoName);
    PutText(out, label.substr(0, 16));
  }
  size_t block = out.size();
  out.push_back(0x16);
  out.push_back(0x00);
  Put16(out, h_.reclen - 5);
  Put16(out, h_.nfields);
  Put16(out, 0);
  std::vector<std::pair<size_t, size_t>> open;
  for (size_t row = 0; row < st_.size(); ++row) AddField(out, row, open);
  Set16(out, block + 6, out.size() - block);
  return out;
}

db::FileDecl& OldFileDecl() {
  thread_local std::unique_ptr<db::FileDecl> f =
      db::DeclBuilder("TAVREL", "TAV").Driver("DOS").Field(db::Type::Byte, "B").Build();
  return *f;
}

}  // namespace

rt::Byte ImportTavrel() {
  Trace(Flag::D, "ImportTavrel In");
  bool debug = EngineSwitch("/debugrv2dat");
  std::string name = rt::Clip(InFileName());
  if (debug) WriteTrace("Testing for DAT - " + name);
  db::FileDecl& f = OldFileDecl();
  f.SetName(name);
  db::Open(f, db::kReadOnly | db::kDenyNone);
  if (rt::ErrorCode() != 0) {
    Trace(Flag::D, "ImportTavrel OUT [1]");
    return 0;
  }
  OldFile file(f);
  std::vector<uint8_t> t = file.Read(1, kHeaderSize, kHeaderSize);
  if (file.damaged || t[0] != 'C' || t[1] != '3') {
    db::Close(f);
    Trace(Flag::D, "ImportTavrel OUT [2]");
    return 0;
  }
  Import import(file, debug);
  std::string why = import.ReadStructure(t);
  std::vector<uint8_t> fmt;
  if (why.empty()) {
    fmt = import.BuildFormat();
    if (fmt.size() > UpgFmt().size()) why = "its structure is too large";
  }
  db::Close(f);
  if (!why.empty()) {
    Trace(Flag::B, "ImportTavrel: " + name + " not imported: " + why);
    Trace(Flag::D, "ImportTavrel OUT [2]");
    return 0;
  }
  OemFlag() = 1;
  std::copy(fmt.begin(), fmt.end(), UpgFmt().begin());
  Trace(Flag::D, "ImportTavrel Out");
  return 1;
}

}  // namespace upg
