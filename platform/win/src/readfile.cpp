// CreateFileA, GetFileSize, ReadFile and CloseHandle for reading whole
// files: a handle is an open file descriptor.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "velmora/runtime/paths.h"
#include "velmora/win/win.h"

namespace win {

namespace {

struct File {
  int fd = -1;
};

File* Of(HANDLE h) { return h && h != INVALID_HANDLE_VALUE ? static_cast<File*>(h) : nullptr; }

}  // namespace

HANDLE CreateFileA(const char* lpFileName, DWORD dwDesiredAccess, DWORD, void*, DWORD dwCreationDisposition,
                   DWORD, HANDLE) {
  if (!lpFileName || !*lpFileName || dwDesiredAccess != GENERIC_READ || dwCreationDisposition != OPEN_EXISTING)
    return INVALID_HANDLE_VALUE;
  const std::string path = rt::HostPath(lpFileName);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return INVALID_HANDLE_VALUE;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return INVALID_HANDLE_VALUE;
  }
  return new File{fd};
}

DWORD GetFileSize(HANDLE hFile, DWORD* lpFileSizeHigh) {
  File* f = Of(hFile);
  struct stat st {};
  if (!f || ::fstat(f->fd, &st) != 0) return INVALID_FILE_SIZE;
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  if (lpFileSizeHigh) *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
  return static_cast<DWORD>(size & 0xFFFFFFFFu);
}

BOOL ReadFile(HANDLE hFile, void* lpBuffer, DWORD nNumberOfBytesToRead, DWORD* lpNumberOfBytesRead, void*) {
  File* f = Of(hFile);
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
  if (!f || (!lpBuffer && nNumberOfBytesToRead)) return 0;
  DWORD done = 0;
  auto* out = static_cast<char*>(lpBuffer);
  while (done < nNumberOfBytesToRead) {
    const ssize_t n = ::read(f->fd, out + done, nNumberOfBytesToRead - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return 0;
    if (n == 0) break;
    done += static_cast<DWORD>(n);
  }
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = done;
  return 1;
}

BOOL CloseHandle(HANDLE hObject) {
  File* f = Of(hObject);
  if (!f) return 0;
  ::close(f->fd);
  delete f;
  return 1;
}

}  // namespace win
