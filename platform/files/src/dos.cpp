// The DOS driver: a file of raw bytes. The record buffer is read from and
// written to a byte position; ADD and APPEND write at the end.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "internal.h"
#include "velmora/runtime/errors.h"

namespace db {

namespace {

struct DosState : PlainState {
  int fd = -1;
  unsigned long buffers = 0;  // FILEBUFFERS: 512-byte buffers read ahead
  ~DosState() override {
    if (fd >= 0) ::close(fd);
  }
};

class Dos final : public PlainDriver {
 public:
  void Open(FileDecl& f, uint32_t mode) override {
    auto s = std::make_unique<DosState>();
    if (!Prepare(f, mode, *s)) return;
    s->fd = ::open(s->path.c_str(), ((mode & 0x0F) ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (s->fd < 0) return rt::SetError(rt::kAccessDenied);
    f.StateSlot() = std::move(s);
    rt::ClearError();
  }
  // A failing close (the last writes not stored) is reported.
  void Close(FileDecl& f) override {
    DosState& s = State(f);
    const int fd = s.fd;
    s.fd = -1;
    const bool ok = fd < 0 || ::close(fd) == 0;
    const int err = errno;
    f.StateSlot().reset();
    if (!ok) return rt::SetFileError(rt::kDriverError, err, std::strerror(err), f.Name());
    rt::ClearError();
  }
  void Next(FileDecl& f) override {
    DosState& s = State(f);
    if (!ReadAt(f, s, s.next)) {
      if (rt::ErrorCode() == rt::kRecordNotFound) rt::SetError(rt::kRecordNotAvailable);
      return;
    }
    s.next += f.RecordLength();
  }
  void GetAtPosition(FileDecl& f, std::string_view position) override {
    ReadAt(f, State(f), ParsePosition(position));
  }
  void Add(FileDecl& f) override {
    DosState& s = State(f);
    WriteAt(f, s, Size(s), f.RecordLength());
  }
  void Add(FileDecl& f, uint32_t length) override {
    if (length > f.RecordLength())
      return rt::SetFileError(rt::kDriverError, 0, "ADD length is longer than the record");
    DosState& s = State(f);
    WriteAt(f, s, Size(s), length);
  }
  void Put(FileDecl& f) override {
    DosState& s = State(f);
    if (!s.haveCur) return rt::SetError(rt::kRecordNotAvailable);
    WriteAt(f, s, s.current, f.RecordLength());
  }
  uint32_t Records(FileDecl& f) override {
    rt::ClearError();
    return f.RecordLength() ? static_cast<uint32_t>(Size(State(f)) / f.RecordLength()) : 0;
  }
  std::vector<uint8_t> ReadBytes(FileDecl& f, uint64_t position, uint32_t length) override {
    return ReadHostBytes(State(f).fd, position, length);
  }
  uint64_t FileSize(FileDecl& f) override {
    rt::ClearError();
    return Size(State(f));
  }
  // "FILEBUFFERS=<n>": the file is about to be read through, n buffers of
  // 512 bytes; the system reads that much ahead. Without "=" the setting
  // is answered.
  std::string Send(FileDecl& f, std::string_view command) override {
    rt::ClearError();
    size_t eq = command.find('=');
    std::string name(command.substr(0, eq));
    for (char& c : name) c = static_cast<char>(Upper1252(static_cast<uint8_t>(c)));
    if (name != "FILEBUFFERS") return {};
    DosState& s = State(f);
    if (eq == std::string_view::npos) return std::to_string(s.buffers);
    s.buffers = std::strtoul(std::string(command.substr(eq + 1)).c_str(), nullptr, 10);
    if (s.buffers > 0)
      ::posix_fadvise(s.fd, 0, static_cast<off_t>(s.buffers) * 512, POSIX_FADV_WILLNEED);
    return {};
  }

 private:
  static DosState& State(FileDecl& f) { return *static_cast<DosState*>(f.State()); }
  static uint64_t Size(DosState& s) { return HostFileSize(s.fd); }
  // Reads a record at `pos`; a short last record leaves the rest zero.
  static bool ReadAt(FileDecl& f, DosState& s, uint64_t pos) {
    std::memset(f.Record(), 0, f.RecordLength());
    ssize_t n = ::pread(s.fd, f.Record(), f.RecordLength(), static_cast<off_t>(pos));
    if (n < 0) {
      rt::SetError(rt::kAccessDenied);
      return false;
    }
    if (n == 0) {
      rt::SetError(rt::kRecordNotFound);
      return false;
    }
    s.current = pos;
    s.haveCur = true;
    rt::ClearError();
    return true;
  }
  static void WriteAt(FileDecl& f, DosState& s, uint64_t pos, uint32_t length) {
    if ((s.mode & 0x0F) == 0) return rt::SetError(rt::kAccessDenied);
    ssize_t n = ::pwrite(s.fd, f.Record(), length, static_cast<off_t>(pos));
    if (n != static_cast<ssize_t>(length)) return rt::SetError(rt::kAccessDenied);
    s.current = pos;
    s.haveCur = true;
    rt::ClearError();
  }
};

}  // namespace

Driver& DosDriver() {
  static Dos d;
  return d;
}

}  // namespace db
