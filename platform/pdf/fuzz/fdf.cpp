// Fuzz target: reading the fields of an FDF file.
#include <cstdint>
#include <string>
#include <vector>

#include "velmora/pdf/fdf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<velmora::pdf::FdfField> fields;
  velmora::pdf::ReadFdfFields(std::string(reinterpret_cast<const char*>(data), size), fields);
  return 0;
}
