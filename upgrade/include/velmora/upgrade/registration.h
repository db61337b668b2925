#pragma once
// The upgrade engine's registration entry points and its open hook.
// The application registers its options, drivers, exclusions, alternate
// field names and data files once per process, before the first open; the
// lists below keep what was registered for the rest of the process.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "velmora/files/decl.h"
#include "velmora/runtime/types.h"
#include "velmora/upgrade/openhook.h"

namespace upg {

// ---- registration
void ds_SetOption(std::string_view name, std::string_view value);
void ds_AddDriver(std::string_view code, db::FileDecl& file,
                  rt::Long recordLength, uint8_t* recordAddress);
void ds_IgnoreDriver(std::string_view name, rt::Long flags);
void ds_AlternateFieldName(std::string_view destination,
                           std::string_view source);
void ds_UsingFile(db::FileDecl& file, rt::Short version,
                  std::string_view prefix, std::string_view label);
// The engine's busy marker RV_Upgrading.
rt::Byte* GetUpgradingFlag();

// The registered code ("Tps") of the file's driver, "" when none is.
std::string DriverUsed(const db::FileDecl& file);
// The driver entry registered under a code (any case); 0 with message
// M10 when none is.
uint32_t DriverPointer(std::string_view code);

// ---- the registration lists, as registered (read-only views)

// UF: one entry per registered prefix, in prefix order.
struct UsedFile {
  std::string prefix;   // upper-cased, at most 20
  rt::Long version = 0;
  std::string label;    // as passed, at most 40
  db::FileDecl* file = nullptr;
};
// DR: registered drivers, in registration order.
struct Driver {
  std::string name;     // first three characters of the code, case kept
  uint32_t entry = 0;   // the driver entry of the file's header
};
// IGD: old-format exclusions, in name order.
struct IgnoredDriver {
  std::string name;     // "ALLFILES" or a label, upper-cased, at most 40
  rt::Long flags = 0;
};
// AFNS: alternate field names, in call order.
struct AlternateName {
  std::string destination;  // upper-cased, at most 40
  std::string source;       // upper-cased, at most 40
};
// RFQ: real/unreal field options, in call order.
struct FieldOption {
  std::string name;    // upper-cased field name
  std::string value;   // "REALFIELD" or "UNREALFIELD"
};
// One server slot per SQL server code.
struct ServerSlot {
  db::FileDecl* file = nullptr;
  uint8_t* record = nullptr;
  rt::Long recordLength = 0;
};

struct Options {
  rt::Byte backup = 0;
  rt::Byte badFile = 1;         // "badfile" and "usebadfile"
  rt::Byte spCreate = 0;
  rt::Byte dictZeroNull = 0;    // "zeronull", the dictionary default...
  rt::Byte zeroNull = 0;        // ...and the current state
  rt::Byte dictBlankZero = 0;   // "blankzero"
  std::string mySqlType;        // upper-cased, at most 6
  rt::Byte dctMasterFields = 0;
  rt::Byte dctMasterKeys = 0;
  std::string remoteMachineName;  // clipped, at most 255
  std::string odbcFlavour;        // "odbcflavour": clipped, at most 50
};

const std::vector<UsedFile>& UsedFiles();
const std::vector<Driver>& Drivers();
const std::vector<IgnoredDriver>& IgnoredDrivers();
const std::vector<AlternateName>& AlternateNames();
const std::vector<FieldOption>& FieldOptions();
const Options& CurrentOptions();
// The slot of "MSS", "ORA", "ASA" or "ODB"; nullptr for any other code.
const ServerSlot* ServerSlotOf(std::string_view code);
bool OldDatDriverPresent();

// Empties every list and restores the option defaults (tests).
void ResetRegistration();

}  // namespace upg
