// Paths of the upgrade driver a host program relies on: where the old
// data is found (old file names, keys still to be rebuilt), the backup
// names of a file whose driver is registered as "Btr", the write and
// backup switches, and the conversions that never start.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "engine_fixture.h"
#include "velmora/runtime/ini.h"
#include "velmora/runtime/paths.h"
#include "velmora/ui/headless.h"
#include "velmora/upgrade/openhook.h"
#include "velmora/upgrade/upgrade_file.h"

namespace {

namespace fs = std::filesystem;
using enginetest::Engine;
using enginetest::FieldOf;
using enginetest::Get;
using enginetest::GetText;
using enginetest::Put;
using enginetest::PutText;
using db::Type;

constexpr uint32_t kUnique = db::kKeyNoCase | db::kKeyOpt;
constexpr uint32_t kDup = kUnique | db::kKeyDup;
constexpr const char* kStock = ".\\data\\stock.tps";

// Version 1 of the Stock file: ID, NAME STRING(20), QTY SHORT, a NOTE blob.
std::unique_ptr<db::FileDecl> StockV1(const std::string& prefix = "STK", const std::string& name = kStock) {
  return db::DeclBuilder("Stock", prefix)
      .Driver("ISAM")
      .Name(name)
      .Attributes(db::kAttrCreate)
      .Field(Type::Long, "ID")
      .Field(Type::String, "NAME", 20)
      .Field(Type::Short, "QTY")
      .Key("ID_Key", {1}, kUnique)
      .Key("Name_Key", {2}, kDup)
      .Memo("NOTE", db::kMemoBinary, 0)
      .Build();
}

// Version 2: NAME a CSTRING(30), QTY a LONG, CITY added, a key on QTY.
std::unique_ptr<db::FileDecl> StockV2(const std::string& prefix = "STK", const std::string& name = kStock,
                                      uint8_t attrib = db::kAttrCreate) {
  return db::DeclBuilder("Stock", prefix)
      .Driver("ISAM")
      .Name(name)
      .Attributes(attrib)
      .Field(Type::Long, "ID")
      .Field(Type::CString, "NAME", 30)
      .Field(Type::Long, "QTY")
      .Field(Type::String, "CITY", 10)
      .Key("ID_Key", {1}, kUnique)
      .Key("Name_Key", {2}, kDup)
      .Key("Qty_Key", {3}, kDup)
      .Memo("NOTE", db::kMemoBinary, 0)
      .Build();
}

std::string Name(int i) { return "Item " + std::to_string(i); }
int Qty(int i) { return 10 + i % 7; }  // repeats: the QTY key holds duplicates
std::vector<uint8_t> Note(int i) {
  std::vector<uint8_t> b(i % 4 == 0 ? 0 : static_cast<size_t>(i) * 37);
  for (size_t k = 0; k < b.size(); ++k) b[k] = static_cast<uint8_t>(k * 13 + static_cast<size_t>(i));
  return b;
}

// A SHORT or LONG field's value.
void PutInt(db::FileDecl& f, const char* field, int32_t v) {
  if (FieldOf(f, field).type == Type::Short)
    Put(f, field, static_cast<int16_t>(v));
  else
    Put(f, field, v);
}
int32_t GetInt(const db::FileDecl& f, const char* field) {
  return FieldOf(f, field).type == Type::Short ? Get<int16_t>(f, field) : Get<int32_t>(f, field);
}

bool Exists(const std::string& windowsName) { return fs::exists(rt::HostPath(windowsName)); }
std::string Contents(const std::string& windowsName) {
  std::ifstream in(rt::HostPath(windowsName), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class Paths : public Engine {
 protected:
  void SetUp() override {
    Engine::SetUp();
    CommandLine({"/debugrv"});
    upg::InstallOpenHook();
    upg::RVQ().clear();
    upg::OFN().clear();
    ui::SetBackend(&headless_);
  }
  void TearDown() override {
    ui::SetBackend(nullptr);
    upg::OFN().clear();
    db::SetOpenHook({});
    Engine::TearDown();
  }
  // The scratch folder as at the start: no data, no version store.
  void Fresh() {
    for (const auto& e : fs::directory_iterator("."))
      if (e.path().filename() != "config") fs::remove_all(e.path());
    fs::create_directories("data");
    fs::create_directories("prog");
    upg::RVQ().clear();
    upg::OFN().clear();
    stops_.clear();
    traces_.clear();
  }
  // A start of the program that declares `f` at `version`, with the ISAM
  // driver registered under `code_`.
  void Register(db::FileDecl& f, int version) {
    upg::ResetRegistration();
    uint8_t byte = 0;
    upg::ds_AddDriver(code_, *gtps_, 1, &byte);
    upg::ds_UsingFile(f, static_cast<rt::Short>(version), f.Prefix(), "Stock");
  }
  // Writes items 1..n through `f` (registered as version 1); with
  // `append` the keys are left to be rebuilt.
  void Write(db::FileDecl& f, int n, bool append = false) {
    Register(f, 1);
    db::Create(f);
    db::Open(f);
    for (int i = 1; i <= n; ++i) {
      f.ClearRecord();
      PutInt(f, "ID", i);
      PutText(f, "NAME", Name(i));
      PutInt(f, "QTY", Qty(i));
      f.Memos()[0].data = Note(i);
      if (append)
        db::Append(f);
      else
        db::Add(f);
      ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
    }
    db::Close(f);
  }
  // Every item 1..n with its note, in ID order; every key holds all of them.
  void Expect(db::FileDecl& f, int n) {
    EXPECT_EQ(db::Records(f), static_cast<uint32_t>(n));
    db::Set(f, 1);
    for (int i = 1; i <= n; ++i) {
      db::Next(f);
      ASSERT_EQ(rt::ErrorCode(), 0) << i << " " << rt::ErrorText();
      EXPECT_EQ(GetInt(f, "ID"), i);
      EXPECT_EQ(GetText(f, "NAME"), Name(i));
      EXPECT_EQ(GetInt(f, "QTY"), Qty(i));
      if (f.FieldIndex(f.Prefix() + ":CITY") >= 0) {
        EXPECT_EQ(GetText(f, "CITY"), "");
      }
      EXPECT_TRUE(f.Memos()[0].data == Note(i)) << "note of " << i;
    }
    for (int key = 2; key <= static_cast<int>(f.Keys().size()); ++key) {
      int count = 0;
      db::Set(f, key);
      for (db::Next(f); rt::ErrorCode() == 0; db::Next(f)) ++count;
      EXPECT_EQ(count, n) << f.Keys()[static_cast<size_t>(key - 1)].label;
    }
  }
  // The old data, version 1, under `name`: opens with `error` and holds n items.
  void ExpectOld(const std::string& prefix, const std::string& name, int n, int error = 0) {
    auto old = StockV1(prefix, name);
    db::Open(*old);
    ASSERT_EQ(rt::ErrorCode(), error) << name << " " << rt::ErrorText();
    if (error == 0)
      Expect(*old, n);
    else
      EXPECT_EQ(db::Records(*old), static_cast<uint32_t>(n));
    db::Close(*old);
  }
  bool NoLeftovers() const {
    return !fs::exists("dstmp001") && !fs::exists("data/stock.tps.rv3") && !fs::exists("data/stock.tps.cnv");
  }

  ui::HeadlessBackend headless_;
  std::unique_ptr<db::FileDecl> gtps_ =
      db::DeclBuilder("__GTPS", "__GTPS").Driver("ISAM").Field(Type::Byte, "A").Build();
  const char* code_ = "Tps";
};

// With the driver registered as "Btr" and backups kept, the backup is the
// file's folder + its prefix + a number of 3 digits (prefix of 1 or 2
// characters), 2 digits (3) or 1 digit (4); a longer prefix, or the
// numbers of its width used up, leaves no name and the file as it was.
TEST_F(Paths, BtrBackupNamesAreThePrefixAndANumber) {
  struct Case {
    const char* prefix;
    const char* name;
    const char* backup;  // the option
    std::vector<std::string> taken;
    const char* expect;  // "" when no name can be used
  };
  std::vector<std::string> allOfOneDigit;
  for (int n = 1; n <= 9; ++n) allOfOneDigit.push_back(".\\data\\STOK" + std::to_string(n));
  const Case cases[] = {
      {"S", kStock, "2", {}, ".\\data\\S001"},
      {"ST", kStock, "2", {}, ".\\data\\ST001"},
      {"STK", kStock, "2", {".\\data\\STK01"}, ".\\data\\STK02"},
      {"STOK", kStock, "2", {}, ".\\data\\STOK1"},
      {"STK", "stock.tps", "2", {}, "STK01"},
      {"STK", kStock, "1", {}, ".\\data\\STK01"},
      {"STK", ".\\data\\multi.tps\\!stock", "2", {}, ".\\data\\multi001.tps\\!stock"},
      {"STOK", kStock, "2", allOfOneDigit, ""},
      {"STOCK", kStock, "2", {}, ""},
  };
  code_ = "Btr";
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.prefix) + " " + c.name + " backup " + c.backup);
    Fresh();
    for (const std::string& t : c.taken) std::ofstream(rt::HostPath(t)) << "taken";
    auto v1 = StockV1(c.prefix, c.name);
    Write(*v1, 6);
    auto v2 = StockV2(c.prefix, c.name);
    Register(*v2, 2);
    upg::ds_SetOption("backup", c.backup);
    db::HookedOpen(*v2, 0x42);
    if (*c.expect) {
      ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
      Expect(*v2, 6);
      db::Close(*v2);
      const bool copied = std::string(c.backup) == "1";
      EXPECT_TRUE(Traced(std::string(copied ? "File copied: " : "File renamed: ") + c.expect + " err:"));
      ExpectOld(c.prefix, c.expect, 6);
      EXPECT_TRUE(stops_.empty()) << stops_[0];
    } else {
      EXPECT_EQ(rt::ErrorCode(), rt::kInvalidRecordDeclaration);
      EXPECT_EQ(stops_, std::vector<std::string>{"RV3: Unable to upgrade file - no file name available;" +
                                                 std::string(c.name)});
      ExpectOld(c.prefix, c.name, 6);
      EXPECT_TRUE(upg::RVQ().empty());
    }
    EXPECT_TRUE(NoLeftovers());
    for (const std::string& t : c.taken) EXPECT_EQ(Contents(t), "taken") << t;
  }
}

