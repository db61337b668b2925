// The version store: its names, its two table declarations and record
// buffers, and the one-time copy of an old store into a new one.
#include "velmora/upgrade/store.h"

#include <cstring>
#include <memory>

#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/ini.h"
#include "velmora/runtime/text.h"
#include "velmora/upgrade/format.h"
#include "velmora/upgrade/settings.h"
#include "wait_window.h"

namespace upg {
namespace {

constexpr size_t kOldFmtSize = 10000;
constexpr uint8_t kStoreAttributes = 0x07;  // owner, encrypted, create

// UPG record offsets.
enum : size_t {
  kLabel = 0, kPrefix = 50, kDriver = 70, kVersion = 80, kExtra1 = 82,
  kExtra2 = 86, kExtra3 = 90,
};

std::unique_ptr<db::FileDecl> Declare(const char* prefix, bool current) {
  db::DeclBuilder b(prefix, prefix);
  b.Driver("ISAM").Attributes(kStoreAttributes)
      .Field(db::Type::String, "LABEL", 50)
      .Field(db::Type::String, "PREFIX", 20)
      .Field(db::Type::String, "DRIVER", 10)
      .Field(db::Type::Short, "VERSION");
  if (current)
    b.Field(db::Type::Long, "EXTRA1").Field(db::Type::Long, "EXTRA2")
        .Field(db::Type::String, "EXTRA3", 50);
  b.Memo("FMT", db::kMemoBinary, current ? kMaxDefSize : kOldFmtSize)
      .Key("KEY", {1, 4}, db::kKeyNoCase)
      .Key("PREKEY", {2, 4}, db::kKeyDup | db::kKeyNoCase);
  return b.Build();
}

struct Store {
  std::string baseName, upgName, oldName, owner;
  std::unique_ptr<db::FileDecl> upg = Declare("UPG", true);
  std::unique_ptr<db::FileDecl> oupg = Declare("OUPG", false);
};

Store& St() {
  static Store s;
  return s;
}

// The owner of both tables, put together at run time from its pieces.
std::string BuildOwner() {
  const char piece1[] = {'Q', 'z', '7', 0};
  const char piece2[] = {'v', 'R', 0};
  const char piece3[] = {'k', 0};
  return std::string(piece2) + piece1 + piece3;
}

void PutText(uint8_t* rec, size_t offset, size_t len, std::string_view text) {
  rt::detail::CopyPadded(reinterpret_cast<char*>(rec + offset), len, text, ' ');
}

std::string GetText(const uint8_t* rec, size_t offset, size_t len) {
  return rt::Clip(std::string_view(reinterpret_cast<const char*>(rec + offset), len));
}

template <class T>
void PutNumber(uint8_t* rec, size_t offset, T v) {
  std::memcpy(rec + offset, &v, sizeof v);
}

}  // namespace

void SetUpgFileName() {
  Store& s = St();
  if (rt::Clip(s.baseName).empty()) s.baseName = "Upg.Tps";
  if (rt::Clip(s.upgName).empty()) {
    rt::Long start = ProfileClock();
    s.owner = BuildOwner();
    SetTranslationIni("");
    std::string folder = rt::GetIni("RV2", "Path", ProgramFolder(), TranslationIniName());
    // An empty folder (no program path) is the current folder.
    if (!folder.empty() && folder.back() != '\\') folder += '\\';
    s.oldName = folder + s.baseName;
    s.upgName = rt::Clip(folder) + rt::Clip(s.baseName) + "\\!Upg2";
    s.upg->SetName(s.upgName);
    s.upg->SetOwner(s.owner);
    s.oupg->SetName(s.oldName);
    s.oupg->SetOwner(s.owner);
    Profiler().nameTime += ProfileClock() - start;
  }
  if (EngineSwitch("/RV2SILENT") ||
      rt::Upper(rt::GetIni("Command", "Silent", "", TranslationIniName())) == "TRUE")
    SilentMode() = 1;
}

const std::string& UpgFileName() { return St().upgName; }
const std::string& OldUpgFileName() { return St().oldName; }
const std::string& UpgOwner() { return St().owner; }
db::FileDecl& UpgFile() { return *St().upg; }
db::FileDecl& OldUpgFile() { return *St().oupg; }

std::string UpgLabel() { return GetText(UpgFile().Record(), kLabel, 50); }
std::string UpgPrefix() { return GetText(UpgFile().Record(), kPrefix, 20); }

rt::Short UpgVersion() {
  rt::Short v;
  std::memcpy(&v, UpgFile().Record() + kVersion, sizeof v);
  return v;
}

void SetUpgKeyFields(std::string_view label, std::string_view prefix, rt::Short version) {
  uint8_t* rec = UpgFile().Record();
  PutText(rec, kLabel, 50, label);
  PutText(rec, kPrefix, 20, prefix);
  PutNumber(rec, kVersion, version);
}

std::vector<uint8_t>& UpgFmt() {
  std::vector<uint8_t>& fmt = UpgFile().Memos()[0].data;
  if (fmt.size() != kMaxDefSize) fmt.resize(kMaxDefSize, ' ');
  return fmt;
}

void SetOldUpgRecord(std::string_view label, std::string_view prefix,
                     std::string_view driver, rt::Short version,
                     const std::vector<uint8_t>& fmt) {
  uint8_t* rec = OldUpgFile().Record();
  PutText(rec, kLabel, 50, label);
  PutText(rec, kPrefix, 20, prefix);
  PutText(rec, kDriver, 10, driver);
  PutNumber(rec, kVersion, version);
  OldUpgFile().Memos()[0].data = fmt;
  OldUpgFile().Memos()[0].data.resize(kOldFmtSize, ' ');
}

void UsingFileWindow() {
  WaitWindow wait("Please wait. Upgrading old UPG file.");
  db::FileDecl& old = OldUpgFile();
  db::Open(old, db::kReadWrite | db::kDenyNone);
  if (rt::ErrorCode() != 0) return;
  const uint32_t records = db::Records(old);
  if (records == 0) {
    db::Close(old);
    return;
  }
  wait.Open(static_cast<rt::Long>(records));
  db::FileDecl& upg = UpgFile();
  db::Set(old);
  for (db::Next(old); rt::ErrorCode() == 0; db::Next(old)) {
    ++wait.Counter();
    wait.Redisplay();
    const uint8_t* from = old.Record();
    uint8_t* to = upg.Record();
    std::vector<uint8_t>& fmt = UpgFmt();
    const std::vector<uint8_t>& oldFmt = old.Memos()[0].data;
    std::fill(fmt.begin(), fmt.end(), ' ');
    std::copy_n(oldFmt.begin(), std::min(oldFmt.size(), kOldFmtSize), fmt.begin());
    std::memcpy(to, from, kExtra1);  // label, prefix, driver, version
    PutNumber<rt::Long>(to, kExtra1, 0);
    PutNumber<rt::Long>(to, kExtra2, 0);
    PutText(to, kExtra3, 50, "");
    db::Add(upg);
  }
  db::Close(old);
  wait.Close();
}

void ResetStore() { St() = Store{}; }

}  // namespace upg
