// Access modes: deny all / deny write / deny none, held exactly across the
// threads of the process (a table of open instances) and across processes
// through open-file-description locks on a companion lock file.
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <map>
#include <mutex>

#include "internal.h"
#include "velmora/runtime/errors.h"

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
// 0 read, 1 write, 2 deny read, 3 deny write, 4 the guard.
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

int OpenLockFile(const std::string& canonical) {
  return ::open((canonical + ".lck").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
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
      rt::SetError(rt::kAccessDenied);
      return false;
    }
  // Other processes: a missing lock file (read-only folder) leaves the
  // in-process check alone in force.
  int fd = crossProcess ? OpenLockFile(canonical) : -1;
  if (fd >= 0) {
    off_t b = TableBase(table);
    Lock(fd, F_OFD_SETLKW, F_WRLCK, b + 4, 1);
    bool clash = Taken(fd, b + 2, 1) || (mine.write && Taken(fd, b + 3, 1)) ||
                 (mine.denyWrite && Taken(fd, b + 1, 1)) ||
                 (mine.denyRead && Taken(fd, b + 0, 1));
    if (!clash) {
      clash = !Lock(fd, F_OFD_SETLK, F_RDLCK, b + 0, 1) ||
              (mine.write && !Lock(fd, F_OFD_SETLK, F_RDLCK, b + 1, 1)) ||
              (mine.denyRead && !Lock(fd, F_OFD_SETLK, F_RDLCK, b + 2, 1)) ||
              (mine.denyWrite && !Lock(fd, F_OFD_SETLK, F_RDLCK, b + 3, 1));
    }
    Lock(fd, F_OFD_SETLK, F_UNLCK, b + 4, 1);
    if (clash) {
      ::close(fd);
      rt::SetError(rt::kAccessDenied);
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
  int fd = ::open((canonical + ".lck").c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return true;
  bool taken = Taken(fd, 0, 0);
  ::close(fd);
  return !taken;
}

}  // namespace db
