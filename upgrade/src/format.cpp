// The serialised file declaration: ReadFormat and its inverse.
#include "velmora/upgrade/format.h"

#include <string>

#include "velmora/files/files.h"
#include "velmora/runtime/text.h"
#include "velmora/upgrade/registration.h"
#include "velmora/upgrade/settings.h"
#include "velmora/upgrade/store.h"

namespace upg {
namespace {

constexpr size_t kMaxText = 255;

// Writes into the format buffer; every put refuses to pass MAXDEFSIZE.
struct Writer {
  std::vector<uint8_t>& buf;
  size_t n = 0;
  bool ok = true;
  void Byte(uint8_t b) {
    if (n >= kMaxDefSize) {
      ok = false;
      return;
    }
    buf[n++] = b;
  }
  void U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) Byte(static_cast<uint8_t>(v >> (8 * i)));
  }
  void Text(const std::string& s) {
    if (s.size() > kMaxText) ok = false;
    for (char c : s) Byte(static_cast<uint8_t>(c));
    Byte(0);
  }
};

struct Reader {
  std::span<const uint8_t> d;
  size_t pos = 0;
  bool ok = true;
  uint8_t Byte() {
    if (pos >= d.size()) {
      ok = false;
      return 0;
    }
    return d[pos++];
  }
  uint32_t U32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t{Byte()} << (8 * i);
    return v;
  }
  std::string Text() {
    std::string s;
    for (uint8_t c; (c = Byte()) != 0 && ok;) s.push_back(static_cast<char>(c));
    return s;
  }
};

bool IsSqlCode(std::string_view code) {
  std::string up = rt::Upper(code);
  return up == "MSS" || up == "ORA" || up == "ASA" || up == "ODB";
}

// The block's own length: the 32-bit number at offset 10.
size_t BlockLength(const std::vector<uint8_t>& block) {
  if (block.size() < 14) return block.size();
  uint32_t n = block[10] | uint32_t{block[11]} << 8 | uint32_t{block[12]} << 16 |
               uint32_t{block[13]} << 24;
  return std::min<size_t>(n, block.size());
}

}  // namespace

rt::Long ReadFormat(const db::FileDecl& file, FormatCaller caller) {
  Writer w{UpgFmt()};
  w.Byte('1');
  std::string code = DriverUsed(file);
  if (code.empty()) return kFormatNoDriver;
  code.resize(3, ' ');
  for (char c : code) w.Byte(static_cast<uint8_t>(c));
  if (IsSqlCode(code)) {
    w.Byte(0);
    w.Byte(0);
  } else {
    w.Text(file.SendText());
    w.Text(file.Owner());
  }
  if (!w.ok) return kFormatTooLarge;
  w.Byte(file.Attributes());
  size_t keys = file.Keys().size(), memos = file.Memos().size();
  w.Byte(static_cast<uint8_t>(keys));
  if (keys > kMaxKeys) {
    Trace(Flag::B, "Too many keys : " + std::to_string(keys) + " " + std::to_string(kMaxKeys));
    return kFormatTooLarge;
  }
  w.Byte(static_cast<uint8_t>(memos));
  if (memos > kMaxMemos) {
    Trace(Flag::B, "Too many memos : " + std::to_string(memos) + " " + std::to_string(kMaxMemos));
    return kFormatTooLarge;
  }
  w.U32(file.RecordLength());
  for (const db::KeyDesc& k : file.Keys()) {
    if (k.components.size() > 255) return kFormatTooLarge;
    w.Byte(static_cast<uint8_t>(k.components.size()));
    w.U32(k.attrib);
    Trace(Flag::F, "attributes = " + std::to_string(k.attrib));
    w.Text(k.extName);
    w.Text(k.label);
    for (int32_t c : k.components) w.U32(static_cast<uint32_t>(c));
  }
  for (const db::MemoDesc& m : file.Memos()) {
    w.Byte(m.kind);
    w.U32(m.size);
    w.Text(m.extName);
    w.Text(m.label);
  }
  if (!w.ok) return kFormatTooLarge;
  const std::vector<uint8_t>& block = file.FieldBlock();
  size_t blockLen = BlockLength(block);
  if (w.n + 1 + blockLen > kMaxDefSize) {
    Trace(Flag::F, "Too Big 2 : fmtp+shrt=" + std::to_string(w.n + 1 + blockLen) +
                       " MAXDEFSIZE=" + std::to_string(kMaxDefSize));
    return kFormatTooLarge;
  }
  std::copy(block.begin(), block.begin() + static_cast<ptrdiff_t>(blockLen), w.buf.begin() + static_cast<ptrdiff_t>(w.n));
  w.n += blockLen;
  rt::Long position = static_cast<rt::Long>(w.n + 1);
  if (caller == FormatCaller::File)
    Trace(Flag::F, " File Definition size = " + std::to_string(position) + ". File : " + file.Name());
  else
    Trace(Flag::F, " File Definition size == " + std::to_string(position) + ". File : " +
                       file.Name() + UpgLabel() + " " + std::to_string(UpgVersion()));
  Trace(Flag::B, "Too Big ? : fmtp=" + std::to_string(position));
  return position;
}

std::unique_ptr<db::FileDecl> ParseFormat(std::span<const uint8_t> fmt) {
  Reader r{fmt};
  if (r.Byte() != '1') return nullptr;
  std::string code;
  for (int i = 0; i < 3; ++i) code.push_back(static_cast<char>(r.Byte()));
  std::string send, owner;
  if (IsSqlCode(code)) {
    r.Byte();
    r.Byte();
  } else {
    send = r.Text();
    owner = r.Text();
  }
  uint8_t attrib = r.Byte();
  uint8_t numKeys = r.Byte(), numMemos = r.Byte();
  uint32_t recLen = r.U32();
  if (!r.ok || numKeys > kMaxKeys || numMemos > kMaxMemos) return nullptr;
  std::vector<db::KeyDesc> keys(numKeys);
  for (db::KeyDesc& k : keys) {
    uint8_t n = r.Byte();
    k.attrib = r.U32();
    k.extName = r.Text();
    k.label = r.Text();
    for (uint8_t i = 0; i < n; ++i) k.components.push_back(static_cast<int32_t>(r.U32()));
  }
  std::vector<db::MemoDesc> memos(numMemos);
  for (db::MemoDesc& m : memos) {
    m.kind = r.Byte();
    m.size = r.U32();
    m.extName = r.Text();
    m.label = r.Text();
  }
  if (!r.ok || r.pos + 14 > fmt.size()) return nullptr;
  std::span<const uint8_t> head = fmt.subspan(r.pos, 14);
  size_t blockLen = head[10] | size_t{head[11]} << 8 | size_t{head[12]} << 16 |
                    size_t{head[13]} << 24;
  if (blockLen < 14 || r.pos + blockLen > fmt.size() || recLen > kMaxRecord) return nullptr;
  std::vector<uint8_t> block(fmt.begin() + static_cast<ptrdiff_t>(r.pos),
                             fmt.begin() + static_cast<ptrdiff_t>(r.pos + blockLen));
  uint32_t entry = DriverPointer(code);
  if (entry == 0) return nullptr;
  auto decl = db::FileDecl::FromBlock("", "", db::DriverNameFor(entry), std::move(block),
                                      std::move(keys), std::move(memos), attrib, recLen);
  decl->SetSendText(std::move(send));
  decl->SetOwner(std::move(owner));
  return decl;
}

}  // namespace upg
