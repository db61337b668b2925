// Rendering pages to picture files, in parallel poppler workers.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "document.h"
#include "page_content.h"
#include "poppler_worker.h"
#include "velmora/pdf/pdf.h"
#include "velmora/runtime/paths.h"
#include "worker_protocol.h"

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

// The pixels of the page's picture at `dpi` (lowered as the worker lowers
// it), for sharing out the memory of the pages drawn at once.
int64_t PicturePixels(QPDFObjectHandle page, double dpi, int64_t maxPixels) {
  double crop[4], media[4];
  if (!PageBox(page, 2, crop, nullptr) || !PageBox(page, 1, media, nullptr)) return maxPixels;
  const double w = std::min(crop[2], media[2]) - std::max(crop[0], media[0]);
  const double h = std::min(crop[3], media[3]) - std::max(crop[1], media[1]);
  if (!(w > 0 && h > 0)) return maxPixels;
  const double r = velmora::pdf::worker::FitResolution(w, h, dpi, maxPixels);
  const double pixels = std::ceil(w * r / 72 + 1) * std::ceil(h * r / 72 + 1);
  return static_cast<int64_t>(std::min(pixels, static_cast<double>(maxPixels)));
}

}  // namespace

int iSEDRenderDocumentToFile(int resolution, int firstPage, int lastPage, int options,
                             const std::string& pattern) {
  if (options != 1 && options != 5 && options != 6) return 0;
  if (resolution < 1 || resolution > 2400) return 0;
  const int64_t maxPixels = GetWorkerLimits().pagePixels;
  std::shared_ptr<PopplerPool> pool;
  std::vector<int64_t> pixels;
  std::vector<bool> blank;  // content beyond the limit: the page's paper only
  {
    Selected d;
    if (!d) return 0;
    const int count = static_cast<int>(d->pages.size());
    if (firstPage < 1 || lastPage > count || firstPage > lastPage) return 0;
    bool ok = Guard(false, [&] {
      pool = Poppler(*d);
      for (int p = firstPage; p <= lastPage; ++p) {
        pixels.push_back(PicturePixels(d->pages[p - 1], resolution, maxPixels));
        blank.push_back(PageContentTooLarge(*d, p));
        pool->SetDrawn(p, 0);
      }
      return true;
    });
    if (!ok) return 0;
  }
  // Pages are drawn and encoded by several workers at once, each with the
  // document parsed once, as many at a time as the memory allows.
  const std::string host = rt::HostPath(pattern);
  const int pages = lastPage - firstPage + 1;
  const int workers = WorkersFor(pages);
  std::atomic<int> next{firstPage};
  std::atomic<bool> failed{false};
  auto work = [&] {
    auto worker = pool->Borrow();
    if (!worker) {
      failed = true;
      return;
    }
    for (int p = next++; p <= lastPage && !failed; p = next++) {
      const int64_t cost = pixels[p - firstPage];
      pool->Reserve(cost);
      double drawn = 0;
      bool ok = worker->RenderFile(p, resolution, options, PictureName(host, p),
                                   blank[static_cast<size_t>(p - firstPage)], &drawn);
      pool->Release(cost);
      pool->SetDrawn(p, ok ? drawn : 0);
      if (!ok) {
        failed = true;
        break;
      }
    }
    pool->Return(std::move(worker));
  };
  std::vector<std::thread> threads;
  for (int i = 1; i < workers; ++i) threads.emplace_back(work);
  work();
  for (auto& t : threads) t.join();
  return failed ? 0 : 1;
}

double iSEDRenderedResolution(int page) {
  Selected d;
  if (!d || !d->poppler || d->popplerGeneration != d->generation) return 0;
  return d->poppler->Drawn(page);
}
