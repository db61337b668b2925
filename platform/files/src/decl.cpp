// File declarations: the builder, the record descriptor block codec and
// the declaration object.
#include "velmora/files/decl.h"

#include <cstring>
#include <functional>
#include <stdexcept>

#include "internal.h"
#include "velmora/runtime/text.h"

namespace db {

// Both saturate at UINT32_MAX, so a damaged block can never make a field
// look small enough to fit a record.
uint32_t FieldInfo::Elements() const {
  uint64_t n = 1;
  for (uint32_t d : dims) n = std::min<uint64_t>(n * d, UINT32_MAX);
  return static_cast<uint32_t>(n);
}

uint32_t FieldInfo::Bytes() const {
  uint64_t n = uint64_t{type == Type::Group ? grpLen : size} * Elements();
  return static_cast<uint32_t>(std::min<uint64_t>(n, UINT32_MAX));
}

namespace {

std::string UpperText(const std::string& s) { return rt::Upper(s); }

// Matches a full label ("PRE:NAME") or, for a query without a colon, the
// name after the prefix.
bool LabelMatches(std::string_view label, std::string_view query) {
  if (rt::EqualNoCase(label, query)) return true;
  if (query.find(':') != std::string_view::npos) return false;
  size_t colon = label.find(':');
  return colon != std::string_view::npos &&
         rt::EqualNoCase(label.substr(colon + 1), query);
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint32_t Get32(const uint8_t* d, size_t end, size_t& pos) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i)
    if (pos < end) v |= static_cast<uint32_t>(d[pos++]) << (8 * i);
  return v;
}

uint8_t Get8(const uint8_t* d, size_t end, size_t& pos) {
  return pos < end ? d[pos++] : 0;
}

std::string GetText(const uint8_t* d, size_t end, size_t& pos) {
  std::string s;
  while (pos < end && d[pos] != 0) s.push_back(static_cast<char>(d[pos++]));
  if (pos < end) ++pos;  // the terminator
  return s;
}

void PutText(std::vector<uint8_t>& out, const std::string& s) {
  out.insert(out.end(), s.begin(), s.end());
  out.push_back(0);
}

// Storage size of the scalar types; 0 for the types sized by the descriptor.
uint32_t FixedSize(Type t) {
  switch (t) {
    case Type::Byte: return 1;
    case Type::Short: case Type::UShort: return 2;
    case Type::Date: case Type::Time: case Type::Long: case Type::ULong:
    case Type::SReal: case Type::BFloat4: return 4;
    case Type::Real: case Type::BFloat8: return 8;
    default: return 0;
  }
}

bool IsKnownType(uint8_t t) {
  return (t >= 1 && t <= 11) || t == 13 || t == 14 || (t >= 18 && t <= 20) ||
         t == 22;
}

// The OVER reference: high bit set when the field really is OVER another;
// the remaining bits give the length like the string-length form.
void PutOverRef(std::vector<uint8_t>& out, uint32_t ref) {
  if (ref < 0x20) {
    out.push_back(static_cast<uint8_t>(0x80 | ref));
  } else if (ref < 0x2000) {
    out.push_back(static_cast<uint8_t>(0x80 | 0x20 | (ref >> 8)));
    out.push_back(static_cast<uint8_t>(ref));
  } else {
    out.push_back(0x80 | 0x40);
    out.push_back(static_cast<uint8_t>(ref >> 8));
    out.push_back(static_cast<uint8_t>(ref));
  }
}

uint32_t GetOverRef(const uint8_t* d, size_t end, size_t& pos, bool& over) {
  uint8_t b = Get8(d, end, pos);
  over = (b & 0x80) != 0;
  uint8_t v = b & 0x7F;
  if (v < 0x20) return v;
  if (v < 0x40) return ((v & 0x1Fu) << 8) | Get8(d, end, pos);
  uint32_t hi = Get8(d, end, pos);
  return (hi << 8) | Get8(d, end, pos);
}

}  // namespace

// ---------------------------------------------------------------- codec

