#include "velmora/upgrade/registration.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "velmora/files/files.h"
#include "velmora/runtime/text.h"
#include "velmora/runtime/threads.h"

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
};

Registry& R() {
  static Registry r;
  return r;
}

rt::Byte gUpgrading = 0;

constexpr std::array<std::string_view, 4> kServerCodes = {"MSS", "ORA", "ASA", "ODB"};

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

}  // namespace

void ds_SetOption(std::string_view name, std::string_view value) {
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
  }
}

void ds_AddDriver(std::string_view code, db::FileDecl& file,
                  rt::Long recordLength, uint8_t* recordAddress) {
  Driver d;
  d.name = std::string(code.substr(0, std::min<size_t>(3, code.size())));
  if (rt::Upper(rt::Clip(d.name)) == "TAV") R().oldDatDriver = true;
  int slot = ServerIndex(code);
  if (slot >= 0) R().slots[slot] = {&file, recordAddress, recordLength};
  d.entry = file.DriverEntry();
  R().dr.push_back(std::move(d));
}

void ds_IgnoreDriver(std::string_view name, rt::Long flags) {
  IgnoredDriver e{Field(rt::Upper(name), 40), flags};
  auto& igd = R().igd;
  // In name order, after entries with an equal name.
  auto at = std::upper_bound(igd.begin(), igd.end(), e,
                             [](const IgnoredDriver& a, const IgnoredDriver& b) {
                               return a.name < b.name;
                             });
  igd.insert(at, std::move(e));
}

void ds_AlternateFieldName(std::string_view destination,
                           std::string_view source) {
  R().afns.push_back({Field(rt::Upper(destination), 40), Field(rt::Upper(source), 40)});
}

void ds_UsingFile(db::FileDecl& file, rt::Short version,
                  std::string_view prefix, std::string_view label) {
  auto& uf = R().uf;
  std::string key = Field(rt::Upper(prefix), 20);
  auto at = std::lower_bound(uf.begin(), uf.end(), key,
                             [](const UsedFile& a, const std::string& k) {
                               return a.prefix < k;
                             });
  // A prefix is registered once, whatever a later call gives.
  if (at != uf.end() && at->prefix == key) return;
  uf.insert(at, UsedFile{key, version, Field(label, 40), &file});
}

rt::Byte* GetUpgradingFlag() { return &gUpgrading; }

void ds_FileOpen(db::FileDecl& file, uint32_t mode) {
  static rt::CriticalSection section;
  section.Enter();
  gUpgrading = 1;
  // The conversion engine is not part of this build: the file is opened
  // as declared and the caller sees the open's own error.
  db::Open(file, mode);
  gUpgrading = 0;
  section.Leave();
}

void InstallOpenHook() { db::SetOpenHook(&ds_FileOpen); }

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

void ResetRegistration() { R() = Registry{}; }

}  // namespace upg
