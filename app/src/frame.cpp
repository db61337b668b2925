// The application frame of this build.
#include <cstdio>
#include <filesystem>

#include "velmora/app/program.h"
#include "velmora/data/dictionary.h"

namespace app {

void Main() {
  std::error_code ec;
  std::filesystem::create_directory("data", ec);
  cl::RelationManager* pages = data::ThisThread().Relate(data::FileId::PageControls);
  const bool opened = pages && pages->Open() == cl::kBenign;
  std::printf("Velmora started; the application frame is not part of this build.\n");
  std::fflush(stdout);
  if (opened) pages->Close();
}

}  // namespace app
