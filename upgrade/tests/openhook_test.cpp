// The open hook: plain opens, the error table, the crash marker, the
// final-open failure and the one critical section.
#include <atomic>
#include <thread>

#include "engine_fixture.h"
#include "velmora/runtime/ini.h"
#include "velmora/upgrade/sql_entry.h"

namespace {

using enginetest::Engine;

std::unique_ptr<db::FileDecl> SmallFile(std::string name = ".\\data\\small.tps") {
  return db::DeclBuilder("Small", "SMA")
      .Driver("ISAM")
      .Name(std::move(name))
      .Attributes(db::kAttrCreate)
      .Field(db::Type::Long, "ID")
      .Key("ID_Key", {1}, db::kKeyNoCase | db::kKeyOpt)
      .Build();
}

class OpenHook : public Engine {
 protected:
  void SetUp() override {
    Engine::SetUp();
    CommandLine({"/debugrv"});
    Register("Tps");
    upg::InstallOpenHook();
    // The version store exists (a registered file made it), so a
    // conversion gets as far as the file's registration.
    upg::SetUpgFileName();
    db::Create(upg::UpgFile());
  }
  void TearDown() override {
    db::SetOpenHook({});
    Engine::TearDown();
  }
  void Register(const char* code) {
    uint8_t byte = 0;
    upg::ds_AddDriver(code, *gtps_, 1, &byte);
  }
  // Every runtime open fails with `code` (0 opens for real).
  void FailOpensWith(int code) {
    upg::SetRuntimeOpen([this, code](db::FileDecl& f, uint32_t mode) {
      ++opens_;
      if (code == 0) return db::Open(f, mode);
      rt::SetError(code);
    });
  }
  std::string Marker() const { return rt::GetIni("velmora", "BadFile", "", WinIni()); }

