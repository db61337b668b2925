// Printing: options values and print jobs handed to the backend.
#include "velmora/pdf/print.h"

#include <cstring>

#include "document.h"
#include "poppler_worker.h"
#include "velmora/pdf/pdf.h"

namespace velmora::pdf {
namespace {

struct PrintOptions {
  int pageScaling = 0;
  int autoRotateCenter = 0;
  std::string title;  // UTF-8
};

struct Registry {
  std::mutex mutex;
  std::vector<PrintOptions> options;
  std::shared_ptr<PrintBackend> backend;
};

Registry& Print() {
  static Registry r;
  return r;
}

std::shared_ptr<PrintBackend> Backend() {
  std::lock_guard<std::mutex> g(Print().mutex);
  if (!Print().backend) Print().backend = MakeQtPrintBackend();
  return Print().backend;
}

}  // namespace

std::shared_ptr<PrintBackend> SetPrintBackend(std::shared_ptr<PrintBackend> backend) {
  std::lock_guard<std::mutex> g(Print().mutex);
  auto old = std::move(Print().backend);
  Print().backend = std::move(backend);
  return old;
}

bool RecordingPrintBackend::Print(const PrintJob& job) {
  Record r{job.printer, job.title, job.firstPage, job.lastPage, 0, 0};
  for (int p = job.firstPage; p <= job.lastPage; ++p) {
    PageImage image = job.renderPage(p, 36);
    if (image.width <= 0 || image.height <= 0) continue;
    ++r.pageImages;
    for (int y = 0; y < image.height; ++y) {
      const unsigned char* row = image.pixels.data() + static_cast<size_t>(y) * image.stride;
      bool ink = false;
      for (int x = 0; x < image.width * 4 && !ink; ++x) ink = row[x] != 0xFF;
      if (ink) {
        ++r.nonBlankImages;
        break;
      }
    }
  }
  std::lock_guard<std::mutex> g(mutex_);
  jobs_.push_back(r);
  return true;
}

std::vector<RecordingPrintBackend::Record> RecordingPrintBackend::Jobs() const {
  std::lock_guard<std::mutex> g(mutex_);
  return jobs_;
}

}  // namespace velmora::pdf

using namespace velmora::pdf;
using namespace velmora::pdf::detail;

int iSEDPrintOptions(int pageScaling, int autoRotateCenter, const std::string& title) {
  std::lock_guard<std::mutex> g(Print().mutex);
  Print().options.push_back({pageScaling, autoRotateCenter, ToHost(title)});
  return static_cast<int>(Print().options.size());
}

int iSEDPrintDocument(const std::string& printer, int firstPage, int lastPage, int options) {
  PrintJob job;
  {
    std::lock_guard<std::mutex> g(Print().mutex);
    if (options < 1 || options > static_cast<int>(Print().options.size())) return 0;
    const auto& o = Print().options[options - 1];
    job.pageScaling = o.pageScaling;
    job.autoRotateCenter = o.autoRotateCenter;
    job.title = o.title;
  }
  auto pool = PopplerForPages(firstPage, lastPage);
  if (!pool) return 0;
  // One worker draws the job's pages, one at a time as the backend asks.
  std::shared_ptr<PopplerWorker> worker(pool->Borrow());
  if (!worker) return 0;
  job.printer = ToHost(printer);
  job.firstPage = firstPage;
  job.lastPage = lastPage;
  job.renderPage = [worker](int page, double dpi) {
    PageImage out;
    PixelPage image;
    if (!worker->RenderPixels(page, dpi, &image)) return out;
    out.width = image.width;
    out.height = image.height;
    out.stride = image.stride;
    out.pixels = std::move(image.pixels);
    out.widthPoints = out.width * 72.0 / image.dpi;
    out.heightPoints = out.height * 72.0 / image.dpi;
    return out;
  };
  auto backend = Backend();
  return Guard(0, [&] { return backend && backend->Print(job) ? 1 : 0; });
}