// A file missing under its own name is looked for under the old names
// registered for it: its name with its extension first, then without; an
// old name without "." takes the file's extension, and an old name ending
// in ".tps" is tried once more without it. The old file is copied, never
// moved: it stays under its old name.
TEST_F(Paths, OldFileNamesFindTheFileUnderItsFormerName) {
  struct Case {
    const char* newName;
    const char* oldName;
    const char* onDisk;
    std::vector<std::string> tried;  // empty: nothing is found
  };
  const Case cases[] = {
      {"STOCK.tps", "goods.tps", ".\\data\\goods.tps", {"infilename: .\\data\\goods.tps"}},
      {"STOCK", "goods", ".\\data\\goods.tps", {"infilename: .\\data\\goods.tps"}},
      {"STOCK", "goods.tps", ".\\data\\goods",
       {"infilename: .\\data\\goods.tps", "infilename - 4: .\\data\\goods"}},
      {"STOCK.tps", "goods.dat", ".\\data\\goods.dat", {"infilename: .\\data\\goods.dat"}},
      {"OTHER.tps", "goods.tps", ".\\data\\goods.tps", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.newName) + " " + c.oldName);
    Fresh();
    auto old = StockV1("STK", c.onDisk);
    Write(*old, 7);
    auto v2 = StockV2();
    Register(*v2, 2);
    upg::OFN().push_back({c.oldName, c.newName, {}, {}});
    traces_.clear();
    db::HookedOpen(*v2, 0x42);
    std::vector<std::string> tried;
    for (const std::string& t : Traced())
      if (t.rfind("infilename", 0) == 0) tried.push_back(t);
    EXPECT_EQ(tried, c.tried);
    if (c.tried.empty()) {
      EXPECT_EQ(rt::ErrorCode(), rt::kFileNotFound);
      EXPECT_FALSE(Exists(kStock));
    } else {
      ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
      Expect(*v2, 7);
      db::Close(*v2);
      EXPECT_TRUE(Traced("File copied: dstmp001 err:"));
      ASSERT_EQ(upg::RVQ().size(), 1u);
      EXPECT_EQ(upg::RVQ()[0].fromVersion, 1);
      EXPECT_EQ(upg::RVQ()[0].toVersion, 2);
    }
    ExpectOld("STK", c.onDisk, 7);
    EXPECT_TRUE(NoLeftovers());
    EXPECT_TRUE(stops_.empty()) << stops_[0];
  }
}

