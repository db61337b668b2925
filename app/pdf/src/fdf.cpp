// The FDF reader: the whole file read, its fields parsed by the PDF
// library's FDF reader into the editor's queue.
#include "velmora/apppdf/fdf.h"

#include <vector>

#include "velmora/app/fileutil.h"
#include "velmora/pdf/fdf.h"
#include "velmora/win/win.h"

namespace apppdf {

namespace {

std::string Trimmed(const std::string& s) {
  const size_t first = s.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : rt::Clip(s.substr(first));
}

}  // namespace

rt::Byte FdfReader::LoadFile(std::string_view fileName) {
  BUFFER.clear();
  BUFFERSIZE = 0;
  const std::string name(fileName);
  if (!app::FileExists(name)) return 0;
  win::HANDLE h = win::CreateFileA(name.c_str(), win::GENERIC_READ, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE,
                                   nullptr, win::OPEN_EXISTING, win::FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == win::INVALID_HANDLE_VALUE) return 0;
  win::DWORD high = 0;
  const win::DWORD size = win::GetFileSize(h, &high);
  // A file too large for a text of the runtime is not an FDF file anyone writes.
  if (size == win::INVALID_FILE_SIZE || high != 0 || size > 0x7FFFFFFFu) {
    win::CloseHandle(h);
    return 0;
  }
  std::string bytes(size, '\0');
  win::DWORD read = 0;
  const bool ok = win::ReadFile(h, bytes.data(), size, &read, nullptr) && read == size;
  win::CloseHandle(h);
  if (!ok) return 0;
  BUFFER = std::move(bytes);
  BUFFERSIZE = static_cast<rt::Long>(size);
  return 1;
}

void FdfReader::Parse(std::string_view fileName, FdfQueue& queue) {
  FDFQUEUE = &queue;
  problem_.clear();
  const std::string name = rt::Clip(fileName);
  if (!LoadFile(name)) {
    problem_ = "The file " + name + " could not be read; no values were imported.";
    return;
  }
  std::vector<velmora::pdf::FdfField> fields;
  const velmora::pdf::FdfResult result = velmora::pdf::ReadFdfFields(BUFFER, fields);
  BUFFER.clear();
  BUFFER.shrink_to_fit();
  if (result == velmora::pdf::FdfResult::NotFdf) {
    problem_ = "The file " + name + " is not an FDF file; no values were imported.";
    return;
  }
  if (result == velmora::pdf::FdfResult::Damaged) {
    problem_ = "The FDF file " + name + " is damaged; no values were imported.";
    return;
  }
  queue.Free();
  for (const velmora::pdf::FdfField& f : fields) {
    queue.ClearBuffer();
    queue->TEG = Trimmed(f.name);
    queue->VAL = Trimmed(f.values.empty() ? std::string() : f.values.front());
    queue.Add();
  }
}

}  // namespace apppdf
