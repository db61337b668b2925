// The GIF writer: every pixel of a picture of at most 256 colours comes
// back as it was (however close the colours), across the compression's
// table resets, and more colours share the palette as means of their
// pixels.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "fixtures.h"
#include "gif.h"

namespace {

struct Decoded {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;
};

Decoded Decode(const std::string& path) {
  Decoded out;
  int error = 0;
  GifFileType* f = DGifOpenFileName(path.c_str(), &error);
  if (!f) return out;
  if (DGifSlurp(f) == GIF_OK && f->ImageCount == 1) {
    const ColorMapObject* map = f->SColorMap;
    const SavedImage& image = f->SavedImages[0];
    out.width = f->SWidth, out.height = f->SHeight;
    for (int i = 0; i < out.width * out.height; ++i) {
      const GifColorType& c = map->Colors[image.RasterBits[i]];
      out.rgb.insert(out.rgb.end(), {c.Red, c.Green, c.Blue});
    }
  }
  DGifCloseFile(f, &error);
  return out;
}

// Colour c of a picture's colours: far apart, or as close as the greys of
// smoothed text (one level apart).
enum class Spread { Far, Greys };

// Random pixels of `colours` colours, in runs of 1 to `run` pixels.
poppler::image Noise(int w, int h, int colours, Spread spread, int run, unsigned seed) {
  poppler::image image(w, h, poppler::image::format_rgb24);
  std::mt19937 random(seed);
  unsigned c = 0;
  int left = 0;
  for (int y = 0; y < h; ++y) {
    unsigned char* row = reinterpret_cast<unsigned char*>(image.data()) + y * image.bytes_per_row();
    for (int x = 0; x < w; ++x) {
      if (left-- <= 0) c = random() % colours, left = static_cast<int>(random() % run);
      unsigned char* p = row + 3 * x;
      if (spread == Spread::Greys) {
        p[0] = p[1] = p[2] = static_cast<unsigned char>(c);
      } else {
        p[0] = static_cast<unsigned char>((c & 7) * 32 + 8);
        p[1] = static_cast<unsigned char>(((c >> 3) & 7) * 32 + 8);
        p[2] = static_cast<unsigned char>(((c >> 6) & 3) * 64 + 8);
      }
    }
  }
  return image;
}

TEST(PdfGif, AtMost256ColoursComeBackExactlyAcrossTableResets) {
  struct Case {
    int colours;
    Spread spread;
    int run;
  } cases[] = {{1, Spread::Far, 1},     {2, Spread::Far, 1},     {200, Spread::Far, 1},
               {256, Spread::Far, 1},   {256, Spread::Greys, 1}, {256, Spread::Greys, 40},
               {3, Spread::Greys, 3000}, {200, Spread::Far, 40}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.colours) + (c.spread == Spread::Greys ? " greys" : " far") +
                 ", runs up to " + std::to_string(c.run));
    poppler::image image = Noise(701, 533, c.colours, c.spread, c.run, c.colours + c.run);
    const std::string path = fixtures::Path("noise" + std::to_string(c.colours) + ".gif");
    ASSERT_TRUE(velmora::pdf::detail::WriteGif(image, path));
    Decoded back = Decode(path);
    ASSERT_EQ(back.width, 701);
    ASSERT_EQ(back.height, 533);
    bool same = true;
    for (int y = 0; y < 533 && same; ++y)
      same = std::memcmp(back.rgb.data() + y * 701 * 3,
                         image.const_data() + y * image.bytes_per_row(), 701 * 3) == 0;
    EXPECT_TRUE(same);
  }
}

// The largest difference of one channel between a picture and its GIF.
int WorstError(const poppler::image& image, const std::string& path) {
  Decoded back = Decode(path);
  if (back.width != image.width() || back.height != image.height()) return 256;
  int worst = 0;
  for (int y = 0; y < back.height; ++y)
    for (int x = 0; x < 3 * back.width; ++x)
      worst = std::max(worst, std::abs(back.rgb[static_cast<size_t>(y) * 3 * back.width + x] -
                                       static_cast<unsigned char>(
                                           image.const_data()[y * image.bytes_per_row() + x])));
  return worst;
}

TEST(PdfGif, MoreColoursShareThePaletteClosely) {
  // Every colour of a gradient, and 256 greys with one colour more at the
  // very end.
  poppler::image gradient(256, 256, poppler::image::format_rgb24);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) {
      unsigned char* p = reinterpret_cast<unsigned char*>(gradient.data()) + y * gradient.bytes_per_row() + 3 * x;
      p[0] = static_cast<unsigned char>(x), p[1] = static_cast<unsigned char>(y),
      p[2] = static_cast<unsigned char>((x + y) / 2);
    }
  poppler::image greys = Noise(300, 200, 256, Spread::Greys, 5, 7);
  unsigned char* last = reinterpret_cast<unsigned char*>(greys.data()) + 199 * greys.bytes_per_row() + 3 * 299;
  last[0] = 255, last[1] = 0, last[2] = 0;
  const std::string gradientGif = fixtures::Path("gradient.gif"), greysGif = fixtures::Path("greys.gif");
  ASSERT_TRUE(velmora::pdf::detail::WriteGif(gradient, gradientGif));
  ASSERT_TRUE(velmora::pdf::detail::WriteGif(greys, greysGif));
  EXPECT_LE(WorstError(gradient, gradientGif), 40);
  EXPECT_LE(WorstError(greys, greysGif), 4);  // a palette entry for every 8 greys, and the red
}

}  // namespace
