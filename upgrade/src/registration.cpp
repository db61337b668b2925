// The engine's registration lists and operations: options, drivers,
// exclusions, alternate field names and the files in use, each file's
// declaration kept per version in the version store.
#include "velmora/upgrade/registration.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/system.h"
#include "velmora/runtime/text.h"
#include "velmora/upgrade/format.h"
#include "velmora/upgrade/settings.h"
#include "velmora/upgrade/sql_entry.h"
#include "velmora/upgrade/store.h"

namespace upg {
namespace {

struct Registry {
  std::vector<UsedFile> uf;
  std::vector<Driver> dr;
  std::vector<IgnoredDriver> igd;
  std::vector<AlternateName> afns;
  std::vector<FieldOption> rfq;
  Options options;
  std::array<ServerSlot, 4> slots{};
  bool oldDatDriver = false;
  bool upgBuilt = false;                 // "/buildupg" done in this process
  std::vector<uint8_t> compare;          // UsingFileWork's comparison buffer
};

Registry& R() {
  static Registry r;
  return r;
}

rt::Byte gUpgrading = 0;

constexpr std::array<std::string_view, 4> kServerCodes = {"MSS", "ORA", "ASA", "ODB"};
constexpr uint32_t kShared = db::kReadWrite | db::kDenyNone;
constexpr uint32_t kExclusive = db::kReadWrite | db::kDenyAll;

int ServerIndex(std::string_view code) {
  std::string up = rt::Upper(rt::Clip(code));
  for (size_t i = 0; i < kServerCodes.size(); ++i)
    if (up == kServerCodes[i]) return static_cast<int>(i);
  return -1;
}

// Fixed-length field semantics: at most `n` bytes, trailing blanks dropped.
std::string Field(std::string_view text, size_t n) {
  return rt::Clip(text.substr(0, std::min(n, text.size())));
}

// The option text read as a number; text that is no number reads as 0.
rt::Byte OptionNumber(std::string_view value) {
  std::string t = rt::Trim(value);
  if (t.empty()) return 0;
  char* end = nullptr;
  double d = std::strtod(t.c_str(), &end);
  if (end == t.c_str() || *end != '\0') return 0;
  return static_cast<rt::Byte>(static_cast<long long>(d) & 0xFF);
}

std::string ErrorDetails() {
  return std::to_string(rt::ErrorCode()) + " " + rt::Clip(rt::ErrorText());
}

// Compares the stored serialisation with the new one over the bytes
// written. The text after the owner, up to the next zero byte, is never
// compared (it is copied over from the new one); nor, for an SQL file,
// what follows its two zero bytes up to that point. True when they differ.
bool DeclarationChanged(std::vector<uint8_t>& stored, const std::vector<uint8_t>& fresh,
                        rt::Long result) {
  std::string storedCode(stored.begin() + 1, stored.begin() + 4);
  bool sql = IsSqlServerCode(storedCode);
  int zeros = 0;
  // 1-based positions; the byte compared at position p is p - 1.
  for (size_t p = 2; p <= static_cast<size_t>(result) && p <= kMaxDefSize; ++p) {
    if (stored[p - 2] == 0) ++zeros;
    if (zeros == 2) stored[p - 1] = fresh[p - 1];
    if (zeros == 1 && sql) continue;
    if (stored[p - 2] != fresh[p - 2]) return true;
  }
  return false;
}

// Registers (label, version) in the store or checks it against the stored
// declaration. False when the declaration could not be stored.
bool UsingFileWork(std::string_view label, db::FileDecl& file, rt::Short version,
                   std::string_view prefix) {
  Registry& r = R();
  Profile& prof = Profiler();
  rt::Long start = ProfileClock();
  db::FileDecl& upg = UpgFile();
  if (r.compare.empty()) r.compare.assign(kMaxDefSize, ' ');
  Trace(Flag::A, "UsingFileWork In l=" + rt::Clip(label) + " v=" + std::to_string(version));
  if (FlagOn(Flag::B)) {
    SetUpgKeyFields(label, prefix, version);
    db::SetFromRecord(upg, kUpgKey);
    db::Next(upg);
    Trace(Flag::B, "found : " + UpgLabel() + " " + std::to_string(UpgVersion()) +
                       " Error was " + rt::ErrorText());
  }
  SetUpgKeyFields(label, prefix, version);
  db::Get(upg, kUpgKey);
  Trace(Flag::F, "get upg error: " + std::to_string(rt::ErrorCode()) + rt::Clip(rt::ErrorText()));
  bool stored = true;
  if (rt::ErrorCode() != 0) {
    SetUpgKeyFields(label, prefix, version);
    Trace(Flag::B, "About to call ReadFormat 3");
    rt::Long t = ProfileClock();
    rt::Long result = ReadFormat(file, FormatCaller::Header);
    prof.serialiseTime += ProfileClock() - t;
    if (result == kFormatNoDriver) {
      StopMessage(kM10, " " + rt::Clip(label));
    } else if (result == kFormatTooLarge) {
      StopMessage(kM14Register, " " + rt::Clip(label));
    } else {
      // Bytes past the serialisation are blank, so the stored row is the
      // same whichever file was serialised before.
      std::vector<uint8_t>& fmt = UpgFmt();
      std::fill(fmt.begin() + (result - 1), fmt.end(), ' ');
      Trace(Flag::B, "Adding to UPG : " + UpgPrefix() + " " + std::to_string(UpgVersion()));
      db::Add(upg);
      if (rt::ErrorCode() == rt::kDuplicateKey) {
        // Another instance stored the same (label, version) meanwhile.
        SetUpgKeyFields(label, prefix, version);
        db::Get(upg, kUpgKey);
      }
      if (rt::ErrorCode() != 0) {
        stored = false;
        Trace(Flag::B, "Error adding to UPG : " + rt::Clip(label) + " " +
                           std::to_string(version) + " " + ErrorDetails());
        StopMessage(kM8, " " + ErrorDetails() + " File Driver Error : " +
                             rt::Clip(rt::FileErrorText()) + " " + rt::Clip(label));
      } else {
        ++prof.recordsAdded;
      }
    }
  } else {
    Trace(Flag::B, "Found UPG : " + UpgPrefix() + " " + std::to_string(UpgVersion()));
    if (EngineSwitch("/LoadFast")) return true;
    std::vector<uint8_t>& fmt = UpgFmt();
    std::copy(fmt.begin(), fmt.end(), r.compare.begin());
    Trace(Flag::B, "About to call ReadFormat 4");
    rt::Long t = ProfileClock();
    rt::Long result = ReadFormat(file, FormatCaller::Header);
    prof.serialiseTime += ProfileClock() - t;
    Trace(Flag::C, "Readformat returned: " + std::to_string(result));
    if (result == kFormatNoDriver) {
      StopMessage(kM10, " " + rt::Clip(label));
      return true;
    }
    if (result == kFormatTooLarge) {
      StopMessage(kM14Check, " " + rt::Clip(label));
      return true;
    }
    t = ProfileClock();
    if ((r.compare[0] == '1') != (fmt[0] == '1')) {
      ++prof.skippedCompares;
    } else if (DeclarationChanged(r.compare, fmt, result)) {
      StopMessage(kM1, " " + rt::Clip(label));
    }
    prof.compareTime += ProfileClock() - t;
  }
  prof.workTime += ProfileClock() - start;
  Trace(Flag::A, "UsingFileWork Out");
  return stored;
}

// "/buildupg": the store's keys rebuilt once per process.
void BuildStoreOnce() {
  Registry& r = R();
  if (r.upgBuilt || !EngineSwitch("/buildupg")) return;
  r.upgBuilt = true;
  db::FileDecl& upg = UpgFile();
  Trace(Flag::B, "About to Build UPG");
  db::Open(upg, kExclusive);
  if (rt::ErrorCode() != 0) {
    Trace(Flag::B, "Error Building file on Open : " + rt::ErrorText());
    rt::Stop("Error Building file on Open : " + rt::ErrorText());
    return;
  }
  db::Send(upg, "FULLBUILD=on");
  db::Build(upg);
  if (rt::ErrorCode() != 0) {
    Trace(Flag::B, "Error Building file on Build : " + rt::ErrorText());
    rt::Stop("Error Building file on Build : " + rt::ErrorText());
  }
  db::Close(upg);
}

// Opens the store shared, creating and filling it when it is missing.
bool OpenStore() {
  db::FileDecl& upg = UpgFile();
  Trace(Flag::B, "About to open UPG [1] : " + UpgFileName());
  db::Open(upg, kShared);
  if (rt::ErrorCode() == rt::kFileNotFound) {
    db::Create(upg);
    if (rt::ErrorCode() == 0) {
      db::Open(upg, kShared);
      if (rt::ErrorCode() == 0) UsingFileWindow();
    } else {
      // Another instance of the program may be creating it right now.
      db::Open(upg, kShared);
    }
    if (db::IsOpen(upg)) rt::ClearError();
  }
  int code = rt::ErrorCode();
  if (code == 0 || code == rt::kFileAlreadyOpen) return true;
  std::string details = " " + ErrorDetails() + " Name:" + rt::Clip(UpgFileName());
  StopMessage(kM2Register, details);
  return false;
}

}  // namespace

void ds_SetOption(std::string_view name, std::string_view value) {
  Trace(Flag::A, "ds_SetOption: " + rt::Clip(name) + " " + rt::Clip(value));
  Options& o = R().options;
  const std::string n = rt::Clip(rt::Lower(name));
  if (n == "backup") {
    o.backup = OptionNumber(value);
  } else if (n == "badfile" || n == "usebadfile") {
    o.badFile = OptionNumber(value);
  } else if (n == "spcreate") {
    o.spCreate = OptionNumber(value);
  } else if (n == "realfield" || n == "unrealfield") {
    R().rfq.push_back({Field(rt::Upper(value), 40), rt::Upper(n)});
    Trace(Flag::B, (n == "realfield" ? "RealField: " : "UnRealField: ") + R().rfq.back().name);
  } else if (n == "zeronull") {
    o.dictZeroNull = o.zeroNull = OptionNumber(value);
  } else if (n == "blankzero") {
    o.dictBlankZero = OptionNumber(value);
  } else if (n == "mysqltype") {
    o.mySqlType = Field(rt::Upper(value), 6);
  } else if (n == "dctmasterfields") {
    o.dctMasterFields = 1;
  } else if (n == "dctmasterkeys") {
    o.dctMasterKeys = 1;
  } else if (n == "remotemachinename") {
    o.remoteMachineName = Field(value, 255);
  } else if (n == "odbcflavour") {
    o.odbcFlavour = Field(value, 50);
    SetODBCFlavour(o.odbcFlavour);
  }
}

void ds_AddDriver(std::string_view code, db::FileDecl& file,
                  rt::Long recordLength, uint8_t* recordAddress) {
  ReadSwitches();
  Trace(Flag::A, "ds_AddDriver In " + std::string(code));
  Driver d;
  d.name = std::string(code.substr(0, std::min<size_t>(3, code.size())));
  if (rt::Upper(rt::Clip(d.name)) == "TAV") R().oldDatDriver = true;
  int slot = ServerIndex(code);
  if (slot >= 0) R().slots[slot] = {&file, recordAddress, recordLength};
  d.entry = file.DriverEntry();
  Trace(Flag::B, "Registering driver " + rt::Clip(code) + " " + std::to_string(d.entry));
  R().dr.push_back(std::move(d));
  Trace(Flag::A, "ds_AddDriver Out");
}

void ds_IgnoreDriver(std::string_view name, rt::Long flags) {
  Trace(Flag::A, "ds_IgnoreDriver In" + std::string(name) + " " + std::to_string(flags));
  IgnoredDriver e{Field(rt::Upper(name), 40), flags};
  auto& igd = R().igd;
  // In name order, after entries with an equal name.
  auto at = std::upper_bound(igd.begin(), igd.end(), e,
                             [](const IgnoredDriver& a, const IgnoredDriver& b) {
                               return a.name < b.name;
                             });
  igd.insert(at, std::move(e));
  Trace(Flag::A, "ds_IgnoreDriver Out");
}

void ds_AlternateFieldName(std::string_view destination,
                           std::string_view source) {
  Trace(Flag::A, "ds_AlternateFieldName In " + std::string(source) + " " + std::string(destination));
  R().afns.push_back({Field(rt::Upper(destination), 40), Field(rt::Upper(source), 40)});
  Trace(Flag::A, "ds_AlternateFieldName Out ");
}

void ds_UsingFile(db::FileDecl& file, rt::Short version,
                  std::string_view prefix, std::string_view label) {
  Profile& prof = Profiler();
  rt::Long start = ProfileClock();
  Trace(Flag::A, "UsingFile In " + std::string(label) + " version=" + std::to_string(version) +
                     " prefix=" + std::string(prefix));
  ++prof.usingFileCalls;
  auto& uf = R().uf;
  auto find = [&uf](const std::string& key) {
    return std::lower_bound(uf.begin(), uf.end(), key,
                            [](const UsedFile& a, const std::string& k) { return a.prefix < k; });
  };
  std::string key = Field(rt::Upper(prefix), 20);
  auto at = find(key);
  // A prefix is registered once, whatever a later call gives.
  if (at != uf.end() && at->prefix == key) {
    Trace(Flag::A, "UsingFile Out (Optimised) ");
    return;
  }
  LoadVersionInfoQueues(file, version, label, prefix);
  SetUpgFileName();
  rt::Long t = ProfileClock();
  BuildStoreOnce();
  prof.nameTime += ProfileClock() - t;
  t = ProfileClock();
  bool open = OpenStore();
  prof.openTime += ProfileClock() - t;
  if (!open) return;
  prof.toWorkTime += ProfileClock() - start;
  bool stored = UsingFileWork(label, file, version, prefix);
  t = ProfileClock();
  if (stored) {
    std::string registered = Field(rt::Upper(UpgPrefix()), 20);
    auto pos = find(registered);
    if (pos == uf.end() || pos->prefix != registered)
      uf.insert(pos, UsedFile{registered, UpgVersion(), Field(label, 40), &file});
  }
  prof.addUfTime += ProfileClock() - t;
  t = ProfileClock();
  db::Close(UpgFile());
  prof.closeTime += ProfileClock() - t;
  Trace(Flag::A, "UsingFile Out");
}

rt::Byte* GetUpgradingFlag() { return &gUpgrading; }

std::string DriverUsed(const db::FileDecl& file) {
  Trace(Flag::A, "DriverUsed In ");
  uint32_t entry = file.DriverEntry();
  for (const Driver& d : R().dr) {
    Trace(Flag::B, "Driver found : " + std::to_string(d.entry));
    if (d.entry == entry && entry != 0) {
      Trace(Flag::D, "DriverUsed Out Found " + d.name);
      return d.name;
    }
  }
  Trace(Flag::A, "DriverUsed Out Not Found");
  return {};
}

uint32_t DriverPointer(std::string_view code) {
  Trace(Flag::A, "DriverPointer In ");
  std::string want = rt::Upper(rt::Clip(code));
  for (const Driver& d : R().dr) {
    if (rt::Upper(rt::Clip(d.name)) == want) {
      Trace(Flag::A, "DriverPointer Out Found ");
      return d.entry;
    }
  }
  StopMessage(kM10, "");
  Trace(Flag::A, "DriverPointer Out Not Found ");
  return 0;
}

const std::vector<UsedFile>& UsedFiles() { return R().uf; }
const std::vector<Driver>& Drivers() { return R().dr; }
const std::vector<IgnoredDriver>& IgnoredDrivers() { return R().igd; }
const std::vector<AlternateName>& AlternateNames() { return R().afns; }
const std::vector<FieldOption>& FieldOptions() { return R().rfq; }
const Options& CurrentOptions() { return R().options; }
bool OldDatDriverPresent() { return R().oldDatDriver; }

const ServerSlot* ServerSlotOf(std::string_view code) {
  int i = ServerIndex(code);
  return i < 0 ? nullptr : &R().slots[i];
}

void ResetRegistration() {
  R() = Registry{};
  SetODBCFlavour("");
  gUpgrading = 0;
  ResetSettings();
  ResetStore();
}

}  // namespace upg
