// Page pictures as GIF files: the picture's own colours when it has at
// most 256 (text and line art come out exactly as drawn); a little more,
// the 256 most used of them; else a median-cut palette over a 15-bit
// colour histogram. The palette indexes are LZW-compressed.
//
// Written for speed: a page at 288 dpi has eight million pixels, mostly
// long runs of paper. Every pass over the picture steps from run to run (a
// long run is found sixteen bytes at a time), the palette is cut with
// counts instead of sorts, and a page of few colours is read once: its
// palette grows as the pixels are compressed.
#include "gif.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velmora::pdf::detail {
namespace {

// ---- runs of one colour

inline uint32_t ColourAt(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
}

// The number of pixels from `p` on that have its colour, up to `end` (both
// on pixel boundaries). Pixels repeat exactly where every byte equals the
// one three bytes on: the first byte that differs ends the run. Sixteen
// bytes are compared at a time while they lie before `end`.
inline int RunLength(const unsigned char* p, const unsigned char* end) {
  // Most runs of a drawn page are single pixels at the edges of text.
  if (end - p >= 6 && std::memcmp(p, p + 3, 3) != 0) return 1;
  const unsigned char* q = p;
#if defined(__SSE2__)
  while (end - q >= 19) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 3));
    const unsigned differ = ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, b))) & 0xFFFF;
    if (differ) return static_cast<int>((q - p + __builtin_ctz(differ)) / 3) + 1;
    q += 16;
  }
#else
  while (end - q >= 19 && std::memcmp(q, q + 3, 16) == 0) q += 16;
#endif
  while (end - q > 3 && q[0] == q[3]) ++q;
  return static_cast<int>((q - p) / 3) + 1;
}

// The runs of one colour of a picture, row after row.
class Runs {
 public:
  Runs(const unsigned char* data, size_t stride, int w, int h)
      : data_(data), stride_(stride), w_(w), h_(h), p_(data), end_(data + 3 * static_cast<size_t>(w)) {}
  bool Next(uint32_t* colour, int* n) {
    while (p_ == end_) {
      if (++y_ >= h_) return false;
      p_ = data_ + static_cast<size_t>(y_) * stride_;
      end_ = p_ + 3 * static_cast<size_t>(w_);
    }
    *n = RunLength(p_, end_);
    *colour = ColourAt(p_);
    p_ += 3 * static_cast<size_t>(*n);
    return true;
  }

 private:
  const unsigned char* data_;
  size_t stride_;
  int w_, h_, y_ = 0;
  const unsigned char *p_, *end_;
};

// ---- the picture's own colours

// The colours of a picture with the number of pixels of each, in the order
// they come, up to kTracked of them.
class ColourTable {
 public:
  static constexpr int kTracked = 4096;
  // The colour's number, counting `n` pixels of it; -1 when it would be one
  // more than kTracked.
  int Add(uint32_t colour, int n) {
    if (colour != lastColour_) {
      size_t slot = Slot(colour);
      if (keys_[slot] == kEmpty) {
        if (count_ == kTracked) return -1;
        keys_[slot] = colour;
        id_[slot] = static_cast<uint16_t>(count_);
        colours_[count_] = colour;
        pixels_[count_++] = 0;
      }
      lastColour_ = colour, lastId_ = id_[slot];
    }
    pixels_[lastId_] += static_cast<uint64_t>(n);
    return lastId_;
  }
  // The number of a colour that was added.
  int Find(uint32_t colour) {
    if (colour != lastColour_) lastColour_ = colour, lastId_ = id_[Slot(colour)];
    return lastId_;
  }
  int count() const { return count_; }
  uint32_t colour(int id) const { return colours_[id]; }
  uint64_t pixels(int id) const { return pixels_[id]; }

 private:
  static constexpr uint32_t kEmpty = 0xFFFFFFFF;
  static constexpr size_t kSlots = 2 * kTracked;
  size_t Slot(uint32_t colour) const {
    size_t slot = (colour * 2654435761u) >> 19;
    while (keys_[slot] != kEmpty && keys_[slot] != colour) slot = (slot + 1) & (kSlots - 1);
    return slot;
  }
  std::array<uint32_t, kSlots> keys_ = [] {
    std::array<uint32_t, kSlots> k;
    k.fill(kEmpty);
    return k;
  }();
  std::array<uint16_t, kSlots> id_{};
  std::array<uint32_t, kTracked> colours_{};
  std::array<uint64_t, kTracked> pixels_{};
  int count_ = 0;
  uint32_t lastColour_ = kEmpty;
  int lastId_ = 0;
};

