#include "velmora/runtime/paths.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "velmora/runtime/text.h"

namespace rt {

std::string HostPath(std::string_view windowsName) {
  std::string s(windowsName);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  for (char& c : s)
    if (c == '\\') c = '/';
  while (s.size() > 2 && s.compare(0, 2, "./") == 0) s.erase(0, 2);
  return ToUtf8(s);
}

std::string ShownPath(std::string_view windowsName) {
  std::string s(windowsName);
  for (char& c : s)
    if (c == '\\') c = '/';
  return s;
}

std::string WindowsPath(std::string_view hostPath) {
  std::string s = FromUtf8(hostPath);
  for (char& c : s)
    if (c == '/') c = '\\';
  return s;
}

namespace {

bool Sync(const std::string& path, int flags) {
  int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  const int err = errno;
  ::close(fd);
  errno = err;
  return ok;
}

}  // namespace

bool SyncFile(const std::string& hostPath) { return Sync(hostPath, O_RDONLY); }

bool SyncFolderOf(const std::string& hostPath) {
  std::string dir = std::filesystem::path(hostPath).parent_path().string();
  return Sync(dir.empty() ? "." : dir, O_RDONLY | O_DIRECTORY);
}

}  // namespace rt
