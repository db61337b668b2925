// Pages: selection, sizes, boxes, text and content.
#include <qpdf/Pl_String.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <algorithm>
#include <cstdio>

#include "document.h"
#include "poppler_worker.h"
#include "velmora/pdf/pdf.h"

using namespace velmora::pdf::detail;

namespace velmora::pdf::detail {

bool PageBox(QPDFObjectHandle page, int box, double r[4], bool* present) {
  static const char* const keys[] = {nullptr, "/MediaBox", "/CropBox",
                                     "/BleedBox", "/TrimBox", "/ArtBox"};
  if (box < 1 || box > 5) return false;
  QPDFObjectHandle v = box <= 2 ? Inherited(page, keys[box]) : page.getKey(keys[box]);
  bool ok = ReadRect(v, r);
  if (present) *present = ok;
  if (ok) return true;
  if (box == 1) {
    // A page without a usable MediaBox: readers take US Letter.
    r[0] = 0, r[1] = 0, r[2] = 612, r[3] = 792;
    return true;
  }
  return PageBox(page, box == 2 ? 1 : 2, r, nullptr);
}

namespace {

// One point's change of space; `back` goes from shown to own coordinates.
void MapPoint(QPDFObjectHandle page, double x, double y, bool back, double* u, double* v) {
  double m[4] = {0, 0, 0, 0};
  int rotation = 0;
  if (!page.isNull()) {
    PageBox(page, 1, m, nullptr);
    rotation = PageRotation(page);
  }
  const double w = m[2] - m[0], h = m[3] - m[1];
  if (!back) {
    switch (rotation) {
      case 90: *u = y - m[1], *v = m[2] - x; return;
      case 180: *u = m[2] - x, *v = m[3] - y; return;
      case 270: *u = m[3] - y, *v = x - m[0]; return;
      default: *u = x - m[0], *v = y - m[1]; return;
    }
  }
  switch (rotation) {
    case 90: *u = m[0] + (w - y), *v = m[1] + x; return;
    case 180: *u = m[2] - x, *v = m[3] - y; return;
    case 270: *u = m[0] + y, *v = m[1] + (h - x); return;
    default: *u = x + m[0], *v = y + m[1]; return;
  }
}

void MapRect(QPDFObjectHandle page, const double in[4], double out[4], bool back) {
  double x0, y0, x1, y1;
  MapPoint(page, in[0], in[1], back, &x0, &y0);
  MapPoint(page, in[2], in[3], back, &x1, &y1);
  out[0] = std::min(x0, x1), out[1] = std::min(y0, y1);
  out[2] = std::max(x0, x1), out[3] = std::max(y0, y1);
}

}  // namespace

void ToShown(QPDFObjectHandle page, const double in[4], double out[4]) {
  MapRect(page, in, out, false);
}

void FromShown(QPDFObjectHandle page, const double in[4], double out[4]) {
  MapRect(page, in, out, true);
}

}  // namespace velmora::pdf::detail

int iSEDPageCount() {
  Selected d;
  return d ? static_cast<int>(d->pages.size()) : 0;
}

int iSEDSelectPage(int page) {
  Selected d;
  if (!d || page < 1 || page > static_cast<int>(d->pages.size())) return 0;
  d->selectedPage = page;
  return 1;
}

double iSEDPageWidth() { return iSEDGetPageBox(2, 2); }

double iSEDPageHeight() { return iSEDGetPageBox(2, 3); }

int iSEDHasPageBox(int box) {
  Selected d;
  if (!d) return 0;
  return Guard(0, [&] {
    double r[4];
    bool present = false;
    auto page = SelectedPageObject(*d);
    if (page.isNull() || !PageBox(page, box, r, &present)) return 0;
    return present ? 1 : 0;
  });
}

double iSEDGetPageBox(int box, int dimension) {
  Selected d;
  if (!d) return 0;
  return Guard(0.0, [&] {
    double own[4], r[4];
    auto page = SelectedPageObject(*d);
    if (page.isNull() || !PageBox(page, box, own, nullptr)) return 0.0;
    ToShown(page, own, r);
    switch (dimension) {
      case 0: return r[0];
      case 1: return r[3];
      case 2: return r[2] - r[0];
      case 3: return r[3] - r[1];
      case 4: return r[2];
      case 5: return r[1];
      default: return 0.0;
    }
  });
}

std::string iSEDGetPageText(int options) {
  Selected d;
  if (!d || SelectedPageObject(*d).isNull()) return {};
  return Guard(std::string(), [&]() -> std::string {
    auto pool = Poppler(*d);
    auto worker = pool->Borrow();
    if (!worker) return {};
    std::string text;
    bool ok = worker->Text(d->selectedPage, options, &text);
    pool->Return(std::move(worker));
    return ok ? FromHost(text) : std::string();
  });
}

int iSEDCombineLayers() {
  Selected d;
  if (!d) return 0;
  return Guard(0, [&] {
    auto page = SelectedPageObject(*d);
    if (page.isNull()) return 0;
    // Joining the streams changes nothing poppler shows: its workers stay
    // current, and the next page's text needs no new parse.
    const bool current = d->poppler && d->popplerGeneration == d->generation;
    QPDFPageObjectHelper(page).coalesceContentStreams();
    d->Changed();
    if (current) d->popplerGeneration = d->generation;
    return 1;
  });
}

std::string iSEDGetPageContent() {
  Selected d;
  if (!d) return {};
  return Guard(std::string(), [&]() -> std::string {
    auto page = SelectedPageObject(*d);
    if (page.isNull()) return {};
    std::string out;
    Pl_String sink("page content", nullptr, out);
    QPDFPageObjectHelper(page).pipeContents(&sink);
    return out;
  });
}
