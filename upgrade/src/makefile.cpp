// Run-time file definitions: INFILE and DESTFILE built from a stored
// serialisation of either generation. The current generation starts with
// "1" and stores its numbers in 4 bytes; the older one has no generation
// byte and stores record length, key attributes, key components and memo
// sizes in 2 bytes, and its field-descriptor block with 16-bit numbers.
#include <memory>

#include "velmora/files/files.h"
#include "velmora/runtime/text.h"
#include "velmora/upgrade/conversion.h"
#include "velmora/upgrade/format.h"
#include "velmora/upgrade/settings.h"
#include "velmora/upgrade/store.h"

namespace upg {
namespace {

constexpr size_t kMaxText = 255;

std::unique_ptr<db::FileDecl>& Slot(int which) {
  static std::unique_ptr<db::FileDecl> in, dest;
  return which == kInFile ? in : dest;
}

// Reads the format buffer from a 0-based position; never past its end
// (`ok` turns false instead).
struct FmtReader {
  const std::vector<uint8_t>& d;
  size_t pos = 0;
  bool ok = true;
  uint32_t Number(int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) {
      if (pos >= d.size()) {
        ok = false;
        return 0;
      }
      v |= uint32_t{d[pos++]} << (8 * i);
    }
    return v;
  }
  // A stored text; the position advances by the characters read and the
  // terminator. A text above 255 characters refuses the serialisation.
  std::string Text() {
    size_t n = 0;
    std::string s = StoredString(pos + 1, &n);
    if (n > kMaxText || pos + n >= d.size()) ok = false;
    pos += n + 1;
    return s;
  }
};

// Builds the 16-bit block's widened form; false when it is damaged.
struct Widener {
  const uint8_t* in;
  size_t end;
  size_t pos = 0;
  std::vector<uint8_t> out;
  bool ok = true;

  uint8_t Byte() {
    if (pos >= end) {
      ok = false;
      return 0;
    }
    return in[pos++];
  }
  void Copy(size_t n) {
    for (size_t i = 0; i < n && ok; ++i) out.push_back(Byte());
  }
  size_t Widen() {  // a 2-byte number becomes 4 bytes; returns where it went
    size_t at = out.size();
    Copy(2);
    out.push_back(0);
    out.push_back(0);
    return at;
  }
  void Text() {  // a zero-terminated text, never past the block's end
    while (pos < end && in[pos] != 0) out.push_back(in[pos++]);
    if (pos < end) out.push_back(in[pos++]);
  }
  void Put32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }
};

}  // namespace

std::string& InFileName() {
  static std::string name;
  return name;
}

std::string& DestFileName() {
  static std::string name;
  return name;
}

db::FileDecl& InFile() {
  if (!Slot(kInFile)) Slot(kInFile) = db::DeclBuilder("INFILE", "").Build();
  return *Slot(kInFile);
}

db::FileDecl& DestFile() {
  if (!Slot(kDestFile)) Slot(kDestFile) = db::DeclBuilder("DESTFILE", "").Build();
  return *Slot(kDestFile);
}

rt::Byte& OemFlag() {
  static rt::Byte flag = 0;
  return flag;
}

rt::Byte DeclaredOemFlag(const db::FileDecl& declared) {
  return (declared.Attributes() & db::kAttrOem) ? 1 : 0;
}

std::string StoredString(size_t position, size_t* charsRead) {
  const std::vector<uint8_t>& fmt = UpgFmt();
  Trace(Flag::D, "StoredString In ");
  size_t from = position >= 1 ? position - 1 : 0, n = 0;
  while (from + n < fmt.size() && fmt[from + n] != 0) ++n;
  if (charsRead) *charsRead = n;
  std::string s(fmt.begin() + static_cast<ptrdiff_t>(std::min(from, fmt.size())),
                fmt.begin() + static_cast<ptrdiff_t>(std::min(from + std::min(n, kMaxText), fmt.size())));
  Trace(Flag::D, "StoredString Out " + s);
  return s;
}

std::string MemoryToString(const uint8_t* address, size_t length) {
  if (!address || length == 0) return {};
  return std::string(reinterpret_cast<const char*>(address), std::min(length, kMaxText));
}