// An old file whose keys must be rebuilt (46) is a source: its keys are
// rebuilt on the way, or with "/rv246" it is taken as it is. Its own
// version with keys to rebuild is converted only with the switch.
TEST_F(Paths, KeysToRebuildInTheVersionSearch) {
  for (bool rv246 : {false, true}) {
    SCOPED_TRACE(rv246 ? "/rv246" : "no switch");
    Fresh();
    CommandLine(rv246 ? std::vector<std::string>{"/debugrv", "/rv246"} : std::vector<std::string>{"/debugrv"});
    auto v1 = StockV1();
    Write(*v1, 9, true);
    auto v2 = StockV2();
    Register(*v2, 2);
    upg::ds_SetOption("backup", "2");
    db::HookedOpen(*v2, 0x42);
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
    Expect(*v2, 9);
    db::Close(*v2);
    EXPECT_TRUE(Traced("Found matching structure 1 Stock"));
    // The old file kept under its backup name, as the search left it.
    ExpectOld("STK", ".\\data\\stock001", 9, rv246 ? rt::kKeysMustBeRebuilt : 0);
    EXPECT_TRUE(stops_.empty()) << stops_[0];

    Fresh();
    Write(*v1, 9, true);
    db::HookedOpen(*v1, 0x42);
    if (rv246) {
      ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
      Expect(*v1, 9);
      ASSERT_EQ(upg::RVQ().size(), 1u);
      EXPECT_EQ(upg::RVQ()[0].fromVersion, 1);
      EXPECT_EQ(upg::RVQ()[0].toVersion, 1);
    } else {
      EXPECT_EQ(rt::ErrorCode(), rt::kKeysMustBeRebuilt);
      EXPECT_FALSE(Traced("ds_UpgradeFile In"));
    }
    db::Close(*v1);
    EXPECT_TRUE(NoLeftovers());
  }
}

