// The poppler worker process: parses one document and answers page text
// and page pictures over descriptor 3 (see worker_protocol.h).
//
// Usage: velmora-pdf-worker <memory limit in bytes>
#include <errno.h>
#include <malloc.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>
#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-global.h>
#include <poppler/cpp/poppler-page-renderer.h>
#include <poppler/cpp/poppler-page.h>
#include <PDFDoc.h>
#include <SplashOutputDev.h>
#include <Stream.h>
#include <splash/SplashBitmap.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "gif.h"
#include "worker_protocol.h"

#if defined(__SANITIZE_ADDRESS__)
#define VELMORA_WORKER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELMORA_WORKER_ASAN 1
#endif
#endif

namespace {

using namespace velmora::pdf::worker;

constexpr int kChannel = 3;

bool ReadAll(void* p, size_t n) {
  auto* c = static_cast<char*>(p);
  while (n > 0) {
    ssize_t got = ::read(kChannel, c, n);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    c += got, n -= static_cast<size_t>(got);
  }
  return true;
}

bool WriteAll(const void* p, size_t n) {
  auto* c = static_cast<const char*>(p);
  while (n > 0) {
    ssize_t put = ::write(kChannel, c, n);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    c += put, n -= static_cast<size_t>(put);
  }
  return true;
}

bool ReadFrame(std::string& out) {
  uint32_t n = 0;
  if (!ReadAll(&n, sizeof n)) return false;
  out.resize(n);
  return ReadAll(out.data(), n);
}

bool WriteFrame(const std::string& bytes) {
  uint32_t n = static_cast<uint32_t>(bytes.size());
  return WriteAll(&n, sizeof n) && WriteAll(bytes.data(), bytes.size());
}

bool Fail() { return WriteFrame(Writer().Byte(0).bytes()); }

// poppler answers a bitmap it could not allocate with a tiny one: only a
// picture of the page's size (at `drawn` dpi) is a picture of the page.
bool OfPageSize(poppler::page& page, double drawn, int width, int height) {
  auto box = page.page_rect(poppler::crop_box);
  const double w = box.width() * drawn / 72, h = box.height() * drawn / 72;
  auto near = [](double want, int got) { return std::abs(want - got) <= 2; };
  return (near(w, width) && near(h, height)) || (near(h, width) && near(w, height));
}

// The resolution a page is drawn at: `dpi`, lowered to fit `maxPixels`.
double Resolution(poppler::page& page, double dpi, int64_t maxPixels) {
  auto box = page.page_rect(poppler::crop_box);
  return FitResolution(box.width(), box.height(), dpi, maxPixels);
}

// The page's picture at `dpi`, lowered to fit `maxPixels`; `drawn` is the
// resolution used.
poppler::image Render(poppler::page& page, double dpi, int64_t maxPixels,
                      poppler::image::format_enum format, double* drawn) {
  *drawn = Resolution(page, dpi, maxPixels);
  poppler::page_renderer renderer;
  renderer.set_render_hint(poppler::page_renderer::antialiasing, true);
  renderer.set_render_hint(poppler::page_renderer::text_antialiasing, true);
  renderer.set_image_format(format);
  poppler::image image = renderer.render_page(&page, *drawn, *drawn);
  if (!image.is_valid() || !OfPageSize(page, *drawn, image.width(), image.height()))
    return poppler::image();
  return image;
}

// Appends a word's box and font size as "%.2f %.2f %.2f %.2f %.2f " prints
// them: to_chars gives the same digits without reading a format, and a page
// has thousands of words.
void AppendBox(const double (&v)[5], std::string* out) {
  char head[160];
  char* at = head;
  char* const last = head + sizeof head - 1;
  for (double x : v) {
    auto put = std::to_chars(at, last - 1, x, std::chars_format::fixed, 2);
    if (put.ec != std::errc()) {
      // Far too long (huge numbers): printed and cut as the format does.
      std::snprintf(head, sizeof head, "%.2f %.2f %.2f %.2f %.2f ", v[0], v[1], v[2], v[3], v[4]);
      *out += head;
      return;
    }
    at = put.ptr;
    *at++ = ' ';
  }
  out->append(head, at);
}

// The page's text; false when it would be longer than `most` bytes.
bool PageText(poppler::page& page, int options, int64_t most, std::string* out) {
  out->clear();
  const size_t limit = most > 0 ? static_cast<size_t>(most) : SIZE_MAX;
  if (options != 3) {
    auto bytes = page.text().to_utf8();
    if (bytes.size() > limit) return false;
    out->assign(bytes.begin(), bytes.end());
    return true;
  }
  for (auto& box : page.text_list(poppler::page::text_list_include_font)) {
    auto r = box.bbox();
    const double numbers[5] = {r.left(), r.top(), r.width(), r.height(), box.get_font_size()};
    AppendBox(numbers, out);
    auto text = box.text().to_utf8();
    *out += box.get_font_name();
    *out += '|';
    out->append(text.begin(), text.end());
    *out += '\n';
    if (out->size() > limit) {
      out->clear();
      return false;
    }
  }
  return true;
}

// A picture of the page's paper alone, of the size Render would draw.
poppler::image Blank(poppler::page& page, double dpi, int64_t maxPixels, double* drawn) {
  auto box = page.page_rect(poppler::crop_box);
  *drawn = FitResolution(box.width(), box.height(), dpi, maxPixels);
  int w = static_cast<int>(std::ceil(box.width() * *drawn / 72));
  int h = static_cast<int>(std::ceil(box.height() * *drawn / 72));
  const auto turned = page.orientation();
  if (turned == poppler::page::landscape || turned == poppler::page::seascape) std::swap(w, h);
  if (w < 1 || h < 1) return poppler::image();
  poppler::image image(w, h, poppler::image::format_rgb24);
  if (image.is_valid())
    std::memset(image.data(), 0xFF, static_cast<size_t>(image.bytes_per_row()) * h);
  return image;
}

class Worker {
 public:
  // Answers one request; false when the channel is gone.
  bool Serve(const std::string& request) {
    Reader in(request);
    const auto op = static_cast<Op>(in.Byte());
    if (op == Op::kLoad) {
      splash_.reset();
      core_.reset();
      bytes_ = in.Text();
      doc_.reset(poppler::document::load_from_raw_data(bytes_.data(),
                                                       static_cast<int>(bytes_.size())));
      if (doc_ && doc_->is_locked()) doc_.reset();
      if (!in.ok() || !doc_) return Fail();
      return WriteFrame(Writer().Byte(1).Int(doc_->pages()).bytes());
    }
    const int index = static_cast<int>(in.Int()) - 1;
    if (!doc_ || index < 0 || index >= doc_->pages()) return Fail();
    std::unique_ptr<poppler::page> page(doc_->create_page(index));
    if (!page) return Fail();
    switch (op) {
      case Op::kText: {
        const int options = static_cast<int>(in.Int());
        const int64_t most = in.Int();
        if (!in.ok()) return Fail();
        std::string text;
        const bool fits = PageText(*page, options, most, &text);
        return WriteFrame(Writer().Byte(1).Byte(fits ? 0 : 1).Text(text).bytes());
      }
      case Op::kRenderFile: {
        const double dpi = in.Real();
        const int64_t maxPixels = in.Int();
        const int format = static_cast<int>(in.Int());
        const bool blank = in.Int() != 0;
        const std::string path = in.Text();
        if (!in.ok()) return Fail();
        double drawn = 0;
        if (format == kGif && !blank) {
          drawn = Resolution(*page, dpi, maxPixels);
          const SplashBitmap* b = Draw(index, drawn);
          if (!b || !b->getDataPtr() || !OfPageSize(*page, drawn, b->getWidth(), b->getHeight()) ||
              !velmora::pdf::detail::WriteGif(b->getDataPtr(), b->getWidth(), b->getHeight(),
                                              static_cast<size_t>(b->getRowSize()), path))
            return Fail();
          return WriteFrame(Writer().Byte(1).Real(drawn).bytes());
        }
        auto image = blank ? Blank(*page, dpi, maxPixels, &drawn)
                           : Render(*page, dpi, maxPixels, poppler::image::format_rgb24, &drawn);
        page.reset();
        bool ok;
        if (format == kGif)
          ok = velmora::pdf::detail::WriteGif(std::move(image), path);
        else
          ok = image.is_valid() &&
               image.save(path, format == kJpeg ? "jpeg" : "png", static_cast<int>(drawn));
        if (!ok) return Fail();
        return WriteFrame(Writer().Byte(1).Real(drawn).bytes());
      }
      case Op::kRenderPixels: {
        const double dpi = in.Real();
        const int64_t maxPixels = in.Int();
        if (!in.ok()) return Fail();
        double drawn = 0;
        auto image = Render(*page, dpi, maxPixels, poppler::image::format_argb32, &drawn);
        if (!image.is_valid()) return Fail();
        // The pixels go straight from the picture to the channel.
        const size_t size = static_cast<size_t>(image.bytes_per_row()) * image.height();
        Writer head;
        head.Byte(1).Real(drawn).Int(image.width()).Int(image.height()).Int(image.bytes_per_row());
        head.Int(static_cast<int64_t>(size));
        uint32_t n = static_cast<uint32_t>(head.bytes().size() + size);
        return WriteAll(&n, sizeof n) && WriteAll(head.bytes().data(), head.bytes().size()) &&
               WriteAll(image.const_data(), size);
      }
      default:
        return Fail();
    }
  }

