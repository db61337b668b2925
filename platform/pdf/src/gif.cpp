// Page pictures as GIF files: a median-cut palette of 256 colours over a
// 15-bit colour histogram, and the picture LZW-compressed row by row.
//
// Written for speed: a page at 288 dpi has eight million pixels, and the
// histogram, the palette and the compression read them once each without
// copies of the picture.
#include "gif.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace velmora::pdf::detail {
namespace {

constexpr int kBins = 1 << 15;  // 5 bits a channel

inline int BinOf(const unsigned char* p) { return (p[0] >> 3) << 10 | (p[1] >> 3) << 5 | p[2] >> 3; }

struct Bin {
  uint64_t r = 0, g = 0, b = 0, count = 0;
};

// The palette: up to 256 colours, each the true mean of the pixels it
// stands for, and the palette index of every occupied bin.
struct Palette {
  std::array<unsigned char, 256 * 3> colours{};
  std::vector<uint8_t> index = std::vector<uint8_t>(kBins, 0);
};

// Median cut: the box of bins with the widest spread of one channel is
// split at the pixel-weighted median of that channel until there are 256.
Palette MedianCut(const std::vector<Bin>& bins) {
  std::vector<int> order;
  for (int i = 0; i < kBins; ++i)
    if (bins[i].count) order.push_back(i);
  struct Box {
    size_t begin, end;
    int axis = 0, spread = 0;
  };
  auto channel = [](int bin, int axis) { return (bin >> (10 - 5 * axis)) & 31; };
  auto measure = [&](Box& box) {
    box.spread = -1;
    for (int axis = 0; axis < 3; ++axis) {
      int lo = 31, hi = 0;
      for (size_t i = box.begin; i < box.end; ++i) {
        int c = channel(order[i], axis);
        lo = std::min(lo, c), hi = std::max(hi, c);
      }
      if (hi - lo > box.spread) box.spread = hi - lo, box.axis = axis;
    }
  };
  std::vector<Box> boxes{{0, order.size()}};
  measure(boxes[0]);
  while (boxes.size() < 256) {
    auto widest = std::max_element(boxes.begin(), boxes.end(),
                                   [](const Box& a, const Box& b) { return a.spread < b.spread; });
    if (widest->spread <= 0) break;  // every box holds one bin
    Box& box = *widest;
    std::sort(order.begin() + box.begin, order.begin() + box.end,
              [&](int a, int b) { return channel(a, box.axis) < channel(b, box.axis); });
    uint64_t total = 0, run = 0;
    for (size_t i = box.begin; i < box.end; ++i) total += bins[order[i]].count;
    size_t cut = box.begin + 1;
    for (size_t i = box.begin; i + 1 < box.end; ++i) {
      run += bins[order[i]].count;
      cut = i + 1;
      if (run * 2 >= total) break;
    }
    Box upper{cut, box.end};
    box.end = cut;
    measure(box);
    measure(upper);
    boxes.push_back(upper);
  }
  Palette p;
  for (size_t k = 0; k < boxes.size(); ++k) {
    Bin sum;
    for (size_t i = boxes[k].begin; i < boxes[k].end; ++i) {
      const Bin& b = bins[order[i]];
      sum.r += b.r, sum.g += b.g, sum.b += b.b, sum.count += b.count;
      p.index[order[i]] = static_cast<uint8_t>(k);
    }
    if (!sum.count) continue;
    p.colours[3 * k] = static_cast<unsigned char>((sum.r + sum.count / 2) / sum.count);
    p.colours[3 * k + 1] = static_cast<unsigned char>((sum.g + sum.count / 2) / sum.count);
    p.colours[3 * k + 2] = static_cast<unsigned char>((sum.b + sum.count / 2) / sum.count);
  }
  return p;
}

// GIF's variable-length LZW over 8-bit palette indexes, into data
// sub-blocks of at most 255 bytes. Runs of one index (paper) take a short
// cut: the codes of a run of n pixels of one index are known for every n
// up to the longest made so far, so a run is matched in one step instead
// of a table lookup a pixel. The output is the same either way.
class LzwWriter {
 public:
  explicit LzwWriter(std::string& out)
      : out_(out), next_(4096 * 256, 0), runCode_(256 * 4097, 0), longestRun_(256, 1) {
    for (int v = 0; v < 256; ++v) runCode_[v * 4097 + 1] = static_cast<uint16_t>(v);
    out_ += static_cast<char>(8);  // the minimum code size
    Put(kClear);
  }
  void AddRun(uint8_t pixel, int n) {
    while (n > 0) {
      if (prefix_ >= 0 && runLength_ && runPixel_ == pixel && runLength_ < longestRun_[pixel]) {
        const int take = std::min(n, longestRun_[pixel] - runLength_);
        runLength_ += take;
        prefix_ = runCode_[pixel * 4097 + runLength_];
        n -= take;
        continue;
      }
      Add(pixel);
      --n;
    }
  }
  void Finish() {
    if (prefix_ >= 0) Put(prefix_);
    Put(kEnd);
    if (count_ > 0) Byte(static_cast<uint8_t>(buffer_));
    Flush();
    out_ += '\0';  // the block terminator
  }

