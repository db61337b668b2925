#pragma once
// The messages between the library and its poppler worker process.
//
// Every poppler call runs in a worker process so that a document that
// crashes poppler, keeps it busy or makes it allocate without end costs a
// clean error instead of the program. The two sides talk over one Unix
// socket, the worker's descriptor 3: a request is a frame (a 32-bit length,
// then the bytes) whose first byte is an `Op`; the answer is a frame whose
// first byte is 1 for success and 0 for failure, then the op's results.
// Both sides run on the same machine: numbers travel in native byte order.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

namespace velmora::pdf::worker {

enum class Op : uint8_t {
  kLoad = 1,          // bytes -> page count
  kText = 2,          // page, options, max bytes -> too large (0/1), UTF-8 text
  kRenderFile = 3,    // page, dpi, max pixels, format, blank (0/1), path -> dpi drawn at
  kRenderPixels = 4,  // page, dpi, max pixels -> dpi, width, height, stride, ARGB32 bytes
};

// Picture formats of kRenderFile, as the library's render options number them.
constexpr int kJpeg = 1, kPng = 5, kGif = 6;

// Neither side of a picture may be longer than the picture formats allow.
constexpr double kMaxSide = 65500;

// The resolution at which a page of `widthPt` by `heightPt` points fits in
// `maxPixels` pixels and kMaxSide a side: `dpi` itself when it fits, else
// lowered just enough.
inline double FitResolution(double widthPt, double heightPt, double dpi, int64_t maxPixels) {
  auto pixels = [&](double r) {
    return std::ceil(widthPt * r / 72) * std::ceil(heightPt * r / 72);
  };
  auto fits = [&](double r) {
    return pixels(r) <= static_cast<double>(maxPixels) &&
           std::ceil(std::max(widthPt, heightPt) * r / 72) <= kMaxSide;
  };
  if (widthPt <= 0 || heightPt <= 0 || fits(dpi)) return dpi;
  double r = std::min(dpi * std::sqrt(static_cast<double>(maxPixels) / pixels(dpi)),
                      kMaxSide * 72 / std::max(widthPt, heightPt));
  while (r > 0.01 && !fits(r)) r *= 0.999;
  return r;
}

// A message under construction.
class Writer {
 public:
  Writer& Byte(uint8_t v) { return Raw(&v, 1); }
  Writer& Int(int64_t v) { return Raw(&v, sizeof v); }
  Writer& Real(double v) { return Raw(&v, sizeof v); }
  Writer& Text(const std::string& s) {
    Int(static_cast<int64_t>(s.size()));
    return Raw(s.data(), s.size());
  }
  Writer& Raw(const void* p, size_t n) {
    bytes_.append(static_cast<const char*>(p), n);
    return *this;
  }
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

// A received message read from the front; a read past its end fails the
// reader, and every later read gives zero.
class Reader {
 public:
  explicit Reader(const std::string& bytes) : bytes_(bytes) {}
  uint8_t Byte() {
    uint8_t v = 0;
    Raw(&v, 1);
    return v;
  }
  int64_t Int() {
    int64_t v = 0;
    Raw(&v, sizeof v);
    return v;
  }
  double Real() {
    double v = 0;
    Raw(&v, sizeof v);
    return v;
  }
  std::string Text() {
    int64_t n = Int();
    if (n < 0 || static_cast<uint64_t>(n) > bytes_.size() - at_) {
      ok_ = false;
      return {};
    }
    std::string s = bytes_.substr(at_, static_cast<size_t>(n));
    at_ += static_cast<size_t>(n);
    return s;
  }
  bool ok() const { return ok_; }

 private:
  void Raw(void* p, size_t n) {
    if (!ok_ || bytes_.size() - at_ < n) {
      ok_ = false;
      return;
    }
    std::memcpy(p, bytes_.data() + at_, n);
    at_ += n;
  }
  const std::string& bytes_;
  size_t at_ = 0;
  bool ok_ = true;
};

}  // namespace velmora::pdf::worker