 private:
  // Page `index` (from 0) drawn at `dpi` in rows of RGB, as the page
  // renderer draws it, by one renderer kept for the document: its fonts and
  // its bitmap serve the next page too. Null when the document will not
  // open this way.
  const SplashBitmap* Draw(int index, double dpi) {
    if (!splash_) {
      core_ = std::make_unique<PDFDoc>(
          new MemStream(bytes_.data(), 0, static_cast<Goffset>(bytes_.size()), Object(objNull)));
      if (!core_->isOk()) {
        core_.reset();
        return nullptr;
      }
      SplashColor paper = {0xFF, 0xFF, 0xFF};
      splash_ = std::make_unique<SplashOutputDev>(splashModeRGB8, 4, false, paper);
      splash_->setFontAntialias(true);
      splash_->setVectorAntialias(true);
      splash_->setFreeTypeHinting(false, false);
      splash_->startDoc(core_.get());
    }
    core_->displayPageSlice(splash_.get(), index + 1, dpi, dpi, 0, false, true, false, -1, -1, -1, -1);
    return splash_->getBitmap();
  }

  std::string bytes_;  // poppler reads from them for as long as the document lives
  std::unique_ptr<poppler::document> doc_;  // keeps poppler's settings while the others live
  std::unique_ptr<PDFDoc> core_;
  std::unique_ptr<SplashOutputDev> splash_;
};

// The address space limit: poppler's allocations beyond it fail and end the
// worker, not the machine. Sanitizer builds reserve far more address space
// than they use and go without it.
void LimitMemory(const char* arg) {
#ifndef VELMORA_WORKER_ASAN
  const long long bytes = arg ? std::atoll(arg) : 0;
  if (bytes > 0) {
    rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
    ::setrlimit(RLIMIT_AS, &limit);
  }
#else
  (void)arg;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  LimitMemory(argc > 1 ? argv[1] : nullptr);
  // Page pictures are tens of megabytes each: kept in the heap for the next
  // page instead of mapped and unmapped (and zeroed by the system) per page.
  ::mallopt(M_MMAP_THRESHOLD, 32 << 20);
  ::mallopt(M_TRIM_THRESHOLD, 256 << 20);
  // Ends with the program: a busy worker whose program went away (and so
  // never reads its answer) stops within a second.
  const pid_t parent = ::getppid();
  std::thread([parent] {
    for (;;) {
      ::sleep(1);
      if (::getppid() != parent) ::_exit(3);
    }
  }).detach();
  poppler::set_debug_error_function([](const std::string&, void*) {}, nullptr);
  Worker worker;
  std::string request;
  for (;;) {
    // Idle for a moment (the pages are done): the kept heap goes back.
    pollfd next{kChannel, POLLIN, 0};
    if (::poll(&next, 1, 200) == 0) ::malloc_trim(0);
    if (!ReadFrame(request)) break;
    bool alive;
    try {
      alive = worker.Serve(request);
    } catch (...) {
      alive = Fail();
    }
    if (!alive) break;
  }
  return 0;
}
