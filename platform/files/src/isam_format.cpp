// The ISAM driver's file format helpers: the stored declaration, the
// check of a file's bytes before SQLite opens it (main file and WAL), and
// the checksum kept with every record.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>

#include "isam_internal.h"

namespace db::isam {

namespace {

constexpr uint32_t kKeyCompareBits = kKeyDup | kKeyOpt | kKeyNoCase | kKeyPrimary;

// ---- the stored declaration

void W32(std::string& o, uint32_t v) {
  for (int i = 0; i < 4; ++i) o.push_back(static_cast<char>(v >> (8 * i)));
}
void WText(std::string& o, const std::string& s) {
  o += s;
  o.push_back('\0');
}

struct Reader {
  const std::string& s;
  size_t pos = 0;
  bool ok = true;
  uint32_t U32() {
    if (pos + 4 > s.size()) { ok = false; return 0; }
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<uint8_t>(s[pos + i])) << (8 * i);
    pos += 4;
    return v;
  }
  uint8_t U8() {
    if (pos >= s.size()) { ok = false; return 0; }
    return static_cast<uint8_t>(s[pos++]);
  }
  std::string Text() {
    size_t end = s.find('\0', pos);
    if (end == std::string::npos) { ok = false; return {}; }
    std::string t = s.substr(pos, end - pos);
    pos = end + 1;
    return t;
  }
};

}  // namespace

std::string SerializeDecl(const FileDecl& f) {
  std::string o = "VMD1";
  o.push_back(static_cast<char>(f.Attributes()));
  W32(o, f.RecordLength());
  W32(o, static_cast<uint32_t>(f.FieldBlock().size()));
  o.append(f.FieldBlock().begin(), f.FieldBlock().end());
  W32(o, static_cast<uint32_t>(f.Keys().size()));
  for (const KeyDesc& k : f.Keys()) {
    W32(o, k.attrib);
    W32(o, static_cast<uint32_t>(k.components.size()));
    for (int32_t c : k.components) W32(o, static_cast<uint32_t>(c));
    WText(o, k.label);
    WText(o, k.extName);
  }
  W32(o, static_cast<uint32_t>(f.Memos().size()));
  for (const MemoDesc& m : f.Memos()) {
    o.push_back(static_cast<char>(m.kind));
    W32(o, m.size);
    WText(o, m.label);
    WText(o, m.extName);
  }
  return o;
}

std::unique_ptr<FileDecl> ParseDecl(const std::string& s) {
  if (s.compare(0, 4, "VMD1") != 0) return nullptr;
  Reader r{s, 4};
  uint8_t attrib = r.U8();
  uint32_t recLen = r.U32();
  uint32_t blen = r.U32();
  if (!r.ok || r.pos + blen > s.size()) return nullptr;
  std::vector<uint8_t> blk(s.begin() + static_cast<ptrdiff_t>(r.pos),
                           s.begin() + static_cast<ptrdiff_t>(r.pos + blen));
  r.pos += blen;
  std::vector<KeyDesc> keys(r.U32() & 0xFF);
  for (KeyDesc& k : keys) {
    k.attrib = r.U32();
    uint32_t n = r.U32();
    if (!r.ok || n > 1000) return nullptr;
    for (uint32_t i = 0; i < n; ++i) k.components.push_back(static_cast<int32_t>(r.U32()));
    k.label = r.Text();
    k.extName = r.Text();
  }
  std::vector<MemoDesc> memos(r.U32() & 0xFF);
  for (MemoDesc& m : memos) {
    m.kind = r.U8();
    m.size = r.U32();
    m.label = r.Text();
    m.extName = r.Text();
  }
  if (!r.ok || recLen > (1u << 24)) return nullptr;
  return FileDecl::FromBlock("", "", "ISAM", std::move(blk), std::move(keys),
                             std::move(memos), attrib, recLen);
}

bool SameStructure(const FileDecl& a, const FileDecl& b) {
  if (a.RecordLength() != b.RecordLength()) return false;
  constexpr uint8_t kProtection = kAttrOwner | kAttrEncrypt;
  if ((a.Attributes() & kProtection) != (b.Attributes() & kProtection)) return false;
  if (a.Fields().size() != b.Fields().size()) return false;
  for (size_t i = 0; i < a.Fields().size(); ++i) {
    const FieldInfo &x = a.Fields()[i], &y = b.Fields()[i];
    if (x.type != y.type || x.size != y.size || x.places != y.places ||
        x.grpLen != y.grpLen || x.grpNum != y.grpNum || x.dims != y.dims ||
        x.offset != y.offset || x.over != y.over ||
        (x.over && x.overRef != y.overRef))
      return false;
  }
  if (a.Keys().size() != b.Keys().size()) return false;
  for (size_t i = 0; i < a.Keys().size(); ++i)
    if (a.Keys()[i].components != b.Keys()[i].components ||
        (a.Keys()[i].attrib & kKeyCompareBits) != (b.Keys()[i].attrib & kKeyCompareBits))
      return false;
  if (a.Memos().size() != b.Memos().size()) return false;
  for (size_t i = 0; i < a.Memos().size(); ++i)
    if (a.Memos()[i].kind != b.Memos()[i].kind || a.Memos()[i].size != b.Memos()[i].size)
      return false;
  return true;
}


// ---- the on-disk check done before SQLite touches a file

