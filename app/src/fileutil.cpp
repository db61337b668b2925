#include "velmora/app/fileutil.h"

#include <filesystem>
#include <memory>
#include <vector>

#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/text.h"
#include "velmora/runtime/threads.h"
#include "velmora/upgrade/registration.h"
#include "velmora/win/win.h"

namespace app {
namespace {

// A DOS-driver file whose record is one buffer of `length` bytes.
std::shared_ptr<db::FileDecl> CopyFile(const char* label, uint32_t length) {
  return db::DeclBuilder(label, label)
      .Driver("DOS")
      .Field(db::Type::String, "BUFFER", length)
      .Build();
}

// OUTFILE and INFILE, each made on its thread's first use.
db::FileDecl& ThreadFile(rt::ThreadLocal<std::shared_ptr<db::FileDecl>>& slot, const char* label) {
  if (!*slot) *slot = CopyFile(label, kCopyChunk);
  return **slot;
}
rt::ThreadLocal<std::shared_ptr<db::FileDecl>> gOutFile, gInFile;

// Closes the file, keeping the error of the step before the close; a
// close that fails after good steps is the result.
rt::Long CloseWith(db::FileDecl& f) {
  rt::ErrorSnapshot saved = rt::SaveError();
  db::Close(f);
  if (saved.code == 0) return rt::ErrorCode();
  rt::RestoreError(saved);
  return saved.code;
}

}  // namespace

std::string FileBuffersOption(uint64_t size) {
  return "FILEBUFFERS=" + std::to_string((size + 256) / 512);
}

rt::Long BlobToFile(db::FileDecl& file, int blob, std::string_view name) {
  std::string clipped = rt::Clip(name);
  if (clipped.empty()) return rt::kInvalidDataFile;
  const uint32_t size = db::BlobSize(file, blob);
  if (rt::ErrorCode()) return rt::ErrorCode();
  if (size == 0) return 0;
  db::FileDecl& out = ThreadFile(gOutFile, "OUTFILE");
  out.SetName(clipped);
  db::Create(out);
  if (rt::ErrorCode()) return rt::ErrorCode();
  upg::ds_FileOpen(out, db::kReadWrite | db::kDenyWrite);
  if (rt::ErrorCode()) return rt::ErrorCode();
  db::Send(out, FileBuffersOption(size));
  rt::ClearError();
  for (uint32_t pos = 0; pos < size;) {
    const uint32_t n = std::min(kCopyChunk, size - pos);
    std::vector<uint8_t> chunk = db::BlobRead(file, blob, pos, n);
    if (rt::ErrorCode()) break;
    std::copy(chunk.begin(), chunk.end(), out.Record());
    db::Add(out, n);
    if (rt::ErrorCode()) break;
    pos += n;
  }
  return CloseWith(out);
}

rt::Long FileToBlob(db::FileDecl& file, int blob, std::string_view name) {
  std::string clipped = rt::Clip(name);
  if (clipped.empty()) return rt::kInvalidDataFile;
  db::FileDecl& in = ThreadFile(gInFile, "INFILE");
  in.SetName(clipped);
  upg::ds_FileOpen(in, db::kReadOnly | db::kDenyNone);
  if (rt::ErrorCode()) return rt::ErrorCode();
  const uint64_t size = db::FileSize(in);
  if (rt::ErrorCode()) return CloseWith(in);
  if (size == 0 || size > UINT32_MAX) {
    rt::SetError(rt::kInvalidDataFile);
    return CloseWith(in);
  }
  db::Send(in, FileBuffersOption(size));
  rt::ClearError();
  // The whole file is read before the BLOB is touched, so a failed read
  // leaves the BLOB as it was.
  std::vector<uint8_t> bytes;
  bytes.reserve(static_cast<size_t>(size));
  while (bytes.size() < size) {
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kCopyChunk, size - bytes.size()));
    std::vector<uint8_t> chunk = db::ReadBytes(in, bytes.size(), n);
    if (rt::ErrorCode()) return CloseWith(in);
    if (chunk.size() != n) {  // the file shrank while it was read
      rt::SetError(rt::kRecordNotAvailable);
      return CloseWith(in);
    }
    bytes.insert(bytes.end(), chunk.begin(), chunk.end());
  }
  if (CloseWith(in)) return rt::ErrorCode();
  db::BlobSetSize(file, blob, static_cast<uint32_t>(size));
  if (!rt::ErrorCode()) db::BlobWrite(file, blob, 0, bytes);
  return rt::ErrorCode();
}

std::string GetTempFolder() {
  char buffer[win::MAX_PATH];
  win::DWORD n = win::GetTempPathA(sizeof buffer, buffer);
  if (n == 0 || n >= sizeof buffer) return {};
  return std::string(buffer, n);
}

rt::Byte MakeFolder(std::string_view name) {
  std::string clipped = rt::Clip(name).substr(0, 259);
  std::string path = db::HostPath(clipped);
  if (path.empty()) return 0;
  std::error_code ec;
  return std::filesystem::create_directory(path, ec) ? 1 : 0;
}

rt::Byte FileExists(std::string_view name) {
  std::string clipped = rt::Clip(name).substr(0, 255);
  win::WIN32_FIND_DATAA data;
  win::HANDLE h = win::FindFirstFileA(clipped.c_str(), &data);
  if (h == win::INVALID_HANDLE_VALUE) return 0;
  win::FindClose(h);
  return 1;
}

}  // namespace app
