#pragma once
// A small disk of a test's own: a private tmpfs over a folder, and a way
// to fill it up, for tests of what a full disk refuses and what it allows.
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace scratchdisk {

// Mounts a tmpfs of `megabytes` over `dir` for the calling process alone
// (a mount namespace of its own, in a user namespace when not root) and
// makes it the current folder; false when the system allows none. Meant
// for a child process of the test.
inline bool PrivateTmpfs(const std::filesystem::path& dir, int megabytes) {
  const uid_t uid = ::geteuid();
  const gid_t gid = ::getegid();
  if (::unshare(uid == 0 ? CLONE_NEWNS : CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
  if (uid != 0) {
    auto put = [](const char* file, const std::string& text) { std::ofstream(file) << text; };
    put("/proc/self/setgroups", "deny");
    put("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1");
    put("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
  }
  if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
  const std::string size = "size=" + std::to_string(megabytes) + "m";
  if (::mount("tmpfs", dir.c_str(), "tmpfs", 0, size.c_str()) != 0) return false;
  return ::chdir(dir.c_str()) == 0;
}

// Fills the file system of the current folder up with the file "filler",
// to its last byte or to the last `room` bytes.
inline void FillTheDisk(off_t room = 0) {
  int fd = ::open("filler", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  std::vector<char> block(64 * 1024, 'f');
  off_t size = 0;
  for (ssize_t n; fd >= 0 && (n = ::write(fd, block.data(), block.size())) > 0;) size += n;
  // The last bytes that fit.
  for (ssize_t n; fd >= 0 && (n = ::write(fd, block.data(), 1)) > 0;) size += n;
  if (fd >= 0 && room > 0 && ::ftruncate(fd, size > room ? size - room : 0) != 0) room = 0;
  if (fd >= 0) ::close(fd);
}

}  // namespace scratchdisk
