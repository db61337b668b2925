// Pages: selection, sizes, boxes, text and content.
#include <qpdf/Pipeline.hh>
#include <qpdf/Pl_String.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "document.h"
#include "page_content.h"
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

namespace {

// How many times larger a filter's output can be than its input; 0 when
// there is no such bound worth having (the data must be counted).
double Growth(const std::string& filter) {
  if (filter == "/FlateDecode" || filter == "/Fl") return 1032;  // deflate's own limit
  if (filter == "/LZWDecode" || filter == "/LZW") return 4096;   // a 9-bit code, a 4096-byte string
  if (filter == "/RunLengthDecode" || filter == "/RL") return 64;
  if (filter == "/ASCIIHexDecode" || filter == "/AHx") return 1;
  if (filter == "/ASCII85Decode" || filter == "/A85") return 5;
  return 0;
}

// The most bytes a stream can decode to, from its encoded length and its
// filters; negative when they do not tell.
double MostDecoded(QPDFObjectHandle stream) {
  QPDFObjectHandle filters = stream.getDict().getKey("/Filter");
  std::vector<std::string> names;
  if (filters.isName()) {
    names.push_back(filters.getName());
  } else if (filters.isArray()) {
    for (auto& f : filters.aitems()) {
      if (!f.isName()) return -1;
      names.push_back(f.getName());
    }
  } else if (!filters.isNull()) {
    return -1;
  }
  double most = static_cast<double>(stream.getRawStreamData()->getSize());
  for (const std::string& name : names) {
    const double g = Growth(name);
    if (g <= 0) return -1;
    most *= g;
  }
  return most;
}

// Counts the bytes that pass and stops the stream (qpdf ends the decoding
// on the exception) once they would go past the limit.
class SizeLimit : public Pipeline {
 public:
  explicit SizeLimit(int64_t left) : Pipeline("content size limit", nullptr), left_(left) {}
  void write(unsigned char const*, size_t len) override {
    if (static_cast<uint64_t>(len) > static_cast<uint64_t>(left_)) {
      over_ = true;
      throw std::length_error("page content beyond the limit");
    }
    left_ -= static_cast<int64_t>(len);
  }
  void finish() override {}
  bool over() const { return over_; }
  int64_t left() const { return left_; }

 private:
  int64_t left_;
  bool over_ = false;
};

bool ContentTooLarge(QPDFObjectHandle page) {
  const int64_t limit = GetWorkerLimits().contentBytes;
  QPDFObjectHandle contents = page.getKey("/Contents");
  std::vector<QPDFObjectHandle> streams;
  if (contents.isArray()) {
    for (auto& s : contents.aitems())
      if (s.isStream()) streams.push_back(s);
  } else if (contents.isStream()) {
    streams.push_back(contents);
  }
  int64_t left = limit;
  for (auto& stream : streams) {
    const double most = MostDecoded(stream);
    if (most >= 0 && most <= static_cast<double>(left)) {
      left -= static_cast<int64_t>(most);
      continue;
    }
    SizeLimit counter(left);
    stream.pipeStreamData(&counter, 0, qpdf_dl_specialized, true);
    if (counter.over()) return true;
    left = counter.left();
  }
  return false;
}

}  // namespace

bool PageContentTooLarge(Document& d, int page) {
  if (page < 1 || page > static_cast<int>(d.pages.size())) return false;
  // Remembered in the poppler workers' pool while it is current: the pages
  // the renderer checked are not decoded again for their text and content.
  const bool current = d.poppler && d.popplerGeneration == d.generation;
  if (current) {
    const int known = d.poppler->Oversized(page);
    if (known >= 0) return known == 1;
  }
  const bool large = ContentTooLarge(d.pages[page - 1]);
  if (current) d.poppler->SetOversized(page, large);
  return large;
}

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
    if (PageContentTooLarge(*d, d->selectedPage)) return {};
    auto pool = Poppler(*d);
    std::string text;
    if (pool->TakeText(d->selectedPage, options, &text)) return FromHost(text);
    auto worker = pool->Borrow();
    if (!worker) return {};
    bool tooLarge = false;
    bool ok = worker->Text(d->selectedPage, options, &text, &tooLarge);
    pool->Return(std::move(worker));
    if (tooLarge) pool->SetOversized(d->selectedPage, true);
    return ok ? FromHost(text) : std::string();
  });
}

int iSEDReadPageTexts(int options, int firstPage, int lastPage) {
  Selected d;
  if (!d || firstPage < 1 || lastPage > static_cast<int>(d->pages.size()) || firstPage > lastPage)
    return 0;
  return Guard(0, [&] {
    std::vector<int> pages;
    for (int p = firstPage; p <= lastPage; ++p)
      if (!PageContentTooLarge(*d, p)) pages.push_back(p);
    Poppler(*d)->ReadTexts(pages, options);
    return 1;
  });
}

int iSEDPageContentTooLarge() {
  Selected d;
  if (!d || SelectedPageObject(*d).isNull()) return 0;
  return Guard(0, [&] {
    if (PageContentTooLarge(*d, d->selectedPage)) return 1;
    // the text alone may be what went past the limit
    const bool current = d->poppler && d->popplerGeneration == d->generation;
    return current && d->poppler->Oversized(d->selectedPage) == 1 ? 1 : 0;
  });
}

int iSEDCombineLayers() {
  Selected d;
  if (!d) return 0;
  return Guard(0, [&] {
    auto page = SelectedPageObject(*d);
    if (page.isNull()) return 0;
    // Joined, a page beyond the limit would be decoded whole the next time
    // the document is written: it keeps its streams.
    if (PageContentTooLarge(*d, d->selectedPage)) return 0;
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
    if (page.isNull() || PageContentTooLarge(*d, d->selectedPage)) return {};
    std::string out;
    Pl_String sink("page content", nullptr, out);
    QPDFPageObjectHelper(page).pipeContents(&sink);
    return out;
  });
}
