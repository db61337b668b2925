// What the BASIC and DOS drivers share: plain files read in record order.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "internal.h"
#include "velmora/runtime/errors.h"

namespace db {

bool PlainDriver::Prepare(FileDecl& f, uint32_t mode, PlainState& s) {
  std::string path = HostPath(f.Name());
  if (path.empty() || !PathExists(path)) {
    rt::SetError(rt::kFileNotFound);
    return false;
  }
  s.driver = this;
  s.mode = mode;
  s.path = path;
  return s.lock.Acquire(path, {}, mode, false);
}

void PlainDriver::Create(FileDecl& f) {
  std::string path = HostPath(f.Name());
  if (f.State() || !FileIsFree(path)) return rt::SetError(rt::kAccessDenied);
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return rt::SetError(errno == ENOENT ? rt::kPathNotFound : rt::kAccessDenied);
  ::close(fd);
  rt::ClearError();
}

void PlainDriver::CreateMissing(FileDecl& f) {
  std::string path = HostPath(f.Name());
  if (f.State()) return rt::SetError(rt::kAccessDenied);
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0 && errno != EEXIST) return rt::SetError(errno == ENOENT ? rt::kPathNotFound : rt::kAccessDenied);
  if (fd >= 0) ::close(fd);
  rt::ClearError();
}

void PlainDriver::Close(FileDecl& f) {
  f.StateSlot().reset();
  rt::ClearError();
}

void PlainDriver::Set(FileDecl& f, int key) {
  if (key != 0) return Driver::Set(f, key);
  Plain(f).next = 0;
  rt::ClearError();
}

void PlainDriver::SetAtPosition(FileDecl& f, std::string_view position) {
  Plain(f).next = ParsePosition(position);
  rt::ClearError();
}

std::string PlainDriver::Position(FileDecl& f) {
  PlainState& s = Plain(f);
  if (!s.haveCur) {
    rt::SetError(rt::kRecordNotAvailable);
    return {};
  }
  rt::ClearError();
  return std::to_string(s.current);
}

uint64_t PlainDriver::ParsePosition(std::string_view p) {
  return std::strtoull(std::string(p).c_str(), nullptr, 10);
}

}  // namespace db
