#pragma once
// What the PDF library's fuzz targets share: the input as a file (the
// library loads from files) and a loaded document removed after each run.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "velmora/pdf/pdf.h"

namespace fuzz {

// A folder of this process's own under the temporary folder.
inline std::string Folder() {
  static const std::string dir = [] {
    auto p = std::filesystem::temp_directory_path() /
             ("velmora-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(p);
    return p.string();
  }();
  return dir;
}

inline std::string WriteInput(const uint8_t* data, size_t size) {
  const std::string path = Folder() + "/input.pdf";
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  return path;
}

// The input loaded as the selected document, removed at the end of the run.
class Loaded {
 public:
  Loaded(const uint8_t* data, size_t size) : id_(iSEDLoadFromFile(WriteInput(data, size))) {
    if (id_ && iSEDEncrypted()) iSEDUnencrypt();
  }
  ~Loaded() {
    if (id_) iSEDRemoveDocument(id_);
  }
  Loaded(const Loaded&) = delete;
  Loaded& operator=(const Loaded&) = delete;
  explicit operator bool() const { return id_ != 0; }

 private:
  int id_;
};

// Saves the document, loads the saved file and reads its fields: what the
// library writes must load again.
inline void SaveAndReload() {
  const std::string path = Folder() + "/saved.pdf";
  if (!iSEDSaveToFile(path)) return;
  const int again = iSEDLoadFromFile(path);
  if (!again) return;
  for (int i = 1, n = iSEDFormFieldCount(); i <= n; ++i) iSEDGetFormFieldValue(i);
  iSEDRemoveDocument(again);
}

}  // namespace fuzz
