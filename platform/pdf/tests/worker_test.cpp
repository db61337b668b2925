// Poppler in worker processes: documents that crash it, keep it busy or
// exhaust its memory fail cleanly, huge pages are drawn smaller, and one
// parse serves pictures and text; a closed document leaves no worker behind.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>

#include <gif_lib.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

#include "fixtures.h"
#include "poppler_worker.h"
#include "velmora/pdf/pdf.h"

namespace {

using velmora::pdf::detail::GetWorkerLimits;
using velmora::pdf::detail::SetWorkerLimits;
using velmora::pdf::detail::WorkerLimits;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// A PDF file from numbered objects, with its cross-reference table.
std::string RawPdf(const std::map<int, std::string>& objects) {
  std::string out = "%PDF-1.7\n";
  std::map<int, size_t> offsets;
  for (auto& [n, body] : objects) {
    offsets[n] = out.size();
    out += std::to_string(n) + " 0 obj\n" + body + "\nendobj\n";
  }
  const int size = objects.rbegin()->first + 1;
  const size_t xref = out.size();
  out += "xref\n0 " + std::to_string(size) + "\n0000000000 65535 f \n";
  char line[32];
  for (int n = 1; n < size; ++n) {
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", offsets.count(n) ? offsets[n] : 0);
    out += line;
  }
  out += "trailer\n<< /Size " + std::to_string(size) + " /Root 1 0 R >>\nstartxref\n" +
         std::to_string(xref) + "\n%%EOF\n";
  return out;
}

std::string Stream(const std::string& dict, const std::string& data) {
  return "<< " + dict + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data +
         "\nendstream";
}

// One page per MediaBox, each with a line of text.
std::string Pages(const std::string& name, const std::vector<std::string>& boxes) {
  std::map<int, std::string> o;
  std::string kids;
  o[1] = "<< /Type /Catalog /Pages 2 0 R >>";
  o[3] = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";
  o[4] = Stream("", "BT /F1 24 Tf 72 72 Td (Huge page) Tj ET");
  int n = 5;
  for (auto& box : boxes) {
    o[n] = "<< /Type /Page /Parent 2 0 R /MediaBox [" + box +
           "] /Resources << /Font << /F1 3 0 R >> >> /Contents 4 0 R >>";
    kids += std::to_string(n++) + " 0 R ";
  }
  o[2] = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(boxes.size()) + " >>";
  return fixtures::WriteFile(name, RawPdf(o));
}

// A field tree `depth` levels deep above one text widget: poppler's form
// reading grows without end on it.
std::string DeepFieldTree(int depth) {
  std::map<int, std::string> o;
  const int last = 4 + depth - 1;
  o[1] = "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [4 0 R] >> >>";
  o[2] = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
  o[3] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Annots [" +
         std::to_string(last) + " 0 R] >>";
  for (int i = 0; i < depth; ++i) {
    const int n = 4 + i;
    std::string d = "<< /T (f" + std::to_string(i) + ")";
    if (i > 0) d += " /Parent " + std::to_string(n - 1) + " 0 R";
    if (n < last)
      d += " /Kids [" + std::to_string(n + 1) + " 0 R]";
    else
      d += " /Type /Annot /Subtype /Widget /FT /Tx /Rect [10 10 100 30] /P 3 0 R";
    o[n] = d + " >>";
  }
  return fixtures::WriteFile("deep.pdf", RawPdf(o));
}

// Form XObjects that each draw the one below them 16 times: a page of
// 16^8 rectangles, hours of work for a small file.
std::string FanOut() {
  std::map<int, std::string> o;
  o[1] = "<< /Type /Catalog /Pages 2 0 R >>";
  o[2] = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
  o[3] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] "
         "/Resources << /XObject << /X 12 0 R >> >> /Contents 4 0 R >>";
  o[4] = Stream("", "/X Do");
  o[5] = Stream("/Type /XObject /Subtype /Form /BBox [0 0 200 200]", "0 0 1 1 re f");
  std::string draws;
  for (int i = 0; i < 16; ++i) draws += "/X Do ";
  for (int n = 6; n <= 12; ++n)
    o[n] = Stream("/Type /XObject /Subtype /Form /BBox [0 0 200 200] /Resources << /XObject << /X " +
                      std::to_string(n - 1) + " 0 R >> >>",
                  draws);
  return fixtures::WriteFile("fanout.pdf", RawPdf(o));
}

// The width and height a GIF file states.
std::pair<int, int> GifSize(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  unsigned char h[10] = {};
  in.read(reinterpret_cast<char*>(h), sizeof h);
  if (!in) return {0, 0};
  return {h[6] | h[7] << 8, h[8] | h[9] << 8};
}

// Pages whose content streams are `blanks` bytes of spaces after a line of
// text, deflated by the writer (a thousand to one); each page's list is its
// streams.
std::string Inflating(const std::string& name, const std::vector<std::vector<int>>& pages) {
  using H = QPDFObjectHandle;
  QPDF q;
  q.emptyPDF();
  H font = q.makeIndirectObject(H::parse("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"));
  for (size_t p = 0; p < pages.size(); ++p) {
    H page = q.makeIndirectObject(
        H::parse("<< /Type /Page /MediaBox [0 0 200 100] /Resources << /Font << >> >> >>"));
    page.getKey("/Resources").getKey("/Font").replaceKey("/F1", font);
    H contents = H::newArray();
    for (int blanks : pages[p])
      contents.appendItem(q.newStream("BT /F1 20 Tf 10 40 Td (Page" + std::to_string(p + 1) +
                                      ") Tj ET\n" + std::string(static_cast<size_t>(blanks), ' ')));
    page.replaceKey("/Contents", contents);
    q.addPage(page, false);
  }
  const std::string path = fixtures::Path(name);
  QPDFWriter w(q, path.c_str());
  w.write();
  return path;
}

// The number of colours a GIF's pixels use.
int GifColours(const std::string& path) {
  int error = 0, colours = 0;
  GifFileType* f = DGifOpenFileName(path.c_str(), &error);
  if (!f) return 0;
  if (DGifSlurp(f) == GIF_OK && f->ImageCount == 1) {
    std::vector<bool> used(256);
    for (int i = 0; i < f->SWidth * f->SHeight; ++i) used[f->SavedImages[0].RasterBits[i]] = true;
    for (bool u : used) colours += u;
  }
  DGifCloseFile(f, &error);
  return colours;
}

class PdfWorker : public ::testing::Test {
 protected:
  void TearDown() override { SetWorkerLimits(saved_); }
  const WorkerLimits saved_ = GetWorkerLimits();
};

double SecondsSince(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

TEST_F(PdfWorker, HostileDocumentsFailWithinTheLimitAndTheProgramGoesOn) {
  WorkerLimits limits = saved_;
  limits.seconds = 3;
  SetWorkerLimits(limits);
  // A field tree this deep is refused before poppler ever sees it.
  EXPECT_EQ(fixtures::Loaded(DeepFieldTree(60000)).id, 0);
  for (const std::string& path : {FanOut()}) {
    SCOPED_TRACE(path);
    fixtures::Loaded doc(path);
    ASSERT_NE(doc.id, 0);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(iSEDRenderDocumentToFile(72, 1, 1, 6, fixtures::Path("hostile%p.gif")), 0);
    EXPECT_EQ(iSEDRenderedResolution(1), 0);
    ASSERT_EQ(iSEDSelectPage(1), 1);
    EXPECT_EQ(iSEDGetPageText(3), "");  // the document is not tried again
    EXPECT_LT(SecondsSince(start), 20);
  }
  fixtures::Loaded good(fixtures::MakeForm("after.pdf"));
  EXPECT_EQ(iSEDRenderDocumentToFile(36, 1, 2, 6, fixtures::Path("after%p.gif")), 1);
  ASSERT_EQ(iSEDSelectPage(1), 1);
  EXPECT_NE(iSEDGetPageText(3), "");
}

TEST_F(PdfWorker, RunningOutOfMemoryIsAFailure) {
  if (kSanitized) GTEST_SKIP() << "the sanitizer's address space takes no limit";
  fixtures::Loaded doc(fixtures::MakeForm("memory.pdf"));
  WorkerLimits limits = saved_;
  limits.memory = 200 << 20;
  limits.pagePixels = 1'000'000'000;
  SetWorkerLimits(limits);
  EXPECT_EQ(iSEDRenderDocumentToFile(2400, 1, 1, 6, fixtures::Path("memory%p.gif")), 0);
  SetWorkerLimits(saved_);
  fixtures::Loaded again(fixtures::MakeForm("memory2.pdf"));
  EXPECT_EQ(iSEDRenderDocumentToFile(36, 1, 1, 6, fixtures::Path("memory%p.gif")), 1);
}

TEST_F(PdfWorker, HugePagesAreDrawnJustSmallEnoughWithinAGigabyte) {
  // An A0 page and a page of 14400 by 14400 points, beside a letter page.
  {
    fixtures::Loaded doc(
        Pages("huge.pdf", {"0 0 2384 3370", "0 0 14400 14400", "0 0 612 792"}));
    ASSERT_EQ(iSEDRenderDocumentToFile(288, 1, 3, 6, fixtures::Path("huge%p.gif")), 1);
    const int64_t most = GetWorkerLimits().pagePixels;
    for (int page : {1, 2}) {
      SCOPED_TRACE(page);
      const double dpi = iSEDRenderedResolution(page);
      EXPECT_GT(dpi, 0);
      EXPECT_LT(dpi, 288);
      auto [w, h] = GifSize(fixtures::Path("huge" + std::to_string(page) + ".gif"));
      EXPECT_LE(int64_t{w} * h, most);
      EXPECT_GT(int64_t{w} * h, most * 99 / 100);  // lowered just enough
    }
    EXPECT_EQ(iSEDRenderedResolution(3), 288);
    EXPECT_EQ(GifSize(fixtures::Path("huge3.gif")), std::make_pair(612 * 4, 792 * 4));
  }
  // The workers have ended with the document: their peaks are known.
  if (!kSanitized) {
    rusage self{}, children{};
    getrusage(RUSAGE_SELF, &self);
    getrusage(RUSAGE_CHILDREN, &children);
    EXPECT_LT(self.ru_maxrss, 1 << 20);  // kilobytes
    EXPECT_LT(children.ru_maxrss, 1 << 20);
  }
}

TEST_F(PdfWorker, ContentPastTheLimitIsNeverDecodedWhole) {
  // Under a limit of 1 MB: 8 MB on one stream, 0.6 MB on each of two
  // streams, and pages well within it (one of them 0.9 MB).
  WorkerLimits limits = saved_;
  limits.contentBytes = 1 << 20;
  SetWorkerLimits(limits);
  fixtures::Loaded doc(Inflating("inflating.pdf", {{8 << 20}, {0}, {600'000, 600'000}, {900'000}}));
  ASSERT_NE(doc.id, 0);
  ASSERT_EQ(iSEDRenderDocumentToFile(36, 1, 4, 6, fixtures::Path("inflating%p.gif")), 1);
  ASSERT_EQ(iSEDReadPageTexts(3, 1, 4), 1);
  struct Case {
    int page;
    bool tooLarge;
  } cases[] = {{1, true}, {2, false}, {3, true}, {4, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.page);
    ASSERT_EQ(iSEDSelectPage(c.page), 1);
    EXPECT_EQ(iSEDPageContentTooLarge(), c.tooLarge ? 1 : 0);
    const std::string word = "|Page" + std::to_string(c.page);
    EXPECT_EQ(iSEDGetPageText(3).find(word) != std::string::npos, !c.tooLarge);
    EXPECT_EQ(iSEDCombineLayers(), c.tooLarge ? 0 : 1);
    const std::string content = iSEDGetPageContent();
    EXPECT_EQ(content.empty(), c.tooLarge);
    EXPECT_EQ(iSEDPageContentTooLarge(), c.tooLarge ? 1 : 0);  // also once combined
    // The picture of a page beyond the limit is its paper alone.
    const int colours = GifColours(fixtures::Path("inflating" + std::to_string(c.page) + ".gif"));
    if (c.tooLarge)
      EXPECT_EQ(colours, 1);
    else
      EXPECT_GT(colours, 2);
    EXPECT_EQ(iSEDRenderedResolution(c.page), 36);
  }
  // Written out, the pages keep what they had.
  const std::string out = fixtures::Path("inflating-saved.pdf");
  ASSERT_EQ(iSEDSaveToFile(out), 1);
  fixtures::Loaded saved(out);
  ASSERT_EQ(iSEDSelectPage(1), 1);
  EXPECT_EQ(iSEDPageContentTooLarge(), 1);
  ASSERT_EQ(iSEDSelectPage(4), 1);
  EXPECT_EQ(iSEDPageContentTooLarge(), 0);
}

TEST_F(PdfWorker, PagesTextFollowsRenderingWithoutANewParse) {
  fixtures::Loaded doc(fixtures::MakeForm("reuse.pdf"));
  const int before = velmora::pdf::detail::WorkerStarts();
  ASSERT_EQ(iSEDRenderDocumentToFile(36, 1, 2, 6, fixtures::Path("reuse%p.gif")), 1);
  const int rendering = velmora::pdf::detail::WorkerStarts() - before;
  EXPECT_GE(rendering, 1);
  for (int page : {1, 2}) {
    ASSERT_EQ(iSEDSelectPage(page), 1);
    EXPECT_NE(iSEDGetPageText(3), "");
    EXPECT_EQ(iSEDCombineLayers(), 1);
  }
  EXPECT_EQ(velmora::pdf::detail::WorkerStarts() - before, rendering);
}

// The processes this one started that were not waited for yet.
int Children() {
  int n = 0;
  for (auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream in(task.path() / "children");
    std::string pid;
    while (in >> pid) ++n;
  }
  return n;
}

TEST_F(PdfWorker, ClosingADocumentEndsAndWaitsForEveryWorker) {
  const int before = Children();
  {
    fixtures::Loaded doc(fixtures::MakeForm("end.pdf"));
    ASSERT_EQ(iSEDRenderDocumentToFile(36, 1, 2, 6, fixtures::Path("end%p.gif")), 1);
    EXPECT_GE(Children() - before, 1);
  }
  EXPECT_EQ(Children(), before);
}

TEST(PdfWorkerCount, AsFewWorkersAsTheRoundsOfPagesNeed) {
  const int cores = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  auto rounds = [](int pages, int workers) { return (pages + workers - 1) / workers; };
  for (int pages = 1; pages <= 300; ++pages) {
    SCOPED_TRACE(std::to_string(pages) + " pages");
    const int most = std::min({cores, pages, 8});
    const int workers = velmora::pdf::detail::WorkersFor(pages);
    ASSERT_GE(workers, 1);
    ASSERT_LE(workers, most);
    EXPECT_EQ(rounds(pages, workers), rounds(pages, most));
    if (workers > 1) {
      EXPECT_GT(rounds(pages, workers - 1), rounds(pages, most));
    }
  }
}

}  // namespace
