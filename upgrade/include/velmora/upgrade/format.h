#pragma once
// The serialised file declaration: one byte string per declaration, as
// the version store keeps it. Layout (numbers little-endian):
//   "1" (generation), driver code (3 bytes, as registered),
//   SQL codes: two zero bytes; others: driver options, 0, owner, 0,
//   attributes (1), key count (1), memo count (1), record length (4),
//   per key: component count (1), attributes (4), external name, 0,
//            label, 0, components (4 each),
//   per memo: kind (1), size (4), external name, 0, label, 0,
//   the record descriptor block byte for byte.
// The serialisation is written into the version store's format buffer
// (MAXDEFSIZE bytes) from its first byte.
#include <cstdint>
#include <memory>
#include <span>

#include "velmora/files/decl.h"
#include "velmora/runtime/types.h"

namespace upg {

inline constexpr size_t kMaxDefSize = 40000;  // MAXDEFSIZE
inline constexpr size_t kMaxKeys = 74;
inline constexpr size_t kMaxMemos = 250;
inline constexpr uint32_t kMaxRecord = 64000;  // the largest record a rebuilt definition holds

// Results of ReadFormat besides the length: 1 the file's driver is not
// registered, 2 too large (or a text above 255 characters).
enum : rt::Long { kFormatNoDriver = 1, kFormatTooLarge = 2 };

// How the caller names the declaration in the trace: the conversion
// passes the file, registration its header.
enum class FormatCaller { File, Header };

// Serialises the declaration into the format buffer. Result: 1, 2, or the
// position after the last byte written (the length plus 1).
rt::Long ReadFormat(const db::FileDecl& file, FormatCaller caller = FormatCaller::File);

// The inverse for the current generation: a declaration rebuilt from a
// serialisation (driver by its registered code, no label, prefix or name).
// nullptr when the bytes are not a current-generation serialisation, are
// damaged, or name a driver that is not registered.
std::unique_ptr<db::FileDecl> ParseFormat(std::span<const uint8_t> fmt);

}  // namespace upg