namespace {

uint32_t Be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

FormatCheck Result(FormatCheck::Kind kind, std::string reason) { return {kind, std::move(reason)}; }

FormatCheck FromErrno(int err, const char* what) {
  if (err == ENOENT) return Result(FormatCheck::Missing, "file not found");
  std::string reason = std::string(what) + ": " + std::strerror(err);
  if (err == EACCES || err == EPERM) return Result(FormatCheck::Denied, reason);
  return Result(FormatCheck::Failed, reason);
}

// Closes a descriptor when it goes out of scope.
struct Fd {
  int fd;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

// The pages the committed frames of a WAL hold and the database size the
// last commit gives (0 without a valid WAL or commit). Frames written
// after the last commit, and frames of an earlier WAL generation (other
// salts), do not count, as SQLite ignores them too.
struct WalPages {
  std::set<uint32_t> pages;
  uint32_t dbSize = 0;
};

bool ReadWal(const std::string& path, uint32_t pageSize, WalPages& out, FormatCheck& err) {
  Fd wal{::open((path + "-wal").c_str(), O_RDONLY | O_CLOEXEC)};
  if (wal.fd < 0) {
    if (errno == ENOENT) return true;
    err = FromErrno(errno, "cannot read the WAL");
    return false;
  }
  uint8_t h[32];
  ssize_t n = ::pread(wal.fd, h, sizeof h, 0);
  if (n < 0) {
    err = FromErrno(errno, "cannot read the WAL");
    return false;
  }
  uint32_t magic = n == 32 ? Be32(h) : 0;
  if ((magic & 0xFFFFFFFEu) != 0x377F0682u || Be32(h + 8) != pageSize) return true;
  std::set<uint32_t> pending;
  for (off_t pos = 32;; pos += 24 + static_cast<off_t>(pageSize)) {
    uint8_t fh[24];
    n = ::pread(wal.fd, fh, sizeof fh, pos);
    if (n < 0) {
      err = FromErrno(errno, "cannot read the WAL");
      return false;
    }
    if (n < 24 || std::memcmp(fh + 8, h + 16, 8) != 0) break;
    pending.insert(Be32(fh));
    if (uint32_t size = Be32(fh + 4)) {
      out.pages.merge(pending);
      pending.clear();
      out.dbSize = size;
    }
  }
  return true;
}

}  // namespace

bool WalHasFrames(const std::string& path) {
  struct stat st;
  return ::stat((path + "-wal").c_str(), &st) == 0 && st.st_size > 32;
}

// Ours so far as the bytes tell: an SQLite header in WAL mode, whole
// pages, and every page the database holds either in the main file or in
// a committed frame of its WAL.
FormatCheck CheckFormat(const std::string& path) {
  Fd in{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  if (in.fd < 0) return FromErrno(errno, "cannot open the file");
  uint8_t h[100] = {};
  ssize_t n = ::pread(in.fd, h, sizeof h, 0);
  if (n < 0) return FromErrno(errno, "cannot read the file");
  constexpr const char* kForeign = "not a data file of this program";
  if (n < 100 || std::memcmp(h, "SQLite format 3", 16) != 0 || h[18] != 2 || h[19] != 2)
    return Result(FormatCheck::NotOurs, kForeign);
  uint32_t pageSize = (uint32_t{h[16]} << 8) | h[17];
  if (pageSize == 1) pageSize = 65536;
  if (pageSize < 512 || (pageSize & (pageSize - 1)) != 0)
    return Result(FormatCheck::NotOurs, kForeign);
  struct stat st;
  if (::fstat(in.fd, &st) != 0) return FromErrno(errno, "cannot read the file");
  if (st.st_size % pageSize != 0)
    return Result(FormatCheck::NotOurs, "damaged: the file does not end on a page boundary");
  uint64_t have = static_cast<uint64_t>(st.st_size) / pageSize;
  WalPages wal;
  FormatCheck err;
  if (!ReadWal(path, pageSize, wal, err)) return err;
  uint64_t need = wal.dbSize ? wal.dbSize : Be32(h + 28);
  for (uint64_t p = have + 1; p <= need; ++p)
    if (!wal.pages.count(static_cast<uint32_t>(p)))
      return Result(FormatCheck::NotOurs, "damaged: the file is shorter than its contents");
  return Result(FormatCheck::Ours, {});
}

// ---- record checksums

namespace {
constexpr uint64_t kMul1 = 0x9E3779B97F4A7C15ull, kMul2 = 0xC2B2AE3D27D4EB4Full;
uint64_t Rotl(uint64_t v, int r) { return (v << r) | (v >> (64 - r)); }
}  // namespace

void Checksum::Add(const void* data, size_t n) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  h_ = Rotl(h_ ^ (n * kMul2), 27) * kMul1;
  for (; n >= 8; n -= 8, p += 8) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    h_ = Rotl(h_ ^ (w * kMul2), 31) * kMul1;
  }
  if (n) {
    uint64_t w = 0;
    std::memcpy(&w, p, n);
    h_ = Rotl(h_ ^ (w * kMul2), 31) * kMul1;
  }
}

uint64_t Checksum::Value() const {
  uint64_t v = h_;
  v ^= v >> 33;
  v *= kMul2;
  v ^= v >> 29;
  v *= kMul1;
  return v ^ (v >> 32);
}

}  // namespace db::isam
