// Access modes: deny all / deny write / deny none, held exactly across the
// threads of the process (a table of open instances) and across processes
// through open-file-description locks on a companion lock file.
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <filesystem>
#include <map>
#include <mutex>

#include "internal.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/text.h"

namespace db {

namespace {

struct Roles {
  bool write = false, denyRead = false, denyWrite = false;
};

Roles RolesOf(uint32_t mode) {
  Roles r;
  r.write = (mode & 0x0F) != 0;
  switch (mode & 0xF0) {
    case kDenyAll: r.denyRead = r.denyWrite = true; break;
    case kDenyWrite: r.denyWrite = true; break;
    case 0x30: r.denyRead = true; break;  // deny read
    default: break;                       // deny none (and no deny bits)
  }
  return r;
}

bool Conflict(const Roles& a, const Roles& b) {
  return a.denyRead || b.denyRead || (a.denyWrite && b.write) ||
         (b.denyWrite && a.write);
}

struct Table {
  std::mutex mutex;
  uint64_t nextId = 1;
  std::multimap<std::string, std::pair<uint64_t, Roles>> open;  // key -> instance
};

Table& Instances() {
  static Table t;
  return t;
}

std::string Canonical(const std::string& path) {
  char buf[PATH_MAX];
  if (::realpath(path.c_str(), buf)) return buf;
  return path;
}

// Byte ranges in the lock file: per table a block of 8 bytes; in it
// 0 read, 1 write, 2 deny read, 3 deny write. An flock on the whole file
// guards the check-and-take (it works on read-only descriptors too).
off_t TableBase(const std::string& table) {
  if (table.empty()) return 0;
  uint32_t h = 2166136261u;
  for (unsigned char c : table) h = (h ^ Upper1252(c)) * 16777619u;
  return 8 * (1 + static_cast<off_t>(h % 1000003u));
}

bool Lock(int fd, int cmd, short type, off_t start, off_t len) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = start;
  fl.l_len = len;
  return ::fcntl(fd, cmd, &fl) == 0;
}

// True when another open file description holds a lock on the range.
bool Taken(int fd, off_t start, off_t len) {
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = start;
  fl.l_len = len;
  if (::fcntl(fd, F_OFD_GETLK, &fl) != 0) return false;
  return fl.l_type != F_UNLCK;
}

// The lock file of a data file, usable by every process that may open the
// data file: created with the data file's own permissions (whatever the
// umask), opened read-only where it cannot be written (read locks need no
// more). -1 with errno set when it cannot be opened.
int OpenLockFile(const std::string& canonical) {
  const std::string name = canonical + ".lck";
  int fd = ::open(name.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) {
    struct stat st;
    mode_t perm = ::stat(canonical.c_str(), &st) == 0 ? (st.st_mode & 0666) : 0666;
    fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, perm);
    if (fd >= 0) {
      ::fchmod(fd, perm);
      return fd;
    }
    if (errno == EEXIST) fd = ::open(name.c_str(), O_RDWR | O_CLOEXEC);
  }
  if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
    const int refused = errno;
    fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    // No lock file to read either: the reason is that none could be made.
    if (fd < 0 && errno == ENOENT) errno = refused;
  }
  return fd;
}

}  // namespace

bool AccessLock::Acquire(const std::string& hostPath, const std::string& table,
                         uint32_t mode, bool crossProcess) {
  Release();
  std::string canonical = Canonical(hostPath);
  std::string key = canonical + '\n' + table;
  Roles mine = RolesOf(mode);
  Table& t = Instances();
  std::lock_guard<std::mutex> lock(t.mutex);
  auto range = t.open.equal_range(key);
  for (auto it = range.first; it != range.second; ++it)
    if (Conflict(mine, it->second.second)) {
      rt::SetFileError(rt::kAccessDenied, 0, "in use by another instance in this program");
      return false;
    }
  // Other processes. Without a lock file only a read-only open of a file
  // in a folder where none can be made goes on (nobody who could not make
  // it can write there); any other failure refuses the open.
  int fd = -1;
  if (crossProcess) {
    fd = OpenLockFile(canonical);
    int err = errno;
    bool readOnlyFolder = fd < 0 && (err == EACCES || err == EROFS) && !mine.write &&
                          !std::filesystem::exists(canonical + ".lck");
    if (fd < 0 && !readOnlyFolder) {
      const bool transient = err == ENOSPC || err == EIO || err == EDQUOT || err == EMFILE ||
                             err == ENFILE || err == ENOMEM;
      rt::SetFileError(transient ? rt::kDriverError : rt::kAccessDenied, err,
                       "cannot open the lock file " + rt::FromUtf8(canonical) + ".lck: " +
                           std::strerror(err));
      return false;
    }
  }
  if (fd >= 0) {
    off_t b = TableBase(table);
    ::flock(fd, LOCK_EX);  // the guard: check and take in one step
    bool clash = Taken(fd, b + 2, 1) || (mine.write && Taken(fd, b + 3, 1)) ||
                 (mine.denyWrite && Taken(fd, b + 1, 1)) ||
                 (mine.denyRead && Taken(fd, b + 0, 1));
    if (!clash) {
      clash = !Lock(fd, F_OFD_SETLK, F_RDLCK, b + 0, 1) ||
              (mine.write && !Lock(fd, F_OFD_SETLK, F_RDLCK, b + 1, 1)) ||
              (mine.denyRead && !Lock(fd, F_OFD_SETLK, F_RDLCK, b + 2, 1)) ||
              (mine.denyWrite && !Lock(fd, F_OFD_SETLK, F_RDLCK, b + 3, 1));
    }
    ::flock(fd, LOCK_UN);
    if (clash) {
      ::close(fd);
      rt::SetFileError(rt::kAccessDenied, 0, "in use by another user or process");
      return false;
    }
  }
  key_ = key;
  id_ = t.nextId++;
  fd_ = fd;
  t.open.emplace(key_, std::make_pair(id_, mine));
  return true;
}

void AccessLock::Release() {
  if (key_.empty()) return;
  Table& t = Instances();
  std::lock_guard<std::mutex> lock(t.mutex);
  auto range = t.open.equal_range(key_);
  for (auto it = range.first; it != range.second; ++it)
    if (it->second.first == id_) {
      t.open.erase(it);
      break;
    }
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  key_.clear();
}

bool FileIsFree(const std::string& hostPath) {
  std::string canonical = Canonical(hostPath);
  Table& t = Instances();
  std::lock_guard<std::mutex> lock(t.mutex);
  auto it = t.open.lower_bound(canonical + '\n');
  if (it != t.open.end() && it->first.compare(0, canonical.size() + 1, canonical + '\n') == 0)
    return false;
  int fd = ::open((canonical + ".lck").c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return true;
  bool taken = Taken(fd, 0, 0);
  ::close(fd);
  return !taken;
}

void RemoveLockFile(const std::string& hostPath) {
  std::remove((Canonical(hostPath) + ".lck").c_str());
}

}  // namespace db
