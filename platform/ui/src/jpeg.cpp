#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include "velmora/ui/backend.h"
#include "velmora/ui/image.h"

namespace ui {
namespace {

// libjpeg reports fatal errors through error_exit, which must not return;
// it jumps back to the decoding call instead of ending the process.
struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

void OnError(j_common_ptr info) {
  auto* err = reinterpret_cast<ErrorManager*>(info->err);
  std::longjmp(err->jump, 1);
}

void Silent(j_common_ptr, int) {}
void SilentOutput(j_common_ptr) {}

// Reads the header and, when `pixels` is given, the whole picture. Plain
// data only between setjmp and longjmp.
bool Read(const std::vector<uint8_t>& bytes, int& width, int& height, std::vector<uint8_t>* pixels) {
  if (!IsJpeg(bytes)) return false;
  jpeg_decompress_struct info;
  ErrorManager err;
  info.err = jpeg_std_error(&err.base);
  err.base.error_exit = OnError;
  err.base.emit_message = Silent;
  err.base.output_message = SilentOutput;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  width = static_cast<int>(info.image_width);
  height = static_cast<int>(info.image_height);
  if (pixels) {
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    size_t stride = static_cast<size_t>(info.output_width) * 3;
    pixels->resize(stride * info.output_height);
    while (info.output_scanline < info.output_height) {
      JSAMPROW row = pixels->data() + stride * info.output_scanline;
      jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
  }
  jpeg_destroy_decompress(&info);
  return true;
}

}  // namespace

bool IsJpeg(const std::vector<uint8_t>& bytes) {
  return bytes.size() >= 4 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

std::optional<Picture> DecodeJpeg(const std::vector<uint8_t>& bytes) {
  Picture p;
  std::vector<uint8_t> pixels;
  if (!Read(bytes, p.width, p.height, &pixels)) return std::nullopt;
  p.rgb = std::move(pixels);
  return p;
}

std::optional<std::pair<int, int>> JpegSize(const std::vector<uint8_t>& bytes) {
  int w = 0, h = 0;
  if (!Read(bytes, w, h, nullptr)) return std::nullopt;
  return std::make_pair(w, h);
}

// A GIF's logical screen size, from its header (the page pictures of an
// import are GIFs; the backend may not read pictures at all).
std::optional<std::pair<int, int>> GifSize(const std::vector<uint8_t>& bytes) {
  if (bytes.size() < 10 || std::memcmp(bytes.data(), "GIF8", 4) != 0) return std::nullopt;
  const int w = bytes[6] | (bytes[7] << 8), h = bytes[8] | (bytes[9] << 8);
  if (w <= 0 || h <= 0) return std::nullopt;
  return std::make_pair(w, h);
}

std::optional<std::pair<int, int>> PictureSize(const std::vector<uint8_t>& bytes) {
  if (IsJpeg(bytes)) return JpegSize(bytes);
  if (auto gif = GifSize(bytes)) return gif;
  return CurrentBackend().PictureSize(bytes);
}

std::optional<std::vector<uint8_t>> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

}  // namespace ui
