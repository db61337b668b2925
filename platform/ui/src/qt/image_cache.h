#pragma once
// Decoded pictures of image controls, shared by every image widget: a
// picture about to be shown can be decoded (and scaled) ahead on a worker
// thread, and the few most recent ones are kept.
#include <QImage>
#include <QSize>
#include <cstdint>
#include <vector>

namespace ui::imagecache {

// A fingerprint of a picture's bytes.
uint64_t Fingerprint(const std::vector<uint8_t>& bytes);

// Starts decoding `bytes` on a worker thread, and scaling the result to
// `size` when it is valid; nothing when it is already known.
void Prefetch(std::vector<uint8_t> bytes, QSize size);

// The decoded picture of `bytes` (fingerprint `key`): a known one,
// waiting for its decoding if it is under way, or decoded now.
QImage Decoded(uint64_t key, const std::vector<uint8_t>& bytes);

// The picture `key` scaled smoothly to `size`: scaled ahead or now.
QImage Scaled(uint64_t key, const QImage& source, QSize size);

}  // namespace ui::imagecache
