// The program's data files with the upgrade engine: the start-up
// registration fills the version store once, every declaration survives
// the store byte for byte, and every data file opens through the hook.
#include <stdlib.h>

#include "fixture.h"
#include "velmora/app/program.h"
#include "velmora/data/dictionary.h"
#include "velmora/files/files.h"
#include "velmora/runtime/cmdline.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/paths.h"
#include "velmora/runtime/system.h"
#include "velmora/upgrade/format.h"
#include "velmora/upgrade/registration.h"
#include "velmora/upgrade/store.h"

namespace {

using data::FileId;

class AppEngine : public cltest::TempFolder {
 protected:
  void SetUp() override {
    TempFolder::SetUp();
    setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    rt::SetCommandLine({rt::WindowsPath((dir_ / "velmora").string()), "/debugrv"});
    upg::ResetRegistration();
    rt::SetStopHandler([this](std::string_view text) {
      stops_.emplace_back(text);
      return false;
    });
    rt::SetDebugSink([this](std::string_view line) { traces_.emplace_back(line); });
  }
  void TearDown() override {
    db::SetOpenHook({});
    rt::SetStopHandler(nullptr);
    rt::SetDebugSink(nullptr);
    upg::ResetRegistration();
    unsetenv("XDG_CONFIG_HOME");
    TempFolder::TearDown();
  }
  std::vector<std::string> Stored() {
    db::FileDecl& upg = upg::UpgFile();
    db::Open(upg, db::kReadOnly | db::kDenyNone);
    std::vector<std::string> out;
    db::Set(upg, upg::kUpgKey);
    for (db::Next(upg); rt::ErrorCode() == 0; db::Next(upg))
      out.push_back(upg::UpgLabel() + " " + std::to_string(upg::UpgVersion()) + " " +
                    upg::UpgPrefix());
    db::Close(upg);
    return out;
  }
  std::vector<std::string> stops_, traces_;
};

TEST_F(AppEngine, StartUpStoresEachDeclarationOnce) {
  data::CreateFileManagers();
  app::RegisterDataFiles(app::UpgradeEngine());
  // In the order of UPG:KEY, which ignores case.
  const std::vector<std::string> expected = {
      "AliasFilledForm 1 ALI", "FieldValues 1 FIE", "FilledData 0 FIL1", "FilledForm 1 FIL",
      "FormPages 1 FOR1",      "Forms 5 FOR",       "PageControls 5 PAG", "PDFDetails 0 PDF"};
  EXPECT_EQ(Stored(), expected);
  EXPECT_EQ(upg::UsedFiles().size(), 8u);
  EXPECT_TRUE(stops_.empty());

  // The next start finds every declaration stored and unchanged.
  upg::ResetRegistration();
  app::RegisterDataFiles(app::UpgradeEngine());
  upg::SetUpgFileName();
  EXPECT_EQ(Stored(), expected);
  EXPECT_EQ(upg::UsedFiles().size(), 8u);
  EXPECT_TRUE(stops_.empty());
  data::StopDictionary();
}

TEST_F(AppEngine, EveryDeclarationRoundTripsThroughItsSerialisation) {
  uint8_t byte = 0;
  upg::ds_AddDriver("Tps", app::GTPS(), 1, &byte);
  auto text = db::DeclBuilder("x", "x").Driver("BASIC").Field(db::Type::Byte, "A").Build();
  upg::ds_AddDriver("Bas", *text, 1, &byte);  // ImportFields' driver, for this test only
  for (int i = 0; i < data::kFileCount; ++i) {
    const db::FileDecl& decl = data::Declaration(static_cast<FileId>(i));
    rt::Long size = upg::ReadFormat(decl);
    ASSERT_GT(size, 2) << decl.Label();
    std::vector<uint8_t> first(upg::UpgFmt().begin(), upg::UpgFmt().begin() + (size - 1));
    auto rebuilt = upg::ParseFormat(first);
    ASSERT_NE(rebuilt, nullptr) << decl.Label();
    ASSERT_EQ(upg::ReadFormat(*rebuilt), size) << decl.Label();
    EXPECT_TRUE(std::equal(first.begin(), first.end(), upg::UpgFmt().begin())) << decl.Label();
    if (decl.DriverName() != "ISAM") continue;
    // The file the program creates opens with the rebuilt declaration.
    auto own = decl.Clone();
    db::Create(*own);
    ASSERT_EQ(rt::ErrorCode(), 0) << decl.Label();
    rebuilt->SetName(decl.Name());
    db::Open(*rebuilt);
    EXPECT_EQ(rt::ErrorCode(), 0) << decl.Label() << ": " << rt::ErrorText();
    db::Close(*rebuilt);
  }
}

TEST_F(AppEngine, MissingDataFilesPassTheHookAndAreCreated) {
  upg::InstallOpenHook();
  data::CreateFileManagers();
  data::StartRelationManagers();
  app::RegisterDataFiles(app::UpgradeEngine());
  data::Dictionary& d = data::ThisThread();
  for (FileId id : {FileId::Forms, FileId::PageControls, FileId::FilledData}) {
    traces_.clear();
    EXPECT_EQ(d.Access(id)->Open(), 0);
    EXPECT_TRUE(d.Access(id)->IsOpen());
    // The first open went to the upgrade, which had nothing to convert.
    bool upgraded = false;
    for (const std::string& t : traces_)
      upgraded |= t.find("About to upgrade file : reason File Not Found 2") != std::string::npos;
    EXPECT_TRUE(upgraded) << d.File(id).Label();
    d.Access(id)->Close();
  }
  EXPECT_EQ(*upg::GetUpgradingFlag(), 0);
  EXPECT_TRUE(stops_.empty());
  data::StopDictionary();
}

}  // namespace