// "/AddRecords" writes with ADD and builds no keys afterwards,
// "/AppendRecords" appends and builds them, "/RV2COPY" copies the old file
// to its backup name instead of moving it. Each converts every record.
TEST_F(Paths, WriteAndBackupSwitchesConvertEveryRecord) {
  struct Case {
    std::vector<std::string> switches;
    const char* backup;  // the option
    const char* backupName;
    bool copied, built;
  };
  const Case cases[] = {
      {{"/AddRecords"}, "0", "dstmp001", false, false},
      {{"/AppendRecords"}, "0", "dstmp001", false, true},
      {{"/RV2COPY"}, "0", "dstmp001", true, true},
      {{"/RV2COPY"}, "2", ".\\data\\stock001", true, true},
      {{"/AddRecords", "/AppendRecords", "/RV2COPY"}, "2", ".\\data\\stock001", true, false},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"/debugrv"};
    args.insert(args.end(), c.switches.begin(), c.switches.end());
    SCOPED_TRACE(args.back() + " backup " + c.backup);
    Fresh();
    CommandLine(args);
    auto v1 = StockV1();
    Write(*v1, 30);
    auto v2 = StockV2();
    Register(*v2, 2);
    upg::ds_SetOption("backup", c.backup);
    db::HookedOpen(*v2, 0x42);
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
    Expect(*v2, 30);
    db::Close(*v2);
    EXPECT_TRUE(Traced(std::string(c.copied ? "File copied: " : "File renamed: ") + c.backupName + " err:"));
    EXPECT_EQ(Traced("RV3: building keys..."), c.built);
    EXPECT_EQ(Traced("RV3: Committing records... [3] err:"), !c.built);
    EXPECT_TRUE(Traced("records converted : 30 final error : "));
    if (std::string(c.backup) == "0")
      EXPECT_FALSE(Exists(c.backupName));
    else
      ExpectOld("STK", c.backupName, 30);
    EXPECT_TRUE(NoLeftovers());
    EXPECT_TRUE(stops_.empty()) << stops_[0];
  }
}