rt::Long ConvertGroup(rt::Long position, rt::Long length) {
  Trace(Flag::A, "ConvertGroup In ");
  std::vector<uint8_t>& fmt = UpgFmt();
  if (position < 1 || length < 8 || size_t(position - 1) + size_t(length) > fmt.size()) return 0;
  size_t start = size_t(position - 1);
  Widener w{fmt.data() + start, size_t(length), 0, {}, true};
  // Block header: type, flags, size, field count, block length.
  w.Copy(2);
  w.Widen();
  size_t countAt = w.Widen();
  size_t lengthAt = w.Widen();
  uint32_t count = w.out[countAt] | uint32_t{w.out[countAt + 1]} << 8;
  struct Group {
    size_t lengthAt, entryStart;
    uint32_t last;  // entry number of its last member
  };
  std::vector<Group> groups;
  for (uint32_t entry = 1; entry <= count && w.ok && w.pos < w.end; ++entry) {
    size_t entryStart = w.out.size();
    uint8_t type = w.Byte();
    uint8_t flags = w.Byte();
    w.out.push_back(type);
    w.out.push_back(flags);
    bool names = true;
    if (type == 10 || type == 11) {
      w.Copy(2);
    } else if (type >= 18 && type <= 20) {
      uint8_t b = w.pos < w.end ? w.in[w.pos] : 0;
      w.Copy(b < 0x20 ? 1 : b < 0x40 ? 2 : 3);
    } else if (type == 22) {
      w.Widen();
      size_t membersAt = w.Widen();
      size_t lenAt = w.Widen();
      uint32_t members = w.out[membersAt] | uint32_t{w.out[membersAt + 1]} << 8;
      groups.push_back({lenAt, entryStart, entry + members});
    } else if (!((type >= 1 && type <= 9) || type == 13 || type == 14)) {
      names = false;  // an unknown type carries nothing further
    }
    if (names) {
      if (flags & db::kMemPicture) w.Text();
      w.Text();  // label
      if (flags & db::kMemExtName) w.Text();
      if (flags & db::kMemOver) {
        uint8_t b = w.pos < w.end ? w.in[w.pos] : 0;
        uint8_t v = b & 0x7F;
        w.Copy(v < 0x20 ? 1 : v < 0x40 ? 2 : 3);
      }
      if (flags & db::kMemDims) {  // the count, then each size in the number form
        uint8_t nd = w.Byte();
        w.out.push_back(nd);
        for (uint8_t i = 0; i < nd && w.ok; ++i) {
          uint8_t b = w.pos < w.end ? w.in[w.pos] : 0;
          w.Copy(b < 0x20 ? 1 : b < 0x40 ? 2 : 3);
        }
      }
    }
    // Close every group whose last member this was (its length runs from
    // its own entry to here).
    while (!groups.empty() && groups.back().last <= entry) {
      w.Put32(groups.back().lengthAt,
              static_cast<uint32_t>(w.out.size() - groups.back().entryStart));
      groups.pop_back();
    }
  }
  while (!groups.empty()) {  // a block cut short closes what it opened
    w.Put32(groups.back().lengthAt, static_cast<uint32_t>(w.out.size() - groups.back().entryStart));
    groups.pop_back();
  }
  w.Put32(lengthAt, static_cast<uint32_t>(w.out.size()));
  if (!w.ok || start + w.out.size() > fmt.size()) {
    Trace(Flag::B, "ConvertGroup: the block does not widen within the format buffer");
    return 0;
  }
  // In place: the rest of the buffer moves on by the bytes gained.
  std::vector<uint8_t> rest(fmt.begin() + static_cast<ptrdiff_t>(start + size_t(length)), fmt.end());
  std::copy(w.out.begin(), w.out.end(), fmt.begin() + static_cast<ptrdiff_t>(start));
  size_t after = start + w.out.size();
  std::copy_n(rest.begin(), std::min(rest.size(), fmt.size() - after),
              fmt.begin() + static_cast<ptrdiff_t>(after));
  Trace(Flag::A, "ConvertGroup Out ");
  return static_cast<rt::Long>(w.out.size());
}

