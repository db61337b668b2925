#pragma once
// Pictures for image controls and window backgrounds.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ui {

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;  // width * height * 3 bytes, rows top to bottom
};

bool IsJpeg(const std::vector<uint8_t>& bytes);
// Decodes JPEG bytes; nullopt when they are not a readable JPEG.
std::optional<Picture> DecodeJpeg(const std::vector<uint8_t>& bytes);
// Width and height from the JPEG header alone.
std::optional<std::pair<int, int>> JpegSize(const std::vector<uint8_t>& bytes);
// Natural size of a picture: JPEG here, other formats by the backend.
std::optional<std::pair<int, int>> PictureSize(const std::vector<uint8_t>& bytes);

// The bytes of a file; nullopt when it cannot be read.
std::optional<std::vector<uint8_t>> ReadFileBytes(const std::string& path);

}  // namespace ui
