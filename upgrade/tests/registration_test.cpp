// Registration: options, drivers, lists, and each file's declaration kept
// per version in the version store.
#include <algorithm>
#include <atomic>
#include <fstream>
#include <thread>

#include "engine_fixture.h"
#include "velmora/runtime/ini.h"
#include "velmora/upgrade/format.h"

namespace {

using enginetest::Engine;

std::unique_ptr<db::FileDecl> SmallFile(std::string owner = {}, std::string send = {},
                                        uint8_t attrib = db::kAttrCreate) {
  return db::DeclBuilder("Small", "SMA")
      .Driver("ISAM")
      .Name(".\\data\\small.tps")
      .Owner(std::move(owner))
      .Send(std::move(send))
      .Attributes(attrib)
      .Field(db::Type::Long, "ID")
      .Field(db::Type::String, "NAME", 20)
      .Key("ID_Key", {1}, db::kKeyNoCase | db::kKeyOpt)
      .Build();
}

class Registration : public Engine {
 protected:
  void AddDriver() {
    uint8_t byte = 0;
    upg::ds_AddDriver("Tps", *driverFile_, 1, &byte);
  }
  // A new process: lists, settings and store names start again.
  void Restart() {
    upg::ResetRegistration();
    AddDriver();
  }
  // The (label, version) pairs in the store, in key order.
  std::vector<std::string> Stored() {
    upg::SetUpgFileName();
    db::FileDecl& upg = upg::UpgFile();
    db::Open(upg, db::kReadOnly | db::kDenyNone);
    EXPECT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
    std::vector<std::string> out;
    db::Set(upg, upg::kUpgKey);
    for (db::Next(upg); rt::ErrorCode() == 0; db::Next(upg)) {
      out.push_back(upg::UpgLabel() + " " + std::to_string(upg::UpgVersion()));
      EXPECT_EQ(upg::UpgFmt().size(), upg::kMaxDefSize);
    }
    db::Close(upg);
    return out;
  }
  std::unique_ptr<db::FileDecl> driverFile_ =
      db::DeclBuilder("__GTPS", "__GTPS").Driver("ISAM").Field(db::Type::Byte, "A").Build();
};

TEST_F(Registration, OptionNamesInAnyCase) {
  EXPECT_EQ(upg::CurrentOptions().badFile, 1);  // default
  upg::ds_SetOption("SPCreate", "1");
  EXPECT_EQ(upg::CurrentOptions().spCreate, 1);
  upg::ds_SetOption("spcreate", "0");
  EXPECT_EQ(upg::CurrentOptions().spCreate, 0);
  upg::ds_SetOption("BadFile", "0");
  EXPECT_EQ(upg::CurrentOptions().badFile, 0);
  upg::ds_SetOption("UseBadFile", "1");
  EXPECT_EQ(upg::CurrentOptions().badFile, 1);
  upg::ds_SetOption("dctmasterkeys", "0");
  EXPECT_EQ(upg::CurrentOptions().dctMasterKeys, 1);
  upg::ds_SetOption("backup", "yes");  // no number reads as 0
  EXPECT_EQ(upg::CurrentOptions().backup, 0);
  upg::ds_SetOption("zeronull", "1");
  EXPECT_EQ(upg::CurrentOptions().zeroNull, 1);
  EXPECT_EQ(upg::CurrentOptions().dictZeroNull, 1);
  upg::ds_SetOption("mysqltype", "innodbxx");
  EXPECT_EQ(upg::CurrentOptions().mySqlType, "INNODB");
  upg::ds_SetOption("RealField", "fil:id");
  upg::ds_SetOption("nosuchoption", "1");  // ignored
  ASSERT_EQ(upg::FieldOptions().size(), 1u);
  EXPECT_EQ(upg::FieldOptions()[0].name, "FIL:ID");
  EXPECT_EQ(upg::FieldOptions()[0].value, "REALFIELD");
}

TEST_F(Registration, ListsKeepTheirOrderAndCase) {
  auto file = SmallFile();
  uint8_t byte = 0;
  upg::ds_AddDriver("Tps", *file, 1, &byte);
  upg::ds_AddDriver("Mss", *file, 1, &byte);
  ASSERT_EQ(upg::Drivers().size(), 2u);
  EXPECT_EQ(upg::Drivers()[0].name, "Tps");
  EXPECT_EQ(upg::Drivers()[0].entry, file->DriverEntry());
  EXPECT_EQ(upg::Drivers()[1].name, "Mss");
  EXPECT_EQ(upg::DriverUsed(*file), "Tps");  // the first that matches
  EXPECT_EQ(upg::DriverPointer("MSS"), file->DriverEntry());
  EXPECT_EQ(upg::ServerSlotOf("mss")->file, file.get());
  EXPECT_EQ(upg::ServerSlotOf("ORA")->file, nullptr);
  EXPECT_EQ(upg::ServerSlotOf("Tps"), nullptr);
  EXPECT_FALSE(upg::OldDatDriverPresent());
  upg::ds_AddDriver("tav", *file, 1, &byte);
  EXPECT_TRUE(upg::OldDatDriverPresent());
  EXPECT_TRUE(stops_.empty());
  EXPECT_EQ(upg::DriverPointer("Dos"), 0u);
  EXPECT_EQ(stops_, std::vector<std::string>{"RV3: Warning - Driver not located - GPF likely"});

  upg::ds_IgnoreDriver("Forms", 0);
  upg::ds_IgnoreDriver("AllFiles", 1);
  ASSERT_EQ(upg::IgnoredDrivers().size(), 2u);
  EXPECT_EQ(upg::IgnoredDrivers()[0].name, "ALLFILES");
  EXPECT_EQ(upg::IgnoredDrivers()[0].flags, 1);
  EXPECT_EQ(upg::IgnoredDrivers()[1].name, "FORMS");

  upg::ds_AlternateFieldName("ALI:ID", "FIL:ID");
  upg::ds_AlternateFieldName("ali:FormID", "fil:FormID");
  ASSERT_EQ(upg::AlternateNames().size(), 2u);
  EXPECT_EQ(upg::AlternateNames()[1].destination, "ALI:FORMID");
  EXPECT_EQ(upg::AlternateNames()[1].source, "FIL:FORMID");
}

TEST_F(Registration, PrefixIsRegisteredOnce) {
  CommandLine({"/debugrv"});
  AddDriver();
  auto a = SmallFile(), b = SmallFile(), c = SmallFile();
  upg::ds_UsingFile(*a, 5, "FOR", "Forms");
  upg::ds_UsingFile(*b, 7, "for", "Other");
  upg::ds_UsingFile(*c, -1, "ALI", "AliasFilledForm");
  EXPECT_TRUE(Traced("UsingFile Out (Optimised)"));
  ASSERT_EQ(upg::UsedFiles().size(), 2u);
  EXPECT_EQ(upg::UsedFiles()[0].prefix, "ALI");
  EXPECT_EQ(upg::UsedFiles()[0].version, -1);
  EXPECT_EQ(upg::UsedFiles()[1].prefix, "FOR");
  EXPECT_EQ(upg::UsedFiles()[1].version, 5);
  EXPECT_EQ(upg::UsedFiles()[1].label, "Forms");
  EXPECT_EQ(upg::UsedFiles()[1].file, a.get());
  EXPECT_EQ(Stored(), (std::vector<std::string>{"AliasFilledForm -1", "Forms 5"}));
  EXPECT_TRUE(stops_.empty());
}

TEST_F(Registration, StoreNamesFromTheIniPathOrTheProgramFolder) {
  const std::string prog = rt::WindowsPath((dir_ / "prog").string());
  upg::SetUpgFileName();
  EXPECT_EQ(upg::OldUpgFileName(), prog + "\\Upg.Tps");
  EXPECT_EQ(upg::UpgFileName(), prog + "\\Upg.Tps\\!Upg2");
  EXPECT_EQ(upg::UpgOwner().size(), 6u);

  upg::ResetRegistration();
  rt::PutIni("RV2", "Path", "\\srv\\store", (dir_ / "prog" / "RV3.Ini").string());
  upg::SetUpgFileName();
  EXPECT_EQ(upg::OldUpgFileName(), "\\srv\\store\\Upg.Tps");
  EXPECT_EQ(upg::UpgFileName(), "\\srv\\store\\Upg.Tps\\!Upg2");
  EXPECT_EQ(upg::SilentMode(), 0);
  rt::PutIni("Command", "Silent", "true", (dir_ / "prog" / "RV3.Ini").string());
  upg::SetUpgFileName();
  EXPECT_EQ(upg::SilentMode(), 1);
}

TEST_F(Registration, StoreRecordLayouts) {
  EXPECT_EQ(upg::UpgFile().RecordLength(), 140u);
  EXPECT_EQ(upg::OldUpgFile().RecordLength(), 82u);
  EXPECT_EQ(upg::UpgFile().Attributes(), 0x07);
  EXPECT_EQ(upg::UpgFile().Memos()[0].size, 40000u);
  EXPECT_EQ(upg::OldUpgFile().Memos()[0].size, 10000u);
  EXPECT_EQ(upg::UpgFile().Keys()[0].label, "UPG:KEY");
  EXPECT_EQ(upg::UpgFile().Keys()[1].components, (std::vector<int32_t>{2, 4}));
}

TEST_F(Registration, BuildUpgRebuildsTheStoreOncePerProcess) {
  AddDriver();
  auto small = SmallFile();
  upg::ds_UsingFile(*small, 1, "SMA", "Small");
  CommandLine({"/debugrv", "/buildupg"});
  Restart();
  upg::ds_UsingFile(*small, 1, "SMA", "Small");
  auto other = db::DeclBuilder("Other", "OTH").Driver("ISAM").Field(db::Type::Byte, "A").Build();
  upg::ds_UsingFile(*other, 1, "OTH", "Other");
  EXPECT_EQ(std::count(traces_.begin(), traces_.end(), "[RV3] About to Build UPG"), 1);
  EXPECT_TRUE(stops_.empty());
  EXPECT_EQ(Stored(), (std::vector<std::string>{"Other 1", "Small 1"}));
}

TEST_F(Registration, EachVersionIsStoredOnceAndChangesAreReported) {
  AddDriver();
  auto v1 = SmallFile();
  upg::ds_UsingFile(*v1, 1, "SMA", "Small");
  EXPECT_EQ(Stored(), std::vector<std::string>{"Small 1"});

  Restart();  // the next start: same declaration, nothing added or shown
  upg::ds_UsingFile(*v1, 1, "SMA", "Small");
  EXPECT_EQ(Stored(), std::vector<std::string>{"Small 1"});
  EXPECT_TRUE(stops_.empty());
  EXPECT_EQ(upg::UsedFiles().size(), 1u);

  // Changed without a new version: reported, nothing stored, still in use.
  Restart();
  auto changed = db::DeclBuilder("Small", "SMA").Driver("ISAM").Name(".\\data\\small.tps")
                     .Attributes(db::kAttrCreate).Field(db::Type::Long, "ID")
                     .Field(db::Type::String, "NAME", 30)
                     .Key("ID_Key", {1}, db::kKeyNoCase | db::kKeyOpt).Build();
  upg::ds_UsingFile(*changed, 1, "SMA", "Small");
  EXPECT_EQ(stops_, std::vector<std::string>{
                        "RV3: Possible file change without changing File Version number. "
                        "File involved : Small"});
  EXPECT_EQ(Stored(), std::vector<std::string>{"Small 1"});
  EXPECT_EQ(upg::UsedFiles().size(), 1u);

  stops_.clear();
  Restart();
  CommandLine({"/LoadFast"});
  upg::ds_UsingFile(*changed, 1, "SMA", "Small");
  EXPECT_TRUE(stops_.empty());

  Restart();  // a new version is a new row
  CommandLine({});
  upg::ds_UsingFile(*changed, 2, "SMA", "Small");
  EXPECT_EQ(Stored(), (std::vector<std::string>{"Small 1", "Small 2"}));
  EXPECT_TRUE(stops_.empty());
}

TEST_F(Registration, WhatTheComparisonSkipsAndWhatItSees) {
  struct Case {
    std::unique_ptr<db::FileDecl> now;
    bool reported;
  };
  Case cases[] = {
      {SmallFile({}, {}, db::kAttrCreate | db::kAttrReclaim), false},  // right after the owner
      {SmallFile("other"), true},
      {SmallFile({}, "Recover=2"), true},
      {SmallFile(), false},
  };
  AddDriver();
  auto first = SmallFile();
  upg::ds_UsingFile(*first, 3, "SMA", "Small");
  for (Case& c : cases) {
    Restart();
    stops_.clear();
    upg::ds_UsingFile(*c.now, 3, "SMA", "Small");
    EXPECT_EQ(stops_.size(), c.reported ? 1u : 0u) << c.now->Owner() << c.now->SendText();
  }
}

// A stored owner text is compared byte by byte up to its terminator: any
// other owner, of the same length or not, is a change.
TEST_F(Registration, AChangedOwnerIsSeenWhateverItsLength) {
  const struct {
    const char* owner;
    bool reported;
  } cases[] = {
      {"alpha", false}, {"bravo", true}, {"alphb", true}, {"alph", true}, {"alphas", true}, {"", true},
  };
  AddDriver();
  auto first = SmallFile("alpha");
  upg::ds_UsingFile(*first, 4, "SMA", "Small");
  for (const auto& c : cases) {
    Restart();
    stops_.clear();
    auto now = SmallFile(c.owner);
    upg::ds_UsingFile(*now, 4, "SMA", "Small");
    EXPECT_EQ(stops_.size(), c.reported ? 1u : 0u) << c.owner;
  }
  EXPECT_EQ(Stored(), std::vector<std::string>{"Small 4"});
}

TEST_F(Registration, NewStoreIsFilledOnceFromTheOldStore) {
  upg::SetUpgFileName();
  db::FileDecl& old = upg::OldUpgFile();
  db::Create(old);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
  db::Open(old);
  upg::SetOldUpgRecord("Forms", "FOR", "TOPSPEED", 3, std::vector<uint8_t>(10000, 'a'));
  db::Add(old);
  upg::SetOldUpgRecord("Small", "SMA", "TOPSPEED", 1, {'T', 'p', 's', 0});
  db::Add(old);
  ASSERT_EQ(rt::ErrorCode(), 0);
  db::Close(old);

  AddDriver();
  auto small = SmallFile();
  upg::ds_UsingFile(*small, 1, "SMA", "Small");
  // The old (label, version) pairs, and no new row for one already there.
  EXPECT_EQ(Stored(), (std::vector<std::string>{"Forms 3", "Small 1"}));
  // An old serialisation (no leading "1") is not compared with a new one.
  EXPECT_TRUE(stops_.empty());
  EXPECT_EQ(upg::Profiler().skippedCompares, 1);

  upg::SetUpgFileName();
  db::Open(upg::UpgFile(), db::kReadOnly | db::kDenyNone);
  upg::SetUpgKeyFields("Forms", "", 3);
  db::Get(upg::UpgFile(), upg::kUpgKey);
  ASSERT_EQ(rt::ErrorCode(), 0);
  const std::vector<uint8_t>& fmt = upg::UpgFmt();
  EXPECT_EQ(std::count(fmt.begin(), fmt.begin() + 10000, 'a'), 10000);
  EXPECT_EQ(std::count(fmt.begin() + 10000, fmt.end(), ' '), 30000);
  db::Close(upg::UpgFile());

  // An existing store, even an empty one, is never filled again.
  Restart();
  auto other = db::DeclBuilder("Other", "OTH").Driver("ISAM").Field(db::Type::Byte, "A").Build();
  upg::ds_UsingFile(*other, 1, "OTH", "Other");
  EXPECT_EQ(Stored(), (std::vector<std::string>{"Forms 3", "Other 1", "Small 1"}));
}

TEST_F(Registration, TooLargeOrUnknownDriverStoresNothing) {
  AddDriver();
  db::DeclBuilder b("Wide", "WID");
  b.Driver("ISAM").Field(db::Type::Long, "ID");
  for (int k = 0; k < 75; ++k) b.Key("K" + std::to_string(k), {1}, db::kKeyDup);
  auto wide = b.Build();
  auto basic = db::DeclBuilder("Text", "TXT").Driver("BASIC").Field(db::Type::Byte, "A").Build();
  upg::ds_UsingFile(*wide, 1, "WID", "Wide");
  upg::ds_UsingFile(*basic, 1, "TXT", "Text");
  EXPECT_EQ(stops_, (std::vector<std::string>{
                        "RV3: Internal File Format Too Large for RV3. File : Wide",
                        "RV3: Warning - Driver not located - GPF likely Text"}));
  EXPECT_TRUE(Stored().empty());
  EXPECT_EQ(upg::UsedFiles().size(), 2u);  // both still in use
}

TEST_F(Registration, AStoreThatCannotBeOpenedRegistersNothing) {
  // A store made under another owner: the encrypted table refuses ours.
  upg::SetUpgFileName();
  auto foreign = upg::UpgFile().Clone();
  foreign->SetOwner("nottheowner");
  db::Create(*foreign);
  ASSERT_EQ(rt::ErrorCode(), 0);
  AddDriver();
  auto small = SmallFile();
  upg::ds_UsingFile(*small, 1, "SMA", "Small");
  ASSERT_EQ(stops_.size(), 1u);
  EXPECT_EQ(stops_[0].rfind("RV3: Unable to Open UPG file [1] : cause 56 Invalid Password Name:", 0), 0u)
      << stops_[0];
  EXPECT_TRUE(upg::UsedFiles().empty());
}

TEST_F(Registration, ADeclarationThatCannotBeStoredIsNotRegistered) {
  AddDriver();
  auto small = SmallFile();
  upg::ds_UsingFile(*small, 1, "SMA", "Small");  // the store exists
  // Another thread holds a write transaction on the store.
  std::atomic<int> step = 0;
  std::thread holder([&] {
    auto upgCopy = upg::UpgFile().Clone();
    db::Open(*upgCopy);
    db::Logout(1, {upgCopy.get()});
    step = 1;
    while (step != 2) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    db::Rollback();
    db::Close(*upgCopy);
  });
  while (step != 1) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  CommandLine({"/debugrv"});
  Restart();
  upg::SetUpgFileName();
  db::Send(upg::UpgFile(), "Recover=1");  // wait one second for the lock
  auto other = db::DeclBuilder("Other", "OTH").Driver("ISAM").Field(db::Type::Byte, "A").Build();
  upg::ds_UsingFile(*other, 1, "OTH", "Other");
  step = 2;
  holder.join();
  ASSERT_EQ(stops_.size(), 1u);
  EXPECT_EQ(stops_[0].rfind("RV3: Error Writing destination file 5 ", 0), 0u) << stops_[0];
  EXPECT_TRUE(Traced("Error adding to UPG : Other 1"));
  EXPECT_TRUE(upg::UsedFiles().empty());
  EXPECT_EQ(Stored(), std::vector<std::string>{"Small 1"});
}

}  // namespace
