// The GIF writer: every pixel of a picture of few colours comes back as it
// was, across the compression's table resets, and many colours share the
// palette as means of their pixels.
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

poppler::image Noise(int w, int h, int colours, unsigned seed) {
  poppler::image image(w, h, poppler::image::format_rgb24);
  std::mt19937 random(seed);
  for (int y = 0; y < h; ++y) {
    unsigned char* row = reinterpret_cast<unsigned char*>(image.data()) + y * image.bytes_per_row();
    for (int x = 0; x < w; ++x) {
      const unsigned c = random() % colours;
      // Colours a palette bin apart, so that each keeps a bin of its own.
      row[3 * x] = static_cast<unsigned char>((c & 7) * 32 + 8);
      row[3 * x + 1] = static_cast<unsigned char>(((c >> 3) & 7) * 32 + 8);
      row[3 * x + 2] = static_cast<unsigned char>(((c >> 6) & 3) * 64 + 8);
    }
  }
  return image;
}

TEST(PdfGif, FewColoursComeBackExactlyAcrossTableResets) {
  for (int colours : {1, 2, 200, 256}) {
    SCOPED_TRACE(colours);
    poppler::image image = Noise(701, 533, colours, colours);
    const std::string path = fixtures::Path("noise" + std::to_string(colours) + ".gif");
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

TEST(PdfGif, ManyColoursShareThePaletteClosely) {
  poppler::image image(256, 256, poppler::image::format_rgb24);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) {
      unsigned char* p = reinterpret_cast<unsigned char*>(image.data()) + y * image.bytes_per_row() + 3 * x;
      p[0] = static_cast<unsigned char>(x), p[1] = static_cast<unsigned char>(y),
      p[2] = static_cast<unsigned char>((x + y) / 2);
    }
  const std::string path = fixtures::Path("gradient.gif");
  ASSERT_TRUE(velmora::pdf::detail::WriteGif(image, path));
  Decoded back = Decode(path);
  ASSERT_EQ(back.width, 256);
  int worst = 0;
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x)
      for (int c = 0; c < 3; ++c)
        worst = std::max(worst, std::abs(back.rgb[(y * 256 + x) * 3 + c] -
                                         static_cast<unsigned char>(
                                             image.const_data()[y * image.bytes_per_row() + 3 * x + c])));
  EXPECT_LE(worst, 40);
}

}  // namespace