  std::unique_ptr<db::FileDecl> gtps_ =
      db::DeclBuilder("__GTPS", "__GTPS").Driver("ISAM").Field(db::Type::Byte, "A").Build();
  int opens_ = 0;
};

TEST_F(OpenHook, ViewsAndUnregisteredDriversOpenPlainly) {
  FailOpensWith(0);
  auto view = SmallFile("");
  db::HookedOpen(*view, 0x22);
  EXPECT_EQ(opens_, 1);
  EXPECT_TRUE(Traced("Ignoring \"phantom\" file: Small"));
  EXPECT_EQ(*upg::GetUpgradingFlag(), 0);

  auto text = db::DeclBuilder("Text", "TXT").Driver("BASIC").Name("missing.csv")
                  .Field(db::Type::String, "A", 4).Build();
  db::HookedOpen(*text, 0x42);
  EXPECT_EQ(rt::ErrorCode(), rt::kFileNotFound);
  EXPECT_EQ(opens_, 2);
  EXPECT_TRUE(Traced("Driver not used : File Opened. This caused an error : 2 File Not Found"));
  EXPECT_FALSE(Traced("ds_UpgradeFile In"));
}

TEST_F(OpenHook, ErrorTable) {
  struct Case {
    int code;
    bool upgraded;
  };
  const Case cases[] = {{2, true},  {30, true}, {36, true},  {47, true}, {88, true},
                        {46, false}, {5, false}, {52, false}, {33, false}};
  auto f = SmallFile();
  for (const Case& c : cases) {
    traces_.clear();
    opens_ = 0;
    FailOpensWith(c.code);
    db::HookedOpen(*f, 0x42);
    EXPECT_EQ(rt::ErrorCode(), c.code);  // the caller sees the (re)open's error
    EXPECT_EQ(opens_, c.upgraded ? 2 : 1) << c.code;
    EXPECT_EQ(Traced("ds_UpgradeFile In"), c.upgraded) << c.code;
    EXPECT_EQ(*upg::GetUpgradingFlag(), 0);
  }
  EXPECT_TRUE(stops_.empty());
  EXPECT_TRUE(halts_.empty());
}

TEST_F(OpenHook, MissingFileGoesToTheUpgradeAndStaysMissing) {
  auto f = SmallFile();
  db::HookedOpen(*f, 0x42);
  EXPECT_EQ(rt::ErrorCode(), rt::kFileNotFound);
  EXPECT_TRUE(Traced("About to upgrade file : reason File Not Found 2 IsSQLDriver: 0"));
  EXPECT_FALSE(std::filesystem::exists("data/small.tps"));
}

TEST_F(OpenHook, KeysToRebuildUpgradeOnlyWithTheirSwitch) {
  auto f = SmallFile();
  db::Create(*f);
  db::Open(*f);
  db::Append(*f);  // records without key updates until the keys are built
  db::Close(*f);
  db::HookedOpen(*f, 0x42);
  EXPECT_EQ(rt::ErrorCode(), rt::kKeysMustBeRebuilt);
  EXPECT_FALSE(Traced("ds_UpgradeFile In"));
  db::Close(*f);

  CommandLine({"/debugrv", "/rv246"});
  db::HookedOpen(*f, 0x42);
  EXPECT_TRUE(Traced("Finshed upgrade file"));
  EXPECT_EQ(rt::ErrorCode(), rt::kKeysMustBeRebuilt);  // nothing was converted
  EXPECT_TRUE(db::IsOpen(*f));
  db::Close(*f);
}

TEST_F(OpenHook, CrashMarkerOnlyDuringTheOpen) {
  auto f = SmallFile();
  db::Create(*f);
  std::vector<std::string> during;
  upg::SetRuntimeOpen([&](db::FileDecl& file, uint32_t mode) {
    during.push_back(Marker());
    db::Open(file, mode);
  });
  db::HookedOpen(*f, 0x42);  // "badfile" is on by default
  EXPECT_EQ(rt::ErrorCode(), 0);
  db::Close(*f);
  EXPECT_EQ(during, std::vector<std::string>{".\\data\\small.tps"});
  EXPECT_EQ(Marker(), "");

  upg::ds_SetOption("BadFile", "0");
  std::filesystem::remove(WinIni());
  db::HookedOpen(*f, 0x42);
  db::Close(*f);
  EXPECT_EQ(during.back(), "");
  EXPECT_FALSE(std::filesystem::exists(WinIni()));
}

TEST_F(OpenHook, FinalOpenFailureHaltsWithAnErrorCodeAndKeepsTheMarker) {
  struct Case {
    const char* code;  // the driver's registered code
    int error;
    const char* box;
  };
  const Case cases[] = {
      {"Tps", 90, "RV3: File Corrupt. Restart program to invoke AutoFix. Name : .\\data\\small.tps"},
      {"Btr", 90, "RV3: Unable to open file. Check to be sure the Pervasive Database Engine is running. Name : .\\data\\small.tps"},
      {"Xyz", 90, "RV3: Unable to open file. Errorcode 90 received. Name : .\\data\\small.tps"},
      {"Xyz", 530, "RV3: File Corrupt. Restart program to invoke AutoFix. Name : .\\data\\small.tps"},
  };
  auto f = SmallFile();
  for (bool endAtStop : {false, true}) {
    for (const Case& c : cases) {
      upg::ResetRegistration();
      CommandLine({"/debugrv"});
      Register(c.code);
      stops_.clear();
      halts_.clear();
      endAtStop_ = endAtStop;
      std::filesystem::remove(WinIni());
      FailOpensWith(c.error);
      db::HookedOpen(*f, 0x42);
      EXPECT_EQ(stops_, std::vector<std::string>{c.box});
      ASSERT_FALSE(halts_.empty()) << c.code;
      for (int code : halts_) EXPECT_EQ(code, upg::kFinalOpenExitCode);
      EXPECT_EQ(Marker(), ".\\data\\small.tps");
    }
  }
  // With "/rv290" error 90 is an upgrade case instead.
  upg::ResetRegistration();
  CommandLine({"/debugrv", "/rv290"});
  Register("Tps");
  stops_.clear();
  halts_.clear();
  FailOpensWith(90);
  db::HookedOpen(*f, 0x42);
  EXPECT_TRUE(stops_.empty());
  EXPECT_TRUE(halts_.empty());
  EXPECT_TRUE(Traced("Finshed upgrade file"));
}

TEST_F(OpenHook, OwnerNeverReachesTheTrace) {
  CommandLine({"/debugrvfull"});
  upg::ResetRegistration();
  upg::ReadSwitches();
  Register("Tps");
  auto f = db::DeclBuilder("Secret", "SEC").Driver("ISAM").Name(".\\data\\secret.tps")
               .Owner("hunter2-owner").Attributes(db::kAttrCreate | db::kAttrEncrypt)
               .Field(db::Type::Long, "ID").Build();
  db::Create(*f);
  db::HookedOpen(*f, 0x42);
  EXPECT_EQ(rt::ErrorCode(), 0);
  db::Close(*f);
  upg::ds_UsingFile(*f, 1, "SEC", "Secret");
  ASSERT_FALSE(traces_.empty());
  EXPECT_TRUE(Traced("Opening file: .\\data\\secret.tps, driver: TPS, owner:"));
  for (const std::string& line : traces_) {
    EXPECT_EQ(line.find("hunter2-owner"), std::string::npos) << line;
    EXPECT_EQ(line.find(upg::UpgOwner()), std::string::npos) << line;
  }
}

TEST_F(OpenHook, LongNamesAndErrorTextsNeverOverflowALine) {
  CommandLine({"/debugrvfull"});
  upg::ResetRegistration();
  Register("Tps");
  auto f = SmallFile(".\\data\\" + std::string(40000, 'n') + ".tps");
  upg::SetRuntimeOpen([](db::FileDecl& file, uint32_t) {
    rt::SetFileError(rt::kDriverError, 99, std::string(50000, 'e'), file.Name());
  });
  db::HookedOpen(*f, 0x42);
  ASSERT_EQ(stops_.size(), 1u);
  EXPECT_EQ(stops_[0].substr(0, 19), "RV3: File Corrupt. ");
  ASSERT_TRUE(Traced("Opening .\\data\\nnn"));
  for (const std::string& line : traces_) EXPECT_LE(line.size(), 29999u);
}

TEST_F(OpenHook, ConnectionStringsAreMaskedBeforeTheyAreTraced) {
  const std::string m = "****************";
  struct Case {
    const char* code;
    const char* owner;
    std::string masked;
  };
  const Case cases[] = {
      {"MSS", "srv,db,user,secret", "srv,db,user," + m},
      {"ORA", "scott,tiger", "scott," + m},
      {"ORA", "scott/tiger@orcl", "scott/" + m + "@orcl"},
      {"ASA", "db,user,secret", "db,user," + m},
      {"ODB", "DSN=x;UID=u;PWD=secret;X=1", "DSN=x;UID=u;PWD=" + m + ";X=1"},
      {"ODB", "DSN=x;Password=secret", "DSN=x;PASSWORD=" + m},
      {"ODB", "dsn,user,secret", "dsn,user," + m},
      {"TPS", "an-isam-owner", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(upg::ds_EncryptOwner(c.code, c.owner), c.masked) << c.owner;
}

TEST_F(OpenHook, OneOpenAtATime) {
  std::atomic<int> inside = 0, most = 0, busyAtOnce = 0;
  upg::SetRuntimeOpen([&](db::FileDecl&, uint32_t) {
    int now = ++inside;
    most = std::max(most.load(), now);
    if (*upg::GetUpgradingFlag() != 1) ++busyAtOnce;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    --inside;
    rt::ClearError();
  });
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t)
    threads.emplace_back([] {
      auto f = SmallFile();
      for (int i = 0; i < 5; ++i) upg::ds_FileOpen(*f, 0x42);
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(most, 1);
  EXPECT_EQ(busyAtOnce, 0);
  EXPECT_EQ(*upg::GetUpgradingFlag(), 0);
}

}  // namespace
