// The wait window shown while a new version store is filled from an old one.
#include <optional>

#include "engine_fixture.h"
#include "velmora/ui/headless.h"
#include "velmora/ui/window.h"

namespace {

using enginetest::Engine;

// Records what the engine's windows show: openings with their texts and
// range, every position of a progress bar, closings.
class Recorder : public ui::HeadlessBackend {
 public:
  void WindowOpened(ui::Window& w) override {
    seen.push_back("open " + w.Get(0, ui::Prop::Text) + " | " + w.Get(w.Number("?STRING1"), ui::Prop::ScreenText) +
                   " | range " + w.Get(2, ui::Prop::RangeLow) + ".." + w.Get(2, ui::Prop::RangeHigh));
  }
  void WindowClosed(ui::Window&) override { seen.push_back("close"); }
  void PropertyChanged(ui::Window& w, int control, ui::Prop p, int) override {
    if (p == ui::Prop::Progress) seen.push_back("at " + w.Get(control, p) + " of " + w.Get(control, ui::Prop::RangeHigh));
  }
  std::vector<std::string> seen;
};

class WaitWindow : public Engine {
 protected:
  void SetUp() override {
    Engine::SetUp();
    ui::SetBackend(&recorder_);
  }
  void TearDown() override {
    ui::SetBackend(nullptr);
    Engine::TearDown();
  }
  // An old store holding `records` declarations.
  void MakeOldStore(int records) {
    upg::SetUpgFileName();
    db::FileDecl& old = upg::OldUpgFile();
    db::Create(old);
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
    db::Open(old);
    for (int k = 1; k <= records; ++k) {
      upg::SetOldUpgRecord("File" + std::to_string(k), "F" + std::to_string(k), "TOPSPEED", 1, {'T', 'p', 's', 0});
      db::Add(old);
      ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
    }
    db::Close(old);
    upg::ResetStore();
  }
  // Registers one file: the first use of the store creates it and fills it.
  void Register() {
    uint8_t byte = 0;
    upg::ds_AddDriver("Tps", *driverFile_, 1, &byte);
    upg::ds_UsingFile(*file_, 1, "NEW", "New");
  }
  long StoredRecords() {
    upg::SetUpgFileName();
    db::Open(upg::UpgFile(), db::kReadOnly | db::kDenyNone);
    long n = rt::ErrorCode() == 0 ? static_cast<long>(db::Records(upg::UpgFile())) : -1;
    db::Close(upg::UpgFile());
    return n;
  }
  Recorder recorder_;
  std::unique_ptr<db::FileDecl> driverFile_ =
      db::DeclBuilder("__GTPS", "__GTPS").Driver("ISAM").Field(db::Type::Byte, "A").Build();
  std::unique_ptr<db::FileDecl> file_ =
      db::DeclBuilder("New", "NEW").Driver("ISAM").Field(db::Type::Long, "ID").Build();
};

TEST_F(WaitWindow, OpensMovesToTheOldStoresRecordCountAndCloses) {
  MakeOldStore(3);
  Register();
  EXPECT_EQ(recorder_.seen, (std::vector<std::string>{
                                "open Please wait. Upgrading old UPG file. | Please wait. Upgrading old UPG file. | "
                                "range 0..3",
                                "at 0 of 3", "at 1 of 3", "at 2 of 3", "at 3 of 3", "close"}));
  EXPECT_TRUE(ui::OpenWindows().empty());
  EXPECT_EQ(StoredRecords(), 4);  // the three old ones and the new file
}

TEST_F(WaitWindow, NeverOpenedWhenSilentOrWithNothingToCopy) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int oldRecords;  // -1: no old store at all
    long stored;
  };
  for (const Case& c : std::vector<Case>{{"silent upgrading", {"/silentupgrading"}, 2, 3},
                                         {"empty old store", {}, 0, 1},
                                         {"no old store", {}, -1, 1}}) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(std::filesystem::path("prog") / "Upg.Tps");
    upg::ResetRegistration();
    CommandLine(c.args);
    if (c.oldRecords >= 0) MakeOldStore(c.oldRecords);
    recorder_.seen.clear();
    Register();
    EXPECT_TRUE(recorder_.seen.empty()) << recorder_.seen.front();
    EXPECT_TRUE(ui::OpenWindows().empty());
    EXPECT_EQ(StoredRecords(), c.stored);
  }
}

}  // namespace