inline int Distance(uint32_t a, uint32_t b) {
  const int dr = static_cast<int>(a >> 16) - static_cast<int>(b >> 16);
  const int dg = static_cast<int>(a >> 8 & 0xFF) - static_cast<int>(b >> 8 & 0xFF);
  const int db = static_cast<int>(a & 0xFF) - static_cast<int>(b & 0xFF);
  return dr * dr + dg * dg + db * db;
}

// A little over 256 colours (text in two colours, the smoothed edges of
// coloured boxes): the 224 that cover most pixels keep their own colour,
// then, 32 times, the colour farthest from every kept one joins them (a
// small mark of a colour of its own keeps it), and the rest take the
// nearest kept colour. False when the colours beyond the 224 cover more
// than a few pixels in a thousand (a picture's shading), which a median
// cut serves better. `entry` gets the palette index of every colour number.
bool MostUsedColours(const ColourTable& table, std::array<unsigned char, 256 * 3>& palette,
                     std::vector<uint8_t>& entry) {
  constexpr size_t kMostUsed = 224;
  std::vector<int> order(static_cast<size_t>(table.count()));
  for (int i = 0; i < table.count(); ++i) order[static_cast<size_t>(i)] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](int a, int b) { return table.pixels(a) > table.pixels(b); });
  uint64_t all = 0, rest = 0;
  for (size_t k = 0; k < order.size(); ++k) {
    all += table.pixels(order[k]);
    if (k >= kMostUsed) rest += table.pixels(order[k]);
  }
  if (rest * 500 > all) return false;
  std::vector<int> kept(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(std::min(kMostUsed, order.size())));
  std::vector<int> others(order.begin() + static_cast<std::ptrdiff_t>(kept.size()), order.end());
  // For each other colour, the nearest kept one (its place in `kept`).
  std::vector<int> nearest(others.size(), 0), distance(others.size(), 0);
  auto consider = [&](size_t o, size_t k) {
    const int d = Distance(table.colour(others[o]), table.colour(kept[k]));
    if (k == 0 || d < distance[o]) distance[o] = d, nearest[o] = static_cast<int>(k);
  };
  for (size_t o = 0; o < others.size(); ++o)
    for (size_t k = 0; k < kept.size(); ++k) consider(o, k);
  std::vector<bool> joined(others.size(), false);
  while (kept.size() < 256) {
    size_t far = others.size();
    for (size_t o = 0; o < others.size(); ++o)
      if (!joined[o] && (far == others.size() || distance[o] > distance[far])) far = o;
    if (far == others.size()) break;
    joined[far] = true;
    kept.push_back(others[far]);
    for (size_t o = 0; o < others.size(); ++o)
      if (!joined[o]) consider(o, kept.size() - 1);
  }
  entry.assign(order.size(), 0);
  for (size_t k = 0; k < kept.size(); ++k) {
    const uint32_t c = table.colour(kept[k]);
    palette[3 * k] = static_cast<unsigned char>(c >> 16);
    palette[3 * k + 1] = static_cast<unsigned char>(c >> 8);
    palette[3 * k + 2] = static_cast<unsigned char>(c);
    entry[static_cast<size_t>(kept[k])] = static_cast<uint8_t>(k);
  }
  for (size_t o = 0; o < others.size(); ++o)
    if (!joined[o]) entry[static_cast<size_t>(others[o])] = static_cast<uint8_t>(nearest[o]);
  return true;
}

// ---- more colours: median cut over a 15-bit histogram

constexpr int kBins = 1 << 15;  // 5 bits a channel

inline int BinOf(uint32_t colour) {
  return static_cast<int>((colour >> 9 & 0x7C00) | (colour >> 6 & 0x03E0) | (colour >> 3 & 0x1F));
}

struct Bin {
  uint64_t r = 0, g = 0, b = 0, count = 0;
};

// Up to 256 colours, each the true mean of the pixels it stands for, and
// the palette index of every occupied bin.
struct Palette {
  std::array<unsigned char, 256 * 3> colours{};
  std::vector<uint8_t> index = std::vector<uint8_t>(kBins, 0);
};

