#pragma once
// Whole files in and out of BLOB fields, and questions to the operating
// system about folders and files. File names are in the system's Windows
// form (db::HostPath gives the Linux path).
#include <cstdint>
#include <string>
#include <string_view>

#include "velmora/files/decl.h"
#include "velmora/runtime/types.h"

namespace app {

// The record size of the per-thread OUTFILE and INFILE copy buffers.
inline constexpr uint32_t kCopyChunk = 32768;

// Writes BLOB `blob` (0-based memo number) of the file's current record to
// the named file through the open hook. 0 on success and, writing no file,
// for an empty BLOB; 36 for an empty name; otherwise the code of the
// failing create, open or write.
rt::Long BlobToFile(db::FileDecl& file, int blob, std::string_view name);

// Reads the named file into BLOB `blob` of the file's current record. The
// BLOB changes only when the whole file was read. 0 on success; 36 for an
// empty name or an empty file; otherwise the code of the failing open or
// read.
rt::Long FileToBlob(db::FileDecl& file, int blob, std::string_view name);

// The temporary folder with its trailing backslash, or "".
std::string GetTempFolder();

// 1 when the folder was created, 0 when not.
rt::Byte MakeFolder(std::string_view name);

// 1 when a file matches the name (which may hold the wildcards * and ?).
rt::Byte FileExists(std::string_view name);

// The driver option sent before a copy of `size` bytes: "FILEBUFFERS="
// with size / 512 rounded to the nearest whole number.
std::string FileBuffersOption(uint64_t size);

}  // namespace app
