// Pages: boxes, sizes, text, content and pictures.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <qpdf/QPDF.hh>

#include <qpdf/QPDFWriter.hh>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <vector>

#include "fixtures.h"
#include "velmora/pdf/pdf.h"
#include "velmora/runtime/process.h"

namespace {

class PdfPages : public ::testing::Test {
 protected:
  fixtures::Loaded doc_{fixtures::MakeForm("pages.pdf")};
  const int id_ = doc_.id;
};

TEST_F(PdfPages, SelectsOnlyExistingPages) {
  ASSERT_NE(id_, 0);
  EXPECT_EQ(iSEDSelectPage(0), 0);
  EXPECT_EQ(iSEDSelectPage(3), 0);
  EXPECT_EQ(iSEDSelectPage(2), 1);
}

TEST_F(PdfPages, BoxesAndDimensionsWithInheritance) {
  ASSERT_EQ(iSEDSelectPage(1), 1);
  // The MediaBox comes from the page tree; the CropBox is the page's own.
  EXPECT_EQ(iSEDHasPageBox(1), 1);
  EXPECT_EQ(iSEDHasPageBox(2), 1);
  EXPECT_EQ(iSEDHasPageBox(3), 0);
  EXPECT_EQ(iSEDHasPageBox(6), 0);
  struct Case {
    int box, dimension;
    double want;
  } cases[] = {
      {1, 0, 0},   {1, 1, 792}, {1, 2, 612}, {1, 3, 792}, {1, 4, 612}, {1, 5, 0},
      {2, 0, 18},  {2, 1, 756}, {2, 2, 576}, {2, 3, 720}, {2, 4, 594}, {2, 5, 36},
      {4, 2, 576},  // an absent TrimBox is the CropBox
  };
  for (const auto& c : cases)
    EXPECT_DOUBLE_EQ(iSEDGetPageBox(c.box, c.dimension), c.want) << c.box << "/" << c.dimension;
  EXPECT_DOUBLE_EQ(iSEDPageWidth(), 576);
  EXPECT_DOUBLE_EQ(iSEDPageHeight(), 720);

  // Page 2 is turned by 90 degrees: its sizes are those of the page shown.
  ASSERT_EQ(iSEDSelectPage(2), 1);
  EXPECT_EQ(iSEDHasPageBox(2), 0);
  EXPECT_DOUBLE_EQ(iSEDPageWidth(), 792);
  EXPECT_DOUBLE_EQ(iSEDPageHeight(), 612);
}

TEST_F(PdfPages, TextWithPositionsAndFonts) {
  ASSERT_EQ(iSEDSelectPage(1), 1);
  std::string text = iSEDGetPageText(3);
  // "left top width height size font|text", one line per run.
  double left = 0, top = 0, width = 0, height = 0, size = 0;
  char font[64] = {};
  char word[64] = {};
  ASSERT_EQ(std::sscanf(text.c_str(), "%lf %lf %lf %lf %lf %63[^|]|%63s", &left, &top, &width,
                        &height, &size, font, word),
            7)
      << text;
  EXPECT_STREQ(word, "Hello");
  EXPECT_STREQ(font, "Helvetica");
  EXPECT_NEAR(size, 24, 0.5);
  EXPECT_NEAR(left, 72 - 18, 1);  // from the CropBox's left edge
  EXPECT_NE(text.find("|Page\n"), std::string::npos);
  EXPECT_NE(iSEDGetPageText(0).find("Hello Page One"), std::string::npos);
}

TEST_F(PdfPages, ContentIsDecodedAndLayersCombine) {
  ASSERT_EQ(iSEDSelectPage(2), 1);
  std::string content = iSEDGetPageContent();
  EXPECT_NE(content.find("re f"), std::string::npos);
  EXPECT_NE(content.find("(Second Page) Tj"), std::string::npos);
  EXPECT_EQ(iSEDCombineLayers(), 1);
  auto out = fixtures::Path("combined.pdf");
  ASSERT_EQ(iSEDSaveToFile(out), 1);
  QPDF q;
  q.processFile(out.c_str());
  QPDFObjectHandle page = q.getAllPages()[1];
  EXPECT_TRUE(page.getKey("/Contents").isStream());
}

struct Gif {
  int width = 0, height = 0, colours = 0;
  int corner = -1;  // 0xRRGGBB of the top-left pixel
};

Gif ReadGif(const std::string& path) {
  Gif g;
  int error = 0;
  GifFileType* f = DGifOpenFileName(path.c_str(), &error);
  if (!f) return g;
  if (DGifSlurp(f) == GIF_OK && f->ImageCount == 1) {
    g.width = f->SWidth;
    g.height = f->SHeight;
    std::set<int> used(f->SavedImages[0].RasterBits,
                       f->SavedImages[0].RasterBits + g.width * g.height);
    g.colours = static_cast<int>(used.size());
    ColorMapObject* map = f->SavedImages[0].ImageDesc.ColorMap ? f->SavedImages[0].ImageDesc.ColorMap
                                                                : f->SColorMap;
    if (map) {
      const GifColorType& c = map->Colors[f->SavedImages[0].RasterBits[0]];
      g.corner = c.Red << 16 | c.Green << 8 | c.Blue;
    }
  }
  DGifCloseFile(f, &error);
  return g;
}

TEST_F(PdfPages, RendersGifPicturesAsShown) {
  std::string base = fixtures::Path("render_page%p.gif");
  ASSERT_EQ(iSEDRenderDocumentToFile(288, 1, 2, 6, base), 1);
  Gif p1 = ReadGif(fixtures::Path("render_page1.gif"));
  EXPECT_EQ(p1.width, 576 * 4);  // the CropBox at 288 dpi
  EXPECT_EQ(p1.height, 720 * 4);
  EXPECT_GT(p1.colours, 2);  // text with smoothed edges, not a blank page
  EXPECT_EQ(p1.corner, 0xFFFFFF);  // white paper stays white
  Gif p2 = ReadGif(fixtures::Path("render_page2.gif"));
  EXPECT_EQ(p2.width, 792 * 4);  // turned by the page's rotation
  EXPECT_EQ(p2.height, 612 * 4);
  EXPECT_GT(p2.colours, 2);
}

struct Pixels {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;
};

Pixels DecodeGif(const std::string& path) {
  Pixels out;
  int error = 0;
  GifFileType* f = DGifOpenFileName(path.c_str(), &error);
  if (!f) return out;
  if (DGifSlurp(f) == GIF_OK && f->ImageCount == 1 && f->SColorMap) {
    out.width = f->SWidth, out.height = f->SHeight;
    for (int i = 0; i < out.width * out.height; ++i) {
      const GifColorType& c = f->SColorMap->Colors[f->SavedImages[0].RasterBits[i]];
      out.rgb.insert(out.rgb.end(), {c.Red, c.Green, c.Blue});
    }
  }
  DGifCloseFile(f, &error);
  return out;
}

// pdftoppm's picture of one page at `dpi` (its CropBox, as ours).
Pixels Pdftoppm(const std::string& pdf, int page, int dpi) {
  rt::RunOptions o;
  o.captureOutput = true;
  const std::string n = std::to_string(page);
  rt::ProcessResult r = rt::RunProgram(
      {"pdftoppm", "-r", std::to_string(dpi), "-f", n, "-l", n, "-cropbox", pdf}, o);
  Pixels out;
  if (!r.Succeeded()) return out;
  std::istringstream in(r.output);
  std::string magic;
  int max = 0;
  in >> magic >> out.width >> out.height >> max;
  in.get();
  out.rgb.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (magic != "P6" || out.rgb.size() != static_cast<size_t>(out.width) * out.height * 3) out = {};
  return out;
}

// A page of text beside a photograph of grain and shading (its own colour
// on nearly every pixel).
std::string PhotoPage() {
  QPDF q;
  q.emptyPDF();
  QPDFObjectHandle font = q.makeIndirectObject(QPDFObjectHandle::parse(
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"));
  std::string rgb;
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x)
      rgb += {static_cast<char>(x * 4), static_cast<char>(y * 5), static_cast<char>((x * 7 + y * 13) % 256)};
  QPDFObjectHandle image = q.newStream(rgb);
  image.getDict().replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
  image.getDict().replaceKey("/Subtype", QPDFObjectHandle::newName("/Image"));
  image.getDict().replaceKey("/Width", QPDFObjectHandle::newInteger(64));
  image.getDict().replaceKey("/Height", QPDFObjectHandle::newInteger(48));
  image.getDict().replaceKey("/ColorSpace", QPDFObjectHandle::newName("/DeviceRGB"));
  image.getDict().replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(8));
  QPDFObjectHandle page = q.makeIndirectObject(QPDFObjectHandle::parse(
      "<< /Type /Page /MediaBox [0 0 300 200] /Resources << /Font << >> /XObject << >> >> >>"));
  page.getKey("/Resources").getKey("/Font").replaceKey("/F1", font);
  page.getKey("/Resources").getKey("/XObject").replaceKey("/Im", image);
  page.replaceKey("/Contents",
                  q.newStream("BT /F1 14 Tf 20 160 Td (A photograph:) Tj ET "
                              "q 160 0 0 120 120 20 cm /Im Do Q"));
  q.getRoot().getKey("/Pages").replaceKey("/Kids", QPDFObjectHandle::newArray({page}));
  q.getRoot().getKey("/Pages").replaceKey("/Count", QPDFObjectHandle::newInteger(1));
  page.replaceKey("/Parent", q.getRoot().getKey("/Pages"));
  const std::string path = fixtures::Path("photo.pdf");
  QPDFWriter w(q, path.c_str());
  w.write();
  return path;
}

TEST_F(PdfPages, GifPicturesAreThoseOfPdftoppm) {
  // Text and line art keep every pixel poppler draws (page 2, 250 colours);
  // with a little more colours (page 1: black and blue text, 388) a few
  // smoothed edges move by a shade; a photograph shares the palette closely.
  const std::string photo = PhotoPage();
  struct Case {
    std::string pdf;
    int page;
    double differing;  // the most pixels that may differ, as a share
    int worst;         // the largest difference of one channel
    double mean;       // the largest mean difference of a channel
  } cases[] = {{fixtures::Path("pages.pdf"), 2, 0, 0, 0},
               {fixtures::Path("pages.pdf"), 1, 0.001, 8, 0.01},
               {photo, 1, 1, 48, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pdf + " page " + std::to_string(c.page));
    fixtures::Loaded doc(c.pdf);
    const std::string gif = fixtures::Path("like_pdftoppm%p.gif");
    ASSERT_EQ(iSEDRenderDocumentToFile(144, c.page, c.page, 6, gif), 1);
    Pixels ours = DecodeGif(fixtures::Path("like_pdftoppm" + std::to_string(c.page) + ".gif"));
    Pixels theirs = Pdftoppm(c.pdf, c.page, 144);
    ASSERT_GT(theirs.width, 0);
    ASSERT_EQ(ours.width, theirs.width);
    ASSERT_EQ(ours.height, theirs.height);
    size_t differ = 0;
    double total = 0;
    int worst = 0;
    for (size_t i = 0; i < ours.rgb.size(); i += 3) {
      bool same = true;
      for (size_t k = i; k < i + 3; ++k) {
        const int e = std::abs(ours.rgb[k] - theirs.rgb[k]);
        same = same && e == 0, total += e, worst = std::max(worst, e);
      }
      differ += !same;
    }
    const double pixels = static_cast<double>(ours.rgb.size() / 3);
    EXPECT_LE(static_cast<double>(differ), c.differing * pixels);
    EXPECT_LE(worst, c.worst);
    EXPECT_LE(total / (3 * pixels), c.mean);
  }
}

TEST_F(PdfPages, RendersOtherFormatsAndRefusesBadRequests) {
  ASSERT_EQ(iSEDRenderDocumentToFile(36, 1, 1, 5, fixtures::Path("small%p.png")), 1);
  ASSERT_EQ(iSEDRenderDocumentToFile(36, 2, 2, 1, fixtures::Path("small%p.jpg")), 1);
  auto head = [](const std::string& path) {
    std::string bytes(4, '\0');
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return std::string();
    size_t n = std::fread(bytes.data(), 1, 4, f);
    std::fclose(f);
    bytes.resize(n);
    return bytes;
  };
  EXPECT_EQ(head(fixtures::Path("small1.png")), "\x89PNG");
  EXPECT_EQ(head(fixtures::Path("small2.jpg")).substr(0, 2), "\xFF\xD8");
  EXPECT_EQ(iSEDRenderDocumentToFile(36, 0, 1, 6, fixtures::Path("bad%p.gif")), 0);
  EXPECT_EQ(iSEDRenderDocumentToFile(36, 1, 3, 6, fixtures::Path("bad%p.gif")), 0);
  EXPECT_EQ(iSEDRenderDocumentToFile(36, 1, 1, 99, fixtures::Path("bad%p.gif")), 0);
  EXPECT_FALSE(std::filesystem::exists(fixtures::Path("bad1.gif")));
}

}  // namespace
