// The TAVREL driver: data files of the platform's older generation, read
// only. Such a file starts with an 85-byte header signed "C3" that
// describes its own structure (field, key, picture and array records
// follow it); the upgrade engine turns that description into a
// declaration and converts the records into a data file of today.
//
// What the driver reads (numbers little-endian, positions 0-based):
//   header offset 2   attributes (SHORT; bit value 2: scrambled)
//   header offset 5   live records (LONG, not relied on)
//   header offset 13  field records (SHORT)
//   header offset 19  record length (SHORT), 5 bytes of record header included
//   header offset 21  position of the first record (LONG)
//   header offset 67  memo size (USHORT; 0 = no memo)
// The records follow one after the other from that position to the end
// of the file. Each starts with its 5-byte record header, whose first
// byte is 0 for a live record (any other value: deleted, passed over),
// and its data (the record buffer) follows.
//
// The declaration's record length must be the header's less 5 (47
// otherwise). Scrambled files and files with a memo are refused (90):
// their contents cannot be read here, and a conversion must not take them
// for empty. Writes are refused (90); the file may still be renamed,
// copied and removed as a whole.
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "internal.h"
#include "velmora/runtime/errors.h"

namespace db {

namespace {

constexpr uint32_t kHeaderSize = 85;
constexpr uint32_t kFieldRecordSize = 27;
constexpr uint32_t kRecordHeader = 5;

uint32_t U16(const uint8_t* p) { return p[0] | uint32_t{p[1]} << 8; }
uint32_t U32(const uint8_t* p) { return U16(p) | U16(p + 2) << 16; }

struct TavrelState : PlainState {
  int fd = -1;
  uint64_t first = 0;    // position of the first record
  uint32_t slot = 0;     // bytes of one record, its header included
  uint8_t status = 0;    // the first byte of the slot read last
  ~TavrelState() override {
    if (fd >= 0) ::close(fd);
  }
};

class Tavrel final : public PlainDriver {
 public:
  void Open(FileDecl& f, uint32_t mode) override {
    auto s = std::make_unique<TavrelState>();
    if (!Prepare(f, mode, *s)) return;
    s->fd = ::open(s->path.c_str(), O_RDONLY | O_CLOEXEC);
    if (s->fd < 0) return rt::SetError(rt::kAccessDenied);
    uint8_t h[kHeaderSize];
    if (::pread(s->fd, h, kHeaderSize, 0) != static_cast<ssize_t>(kHeaderSize) || h[0] != 'C' || h[1] != '3')
      return Refuse(f, rt::kInvalidDataFile, "not an old-format data file");
    if (U16(h + 2) & 0x02) return Refuse(f, rt::kDriverError, "the file's structure is scrambled");
    if (U16(h + 67) != 0) return Refuse(f, rt::kDriverError, "the memos of old-format files are not read");
    s->slot = U16(h + 19);
    s->first = U32(h + 21);
    if (s->slot <= kRecordHeader || s->slot - kRecordHeader != f.RecordLength())
      return Refuse(f, rt::kInvalidRecordDeclaration, "the record length differs from the file's");
    if (s->first < kHeaderSize + uint64_t{kFieldRecordSize} * U16(h + 13) || s->first > Size(*s))
      return Refuse(f, rt::kInvalidDataFile, "the position of the first record is not in the file");
    s->next = s->first;
    f.StateSlot() = std::move(s);
    rt::ClearError();
  }
  void Create(FileDecl& f) override { NotSupported(f, "CREATE"); }
  void Set(FileDecl& f, int key) override {
    if (key != 0) return Driver::Set(f, key);
    State(f).next = State(f).first;
    rt::ClearError();
  }
  void Next(FileDecl& f) override {
    TavrelState& s = State(f);
    for (;;) {
      if (!ReadAt(f, s, s.next)) return;
      s.next += s.slot;
      if (s.status == 0) break;
    }
    s.current = s.next - s.slot;
    s.haveCur = true;
    rt::ClearError();
  }
  void GetAtPosition(FileDecl& f, std::string_view position) override {
    TavrelState& s = State(f);
    uint64_t at = ParsePosition(position);
    if (at < s.first || (at - s.first) % s.slot != 0) return rt::SetError(rt::kRecordNotFound);
    if (!ReadAt(f, s, at) || s.status != 0) {
      if (rt::ErrorCode() != rt::kAccessDenied) rt::SetError(rt::kRecordNotFound);
      return;
    }
    s.current = at;
    s.haveCur = true;
    rt::ClearError();
  }
  void Add(FileDecl& f) override { NotSupported(f, "ADD"); }
  uint32_t Records(FileDecl& f) override {
    TavrelState& s = State(f);
    uint32_t n = 0;
    const uint64_t end = Size(s);
    for (uint64_t at = s.first; at + s.slot <= end; at += s.slot) {
      uint8_t status = 1;
      if (::pread(s.fd, &status, 1, static_cast<off_t>(at)) != 1) {
        rt::SetError(rt::kAccessDenied);
        return n;
      }
      if (status == 0) ++n;
    }
    rt::ClearError();
    return n;
  }
  std::vector<uint8_t> ReadBytes(FileDecl& f, uint64_t position, uint32_t length) override {
    return ReadHostBytes(State(f).fd, position, length);
  }
  uint64_t FileSize(FileDecl& f) override {
    rt::ClearError();
    return Size(State(f));
  }

 private:
  static TavrelState& State(FileDecl& f) { return *static_cast<TavrelState*>(f.State()); }
  static uint64_t Size(const TavrelState& s) { return HostFileSize(s.fd); }
  static void Refuse(const FileDecl& f, int code, const std::string& why) {
    rt::SetFileError(code, 0, why, f.Name());
  }
  // Reads the record slot at `pos`: its status byte into s.status, its
  // data into the record buffer. False with 33 past the last whole slot.
  bool ReadAt(FileDecl& f, TavrelState& s, uint64_t pos) {
    buffer_.resize(s.slot);
    ssize_t n = ::pread(s.fd, buffer_.data(), s.slot, static_cast<off_t>(pos));
    if (n < 0) {
      rt::SetError(rt::kAccessDenied);
      return false;
    }
    if (static_cast<size_t>(n) < s.slot) {  // a slot cut short is no record
      rt::SetError(rt::kRecordNotAvailable);
      return false;
    }
    s.status = buffer_[0];
    std::memcpy(f.Record(), buffer_.data() + kRecordHeader, f.RecordLength());
    return true;
  }
  thread_local static std::vector<uint8_t> buffer_;
};

thread_local std::vector<uint8_t> Tavrel::buffer_;

}  // namespace

Driver& TavrelDriver() {
  static Tavrel d;
  return d;
}

}  // namespace db
