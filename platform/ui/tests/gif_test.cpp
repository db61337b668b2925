// The fast GIF decoder against the general one, and the shrinking of indexed pictures.
#include <gtest/gtest.h>

#include <QImage>
#include <map>
#include <random>
#include <vector>

#include "../src/qt/gif_decode.h"

namespace ui {
namespace {

QRgb Colour(int i) { return qRgb((i * 37) & 255, (i * 91) & 255, (i * 13) & 255); }

// A GIF of `pixels` (colour indexes below 2^bits), LZW-coded the standard
// way: the table is cleared when it is full.
std::vector<uint8_t> Gif(int width, int height, int bits, const std::vector<uint8_t>& pixels, bool interlaced,
                         bool transparent = false) {
  std::vector<uint8_t> out = {'G', 'I', 'F', '8', '9', 'a'};
  auto word = [&](int v) {
    out.push_back(static_cast<uint8_t>(v & 255));
    out.push_back(static_cast<uint8_t>(v >> 8));
  };
  word(width);
  word(height);
  out.push_back(static_cast<uint8_t>(0x80 | (bits - 1)));
  out.push_back(0);
  out.push_back(0);
  for (int i = 0; i < (1 << bits); ++i) {
    out.push_back(static_cast<uint8_t>(qRed(Colour(i))));
    out.push_back(static_cast<uint8_t>(qGreen(Colour(i))));
    out.push_back(static_cast<uint8_t>(qBlue(Colour(i))));
  }
  if (transparent) out.insert(out.end(), {0x21, 0xF9, 4, 1, 0, 0, 0, 0});
  out.push_back(0x2C);
  word(0);
  word(0);
  word(width);
  word(height);
  out.push_back(interlaced ? 0x40 : 0);
  // the pixels in the order they are stored
  std::vector<uint8_t> stored;
  const int starts[] = {0, 4, 2, 1}, steps[] = {8, 8, 4, 2};
  for (int pass = 0; pass < (interlaced ? 4 : 1); ++pass)
    for (int y = interlaced ? starts[pass] : 0; y < height; y += interlaced ? steps[pass] : 1)
      stored.insert(stored.end(), pixels.begin() + y * width, pixels.begin() + (y + 1) * width);
  const int minCode = std::max(2, bits), clear = 1 << minCode;
  std::vector<uint8_t> data;
  uint32_t acc = 0;
  int count = 0, codeSize = minCode + 1, next = clear + 2;
  auto put = [&](int code) {
    acc |= static_cast<uint32_t>(code) << count;
    count += codeSize;
    while (count >= 8) {
      data.push_back(static_cast<uint8_t>(acc & 255));
      acc >>= 8;
      count -= 8;
    }
  };
  std::map<std::pair<int, int>, int> table;
  put(clear);
  int current = stored[0];
  for (size_t i = 1; i < stored.size(); ++i) {
    auto it = table.find({current, stored[i]});
    if (it != table.end()) {
      current = it->second;
      continue;
    }
    put(current);
    table[{current, stored[i]}] = next++;
    if (next - 1 == (1 << codeSize) && codeSize < 12) ++codeSize;
    if (next == 4096) {
      put(clear);
      table.clear();
      codeSize = minCode + 1;
      next = clear + 2;
    }
    current = stored[i];
  }
  put(current);
  put(clear + 1);
  if (count > 0) data.push_back(static_cast<uint8_t>(acc & 255));
  out.push_back(static_cast<uint8_t>(minCode));
  for (size_t i = 0; i < data.size(); i += 255) {
    const size_t n = std::min<size_t>(255, data.size() - i);
    out.push_back(static_cast<uint8_t>(n));
    out.insert(out.end(), data.begin() + static_cast<long>(i), data.begin() + static_cast<long>(i + n));
  }
  out.push_back(0);
  out.push_back(0x3B);
  return out;
}

QImage Expected(int width, int height, const std::vector<uint8_t>& pixels) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) image.setPixel(x, y, Colour(pixels[static_cast<size_t>(y * width + x)]));
  return image;
}

