#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "velmora/files/decl.h"
#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"
#include "velmora/upgrade/registration.h"

namespace {

namespace fs = std::filesystem;

std::unique_ptr<db::FileDecl> SmallFile(std::string name = ".\\data\\small.tps") {
  return db::DeclBuilder("Small", "SMA")
      .Driver("ISAM")
      .Name(std::move(name))
      .Field(db::Type::Long, "ID")
      .Key("ID_Key", {1}, db::kKeyNoCase | db::kKeyOpt)
      .Build();
}

class UpgradeRegistration : public ::testing::Test {
 protected:
  void SetUp() override { upg::ResetRegistration(); }
  void TearDown() override { upg::ResetRegistration(); }
};

TEST_F(UpgradeRegistration, OptionNamesInAnyCase) {
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

TEST_F(UpgradeRegistration, ListsKeepTheirOrderAndCase) {
  auto file = SmallFile();
  uint8_t byte = 0;
  upg::ds_AddDriver("Tps", *file, 1, &byte);
  upg::ds_AddDriver("Mss", *file, 1, &byte);
  ASSERT_EQ(upg::Drivers().size(), 2u);
  EXPECT_EQ(upg::Drivers()[0].name, "Tps");
  EXPECT_EQ(upg::Drivers()[0].entry, file->DriverEntry());
  EXPECT_EQ(upg::Drivers()[1].name, "Mss");
  EXPECT_EQ(upg::ServerSlotOf("mss")->file, file.get());
  EXPECT_EQ(upg::ServerSlotOf("ORA")->file, nullptr);
  EXPECT_EQ(upg::ServerSlotOf("Tps"), nullptr);
  EXPECT_FALSE(upg::OldDatDriverPresent());
  upg::ds_AddDriver("tav", *file, 1, &byte);
  EXPECT_TRUE(upg::OldDatDriverPresent());

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

TEST_F(UpgradeRegistration, PrefixIsRegisteredOnce) {
  auto a = SmallFile(), b = SmallFile(), c = SmallFile();
  upg::ds_UsingFile(*a, 5, "FOR", "Forms");
  upg::ds_UsingFile(*b, 7, "for", "Other");
  upg::ds_UsingFile(*c, -1, "ALI", "AliasFilledForm");
  ASSERT_EQ(upg::UsedFiles().size(), 2u);
  EXPECT_EQ(upg::UsedFiles()[0].prefix, "ALI");
  EXPECT_EQ(upg::UsedFiles()[0].version, -1);
  EXPECT_EQ(upg::UsedFiles()[1].prefix, "FOR");
  EXPECT_EQ(upg::UsedFiles()[1].version, 5);
  EXPECT_EQ(upg::UsedFiles()[1].label, "Forms");
  EXPECT_EQ(upg::UsedFiles()[1].file, a.get());
}

class UpgradeOpenHook : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/upgrade_test_XXXXXX";
    dir_ = mkdtemp(tmpl);
    old_ = fs::current_path();
    fs::current_path(dir_);
    fs::create_directory("data");
    upg::InstallOpenHook();
  }
  void TearDown() override {
    db::SetOpenHook({});
    fs::current_path(old_);
    fs::remove_all(dir_);
  }
  fs::path dir_, old_;
};

TEST_F(UpgradeOpenHook, MissingFileIsReportedNotCreated) {
  auto f = SmallFile();
  db::HookedOpen(*f, db::kReadWrite | db::kDenyNone);
  EXPECT_EQ(rt::ErrorCode(), rt::kFileNotFound);
  EXPECT_EQ(*upg::GetUpgradingFlag(), 0);
  EXPECT_FALSE(fs::exists("data/small.tps"));
}

TEST_F(UpgradeOpenHook, OpensAnExistingFilePlainly) {
  auto f = SmallFile();
  db::Create(*f);
  ASSERT_EQ(rt::ErrorCode(), 0);
  db::HookedOpen(*f, db::kReadWrite | db::kDenyNone);
  EXPECT_EQ(rt::ErrorCode(), 0);
  EXPECT_TRUE(db::IsOpen(*f));
  EXPECT_EQ(*upg::GetUpgradingFlag(), 0);
  db::Close(*f);
}

}  // namespace