 private:
  static constexpr int kClear = 256, kEnd = 257;
  void Add(uint8_t pixel) {
    if (prefix_ < 0) {
      prefix_ = pixel, runPixel_ = pixel, runLength_ = 1;
      return;
    }
    uint16_t& child = next_[static_cast<size_t>(prefix_) * 256 + pixel];
    if (child) {
      prefix_ = child;
      runLength_ = runLength_ && pixel == runPixel_ ? runLength_ + 1 : 0;
      return;
    }
    Put(prefix_);
    child = static_cast<uint16_t>(++last_);
    used_.push_back(&child);
    if (runLength_ && pixel == runPixel_) {
      runCode_[pixel * 4097 + runLength_ + 1] = child;
      longestRun_[pixel] = runLength_ + 1;
    }
    if (last_ >= (1 << bits_)) ++bits_;
    if (last_ == 4095) {
      Put(kClear);
      for (uint16_t* u : used_) *u = 0;
      used_.clear();
      std::fill(longestRun_.begin(), longestRun_.end(), 1);
      bits_ = 9;
      last_ = kEnd;
    }
    prefix_ = pixel, runPixel_ = pixel, runLength_ = 1;
  }
  void Put(int code) {
    buffer_ |= static_cast<uint32_t>(code) << count_;
    count_ += bits_;
    while (count_ >= 8) {
      Byte(static_cast<uint8_t>(buffer_));
      buffer_ >>= 8;
      count_ -= 8;
    }
  }
  void Byte(uint8_t b) {
    block_[block_size_++] = b;
    if (block_size_ == 255) Flush();
  }
  void Flush() {
    if (!block_size_) return;
    out_ += static_cast<char>(block_size_);
    out_.append(reinterpret_cast<const char*>(block_), block_size_);
    block_size_ = 0;
  }

  std::string& out_;
  std::vector<uint16_t> next_;        // the code of prefix + pixel, 0 for none
  std::vector<uint16_t*> used_;
  std::vector<uint16_t> runCode_;     // [pixel][n]: the code of n pixels of one index
  std::vector<int> longestRun_;       // [pixel]: the longest run with a code
  int prefix_ = -1;
  int runPixel_ = 0, runLength_ = 0;  // the prefix as a run of one index (0: it is not)
  int last_ = kEnd;
  int bits_ = 9;
  uint32_t buffer_ = 0;
  int count_ = 0;
  unsigned char block_[255];
  int block_size_ = 0;
};

void Le16(std::string& out, int v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}

}  // namespace

bool WriteGif(poppler::image rgb, const std::string& path) {
  if (!rgb.is_valid() || rgb.format() != poppler::image::format_rgb24) return false;
  const int w = rgb.width(), h = rgb.height();
  if (w < 1 || h < 1 || w > 65535 || h > 65535) return false;
  auto row = [&](int y) {
    return reinterpret_cast<const unsigned char*>(rgb.const_data()) +
           static_cast<size_t>(y) * rgb.bytes_per_row();
  };
  // Pages are mostly runs of one colour (paper): a run is counted once.
  std::vector<Bin> bins(kBins);
  for (int y = 0; y < h; ++y) {
    const unsigned char* p = row(y);
    const unsigned char* end = p + 3 * static_cast<size_t>(w);
    while (p < end) {
      const unsigned char* q = p + 3;
      while (q < end && q[0] == p[0] && q[1] == p[1] && q[2] == p[2]) q += 3;
      const uint64_t n = static_cast<uint64_t>(q - p) / 3;
      Bin& b = bins[BinOf(p)];
      b.r += n * p[0], b.g += n * p[1], b.b += n * p[2], b.count += n;
      p = q;
    }
  }
  const Palette palette = MedianCut(bins);

  std::string out = "GIF87a";
  Le16(out, w);
  Le16(out, h);
  out += static_cast<char>(0xF7);  // a global palette of 256 colours, 8 bits each
  out += '\0';
  out += '\0';
  out.append(reinterpret_cast<const char*>(palette.colours.data()), palette.colours.size());
  out += ',';
  Le16(out, 0);
  Le16(out, 0);
  Le16(out, w);
  Le16(out, h);
  out += '\0';
  {
    LzwWriter lzw(out);
    for (int y = 0; y < h; ++y) {
      const unsigned char* p = row(y);
      uint8_t index = palette.index[BinOf(p)];
      int run = 0;
      for (int x = 0; x < w; ++x, p += 3) {
        const uint8_t here = palette.index[BinOf(p)];
        if (here != index) {
          lzw.AddRun(index, run);
          index = here, run = 0;
        }
        ++run;
      }
      lzw.AddRun(index, run);
    }
    lzw.Finish();
  }
  out += ';';

  // Opened here so that the picture gets the usual permissions.
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (fd < 0) return false;
  bool ok = true;
  for (size_t at = 0; ok && at < out.size();) {
    ssize_t put = ::write(fd, out.data() + at, out.size() - at);
    if (put <= 0) ok = false;
    else at += static_cast<size_t>(put);
  }
  return ::close(fd) == 0 && ok;
}

}  // namespace velmora::pdf::detail
