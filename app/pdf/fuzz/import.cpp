// Fuzz target: importing a document into a new form definition, with its
// pages, controls and values stored in a fresh data folder each run.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "poppler_worker.h"
#include "velmora/apppdf/import.h"
#include "velmora/data/dictionary.h"
#include "velmora/runtime/system.h"

namespace {

namespace fs = std::filesystem;

const fs::path& Folder() {
  static const fs::path dir =
      fs::temp_directory_path() / ("velmora-fuzz-import-" + std::to_string(::getpid()));
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Every question answered with its default (Yes to the fields); pages
  // drawn small, so that a run takes milliseconds, not seconds.
  rt::SetMessageHandler(
      [](std::string_view, std::string_view, std::string_view, int, int def) { return def; });
  auto limits = velmora::pdf::detail::GetWorkerLimits();
  limits.pagePixels = 40'000;
  limits.seconds = 20;
  velmora::pdf::detail::SetWorkerLimits(limits);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const fs::path dir = Folder() / "run";
  fs::remove_all(dir);
  fs::create_directories(dir / "data");
  const fs::path old = fs::current_path();
  fs::current_path(dir);
  const std::string file = (dir / "input.pdf").string();
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  data::GlobalErrors().Setup();
  data::CreateFileManagers();
  data::StartRelationManagers();
  apppdf::CreateFormFromPdf(file);
  data::StopDictionary();
  fs::current_path(old);
  fs::remove_all(dir);
  return 0;
}