// The box of bins with the widest spread of one channel is split at the
// pixel-weighted median of that channel until there are 256 boxes. A box's
// channel values are 0..31, so the median comes from 32 counts and the split
// is one partition: no sorting.
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
    int lo[3] = {31, 31, 31}, hi[3] = {0, 0, 0};
    for (size_t i = box.begin; i < box.end; ++i)
      for (int axis = 0; axis < 3; ++axis) {
        const int c = channel(order[i], axis);
        lo[axis] = std::min(lo[axis], c), hi[axis] = std::max(hi[axis], c);
      }
    box.spread = -1;
    for (int axis = 0; axis < 3; ++axis)
      if (hi[axis] - lo[axis] > box.spread) box.spread = hi[axis] - lo[axis], box.axis = axis;
  };
  std::vector<Box> boxes{{0, order.size()}};
  measure(boxes[0]);
  while (boxes.size() < 256) {
    auto widest = std::max_element(boxes.begin(), boxes.end(),
                                   [](const Box& a, const Box& b) { return a.spread < b.spread; });
    if (widest->spread <= 0) break;  // every box holds one bin
    Box& box = *widest;
    const int axis = box.axis;
    uint64_t weight[32] = {};
    uint64_t total = 0;
    int lo = 31, hi = 0;
    for (size_t i = box.begin; i < box.end; ++i) {
      const int c = channel(order[i], axis);
      weight[c] += bins[order[i]].count;
      total += bins[order[i]].count;
      lo = std::min(lo, c), hi = std::max(hi, c);
    }
    // The lower box takes the values up to the median; both keep one value
    // at least.
    int cut = lo;
    uint64_t run = weight[lo];
    while (cut + 1 < hi && run * 2 < total) run += weight[++cut];
    auto middle = std::partition(order.begin() + static_cast<std::ptrdiff_t>(box.begin),
                                 order.begin() + static_cast<std::ptrdiff_t>(box.end),
                                 [&](int bin) { return channel(bin, axis) <= cut; });
    Box upper{static_cast<size_t>(middle - order.begin()), box.end};
    box.end = upper.begin;
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

// ---- compression

// The compressor's tables, made once a thread.
struct LzwTables {
  static constexpr int kSlotBits = 13;  // 8192 slots for at most 3838 strings
  static constexpr uint32_t kSlots = 1u << kSlotBits;
  // (prefix << 8 | pixel) << 12 | code, or 0 (codes of strings are 258 and
  // up); a string whose slot was taken by another is forgotten, which
  // costs a little compression and never a wrong code.
  std::array<uint32_t, kSlots> slots{};
  std::unique_ptr<uint16_t[]> runCode{new uint16_t[256 * 4097]};  // [pixel][n], read only where written
  std::array<int, 256> longestRun{};  // [pixel]: the longest run with a code
  LzwTables() {
    for (int v = 0; v < 256; ++v) runCode[v * 4097 + 1] = static_cast<uint16_t>(v);
  }
};

// GIF's variable-length LZW over the 8-bit palette indexes that
// `next(&index, &n)` gives as runs (false at the end), packed into `codes`
// from the low bits up, 32 bits a word. Strings are found through a hash of (prefix code,
// pixel) that stays in the processor's cache. Runs of one index (paper)
// take a short cut: the codes of a run of n pixels of one index are known
// for every n up to the longest made so far, so a run is matched in one
// step instead of a lookup a pixel. The state lives in locals: this loop
// is most of the time a page takes.
template <class Next>
void Compress(Next&& next, std::vector<uint32_t>& codes, int* tail) {
  constexpr int kClear = 256, kEnd = 257;
  thread_local LzwTables tables;
  LzwTables& t = tables;
  // Each code is stored in the word it fills, which is kept once full: no
  // branch a code. A step of the loop below puts at most two codes (one,
  // and a clear): a step starts with room for kRoom words.
  constexpr ptrdiff_t kRoom = 4;
  if (codes.size() < 4096) codes.resize(4096);
  uint32_t* out = codes.data();
  uint32_t* end = codes.data() + codes.size();
  auto makeRoom = [&] {
    const size_t at = static_cast<size_t>(out - codes.data());
    codes.resize(2 * codes.size());
    out = codes.data() + at, end = codes.data() + codes.size();
  };
  uint64_t buffer = 0;
  int count = 0, bits = 9, last = kEnd;
  auto put = [&](uint32_t code) {
    buffer |= static_cast<uint64_t>(code) << count;
    count += bits;
    *out = static_cast<uint32_t>(buffer);
    const int full = count >> 5;
    out += full;
    buffer >>= full << 5;
    count -= full << 5;
  };
  auto clear = [&] {
    put(kClear);
    t.slots.fill(0);
    t.longestRun.fill(1);
    bits = 9;
    last = kEnd;
  };
  clear();
  int prefix = -1, runPixel = -1, runLength = 0;  // the prefix as a run of one index (0: it is not)
  uint8_t pixel;
  int64_t n;
  while (next(&pixel, &n)) {
    if (prefix < 0) prefix = pixel, runPixel = pixel, runLength = 1, --n;
    while (n > 0) {
      if (end - out < kRoom) makeRoom();
      if (runLength && runPixel == pixel && runLength < t.longestRun[pixel]) {
        const int take = static_cast<int>(std::min<int64_t>(n, t.longestRun[pixel] - runLength));
        runLength += take;
        prefix = t.runCode[pixel * 4097 + runLength];
        n -= take;
        continue;
      }
      --n;
      const uint32_t key = static_cast<uint32_t>(prefix) << 8 | pixel;
      // The slot: the prefix with the pixel over its high bits, cheap to
      // make (this lookup is on the path from one pixel to the next).
      uint32_t& slot = t.slots[(static_cast<uint32_t>(prefix) ^ static_cast<uint32_t>(pixel) << 5) &
                               (LzwTables::kSlots - 1)];
      if (slot && slot >> 12 == key) {
        prefix = static_cast<int>(slot & 0xFFF);
        runLength = runLength && pixel == runPixel ? runLength + 1 : 0;
        continue;
      }
      put(static_cast<uint32_t>(prefix));
      const int code = ++last;
      slot = key << 12 | static_cast<uint32_t>(code);
      if (runLength && pixel == runPixel) {
        t.runCode[pixel * 4097 + runLength + 1] = static_cast<uint16_t>(code);
        t.longestRun[pixel] = runLength + 1;
      }
      if (last >= (1 << bits)) ++bits;
      if (last == 4095) clear();
      prefix = pixel, runPixel = pixel, runLength = 1;
    }
  }
  if (end - out < kRoom) makeRoom();
  if (prefix >= 0) put(static_cast<uint32_t>(prefix));
  put(kEnd);
  *tail = static_cast<int>((count + 7) / 8);
  *out++ = static_cast<uint32_t>(buffer);
  codes.resize(static_cast<size_t>(out - codes.data()));
}

// Appends compressed pixels as GIF's image data: the minimum code size,
// sub-blocks of at most 255 bytes, the terminator. The last word holds
// `tail` bytes.
void AppendImageData(const std::vector<uint32_t>& codes, int tail, std::string& out) {
  std::string bytes(codes.size() * 4, '\0');
  for (size_t i = 0; i < codes.size(); ++i) {
    const uint32_t v = codes[i];
    bytes[4 * i] = static_cast<char>(v), bytes[4 * i + 1] = static_cast<char>(v >> 8);
    bytes[4 * i + 2] = static_cast<char>(v >> 16), bytes[4 * i + 3] = static_cast<char>(v >> 24);
  }
  bytes.resize(bytes.size() - 4 + static_cast<size_t>(tail));
  out += static_cast<char>(8);
  for (size_t at = 0; at < bytes.size(); at += 255) {
    const size_t n = std::min<size_t>(255, bytes.size() - at);
    out += static_cast<char>(n);
    out.append(bytes, at, n);
  }
  out += '\0';
}

void Le16(std::string& out, int v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  // Opened here so that the picture gets the usual permissions.
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (fd < 0) return false;
  bool ok = true;
  for (size_t at = 0; ok && at < bytes.size();) {
    ssize_t put = ::write(fd, bytes.data() + at, bytes.size() - at);
    if (put <= 0) ok = false;
    else at += static_cast<size_t>(put);
  }
  return ::close(fd) == 0 && ok;
}

// The GIF file of rows of `w` RGB pixels, `stride` bytes apart, in `out`.
bool Encode(const unsigned char* data, int w, int h, size_t stride, std::string& out) {
  if (w < 1 || h < 1 || w > 65535 || h > 65535) return false;

  thread_local std::vector<uint32_t> codes;
  int tail = 0;
  std::array<unsigned char, 256 * 3> colours{};

  // The picture's own colours, in the order they come: while there are at
  // most 256, the pixels are compressed in the same pass; past them the
  // colours are still counted, up to the most the table tracks.
  auto table = std::make_unique<ColourTable>();
  bool few = true, tracked = true;
  {
    Runs runs(data, stride, w, h);
    uint32_t colour;
    int length;
    Compress(
        [&](uint8_t* index, int64_t* n) {
          if (!runs.Next(&colour, &length)) return false;
          const int id = table->Add(colour, length);
          if (id < 0 || id >= 256) return few = false, tracked = id >= 0, false;
          *index = static_cast<uint8_t>(id), *n = length;
          return true;
        },
        codes, &tail);
    while (!few && tracked && runs.Next(&colour, &length)) tracked = table->Add(colour, length) >= 0;
  }
  if (few) {
    for (int i = 0; i < table->count(); ++i) {
      const uint32_t c = table->colour(i);
      colours[3 * i] = static_cast<unsigned char>(c >> 16);
      colours[3 * i + 1] = static_cast<unsigned char>(c >> 8);
      colours[3 * i + 2] = static_cast<unsigned char>(c);
    }
  } else {
    // More colours: the most used ones, else a median cut over a histogram
    // (from the table when it holds every colour, else from the pixels);
    // then a pass that maps and compresses. Neighbours of one palette entry
    // are one run for the compressor.
    std::vector<uint8_t> entry;
    std::unique_ptr<Palette> palette;
    if (!tracked || !MostUsedColours(*table, colours, entry)) {
      std::vector<Bin> bins(kBins);
      auto count = [&](uint32_t colour, uint64_t n) {
        Bin& b = bins[BinOf(colour)];
        b.r += n * (colour >> 16), b.g += n * (colour >> 8 & 0xFF), b.b += n * (colour & 0xFF);
        b.count += n;
      };
      if (tracked) {
        for (int i = 0; i < table->count(); ++i) count(table->colour(i), table->pixels(i));
      } else {
        Runs runs(data, stride, w, h);
        uint32_t colour;
        int n;
        while (runs.Next(&colour, &n)) count(colour, static_cast<uint64_t>(n));
      }
      palette = std::make_unique<Palette>(MedianCut(bins));
      colours = palette->colours;
    }
    auto indexOf = [&](uint32_t colour) {
      return palette ? palette->index[BinOf(colour)] : entry[static_cast<size_t>(table->Find(colour))];
    };
    Runs runs(data, stride, w, h);
    uint32_t colour;
    int length;
    bool more = runs.Next(&colour, &length);
    Compress(
        [&](uint8_t* index, int64_t* n) {
          if (!more) return false;
          *index = indexOf(colour), *n = length;
          while ((more = runs.Next(&colour, &length)) && indexOf(colour) == *index) *n += length;
          return true;
        },
        codes, &tail);
  }
  out = "GIF87a";
  out.reserve(codes.size() * 4 + codes.size() / 60 + 1024);
  Le16(out, w);
  Le16(out, h);
  out += static_cast<char>(0xF7);  // a global palette of 256 colours, 8 bits each
  out += '\0';
  out += '\0';
  out.append(reinterpret_cast<const char*>(colours.data()), colours.size());
  out += ',';
  Le16(out, 0);
  Le16(out, 0);
  Le16(out, w);
  Le16(out, h);
  out += '\0';
  AppendImageData(codes, tail, out);
  out += ';';
  return true;
}

}  // namespace

bool WriteGif(poppler::image rgb, const std::string& path) {
  if (!rgb.is_valid() || rgb.format() != poppler::image::format_rgb24) return false;
  std::string out;
  if (!Encode(reinterpret_cast<const unsigned char*>(rgb.const_data()), rgb.width(), rgb.height(),
              static_cast<size_t>(rgb.bytes_per_row()), out))
    return false;
  rgb = poppler::image();  // the pixels are not needed for the writing
  return WriteFile(path, out);
}

bool WriteGif(const unsigned char* rgb, int w, int h, size_t stride, const std::string& path) {
  std::string out;
  return rgb && Encode(rgb, w, h, stride, out) && WriteFile(path, out);
}

}  // namespace velmora::pdf::detail