// The file's declaration with field labels that hold neither ":" nor "_".
std::unique_ptr<db::FileDecl> NoPrefixFile() {
  auto f = db::DeclBuilder("NoPrefix", "NP").Field(Type::Long, "ID").Field(Type::String, "NAME", 20).Build();
  std::vector<uint8_t> block = f->FieldBlock();
  for (size_t i = 0; i + 3 <= block.size(); ++i)
    if (block[i] == 'N' && block[i + 1] == 'P' && block[i + 2] == ':') block[i + 2] = '.';
  auto g = db::FileDecl::FromBlock("NoPrefix", "NP", "ISAM", block, {}, {}, db::kAttrCreate, f->RecordLength());
  g->SetName(".\\data\\noprefix.tps");
  return g;
}

// A file declared without the create attribute is never converted; a
// file without a prefix in its field names is refused with a box that only
// silent mode (its switch or its INI entry) leaves out.
TEST_F(Paths, ConversionsThatNeverStart) {
  auto v1 = StockV1();
  Write(*v1, 5);
  auto v2 = StockV2("STK", kStock, 0);
  Register(*v2, 2);
  db::HookedOpen(*v2, 0x42);
  EXPECT_EQ(rt::ErrorCode(), rt::kInvalidRecordDeclaration);
  EXPECT_TRUE(Traced("File Create attribute is not on. Cannot upgrade file!"));
  EXPECT_FALSE(Traced("About to attempt upgrading file"));
  ExpectOld("STK", kStock, 5);
  fs::remove("data/stock.tps");
  db::HookedOpen(*v2, 0x42);
  EXPECT_EQ(rt::ErrorCode(), rt::kFileNotFound);
  EXPECT_FALSE(Exists(kStock));
  EXPECT_TRUE(stops_.empty()) << stops_[0];
  EXPECT_TRUE(upg::RVQ().empty());

  struct Case {
    std::vector<std::string> switches;
    bool iniSilent, box;
  };
  const Case cases[] = {
      {{}, false, true},
      {{"/RV2SILENT"}, false, false},
      {{}, true, false},
      {{"/silentupgrading"}, false, true},
  };
  auto noPrefix = NoPrefixFile();
  for (const Case& c : cases) {
    std::vector<std::string> args{"/debugrv"};
    args.insert(args.end(), c.switches.begin(), c.switches.end());
    SCOPED_TRACE(args.back() + (c.iniSilent ? " INI Silent" : ""));
    Fresh();
    CommandLine(args);
    if (c.iniSilent) rt::PutIni("Command", "Silent", "true", (dir_ / "prog" / "RV3.Ini").string());
    Register(*v1, 1);  // the store exists
    db::HookedOpen(*noPrefix, 0x42);
    EXPECT_EQ(rt::ErrorCode(), rt::kFileNotFound);
    EXPECT_TRUE(Traced("records dst queue = 2 dst:name .\\data\\noprefix.tps"));
    if (c.box)
      EXPECT_EQ(stops_, std::vector<std::string>{
                            "RV3: Unable to upgrade file which doesn't have a prefix : .\\data\\noprefix.tps"});
    else
      EXPECT_TRUE(stops_.empty()) << stops_[0];
    EXPECT_FALSE(Exists(".\\data\\noprefix.tps"));
  }
  // Silent mode leaves every other box in place.
  Fresh();
  CommandLine({"/debugrv", "/RV2SILENT", "/DOWNGRADE"});
  Register(*v1, 1);
  db::HookedOpen(*v1, 0x42);
  EXPECT_EQ(rt::ErrorCode(), rt::kFileNotFound);
  EXPECT_EQ(stops_, std::vector<std::string>{"Warning : Possibly about to Downgrade Files"});
}

}  // namespace