namespace block {

void PutStringLength(std::vector<uint8_t>& out, uint32_t len) {
  if (len > 0xFFFF) throw std::length_error("string length above 65535");
  if (len < 0x20) {
    out.push_back(static_cast<uint8_t>(len));
  } else if (len < 0x2000) {
    out.push_back(static_cast<uint8_t>(0x20 | (len >> 8)));
    out.push_back(static_cast<uint8_t>(len));
  } else {
    out.push_back(0x40);
    out.push_back(static_cast<uint8_t>(len >> 8));
    out.push_back(static_cast<uint8_t>(len));
  }
}

uint32_t GetStringLength(const uint8_t* data, size_t end, size_t& pos) {
  uint8_t b = Get8(data, end, pos);
  if (b < 0x20) return b;
  if (b < 0x40) return ((b & 0x1Fu) << 8) | Get8(data, end, pos);
  uint32_t hi = Get8(data, end, pos);
  return (hi << 8) | Get8(data, end, pos);
}

void PutNumber(std::vector<uint8_t>& out, uint32_t value) {
  if (value < 0x20) {
    out.push_back(static_cast<uint8_t>(value));
  } else if (value < 0x2000) {
    out.push_back(static_cast<uint8_t>(0x20 + (value >> 8)));
    out.push_back(static_cast<uint8_t>(value));
  } else {
    if (value >= (0xC0u << 16)) throw std::length_error("number too large");
    out.push_back(static_cast<uint8_t>(0x40 + (value >> 16)));
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
  }
}

uint32_t GetNumber(const uint8_t* data, size_t end, size_t& pos) {
  uint8_t b = Get8(data, end, pos);
  if (b < 0x20) return b;
  if (b < 0x40) return ((b - 0x20u) << 8) | Get8(data, end, pos);
  uint32_t mid = Get8(data, end, pos);
  return ((b - 0x40u) << 16) | (mid << 8) | Get8(data, end, pos);
}

std::vector<FieldInfo> Decode(const std::vector<uint8_t>& blk) {
  std::vector<FieldInfo> fields;
  const uint8_t* d = blk.data();
  size_t end = blk.size();
  if (end < 14) return fields;
  size_t pos = 6;
  uint32_t count = Get32(d, end, pos);
  uint32_t total = Get32(d, end, pos);
  if (total >= 14 && total < end) end = total;
  pos = 14;
  for (uint32_t n = 0; n < count && pos < end; ++n) {
    FieldInfo f;
    uint8_t t = Get8(d, end, pos);
    f.type = static_cast<Type>(t);
    f.attrib = Get8(d, end, pos);
    if (!IsKnownType(t)) {  // nothing more of this descriptor is read
      fields.push_back(std::move(f));
      continue;
    }
    if (t == static_cast<uint8_t>(Type::Decimal) ||
        t == static_cast<uint8_t>(Type::PDecimal)) {
      f.size = Get8(d, end, pos);
      f.places = Get8(d, end, pos);
    } else if (t >= 18 && t <= 20) {
      f.size = block::GetStringLength(d, end, pos);
    } else if (f.type == Type::Group) {
      f.grpLen = Get32(d, end, pos);
      f.grpNum = Get32(d, end, pos);
      f.grpDef = Get32(d, end, pos);
    } else {
      f.size = FixedSize(f.type);
    }
    if (f.attrib & kMemPicture) f.picture = GetText(d, end, pos);
    f.label = GetText(d, end, pos);
    if (f.attrib & kMemExtName) f.extName = GetText(d, end, pos);
    if (f.attrib & kMemOver) {
      f.overRef = GetOverRef(d, end, pos, f.over);
      if (!f.over) f.attrib &= static_cast<uint8_t>(~kMemOver);
    }
    if (f.attrib & kMemDims) {
      uint8_t nd = Get8(d, end, pos);
      for (uint8_t i = 0; i < nd; ++i) f.dims.push_back(GetNumber(d, end, pos));
    }
    fields.push_back(std::move(f));
  }

  // Record offsets: fields follow each other; a field OVER another starts
  // where that one starts and takes no bytes of its own; a group's members
  // are laid out inside it. Iterative, so no block can exhaust the stack.
  struct Open {
    size_t end;         // index after the group's last member
    uint32_t resume;    // running offset after the group
    int parent;         // enclosing group of the group
  };
  std::vector<Open> groups;
  uint32_t off = 0;
  int parent = -1;
  auto add = [](uint32_t a, uint32_t b) {
    return static_cast<uint32_t>(std::min<uint64_t>(uint64_t{a} + b, UINT32_MAX));
  };
  for (size_t i = 0; i < fields.size(); ++i) {
    while (!groups.empty() && i >= groups.back().end) {
      off = groups.back().resume;
      parent = groups.back().parent;
      groups.pop_back();
    }
    FieldInfo& f = fields[i];
    f.parent = parent;
    uint32_t base = off;
    if (f.over && f.overRef >= 1 && f.overRef <= i) base = fields[f.overRef - 1].offset;
    f.offset = base;
    if (f.type == Type::Group) {
      size_t end = std::min(fields.size(), i + 1 + size_t{f.grpNum});
      if (!groups.empty()) end = std::min(end, groups.back().end);
      groups.push_back({end, f.over ? off : add(base, f.Bytes()), parent});
      off = base;
      parent = static_cast<int>(i);
    } else if (!f.over) {
      off = add(base, f.Bytes());
    }
  }
  return fields;
}

}  // namespace block

