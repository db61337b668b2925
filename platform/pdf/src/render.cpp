// Rendering pages to picture files.
#include "render.h"

#include <fcntl.h>
#include <gif_lib.h>
#include <unistd.h>
#include <poppler/cpp/poppler-page-renderer.h>
#include <poppler/cpp/poppler-page.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "document.h"
#include "velmora/pdf/pdf.h"
#include "velmora/runtime/paths.h"

namespace velmora::pdf::detail {

poppler::image RenderPage(const poppler::document& doc, int index, double dpi,
                          poppler::image::format_enum format) {
  std::unique_ptr<poppler::page> page(doc.create_page(index));
  if (!page) return {};
  poppler::page_renderer renderer;
  renderer.set_render_hint(poppler::page_renderer::antialiasing, true);
  renderer.set_render_hint(poppler::page_renderer::text_antialiasing, true);
  renderer.set_image_format(format);
  return renderer.render_page(page.get(), dpi, dpi);
}

bool WriteGif(const poppler::image& rgb, const std::string& path) {
  if (!rgb.is_valid() || rgb.format() != poppler::image::format_rgb24) return false;
  const int w = rgb.width(), h = rgb.height();
  const size_t n = static_cast<size_t>(w) * h;
  std::vector<GifByteType> r(n), g(n), b(n), indexes(n);
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

using namespace velmora::pdf::detail;

namespace {

std::string PictureName(const std::string& pattern, int page) {
  std::string out;
  const std::string number = std::to_string(page);
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 'p') {
      out += number;
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

bool WritePicture(const poppler::document& doc, int page, int resolution, int options,
                  const std::string& path) {
  if (options == 6)
    return WriteGif(RenderPage(doc, page - 1, resolution, poppler::image::format_rgb24),
                    path);
  auto image = RenderPage(doc, page - 1, resolution, poppler::image::format_rgb24);
  if (!image.is_valid()) return false;
  return image.save(path, options == 1 ? "jpeg" : "png", resolution);
}

}  // namespace

int iSEDRenderDocumentToFile(int resolution, int firstPage, int lastPage, int options,
                             const std::string& pattern) {
  if (options != 1 && options != 5 && options != 6) return 0;
  if (resolution < 1 || resolution > 2400) return 0;
  auto bytes = BytesForPages(firstPage, lastPage);
  if (!bytes) return 0;
  // Pages are rendered and encoded on several threads at once, each with a
  // poppler document of its own.
  const std::string host = rt::HostPath(pattern);
  const int pages = lastPage - firstPage + 1;
  const int workers = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1,
                                 std::min(pages, 8));
  std::atomic<int> next{firstPage};
  std::atomic<bool> failed{false};
  auto work = [&] {
    int done = Guard(0, [&] {
      auto doc = OpenPoppler(*bytes);
      if (!doc) return 0;
      for (int p = next++; p <= lastPage; p = next++)
        if (!WritePicture(*doc, p, resolution, options, PictureName(host, p))) failed = true;
      return 1;
    });
    if (!done) failed = true;
  };
  // poppler sets up its colour profiles on the first rendering without a
  // lock: the process's first page is rendered alone, before any worker.
  static std::once_flag firstRendering;
  std::call_once(firstRendering, [&] {
    int done = Guard(0, [&] {
      auto doc = OpenPoppler(*bytes);
      if (!doc) return 0;
      const int p = next++;
      if (!WritePicture(*doc, p, resolution, options, PictureName(host, p))) failed = true;
      return 1;
    });
    if (!done) failed = true;
  });
  std::vector<std::thread> threads;
  for (int i = 1; i < workers; ++i) threads.emplace_back(work);
  work();
  for (auto& t : threads) t.join();
  return failed ? 0 : 1;
}
