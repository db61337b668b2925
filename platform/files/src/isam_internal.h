#pragma once
// Shared by the parts of the ISAM driver: the stored declaration, the
// byte-level check of a file before SQLite opens it, record checksums.
#include <cstdint>
#include <memory>
#include <string>

#include "internal.h"

namespace db::isam {

// The declaration as stored in the file, and back (nullptr when the bytes
// are not a stored declaration).
std::string SerializeDecl(const FileDecl& f);
std::unique_ptr<FileDecl> ParseDecl(const std::string& s);

// Structure, not names: record length; the owner/encryption bits; per
// field type, sizes, dimensions, offset and OVER; per key components and
// flags; per memo kind and size.
bool SameStructure(const FileDecl& a, const FileDecl& b);

// What the bytes on disk say before SQLite touches the file.
struct FormatCheck {
  enum Kind { Ours, NotOurs, Missing, Denied, Failed } kind = Ours;
  std::string reason;  // in words, for the driver's error text
};
FormatCheck CheckFormat(const std::string& path);

// True when `path` has a WAL beside it holding at least one frame.
bool WalHasFrames(const std::string& path);

// 64-bit checksum of a record image and its memo contents.
class Checksum {
 public:
  void Add(const void* data, size_t n);
  uint64_t Value() const;

 private:
  uint64_t h_ = 0x243F6A8885A308D3ull;
};
constexpr size_t kChecksumBytes = 8;

}  // namespace db::isam
