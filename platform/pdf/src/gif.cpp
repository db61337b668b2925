// Page pictures as GIF files: a median-cut palette of 256 colours.
#include "gif.h"

#include <fcntl.h>
#include <gif_lib.h>
#include <unistd.h>

#include <vector>

namespace velmora::pdf::detail {

bool WriteGif(poppler::image rgb, const std::string& path) {
  if (!rgb.is_valid() || rgb.format() != poppler::image::format_rgb24) return false;
  const int w = rgb.width(), h = rgb.height();
  const size_t n = static_cast<size_t>(w) * h;
  std::vector<GifByteType> r(n), g(n), b(n);
  for (int y = 0; y < h; ++y) {
    auto row = reinterpret_cast<const unsigned char*>(rgb.const_data()) +
               static_cast<size_t>(y) * rgb.bytes_per_row();
    size_t o = static_cast<size_t>(y) * w;
    for (int x = 0; x < w; ++x) {
      r[o + x] = row[3 * x];
      g[o + x] = row[3 * x + 1];
      b[o + x] = row[3 * x + 2];
    }
  }
  rgb = poppler::image();  // the channels hold the pixels now
  std::vector<GifByteType> indexes(n);
  int colours = 256;
  GifColorType palette[256] = {};
  if (GifQuantizeBuffer(w, h, &colours, r.data(), g.data(), b.data(), indexes.data(),
                        palette) != GIF_OK)
    return false;
  // The quantiser works on 5 bits a channel and so turns white paper into
  // (248, 248, 248); each palette entry becomes the true mean of the pixels
  // it stands for.
  std::vector<unsigned long> sums(256 * 4, 0);
  for (size_t i = 0; i < n; ++i) {
    unsigned long* s = &sums[indexes[i] * 4];
    s[0] += r[i], s[1] += g[i], s[2] += b[i], ++s[3];
  }
  for (int c = 0; c < 256; ++c) {
    const unsigned long* s = &sums[c * 4];
    if (!s[3]) continue;
    palette[c].Red = static_cast<GifByteType>((s[0] + s[3] / 2) / s[3]);
    palette[c].Green = static_cast<GifByteType>((s[1] + s[3] / 2) / s[3]);
    palette[c].Blue = static_cast<GifByteType>((s[2] + s[3] / 2) / s[3]);
  }
  ColorMapObject* map = GifMakeMapObject(256, palette);
  if (!map) return false;
  int error = 0;
  // Opened here so that the picture gets the usual permissions (giflib's
  // own open makes files only the owner can read).
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  GifFileType* gif = fd >= 0 ? EGifOpenFileHandle(fd, &error) : nullptr;
  if (fd >= 0 && !gif) ::close(fd);
  bool ok = gif != nullptr;
  ok = ok && EGifPutScreenDesc(gif, w, h, 8, 0, map) == GIF_OK;
  ok = ok && EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr) == GIF_OK;
  for (int y = 0; ok && y < h; ++y)
    ok = EGifPutLine(gif, indexes.data() + static_cast<size_t>(y) * w, w) == GIF_OK;
  if (gif && EGifCloseFile(gif, &error) != GIF_OK) ok = false;
  GifFreeMapObject(map);
  return ok;
}

}  // namespace velmora::pdf::detail
