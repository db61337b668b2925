// GIF pictures decoded straight into 8-bit indexed images: a page picture
// of some 8 million pixels decodes in a fraction of the general decoder's
// time and a quarter of its memory.
#include "gif_decode.h"

#include <algorithm>
#include <cstring>

namespace ui {
namespace {

struct Reader {
  const uint8_t* p;
  const uint8_t* end;
  bool Has(size_t n) const { return static_cast<size_t>(end - p) >= n; }
  int Byte() { return p < end ? *p++ : -1; }
  int Word() {
    if (!Has(2)) return -1;
    const int v = p[0] | (p[1] << 8);
    p += 2;
    return v;
  }
  // Skips a chain of data sub-blocks.
  bool SkipBlocks() {
    for (int n = Byte(); n > 0; n = Byte()) {
      if (!Has(static_cast<size_t>(n))) return false;
      p += n;
    }
    return p <= end;
  }
};

void ReadColors(Reader& r, int count, QList<QRgb>& table) {
  table.resize(count);
  for (int i = 0; i < count; ++i) {
    table[i] = qRgb(r.p[0], r.p[1], r.p[2]);
    r.p += 3;
  }
}

// Decodes the LZW data of `size` pixels; false when the data is broken.
bool Lzw(const std::vector<uint8_t>& data, int minCode, uint8_t* out, size_t size) {
  if (minCode < 2 || minCode > 8) return false;
  static thread_local uint16_t prefix[4096];
  static thread_local uint8_t suffix[4096], first[4096];
  static thread_local uint16_t length[4096];
  const int clear = 1 << minCode, stop = clear + 1;
  for (int i = 0; i < clear; ++i) {
    suffix[i] = first[i] = static_cast<uint8_t>(i);
    length[i] = 1;
    prefix[i] = 0;
  }
  int codeSize = minCode + 1, next = clear + 2, previous = -1;
  uint32_t bits = 0;
  int count = 0;
  size_t pos = 0, in = 0;
  while (pos < size) {
    while (count < codeSize) {
      if (in >= data.size()) return pos > 0;  // short data: the rest stays blank
      bits |= static_cast<uint32_t>(data[in++]) << count;
      count += 8;
    }
    const int code = static_cast<int>(bits & ((1u << codeSize) - 1));
    bits >>= codeSize;
    count -= codeSize;
    if (code == clear) {
      codeSize = minCode + 1;
      next = clear + 2;
      previous = -1;
      continue;
    }
    if (code == stop) break;
    if (previous < 0) {
      if (code >= clear) return false;
      out[pos++] = static_cast<uint8_t>(code);
      previous = code;
      continue;
    }
    if (code > next) return false;
    if (next < 4096) {
      // a new entry: the previous string and the first of this one (of the
      // previous one for the code being defined right now)
      prefix[next] = static_cast<uint16_t>(previous);
      suffix[next] = first[code < next ? code : previous];
      first[next] = first[previous];
      length[next] = static_cast<uint16_t>(length[previous] + 1);
      ++next;
      if (next == (1 << codeSize) && codeSize < 12) ++codeSize;
    } else if (code == next) {
      return false;
    }
    size_t n = length[code];
    if (n > size - pos) n = size - pos;
    // the string is written from its end back to its start
    int c = code;
    for (size_t skip = length[code] - n; skip > 0; --skip) c = prefix[c];
    for (size_t i = n; i > 0; --i) {
      out[pos + i - 1] = suffix[c];
      c = prefix[c];
    }
    pos += n;
    previous = code;
  }
  return true;
}

}  // namespace

QImage DecodeGif(const std::vector<uint8_t>& bytes) {
  Reader r{bytes.data(), bytes.data() + bytes.size()};
  if (!r.Has(13) || (std::memcmp(r.p, "GIF87a", 6) != 0 && std::memcmp(r.p, "GIF89a", 6) != 0)) return {};
  r.p += 6;
  r.Word();
  r.Word();
  const int flags = r.Byte();
  r.Byte();  // background
  r.Byte();  // aspect
  QList<QRgb> colors;
  if (flags & 0x80) {
    const int count = 2 << (flags & 7);
    if (!r.Has(static_cast<size_t>(count) * 3)) return {};
    ReadColors(r, count, colors);
  }
  for (;;) {
    const int block = r.Byte();
    if (block == 0x21) {
      const int label = r.Byte();
      // a graphic control block with a transparent colour: the general decoder
      if (label == 0xF9 && r.Has(2) && r.p[0] >= 4 && (r.p[1] & 1)) return {};
      if (!r.SkipBlocks()) return {};
      continue;
    }
    if (block != 0x2C || !r.Has(9)) return {};
    r.Word();
    r.Word();
    const int width = r.Word(), height = r.Word(), image = r.Byte();
    if (width <= 0 || height <= 0) return {};
    if (image & 0x80) {
      const int count = 2 << (image & 7);
      if (!r.Has(static_cast<size_t>(count) * 3)) return {};
      ReadColors(r, count, colors);
    }
    if (colors.isEmpty()) return {};
    const int minCode = r.Byte();
    std::vector<uint8_t> data;
    data.reserve(bytes.size());
    for (int n = r.Byte(); n > 0; n = r.Byte()) {
      if (!r.Has(static_cast<size_t>(n))) return {};
      data.insert(data.end(), r.p, r.p + n);
      r.p += n;
    }
    const size_t size = static_cast<size_t>(width) * static_cast<size_t>(height);
    QImage out(width, height, QImage::Format_Indexed8);
    if (out.isNull()) return {};
    while (colors.size() < 256) colors.push_back(qRgb(0, 0, 0));
    out.setColorTable(colors);
    const bool interlaced = (image & 0x40) != 0;
    if (!interlaced && out.bytesPerLine() == width) {
      // rows follow each other without padding: straight into the image
      std::memset(out.bits(), 0, size);
      if (!Lzw(data, minCode, out.bits(), size)) return {};
      return out;
    }
    std::vector<uint8_t> pixels(size, 0);
    if (!Lzw(data, minCode, pixels.data(), size)) return {};
    // interlaced rows come in four passes: every 8th from 0, every 8th
    // from 4, every 4th from 2, every 2nd from 1
    int i = 0;
    const int starts[] = {0, 4, 2, 1}, steps[] = {8, 8, 4, 2};
    for (int pass = 0; pass < (interlaced ? 4 : 1); ++pass)
      for (int y = interlaced ? starts[pass] : 0; y < height; y += interlaced ? steps[pass] : 1, ++i)
        std::memcpy(out.scanLine(y), pixels.data() + static_cast<size_t>(i) * static_cast<size_t>(width),
                    static_cast<size_t>(width));
    return out;
  }
}

QImage ShrinkIndexed(const QImage& picture, QSize size) {
  const int sw = picture.width(), sh = picture.height(), dw = size.width(), dh = size.height();
  if (picture.format() != QImage::Format_Indexed8 || dw <= 0 || dh <= 0 || dw > sw || dh > sh) return {};
  // the three colours of a pixel summed at once in 21-bit lanes, enough
  // for the 8224 pixels of the largest area taken
  const int64_t area = (static_cast<int64_t>(sw) / dw + 1) * (static_cast<int64_t>(sh) / dh + 1);
  if (area > 8224) return {};
  QImage out(dw, dh, QImage::Format_RGB32);
  if (out.isNull()) return {};
  uint64_t lanes[256] = {};
  const QList<QRgb> table = picture.colorTable();
  for (int i = 0; i < table.size() && i < 256; ++i)
    lanes[i] = static_cast<uint64_t>(qRed(table[i])) | static_cast<uint64_t>(qGreen(table[i])) << 21 |
               static_cast<uint64_t>(qBlue(table[i])) << 42;
  // the first source column of each target column, and one past the last
  std::vector<int> from(static_cast<size_t>(dw) + 1);
  for (int d = 0; d <= dw; ++d) from[static_cast<size_t>(d)] = static_cast<int>(static_cast<int64_t>(d) * sw / dw);
  std::vector<uint64_t> sums(static_cast<size_t>(dw));
  constexpr uint64_t kLane = (1u << 21) - 1;
  // the averages divide by multiplying with 2^40 / (width x height), exact
  // for sums below 2^21: the width of each target column's area, and one
  // factor per width for the row at hand
  std::vector<int> widths(static_cast<size_t>(dw));
  int widest = 1;
  for (size_t d = 0; d < widths.size(); ++d) widest = std::max(widest, widths[d] = from[d + 1] - from[d]);
  std::vector<uint64_t> factor(static_cast<size_t>(widest) + 1);
  for (int dy = 0; dy < dh; ++dy) {
    const int y0 = static_cast<int>(static_cast<int64_t>(dy) * sh / dh);
    const int y1 = static_cast<int>(static_cast<int64_t>(dy + 1) * sh / dh);
    std::fill(sums.begin(), sums.end(), 0u);
    for (int y = y0; y < y1; ++y) {
      const uchar* line = picture.constScanLine(y);
      for (size_t d = 0; d < sums.size(); ++d) {
        uint64_t sum = 0;
        for (int x = from[d]; x < from[d + 1]; ++x) sum += lanes[line[x]];
        sums[d] += sum;
      }
    }
    for (int k = 1; k <= widest; ++k) {
      const uint64_t n = static_cast<uint64_t>(k) * static_cast<uint64_t>(y1 - y0);
      factor[static_cast<size_t>(k)] = ((uint64_t{1} << 40) + n - 1) / n;
    }
    auto* row = reinterpret_cast<QRgb*>(out.scanLine(dy));
    for (size_t d = 0; d < sums.size(); ++d) {
      const uint64_t f = factor[static_cast<size_t>(widths[d])], sum = sums[d];
      row[d] = qRgb(static_cast<int>((sum & kLane) * f >> 40), static_cast<int>((sum >> 21 & kLane) * f >> 40),
                    static_cast<int>((sum >> 42 & kLane) * f >> 40));
    }
  }
  return out;
}

}  // namespace ui
