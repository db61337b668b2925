// Decoding and scaling of pictures ahead of their showing, and the last few kept.
#include "image_cache.h"

#include "gif_decode.h"

#include <algorithm>
#include <future>
#include <list>
#include <mutex>

namespace ui::imagecache {
namespace {

// Page pictures are large (a 288-dpi page is some 30 MB decoded): the
// shown one, the previous one and two decoded ahead.
constexpr size_t kKept = 4;

struct Entry {
  uint64_t key = 0;
  std::shared_future<QImage> source;
  QSize scaledSize;
  std::shared_future<QImage> scaled;
};

std::mutex gMu;
std::list<Entry>& Entries() {
  static std::list<Entry> entries;  // the most recently used first
  return entries;
}

// The entry of `key`, moved to the front; nullptr when there is none.
Entry* Find(uint64_t key) {
  auto& entries = Entries();
  auto it = std::find_if(entries.begin(), entries.end(), [key](const Entry& e) { return e.key == key; });
  if (it == entries.end()) return nullptr;
  entries.splice(entries.begin(), entries, it);
  return &entries.front();
}

// A new entry at the front; the oldest beyond kKept go to `dropped`, to
// be let go outside the lock (one still decoding waits for its thread).
Entry& Add(uint64_t key, std::list<Entry>& dropped) {
  auto& entries = Entries();
  entries.push_front(Entry{key, {}, {}, {}});
  while (entries.size() > kKept) dropped.splice(dropped.end(), entries, std::prev(entries.end()));
  return entries.front();
}

QImage Decode(const std::vector<uint8_t>& bytes) {
  QImage image = DecodeGif(bytes);
  if (image.isNull() && !bytes.empty()) image.loadFromData(bytes.data(), static_cast<int>(bytes.size()));
  return image;
}

QImage Scale(const QImage& source, QSize size) {
  if (source.isNull() || size.isEmpty() || size == source.size()) return source;
  if (QImage shrunk = ShrinkIndexed(source, size); !shrunk.isNull()) return shrunk;
  return source.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

template <typename T>
std::shared_future<T> Ready(T value) {
  std::promise<T> p;
  p.set_value(std::move(value));
  return p.get_future().share();
}

}  // namespace

uint64_t Fingerprint(const std::vector<uint8_t>& bytes) {
  uint64_t h = 1469598103934665603ull ^ bytes.size();
  const size_t step = bytes.size() / 4096 + 1;
  for (size_t i = 0; i < bytes.size(); i += step) h = (h ^ bytes[i]) * 1099511628211ull;
  if (!bytes.empty()) h = (h ^ bytes.back()) * 1099511628211ull;
  return h;
}

void Prefetch(std::vector<uint8_t> bytes, QSize size) {
  if (bytes.empty()) return;
  const uint64_t key = Fingerprint(bytes);
  std::list<Entry> dropped;
  std::lock_guard l(gMu);
  if (Find(key)) return;
  Entry& e = Add(key, dropped);
  auto work = std::async(std::launch::async, [bytes = std::move(bytes), size] {
                QImage source = Decode(bytes);
                return std::make_pair(source, size.isValid() ? Scale(source, size) : QImage());
              }).share();
  e.source = std::async(std::launch::deferred, [work] { return work.get().first; }).share();
  if (size.isValid()) {
    e.scaledSize = size;
    e.scaled = std::async(std::launch::deferred, [work] { return work.get().second; }).share();
  }
}

QImage Decoded(uint64_t key, const std::vector<uint8_t>& bytes) {
  std::shared_future<QImage> source;
  {
    std::lock_guard l(gMu);
    if (Entry* e = Find(key)) source = e->source;
  }
  if (source.valid()) return source.get();
  QImage image = Decode(bytes);
  std::list<Entry> dropped;
  std::lock_guard l(gMu);
  if (!Find(key)) Add(key, dropped).source = Ready(image);
  return image;
}

QImage Scaled(uint64_t key, const QImage& source, QSize size) {
  std::shared_future<QImage> scaled;
  {
    std::lock_guard l(gMu);
    if (Entry* e = Find(key); e && e->scaledSize == size) scaled = e->scaled;
  }
  if (scaled.valid()) return scaled.get();
  QImage image = Scale(source, size);
  std::lock_guard l(gMu);
  Entry* e = Find(key);
  if (!e) return image;
  e->scaledSize = size;
  e->scaled = Ready(image);
  return image;
}

}  // namespace ui::imagecache