// ---------------------------------------------------------------- builder

struct DeclBuilder::Impl {
  struct Spec {
    Type type{};
    std::string name, picture, ext, overLabel;
    uint32_t size = 0;
    uint8_t places = 0;
    std::vector<uint32_t> dims;
    uint32_t members = 0;  // groups: number of descriptors inside
  };
  std::string label, prefix, driver, name, owner, send;
  uint8_t attrib = 0;
  std::vector<Spec> specs;
  std::vector<size_t> open;  // indexes of the groups not yet ended
  std::vector<KeyDesc> keys;
  std::vector<MemoDesc> memos;

  Spec& Last() {
    if (specs.empty()) throw std::logic_error("no field declared yet");
    return specs.back();
  }
  std::string LabelOf(const std::string& n) const {
    return UpperText(prefix + ":" + n);
  }
};

DeclBuilder::DeclBuilder(std::string label, std::string prefix)
    : impl_(std::make_shared<Impl>()) {
  impl_->label = std::move(label);
  impl_->prefix = std::move(prefix);
}

DeclBuilder& DeclBuilder::Driver(std::string name) {
  impl_->driver = std::move(name);
  return *this;
}
DeclBuilder& DeclBuilder::Name(std::string name) {
  impl_->name = std::move(name);
  return *this;
}
DeclBuilder& DeclBuilder::Owner(std::string owner) {
  impl_->owner = std::move(owner);
  return *this;
}
DeclBuilder& DeclBuilder::Send(std::string send) {
  impl_->send = std::move(send);
  return *this;
}
DeclBuilder& DeclBuilder::Attributes(uint8_t attrib) {
  impl_->attrib = attrib;
  return *this;
}

DeclBuilder& DeclBuilder::Field(Type type, std::string name, uint32_t size,
                                uint8_t places) {
  Impl::Spec s;
  s.type = type;
  s.name = std::move(name);
  s.places = places;
  if (type == Type::Decimal || type == Type::PDecimal) {
    if (size == 0 || size > 31) throw std::invalid_argument("decimal digits");
    s.size = size / 2 + 1;  // digits and sign nibble, packed
  } else if (type == Type::String || type == Type::CString ||
             type == Type::PString) {
    if (size == 0) throw std::invalid_argument("string without length");
    s.size = size;
  } else if (type == Type::Group) {
    throw std::invalid_argument("use BeginGroup for a GROUP");
  } else {
    s.size = FixedSize(type);
    if (s.size == 0) throw std::invalid_argument("unknown type");
  }
  impl_->specs.push_back(std::move(s));
  return *this;
}

DeclBuilder& DeclBuilder::Picture(std::string picture) {
  impl_->Last().picture = std::move(picture);
  return *this;
}
DeclBuilder& DeclBuilder::ExtName(std::string ext) {
  impl_->Last().ext = std::move(ext);
  return *this;
}
DeclBuilder& DeclBuilder::Dim(std::vector<uint32_t> dims) {
  for (uint32_t d : dims)
    if (d == 0) throw std::invalid_argument("dimension of 0");
  impl_->Last().dims = std::move(dims);
  return *this;
}
DeclBuilder& DeclBuilder::Over(std::string overLabel) {
  impl_->Last().overLabel = std::move(overLabel);
  return *this;
}

DeclBuilder& DeclBuilder::BeginGroup(std::string name) {
  Impl::Spec s;
  s.type = Type::Group;
  s.name = std::move(name);
  impl_->open.push_back(impl_->specs.size());
  impl_->specs.push_back(std::move(s));
  return *this;
}

DeclBuilder& DeclBuilder::EndGroup() {
  if (impl_->open.empty()) throw std::logic_error("EndGroup without BeginGroup");
  size_t g = impl_->open.back();
  impl_->open.pop_back();
  impl_->specs[g].members = static_cast<uint32_t>(impl_->specs.size() - g - 1);
  return *this;
}

