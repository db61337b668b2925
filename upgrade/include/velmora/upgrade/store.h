#pragma once
// The version store "Upg.Tps": for every data file and declared version
// the application ever registered, the file's serialised declaration.
// The current store UPG is the table "Upg2" of that file; the old store
// OUPG (the file's default table, written by an earlier generation) is
// only read, once, to fill a newly created UPG.
//
// UPG record (140 bytes): LABEL STRING(50), PREFIX STRING(20),
// DRIVER STRING(10), VERSION SHORT, EXTRA1 LONG, EXTRA2 LONG,
// EXTRA3 STRING(50); memo FMT (40000 bytes, binary); keys
// UPG:KEY (label, version) and UPG:PREKEY (prefix, version).
// Both tables carry the encryption attribute with the owner UpgOwner.
#include <string>
#include <vector>

#include "velmora/files/decl.h"
#include "velmora/runtime/types.h"

namespace upg {

// Sets the store names (once per process: the folder is the "Path" entry
// of section "RV2" of the translation INI, by default the program's
// folder) and, on every call, the silent settings.
void SetUpgFileName();

const std::string& UpgFileName();     // folder + "Upg.Tps" + "\!Upg2"
const std::string& OldUpgFileName();  // folder + "Upg.Tps"
const std::string& UpgOwner();

// The two tables, with their process-wide record buffers.
db::FileDecl& UpgFile();
db::FileDecl& OldUpgFile();
enum : int { kUpgKey = 1, kUpgPreKey = 2 };

// Fields of the UPG record buffer.
std::string UpgLabel();
std::string UpgPrefix();
rt::Short UpgVersion();
void SetUpgKeyFields(std::string_view label, std::string_view prefix, rt::Short version);
// The FMT memo: the engine's work area, always kMaxDefSize bytes.
std::vector<uint8_t>& UpgFmt();

// Fields of the OUPG record buffer (tests build old stores with these).
void SetOldUpgRecord(std::string_view label, std::string_view prefix,
                     std::string_view driver, rt::Short version,
                     const std::vector<uint8_t>& fmt);

// Fills a newly created UPG from OUPG (UPG is open): every old record in
// record order, FMT padded with blanks to 40000 bytes.
void UsingFileWindow();

// Back to process start (tests): names, record buffers.
void ResetStore();

}  // namespace upg