TEST(Gif, DecodesWhatTheGeneralDecoderDecodes) {
  struct Case {
    const char* name;
    int width, height, bits;
    bool interlaced, noise;
  };
  const Case cases[] = {
      {"two colours in stripes", 97, 13, 1, false, false},
      {"a page-like picture, long runs", 612, 792, 8, false, false},
      {"noise that fills the table many times", 300, 200, 8, false, true},
      {"interlaced noise", 61, 37, 4, true, true},
      {"one pixel", 1, 1, 2, false, false},
  };
  std::mt19937 random(7);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> pixels(static_cast<size_t>(c.width * c.height));
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < c.width; ++x)
        pixels[static_cast<size_t>(y * c.width + x)] = static_cast<uint8_t>(
            c.noise ? random() % (1u << c.bits) : ((x / 7 + y / 5) % 3 == 0 ? (x * y) % (1 << c.bits) : 0));
    const std::vector<uint8_t> gif = Gif(c.width, c.height, c.bits, pixels, c.interlaced);
    QImage general;
    ASSERT_TRUE(general.loadFromData(gif.data(), static_cast<int>(gif.size())));
    const QImage expected = Expected(c.width, c.height, pixels);
    ASSERT_EQ(general.convertToFormat(QImage::Format_RGB32), expected);  // the fixture's own coding is right
    const QImage fast = DecodeGif(gif);
    ASSERT_EQ(fast.format(), QImage::Format_Indexed8);
    EXPECT_EQ(fast.convertToFormat(QImage::Format_RGB32), expected);
  }
}

TEST(Gif, LeavesWhatItDoesNotReadToTheGeneralDecoder) {
  const std::vector<uint8_t> pixels(64, 1);
  EXPECT_TRUE(DecodeGif(Gif(8, 8, 2, pixels, false, true)).isNull());  // a transparent colour
  EXPECT_TRUE(DecodeGif({}).isNull());
  EXPECT_TRUE(DecodeGif({'G', 'I', 'F', '8', '9', 'a'}).isNull());
  const std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_TRUE(DecodeGif(png).isNull());
  // cut short anywhere: no crash, and never a picture of another size
  std::vector<uint8_t> gif = Gif(40, 30, 8, std::vector<uint8_t>(1200, 3), false);
  for (size_t n = 0; n < gif.size(); ++n) {
    const QImage cut = DecodeGif(std::vector<uint8_t>(gif.begin(), gif.begin() + static_cast<long>(n)));
    if (!cut.isNull()) {
      EXPECT_EQ(cut.size(), QSize(40, 30));
    }
  }
}

TEST(Gif, AShrunkPictureAveragesTheAreaEachPixelCovers) {
  QImage picture(6, 3, QImage::Format_Indexed8);
  picture.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(200, 100, 50)});
  // columns 0-2 black and white in turn, columns 3-5 the third colour
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 6; ++x) picture.setPixel(x, y, x >= 3 ? 2 : (x + y) % 2);
  const QImage half = ShrinkIndexed(picture, QSize(2, 1));
  ASSERT_EQ(half.size(), QSize(2, 1));
  EXPECT_EQ(half.pixel(0, 0), qRgb(113, 113, 113));  // 4 white of 9: 255 * 4 / 9
  EXPECT_EQ(half.pixel(1, 0), qRgb(200, 100, 50));
  EXPECT_EQ(ShrinkIndexed(picture, picture.size()).pixel(1, 0), qRgb(255, 255, 255));
  EXPECT_TRUE(ShrinkIndexed(picture, QSize(7, 3)).isNull());  // larger: the general scaling
  // random colours, areas from 1 to thousands of pixels: each pixel is the
  // exact (truncated) average of its area
  QImage noise(180, 90, QImage::Format_Indexed8);
  QList<QRgb> table;
  for (int i = 0; i < 256; ++i) table << Colour(i);
  noise.setColorTable(table);
  std::mt19937 random(3);
  for (int y = 0; y < noise.height(); ++y)
    for (int x = 0; x < noise.width(); ++x) noise.setPixel(x, y, static_cast<uint>(random() % 256));
  for (const QSize size : {QSize(180, 90), QSize(120, 60), QSize(61, 29), QSize(3, 1)}) {
    const QImage small = ShrinkIndexed(noise, size);
    ASSERT_EQ(small.size(), size);
    for (int dy = 0; dy < size.height(); ++dy)
      for (int dx = 0; dx < size.width(); ++dx) {
        const int x0 = dx * 180 / size.width(), x1 = (dx + 1) * 180 / size.width();
        const int y0 = dy * 90 / size.height(), y1 = (dy + 1) * 90 / size.height();
        int r = 0, g = 0, b = 0, n = 0;
        for (int y = y0; y < y1; ++y)
          for (int x = x0; x < x1; ++x, ++n) {
            const QRgb c = noise.pixel(x, y);
            r += qRed(c);
            g += qGreen(c);
            b += qBlue(c);
          }
        ASSERT_EQ(small.pixel(dx, dy), qRgb(r / n, g / n, b / n)) << size.width() << " " << dx << "," << dy;
      }
  }
  EXPECT_TRUE(ShrinkIndexed(noise, QSize(2, 1)).isNull());  // areas beyond what the sums hold
  EXPECT_TRUE(ShrinkIndexed(picture.convertToFormat(QImage::Format_RGB32), QSize(2, 1)).isNull());
}

}  // namespace
}  // namespace ui