DeclBuilder& DeclBuilder::Key(std::string name, std::vector<int32_t> components,
                              uint32_t attrib, std::string extName) {
  KeyDesc k;
  k.label = impl_->prefix + ":" + name;
  k.extName = std::move(extName);
  k.attrib = attrib;
  k.components = std::move(components);
  impl_->keys.push_back(std::move(k));
  return *this;
}

DeclBuilder& DeclBuilder::Memo(std::string name, uint8_t kind, uint32_t size,
                               std::string extName) {
  MemoDesc m;
  m.label = impl_->LabelOf(name);
  m.extName = std::move(extName);
  m.kind = kind;
  m.size = size;
  impl_->memos.push_back(std::move(m));
  return *this;
}

std::unique_ptr<FileDecl> DeclBuilder::Build() const {
  const Impl& im = *impl_;
  if (!im.open.empty()) throw std::logic_error("group not ended");
  const auto& specs = im.specs;
  size_t n = specs.size();

  // Bytes of each descriptor's field (groups: one element's members).
  std::vector<uint32_t> bytes(n, 0);
  std::vector<uint32_t> overRef(n, 0);
  std::vector<uint32_t> grpLen(n, 0);
  for (size_t i = 0; i < n; ++i) {
    if (specs[i].overLabel.empty()) continue;
    std::string want = specs[i].overLabel.find(':') == std::string::npos
                           ? im.LabelOf(specs[i].overLabel)
                           : UpperText(specs[i].overLabel);
    for (size_t j = 0; j < i; ++j)
      if (im.LabelOf(specs[j].name) == want) overRef[i] = static_cast<uint32_t>(j + 1);
    if (overRef[i] == 0)
      throw std::invalid_argument("OVER target not declared: " + specs[i].overLabel);
  }
  auto elements = [&](size_t i) {
    uint32_t e = 1;
    for (uint32_t d : specs[i].dims) e *= d;
    return e;
  };
  // Sizes bottom-up: a group's length is the sum of its direct members
  // that are not OVER another field.
  std::function<size_t(size_t)> measure = [&](size_t i) -> size_t {
    size_t next = i + 1;
    if (specs[i].type == Type::Group) {
      uint32_t len = 0;
      size_t last = i + 1 + specs[i].members;
      while (next < last) {
        size_t m = next;
        next = measure(m);
        if (overRef[m] == 0) len += bytes[m];
      }
      grpLen[i] = len;
      bytes[i] = len * elements(i);
    } else {
      bytes[i] = specs[i].size * elements(i);
    }
    return next;
  };
  uint32_t recLen = 0;
  for (size_t i = 0; i < n;) {
    size_t m = i;
    i = measure(m);
    if (overRef[m] == 0) recLen += bytes[m];
  }
  for (size_t i = 0; i < n; ++i)
    if (overRef[i] && bytes[i] > bytes[overRef[i] - 1])
      throw std::invalid_argument("OVER field larger than its target");

  std::function<size_t(size_t, std::vector<uint8_t>&)> emit =
      [&](size_t i, std::vector<uint8_t>& out) -> size_t {
    const Impl::Spec& s = specs[i];
    std::vector<uint8_t> tail;  // names, OVER and dimensions
    uint8_t attrib = kMemEmitted;
    if (!s.ext.empty()) attrib |= kMemExtName;
    if (!s.picture.empty()) attrib |= kMemPicture;
    if (overRef[i]) attrib |= kMemOver;
    if (!s.dims.empty()) attrib |= kMemDims;
    if (!s.picture.empty()) PutText(tail, s.picture);
    PutText(tail, im.LabelOf(s.name));
    if (!s.ext.empty()) PutText(tail, s.ext);
    if (overRef[i]) PutOverRef(tail, overRef[i]);
    if (!s.dims.empty()) {
      if (s.dims.size() > 255) throw std::invalid_argument("too many dimensions");
      tail.push_back(static_cast<uint8_t>(s.dims.size()));
      for (uint32_t d : s.dims) block::PutNumber(tail, d);
    }
    out.push_back(static_cast<uint8_t>(s.type));
    out.push_back(attrib);
    size_t next = i + 1;
    if (s.type == Type::Group) {
      std::vector<uint8_t> inner;
      size_t last = i + 1 + s.members;
      while (next < last) next = emit(next, inner);
      Put32(out, grpLen[i]);
      Put32(out, s.members);
      Put32(out, static_cast<uint32_t>(2 + 12 + tail.size() + inner.size()));
      out.insert(out.end(), tail.begin(), tail.end());
      out.insert(out.end(), inner.begin(), inner.end());
      return next;
    }
    if (s.type == Type::Decimal || s.type == Type::PDecimal) {
      out.push_back(static_cast<uint8_t>(s.size));
      out.push_back(s.places);
    } else if (s.type == Type::String || s.type == Type::CString ||
               s.type == Type::PString) {
      block::PutStringLength(out, s.size);
    }
    out.insert(out.end(), tail.begin(), tail.end());
    return next;
  };

  std::vector<uint8_t> blk{static_cast<uint8_t>(Type::Group), 0};
  Put32(blk, recLen);
  Put32(blk, static_cast<uint32_t>(n));
  Put32(blk, 0);  // total length, patched below
  for (size_t i = 0; i < n;) i = emit(i, blk);
  uint32_t total = static_cast<uint32_t>(blk.size());
  for (int b = 0; b < 4; ++b) blk[10 + b] = static_cast<uint8_t>(total >> (8 * b));

  std::unique_ptr<FileDecl> f =
      FileDecl::FromBlock(im.label, im.prefix, im.driver, std::move(blk),
                          im.keys, im.memos, im.attrib, recLen);
  f->name_ = im.name;
  f->owner_ = im.owner;
  f->send_ = im.send;
  return f;
}