rt::Long MakeFile(int which) {
  Trace(Flag::A, "MakeFile IN.");
  bool debug = EngineSwitch("/debugrv2make");
  auto Debug = [debug](const std::string& s) {
    if (debug) WriteTrace(s);
  };
  Trace(Flag::D, "MakeFile In ");
  const std::vector<uint8_t>& fmt = UpgFmt();
  bool current = !fmt.empty() && fmt[0] == '1';
  Debug(current ? "Made In 32 " : "Made In 16 ");
  int wide = current ? 4 : 2;
  FmtReader r{fmt, current ? size_t{1} : size_t{0}};

  std::string code;
  for (int i = 0; i < 3; ++i) code.push_back(static_cast<char>(r.Number(1)));
  uint32_t entry = DriverPointer(code);
  Trace(Flag::C, "makefile rtfh:driver: " + std::to_string(entry) +
                     " - if 0, then makefile returns 0 now!");
  if (entry == 0) return 0;
  std::string& name = which == kInFile ? InFileName() : DestFileName();
  Debug((which == kInFile ? "InFileName = " : "DestFileName = ") + name);

  std::string send = r.Text();
  Debug("Send String = " + send);
  std::string owner = r.Text();
  if (!owner.empty()) Debug("Owner = [stored]");
  uint8_t attrib = static_cast<uint8_t>(r.Number(1) | db::kAttrCreate);
  if (OemFlag()) attrib |= db::kAttrOem;
  Debug("Attributes = " + std::to_string(attrib));
  uint32_t numKeys = r.Number(1);
  if (numKeys > kMaxKeys) Trace(Flag::B, "Too many keys..." + std::to_string(numKeys));
  Debug("Number of Keys = " + std::to_string(numKeys));
  uint32_t numMemos = r.Number(1);
  if (numMemos > kMaxMemos) Trace(Flag::B, "Too many memos..." + std::to_string(numMemos));
  Debug("Number of Memos = " + std::to_string(numMemos));
  uint32_t recLen = r.Number(wide);
  Debug("Record Length = " + std::to_string(recLen));
  if (!r.ok || numKeys > kMaxKeys || numMemos > kMaxMemos || recLen > kMaxRecord) {
    Trace(Flag::B, "MakeFile: serialisation refused");
    return 0;
  }

  std::vector<db::KeyDesc> keys(numKeys);
  for (size_t n = 0; n < keys.size() && r.ok; ++n) {
    db::KeyDesc& k = keys[n];
    uint32_t comps = r.Number(1);
    k.attrib = r.Number(wide);
    Debug("Key Number : " + std::to_string(n + 1) + " Number of Key Fields = " +
          std::to_string(comps));
    Debug("attributes : " + std::to_string(k.attrib & 0xFF) + " type= " +
          std::to_string((k.attrib >> 8) & 0xFF));
    k.extName = r.Text();
    if (!rt::Clip(k.extName).empty()) k.extName[0] = '$';
    k.label = r.Text();
    for (uint32_t c = 0; c < comps && r.ok; ++c) {
      uint32_t v = r.Number(wide);
      k.components.push_back(current ? static_cast<int32_t>(v)
                                     : static_cast<int32_t>(static_cast<int16_t>(v)));
    }
  }
  std::vector<db::MemoDesc> memos(numMemos);
  for (db::MemoDesc& m : memos) {
    m.kind = static_cast<uint8_t>(r.Number(1));
    m.size = r.Number(wide);
    m.extName = r.Text();
    m.label = r.Text();
    m.data.reserve(m.size);  // the buffer holds a memo of its declared size
  }
  if (!r.ok) {
    Trace(Flag::B, "MakeFile: serialisation refused");
    return 0;
  }

  // The field-descriptor block: its length at offset 6 (older, 2 bytes)
  // or offset 10 (current, 4 bytes).
  size_t at = r.pos;
  FmtReader head{fmt, at + (current ? 10 : 6)};
  size_t blockLen = head.Number(wide);
  if (!head.ok || blockLen < (current ? 14u : 8u) || at + blockLen > fmt.size()) {
    Trace(Flag::B, "MakeFile: serialisation refused");
    return 0;
  }
  if (!current) {
    rt::Long widened = ConvertGroup(static_cast<rt::Long>(at + 1), static_cast<rt::Long>(blockLen));
    if (widened == 0) return 0;
    blockLen = size_t(widened);
  }
  std::vector<uint8_t> block(fmt.begin() + static_cast<ptrdiff_t>(at),
                             fmt.begin() + static_cast<ptrdiff_t>(at + blockLen));

  auto decl = db::FileDecl::FromBlock(which == kInFile ? "INFILE" : "DESTFILE", "",
                                      db::DriverNameFor(entry), std::move(block), std::move(keys),
                                      std::move(memos), attrib, recLen);
  decl->SetName(rt::Clip(name));
  decl->SetSendText(rt::Clip(send));
  decl->SetOwner(owner);
  Slot(which == kInFile ? kInFile : kDestFile) = std::move(decl);
  Trace(Flag::D, "MakeFile Out ");
  Trace(Flag::A, "MakeFile OUT.");
  return 1;
}

}  // namespace upg