// ---------------------------------------------------------------- FileDecl

FileDecl::FileDecl() = default;
FileDecl::~FileDecl() = default;

std::unique_ptr<FileDecl> FileDecl::FromBlock(
    std::string label, std::string prefix, std::string driver,
    std::vector<uint8_t> fieldBlock, std::vector<KeyDesc> keys,
    std::vector<MemoDesc> memos, uint8_t attrib, uint32_t recLen) {
  std::unique_ptr<FileDecl> f(new FileDecl());
  f->label_ = std::move(label);
  f->prefix_ = std::move(prefix);
  f->driver_ = std::move(driver);
  f->attrib_ = attrib;
  f->recLen_ = recLen;
  f->fields_ = block::Decode(fieldBlock);
  f->block_ = std::move(fieldBlock);
  f->keys_ = std::move(keys);
  f->memos_ = std::move(memos);
  f->ownRecord_.assign(recLen, 0);
  f->record_ = f->ownRecord_.data();
  f->ClearRecord();
  return f;
}

std::unique_ptr<FileDecl> FileDecl::Clone() const {
  std::unique_ptr<FileDecl> f(new FileDecl());
  f->label_ = label_;
  f->prefix_ = prefix_;
  f->driver_ = driver_;
  f->name_ = name_;
  f->owner_ = owner_;
  f->send_ = send_;
  f->attrib_ = attrib_;
  f->flags_ = flags_;
  f->recLen_ = recLen_;
  f->block_ = block_;
  f->fields_ = fields_;
  f->keys_ = keys_;
  f->memos_ = memos_;
  for (MemoDesc& m : f->memos_) m.data.clear();
  f->ownRecord_.assign(recLen_, 0);
  f->record_ = f->ownRecord_.data();
  f->ClearRecord();
  return f;
}

void FileDecl::BindRecord(uint8_t* buffer) {
  record_ = buffer ? buffer : ownRecord_.data();
}

void FileDecl::ClearRecord() {
  if (recLen_ == 0) return;
  std::memset(record_, 0, recLen_);
  for (size_t i = 0; i < fields_.size(); ++i) {
    const FieldInfo& f = fields_[i];
    if (f.type != Type::String) continue;
    bool overlaid = false;
    for (int p = static_cast<int>(i); p >= 0; p = fields_[p].parent)
      if (fields_[p].over) overlaid = true;
    if (overlaid) continue;
    uint64_t endByte = uint64_t{f.offset} + f.Bytes();
    if (endByte <= recLen_) std::memset(record_ + f.offset, ' ', f.Bytes());
  }
}

int FileDecl::FieldIndex(std::string_view label) const {
  for (size_t i = 0; i < fields_.size(); ++i)
    if (LabelMatches(fields_[i].label, label)) return static_cast<int>(i);
  return -1;
}

int FileDecl::KeyIndex(std::string_view label) const {
  for (size_t i = 0; i < keys_.size(); ++i)
    if (LabelMatches(keys_[i].label, label)) return static_cast<int>(i);
  return -1;
}

int FileDecl::MemoIndex(std::string_view label) const {
  for (size_t i = 0; i < memos_.size(); ++i)
    if (LabelMatches(memos_[i].label, label)) return static_cast<int>(i);
  return -1;
}

}  // namespace db
