// The upgrade driver end to end: a file written under an older stored
// declaration is converted when it is opened with the new one; the stored
// versions are tried newest first, the old file is moved to its backup
// name and removed only when every record is in the new file; every way
// a conversion can stop keeps or restores the old data.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "../../platform/files/tests/scratch_disk.h"
#include "engine_fixture.h"
#include "velmora/classlib/filemanager.h"
#include "velmora/ui/headless.h"
#include "velmora/ui/window.h"
#include "velmora/upgrade/conversion.h"
#include "velmora/upgrade/upgrade_file.h"

namespace {

namespace fs = std::filesystem;
using enginetest::Engine;
using enginetest::Get;
using enginetest::GetText;
using enginetest::Put;
using enginetest::PutText;
using db::Type;

constexpr uint32_t kUnique = db::kKeyNoCase | db::kKeyOpt;
constexpr uint32_t kDup = kUnique | db::kKeyDup;

// Version 1 of the People file: ID, NAME STRING(20), AGE SHORT, a photo.
std::unique_ptr<db::FileDecl> PeopleV1(uint32_t nameKey = kDup) {
  return db::DeclBuilder("People", "PEO")
      .Driver("ISAM")
      .Name(".\\data\\people.tps")
      .Attributes(db::kAttrCreate)
      .Field(Type::Long, "ID")
      .Field(Type::String, "NAME", 20)
      .Field(Type::Short, "AGE")
      .Key("ID_Key", {1}, kUnique)
      .Key("Name_Key", {2}, nameKey)
      .Memo("PHOTO", db::kMemoBinary, 0)
      .Build();
}

// Version 2: NAME retyped and resized, AGE widened, CITY added, a key on
// AGE added, NAME's key as given.
std::unique_ptr<db::FileDecl> PeopleV2(uint32_t nameKey = kDup) {
  return db::DeclBuilder("People", "PEO")
      .Driver("ISAM")
      .Name(".\\data\\people.tps")
      .Attributes(db::kAttrCreate)
      .Field(Type::Long, "ID")
      .Field(Type::CString, "NAME", 30)
      .Field(Type::Long, "AGE")
      .Field(Type::String, "CITY", 10)
      .Key("ID_Key", {1}, kUnique)
      .Key("Name_Key", {2}, nameKey)
      .Key("Age_Key", {3}, kDup)
      .Memo("PHOTO", db::kMemoBinary, 0)
      .Build();
}

// Version 3: CITY removed again.
std::unique_ptr<db::FileDecl> PeopleV3() {
  return db::DeclBuilder("People", "PEO")
      .Driver("ISAM")
      .Name(".\\data\\people.tps")
      .Attributes(db::kAttrCreate)
      .Field(Type::Long, "ID")
      .Field(Type::CString, "NAME", 30)
      .Field(Type::Long, "AGE")
      .Key("ID_Key", {1}, kUnique)
      .Memo("PHOTO", db::kMemoBinary, 0)
      .Build();
}

// Version 2 with NAME renamed FULLNAME and a new CITY.
std::unique_ptr<db::FileDecl> PeopleRenamed() {
  return db::DeclBuilder("People", "PEO")
      .Driver("ISAM")
      .Name(".\\data\\people.tps")
      .Attributes(db::kAttrCreate)
      .Field(Type::Long, "ID")
      .Field(Type::CString, "FULLNAME", 30)
      .Field(Type::Short, "AGE")
      .Field(Type::String, "CITY", 10)
      .Key("ID_Key", {1}, kUnique)
      .Memo("PHOTO", db::kMemoBinary, 0)
      .Build();
}

std::string Name(int i) { return "Person " + std::to_string(i); }
// Photos of every size: none, a few bytes, and one of 3 MB.
std::vector<uint8_t> Photo(int i) {
  size_t size = i == 3 ? 3u << 20 : i % 5 == 0 ? 0 : static_cast<size_t>(i) * 97;
  std::vector<uint8_t> b(size);
  for (size_t k = 0; k < size; ++k) b[k] = static_cast<uint8_t>(k * 31 + static_cast<size_t>(i));
  return b;
}

bool Exists(const std::string& p) { return fs::exists(p); }

class Upgrade : public Engine {
 protected:
  void SetUp() override {
    Engine::SetUp();
    CommandLine({"/debugrv"});
    upg::InstallOpenHook();
    upg::RVQ().clear();
    ui::SetBackend(&headless_);
  }
  void TearDown() override {
    ui::SetBackend(nullptr);
    upg::SetConversionProbe(nullptr);
    db::SetOpenHook({});
    Engine::TearDown();
  }
  // A start of the program that declares `f` at `version`.
  void Register(db::FileDecl& f, int version) {
    upg::ResetRegistration();
    uint8_t byte = 0;
    upg::ds_AddDriver("Tps", *gtps_, 1, &byte);
    for (auto& [d, s] : alternates_) upg::ds_AlternateFieldName(d, s);
    upg::ds_UsingFile(f, static_cast<rt::Short>(version), "PEO", "People");
  }
  // Writes `n` people through version 1 (registered first).
  void WriteV1(int n, uint32_t nameKey = kDup, const std::string& name = {}) {
    auto f = PeopleV1(nameKey);
    if (!name.empty()) f->SetName(name);
    Register(*f, 1);
    db::HookedOpen(*f, 0x42);
    ASSERT_EQ(rt::ErrorCode(), rt::kFileNotFound);
    db::Create(*f);
    db::Open(*f);
    for (int i = 1; i <= n; ++i) {
      f->ClearRecord();
      Put<int32_t>(*f, "PEO:ID", i);
      PutText(*f, "PEO:NAME", Name(i));
      Put<int16_t>(*f, "PEO:AGE", static_cast<int16_t>(20 + i % 50));
      f->Memos()[0].data = Photo(i);
      db::Add(*f);
      ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
    }
    db::Close(*f);
  }
  // Every person of 1..n with its photo, read in ID order.
  void ExpectPeople(db::FileDecl& f, int n, bool v2Fields = true) {
    EXPECT_EQ(db::Records(f), static_cast<uint32_t>(n));
    db::Set(f, 1);
    for (int i = 1; i <= n; ++i) {
      db::Next(f);
      ASSERT_EQ(rt::ErrorCode(), 0) << i << " " << rt::ErrorText();
      EXPECT_EQ(Get<int32_t>(f, "PEO:ID"), i);
      EXPECT_EQ(GetText(f, "PEO:NAME"), Name(i));
      if (v2Fields) {
        EXPECT_EQ(Get<int32_t>(f, "PEO:AGE"), 20 + i % 50);
        if (f.FieldIndex("PEO:CITY") >= 0) {
          EXPECT_EQ(GetText(f, "PEO:CITY"), "");
        }
      }
      EXPECT_TRUE(f.Memos()[0].data == Photo(i)) << "photo of " << i;
    }
  }
  bool NoLeftovers() const {
    return !Exists("dstmp001") && !Exists("data/people.tps.rv3") && !Exists("data/people.tps.cnv");
  }

  ui::HeadlessBackend headless_;
  std::unique_ptr<db::FileDecl> gtps_ =
      db::DeclBuilder("__GTPS", "__GTPS").Driver("ISAM").Field(Type::Byte, "A").Build();
  std::vector<std::pair<std::string, std::string>> alternates_;
};

TEST_F(Upgrade, ConvertsEveryRecordWithItsBlobs) {
  WriteV1(25);
  auto f = PeopleV2();
  Register(*f, 2);
  db::HookedOpen(*f, 0x42);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
  ExpectPeople(*f, 25);
  // The keys work: a key lookup and the new key's order.
  Put<int32_t>(*f, "PEO:ID", 17);
  db::Get(*f, 1);
  EXPECT_EQ(rt::ErrorCode(), 0);
  EXPECT_EQ(GetText(*f, "PEO:NAME"), Name(17));
  db::Set(*f, 3);
  int32_t last = -1;
  for (db::Next(*f); rt::ErrorCode() == 0; db::Next(*f)) {
    EXPECT_GE(Get<int32_t>(*f, "PEO:AGE"), last);
    last = Get<int32_t>(*f, "PEO:AGE");
  }
  db::Close(*f);
  EXPECT_TRUE(NoLeftovers());
  ASSERT_EQ(upg::RVQ().size(), 1u);
  EXPECT_EQ(upg::RVQ()[0].prefix, "PEO");
  EXPECT_EQ(upg::RVQ()[0].fileName, ".\\data\\people.tps");
  EXPECT_EQ(upg::RVQ()[0].fromVersion, 1);
  EXPECT_EQ(upg::RVQ()[0].toVersion, 2);
  EXPECT_TRUE(Traced("File renamed: dstmp001 err:"));
  EXPECT_TRUE(Traced("records converted : 25 final error : "));
  EXPECT_TRUE(stops_.empty()) << stops_[0];
  EXPECT_EQ(*upg::GetUpgradingFlag(), 0);
}

TEST_F(Upgrade, NewestStoredVersionFirstAndDowngradeFromTheTop) {
  WriteV1(3);
  // Versions 2 and 3 are stored; 3 is declared, the file is in 1.
  auto v2 = PeopleV2();
  Register(*v2, 2);
  auto v3 = PeopleV3();
  Register(*v3, 3);
  traces_.clear();
  db::HookedOpen(*v3, 0x42);
  ASSERT_EQ(rt::ErrorCode(), 0);
  ExpectPeople(*v3, 3);
  db::Close(*v3);
  std::vector<std::string> tried;
  for (const std::string& t : Traced())
    if (t.rfind("trying ", 0) == 0) tried.push_back(t.substr(0, t.find(" UPG")));
  EXPECT_EQ(tried, (std::vector<std::string>{"trying PEO 3", "trying PEO 2", "trying PEO 1"}));
  EXPECT_EQ(upg::RVQ().back().fromVersion, 1);

  // A file written by version 3 while version 2 is declared: not found
  // below 2, so the file stays; with /DOWNGRADE the search starts at the
  // top after a warning.
  Register(*v2, 2);
  traces_.clear();
  db::HookedOpen(*v2, 0x42);
  EXPECT_EQ(rt::ErrorCode(), rt::kInvalidRecordDeclaration);
  EXPECT_TRUE(Traced("No matching structure found - searching for pre-super files"));
  CommandLine({"/debugrv", "/DOWNGRADE"});
  db::HookedOpen(*v2, 0x42);
  ASSERT_EQ(rt::ErrorCode(), 0);
  EXPECT_EQ(stops_, std::vector<std::string>{"Warning : Possibly about to Downgrade Files"});
  ExpectPeople(*v2, 3);
  db::Close(*v2);
  EXPECT_EQ(upg::RVQ().back().fromVersion, 3);
  EXPECT_EQ(upg::RVQ().back().toVersion, 2);
}

TEST_F(Upgrade, MissingFileIsNotConverted) {
  auto f = PeopleV2();
  Register(*f, 2);
  db::HookedOpen(*f, 0x42);
  EXPECT_EQ(rt::ErrorCode(), rt::kFileNotFound);
  EXPECT_TRUE(Traced("RV3: Errorcode 2 File Not Found! : .\\data\\people.tps"));
  EXPECT_TRUE(upg::RVQ().empty());
  EXPECT_TRUE(NoLeftovers());
  EXPECT_FALSE(Exists("data/people.tps"));
}

TEST_F(Upgrade, BackupNames) {
  // "backup" 0: the first free "dstmp" name, removed at the end; a name
  // already taken is left alone.
  WriteV1(4);
  { std::ofstream("dstmp001") << "someone else's"; }
  auto f = PeopleV2();
  Register(*f, 2);
  db::HookedOpen(*f, 0x42);
  ASSERT_EQ(rt::ErrorCode(), 0);
  db::Close(*f);
  EXPECT_TRUE(Traced("File renamed: dstmp002 err:"));
  EXPECT_FALSE(Exists("dstmp002"));
  std::ifstream kept("dstmp001");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "someone else's");

  // "backup" 2: moved to the folder + the first 5 characters + n, kept.
  fs::remove("data/people.tps");
  WriteV1(4);
  Register(*f, 2);
  upg::ds_SetOption("backup", "2");
  db::HookedOpen(*f, 0x42);
  ASSERT_EQ(rt::ErrorCode(), 0);
  ExpectPeople(*f, 4);
  db::Close(*f);
  auto old = PeopleV1();
  old->SetName(".\\data\\peopl001");
  db::Open(*old);
  EXPECT_EQ(rt::ErrorCode(), 0);
  EXPECT_EQ(db::Records(*old), 4u);
  db::Close(*old);

  // "backup" 1: copied there (the next number), the file built anew.
  fs::remove("data/people.tps");
  WriteV1(4);
  Register(*f, 2);
  upg::ds_SetOption("backup", "1");
  db::HookedOpen(*f, 0x42);
  ASSERT_EQ(rt::ErrorCode(), 0);
  ExpectPeople(*f, 4);
  db::Close(*f);
  EXPECT_TRUE(Traced("File copied: .\\data\\peopl002 err:"));
  EXPECT_TRUE(Exists("data/peopl002"));
  EXPECT_FALSE(Exists("data/people.tps.rv3"));
}

TEST_F(Upgrade, ATableOfAMultiTableFileConvertsAndTheOtherTableStays) {
  const std::string people = ".\\data\\multi.tps\\!people";
  auto other = db::DeclBuilder("Other", "OTH")
                   .Driver("ISAM")
                   .Name(".\\data\\multi.tps\\!other")
                   .Field(Type::Long, "N")
                   .Build();
  for (const char* backup : {"0", "1", "2"}) {
    SCOPED_TRACE(backup);
    fs::remove_all("data");
    fs::create_directories("data");
    WriteV1(6, kDup, people);
    db::Create(*other);
    db::Open(*other);
    for (int32_t i = 1; i <= 3; ++i) {
      Put<int32_t>(*other, "OTH:N", i);
      db::Add(*other);
    }
    db::Close(*other);
    auto f = PeopleV2();
    f->SetName(people);
    Register(*f, 2);
    upg::ds_SetOption("backup", backup);
    stops_.clear();
    db::HookedOpen(*f, 0x42);
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
    ExpectPeople(*f, 6);
    db::Close(*f);
    EXPECT_TRUE(stops_.empty()) << stops_[0];
    db::Open(*other);
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
    EXPECT_EQ(db::Records(*other), 3u);
    db::Close(*other);
    EXPECT_FALSE(Exists("data/multi.tps.cnv"));
    EXPECT_FALSE(Exists("data/multi.tps.rv3"));
    EXPECT_FALSE(Exists("dstmp001"));
    if (std::string(backup) == "0") {
      for (const auto& e : fs::directory_iterator("data"))
        EXPECT_EQ(e.path().string().rfind("data/multi.tps", 0), 0u) << e.path();
    } else {  // the old file, its table part kept, beside it
      auto old = PeopleV1();
      old->SetName(".\\data\\multi001.tps\\!people");
      db::Open(*old);
      ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
      EXPECT_EQ(db::Records(*old), 6u);
      db::Close(*old);
    }
  }
}

TEST_F(Upgrade, UniqueKeyViolatedByOldDataKeepsTheOldFileAndSaysSo) {
  WriteV1(6, kDup);
  // Two people with one name.
  {
    auto f = PeopleV1();
    db::Open(*f);
    f->ClearRecord();
    Put<int32_t>(*f, "PEO:ID", 7);
    PutText(*f, "PEO:NAME", Name(2));
    db::Add(*f);
    db::Close(*f);
  }
  auto f = PeopleV2(kUnique);
  Register(*f, 2);
  db::HookedOpen(*f, 0x42);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
  EXPECT_EQ(db::Records(*f), 6u);  // the keys work and hold the rest
  PutText(*f, "PEO:NAME", Name(5));
  db::Get(*f, 2);
  EXPECT_EQ(Get<int32_t>(*f, "PEO:ID"), 5);
  db::Close(*f);
  ASSERT_EQ(stops_.size(), 1u);
  EXPECT_EQ(stops_[0],
            "RV3: 1 of 7 records were not converted (1 would duplicate a unique key). File : "
            ".\\data\\people.tps. The old data is kept in dstmp001");
  auto old = PeopleV1();
  old->SetName("dstmp001");
  db::Open(*old);
  EXPECT_EQ(db::Records(*old), 7u);
  db::Close(*old);
  EXPECT_FALSE(Exists("data/people.tps.rv3"));
}

TEST_F(Upgrade, AlternateNamesTakeTheFilesPrefixAndAMissThatLeavesOldDataKeepsTheOldFile) {
  // A source name without a colon is a field of the converted file.
  WriteV1(5);
  alternates_ = {{"PEO:FULLNAME", "NAME"}};
  auto f = PeopleRenamed();
  Register(*f, 2);
  db::HookedOpen(*f, 0x42);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
  db::Set(*f, 1);
  for (int i = 1; i <= 5; ++i) {
    db::Next(*f);
    ASSERT_EQ(rt::ErrorCode(), 0);
    EXPECT_EQ(GetText(*f, "PEO:FULLNAME"), Name(i));
  }
  db::Close(*f);
  EXPECT_TRUE(stops_.empty()) << stops_[0];
  EXPECT_TRUE(NoLeftovers());

  // Pairs for a field new in this version (CITY): the old file has no
  // data for it anywhere, so the misses are traced and nothing is kept.
  fs::remove("data/people.tps");
  WriteV1(5);
  alternates_ = {{"PEO:FULLNAME", "NAME"}, {"PEO:CITY", "TOWN"}, {"PEO:CITY", "PEO:PLACE"}};
  Register(*f, 2);
  db::HookedOpen(*f, 0x42);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
  EXPECT_EQ(db::Records(*f), 5u);
  db::Close(*f);
  EXPECT_TRUE(Traced("Alternate name PEO:TOWN of PEO:CITY matches no field of the old file"));
  EXPECT_TRUE(Traced("Alternate name PEO:PLACE of PEO:CITY matches no field of the old file"));
  EXPECT_TRUE(stops_.empty()) << stops_[0];
  EXPECT_TRUE(NoLeftovers());

  // Pairs that miss while the old file's NAME feeds no field: its data
  // may have been meant for FULLNAME, so the summary says so and the old
  // file is kept.
  fs::remove("data/people.tps");
  WriteV1(5);
  alternates_ = {{"PEO:FULLNAME", "FORENAME"}, {"PEO:FULLNAME", "PEO:GIVEN"}};
  Register(*f, 2);
  db::HookedOpen(*f, 0x42);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
  EXPECT_EQ(db::Records(*f), 5u);
  db::Close(*f);
  EXPECT_TRUE(Traced("Alternate name PEO:FORENAME of PEO:FULLNAME matches no field of the old file"));
  ASSERT_EQ(stops_.size(), 1u);
  EXPECT_EQ(stops_[0],
            "RV3: No field of the old file matches the alternate names of PEO:FULLNAME (PEO:FORENAME, "
            "PEO:GIVEN); it was left empty. File : .\\data\\people.tps. The old data is kept in dstmp001");
  auto old = PeopleV1();
  old->SetName("dstmp001");
  db::Open(*old);
  ASSERT_EQ(rt::ErrorCode(), 0);
  EXPECT_EQ(db::Records(*old), 5u);
  db::Close(*old);
  EXPECT_FALSE(Exists("data/people.tps.rv3"));
}

// Damages the record holding `marker` in a closed data file: its bytes
// no longer match its checksum, so reading it fails.
void Damage(const std::string& path, const std::string& marker) {
  std::fstream io(path, std::ios::in | std::ios::out | std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(io)), {});
  size_t at = bytes.find(marker);
  ASSERT_NE(at, std::string::npos);
  io.seekp(static_cast<std::streamoff>(at));
  io.put('#');
}

TEST_F(Upgrade, ReadErrorKeepsTheOldFileAndCountsWhatIsMissing) {
  WriteV1(10);
  Damage("data/people.tps", "Person 7 ");
  auto f = PeopleV2();
  Register(*f, 2);
  db::HookedOpen(*f, 0x42);
  ASSERT_EQ(rt::ErrorCode(), 0);
  EXPECT_EQ(db::Records(*f), 6u);
  db::Close(*f);
  ASSERT_EQ(stops_.size(), 1u);
  EXPECT_EQ(stops_[0],
            "RV3: 4 of 10 records were not converted (the old file could not be read to its end). "
            "File : .\\data\\people.tps. The old data is kept in dstmp001");
  EXPECT_TRUE(Exists("dstmp001"));
  EXPECT_FALSE(Exists("data/people.tps.rv3"));
}

TEST_F(Upgrade, StopsAfterTheMoveBringTheOldFileBack) {
  // M6: the new file cannot be created (its work name is a folder).
  WriteV1(5);
  fs::create_directories("data/people.tps.cnv/x");
  auto f = PeopleV2();
  Register(*f, 2);
  db::HookedOpen(*f, 0x42);
  EXPECT_EQ(rt::ErrorCode(), rt::kInvalidRecordDeclaration);
  ASSERT_EQ(stops_.size(), 1u);
  EXPECT_EQ(stops_[0].rfind("RV3: Unable to upgrade file - Error creating destination file : .\\data\\people.tps", 0), 0u)
      << stops_[0];
  auto v1 = PeopleV1();
  db::Open(*v1);
  ASSERT_EQ(rt::ErrorCode(), 0);
  ExpectPeople(*v1, 5, false);
  db::Close(*v1);
  EXPECT_FALSE(Exists("dstmp001"));
  EXPECT_FALSE(Exists("data/people.tps.rv3"));
  fs::remove_all("data/people.tps.cnv");

  // M7: the old file cannot be opened under its backup name (another
  // instance holds it; it lets go when the box is answered).
  stops_.clear();
  static std::unique_ptr<db::FileDecl> holder;
  holder = PeopleV1();
  holder->SetName("dstmp001");
  upg::SetConversionProbe([](const char* step) {
    if (std::string(step) == "created") db::Open(*holder, db::kReadWrite | db::kDenyAll);
  });
  rt::SetStopHandler([this](std::string_view text) {
    stops_.emplace_back(text);
    if (db::IsOpen(*holder)) db::Close(*holder);
    return false;
  });
  db::HookedOpen(*f, 0x42);
  EXPECT_EQ(rt::ErrorCode(), rt::kInvalidRecordDeclaration);
  ASSERT_EQ(stops_.size(), 1u);
  EXPECT_EQ(stops_[0].rfind("RV3: Unable to upgrade file - Error reading source file ", 0), 0u) << stops_[0];
  db::Open(*v1);
  ASSERT_EQ(rt::ErrorCode(), 0);
  ExpectPeople(*v1, 5, false);
  db::Close(*v1);
  EXPECT_FALSE(Exists("dstmp001"));
  EXPECT_FALSE(Exists("data/people.tps.cnv"));
  holder.reset();
}

// Runs `child` in a forked process; its exit code.
template <typename F>
int InChild(F child) {
  pid_t pid = ::fork();
  if (pid == 0) {
    child();
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST_F(Upgrade, WriteErrorsKeepEveryRecord) {
  WriteV1(40);
  const auto limit = static_cast<rlim_t>(fs::file_size("data/people.tps") / 2);
  auto f = PeopleV2();
  Register(*f, 2);
  int code = InChild([&] {
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit rl{limit, limit};
    ::setrlimit(RLIMIT_FSIZE, &rl);
    // SQLite holds a batch's pages until its commit: that is where the
    // write fails; the one box says so.
    int boxes = 0;
    bool reported = false;
    rt::SetStopHandler([&](std::string_view text) {
      ++boxes;
      reported |= text.starts_with("RV3: The conversion of .\\data\\people.tps stopped: ") &&
                  text.find("No record was lost: the old data is kept in .\\data\\people.tps. Free space on ") !=
                      std::string_view::npos;
      return false;
    });
    db::HookedOpen(*f, 0x42);
    ::_exit(reported && boxes == 1 && fs::exists("data/people.tps") && !fs::exists("dstmp001") ? 7 : 1);
  });
  EXPECT_EQ(code, 7);
  // Whatever the child managed, no record is lost: the next open converts.
  db::HookedOpen(*f, 0x42);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
  ExpectPeople(*f, 40);
  db::Close(*f);
}

// How the disk refuses the new file's writes.
enum class Refusal { SizeLimit, FullDisk };

// The disk refuses the conversion's writes: from before the old file
// moves ("found": the journal cannot be written), from the copy's start on
// ("created"), or only at the close that gives the new file its WAL again
// ("built"; the records are in the file by then).
class DiskRefusal : public Upgrade {
 protected:
  // In a child: 40 people are converted while the disk refuses. The
  // conversion must stop with one box that gives the disk's reason and
  // what to do, leave the old file in place with every record and nothing
  // of the new file; with room again, the next open converts. 0, 100 when
  // no tmpfs can be made, or the number of the check that failed.
  int Child(Refusal refusal, const char* step) {
    if (refusal == Refusal::FullDisk) {
      if (!scratchdisk::PrivateTmpfs(dir_, 16)) return 100;
      fs::create_directories("data");
      fs::create_directories("prog");
    }
    fs::remove("data/people.tps");  // from an earlier case
    WriteV1(40);
    static std::string at;
    at = step;
    auto v1 = PeopleV1();
    if (at == "built") {
      // Without the photo of 3 MB the new file is small.
      db::Open(*v1);
      Put<int32_t>(*v1, "PEO:ID", 3);
      db::Get(*v1, 1);
      v1->Memos()[0].data.clear();
      db::Put(*v1);
      db::Close(*v1);
      if (rt::ErrorCode() != 0) return 1;
    }
    static Refusal how;
    how = refusal;
    ::signal(SIGXFSZ, SIG_IGN);
    upg::SetConversionProbe([](const char* s) {
      if (at != s) return;
      // During the copy there is room to open the new file, not for its records.
      if (how == Refusal::FullDisk) return scratchdisk::FillTheDisk(at == "built" ? 0 : 256 * 1024);
      rlimit rl{};
      ::getrlimit(RLIMIT_FSIZE, &rl);
      rl.rlim_cur = at == "found" ? 0 : static_cast<rlim_t>(fs::file_size("data/people.tps.cnv")) +
                                             (at == "built" ? 0 : 512 * 1024);
      ::setrlimit(RLIMIT_FSIZE, &rl);
    });
    // The refusal lasts until the box is shown.
    rt::SetStopHandler([this](std::string_view text) {
      stops_.emplace_back(text);
      rlimit rl{};
      ::getrlimit(RLIMIT_FSIZE, &rl);
      rl.rlim_cur = rl.rlim_max;
      ::setrlimit(RLIMIT_FSIZE, &rl);
      fs::remove("filler");
      return false;
    });
    auto f = PeopleV2();
    Register(*f, 2);
    db::HookedOpen(*f, 0x42);
    upg::SetConversionProbe(nullptr);
    if (rt::ErrorCode() != rt::kInvalidRecordDeclaration) return 20 + rt::ErrorCode() % 80;
    if (stops_.size() != 1) return stops_.size() > 9 ? 9 : static_cast<int>(stops_.size()) + 10;
    const bool reason = refusal == Refusal::FullDisk ? stops_[0].find("disk is full") != std::string::npos ||
                                                           stops_[0].find("No space left") != std::string::npos
                                                     : stops_[0].find("File too large") != std::string::npos;
    if (!reason || stops_[0].find("Free space on") == std::string::npos) return 4;
    for (const char* left : {"dstmp001", "data/people.tps.cnv", "data/people.tps.cnv-wal", "data/people.tps.rv3"})
      if (Exists(left)) return 5;
    db::Open(*v1);
    if (rt::ErrorCode() != 0 || db::Records(*v1) != 40) return 6;
    db::Close(*v1);
    db::HookedOpen(*f, 0x42);
    if (rt::ErrorCode() != 0 || db::Records(*f) != 40) return 7;
    Put<int32_t>(*f, "PEO:ID", 40);
    db::Get(*f, 1);
    if (rt::ErrorCode() != 0 || GetText(*f, "PEO:NAME") != Name(40) || f->Memos()[0].data != Photo(40)) return 8;
    db::Close(*f);
    return stops_.size() == 1 && NoLeftovers() ? 0 : 2;
  }
};

// The new file grows no more once its keys are built: only a full disk
// (no room for the WAL and its index) refuses the close.
TEST_F(DiskRefusal, AtTheCloseKeepsTheOldFile) {
  int code = InChild([&] { ::_exit(Child(Refusal::FullDisk, "built")); });
  if (code == 100) GTEST_SKIP() << "no private tmpfs can be made here";
  EXPECT_EQ(code, 0) << "full disk";
}

// A disk that is full before the old file moves, or fills during the
// copy (failing every record after it): the conversion stops at the first
// failure, with one box.
TEST_F(DiskRefusal, BeforeOrDuringTheCopyStopsAtTheFirstFailure) {
  for (const char* step : {"found", "created"}) {
    EXPECT_EQ(InChild([&] { ::_exit(Child(Refusal::SizeLimit, step)); }), 0) << "size limit at " << step;
    int code = InChild([&] { ::_exit(Child(Refusal::FullDisk, step)); });
    if (code == 100) GTEST_SKIP() << "no private tmpfs can be made here";
    EXPECT_EQ(code, 0) << "full disk at " << step;
  }
}

TEST_F(Upgrade, KilledAtEveryStepLosesNothing) {
  for (const char* step : {"moved", "created", "copied", "built", "placing", "placed"}) {
    fs::remove("data/people.tps");
    WriteV1(12);
    auto f = PeopleV2();
    Register(*f, 2);
    static std::string at;
    at = step;
    int code = InChild([&] {
      upg::SetConversionProbe([](const char* s) {
        if (at == s) ::kill(::getpid(), SIGKILL);
      });
      db::HookedOpen(*f, 0x42);
    });
    EXPECT_EQ(code, 128 + SIGKILL) << step;
    db::HookedOpen(*f, 0x42);
    ASSERT_EQ(rt::ErrorCode(), 0) << step << ": " << rt::ErrorText();
    ExpectPeople(*f, 12);
    db::Close(*f);
    EXPECT_TRUE(NoLeftovers()) << step;
  }
}

// What processes that are gone left beside the file (a new file being
// built, the work file being built, the journal being replaced) is removed
// by the next open; what a process that still runs is working on stays,
// and so do names that only look alike.
TEST_F(Upgrade, TheNextOpenRemovesTheLeftoversOfProcessesThatAreGone) {
  WriteV1(3);
  const pid_t ended = ::fork();
  if (ended == 0) ::_exit(0);
  ::waitpid(ended, nullptr, 0);
  const std::string gone = std::to_string(ended), running = std::to_string(::getpid());
  std::vector<std::string> removed, kept;
  for (const char* kind : {".new", ".cnv.new", ".rv3.tmp"}) {
    removed.push_back(std::string("data/people.tps") + kind + gone);
    kept.push_back(std::string("data/people.tps") + kind + running);
  }
  removed.push_back("data/people.tps.cnv.new" + gone + "-wal");
  removed.push_back("data/people.tps.new" + gone + "-shm");
  for (const std::string& alike : {std::string("data/people.tps.newer"), "data/people.tps.new" + gone + ".txt",
                                   "data/other.tps.new" + gone, std::string("data/people.tps.new")})
    kept.push_back(alike);
  for (const auto* names : {&removed, &kept})
    for (const std::string& n : *names) std::ofstream(n) << "x";
  auto f = PeopleV1();
  Register(*f, 1);
  db::HookedOpen(*f, 0x42);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
  db::Close(*f);
  for (const std::string& n : removed) EXPECT_FALSE(Exists(n)) << n;
  for (const std::string& n : kept) EXPECT_TRUE(Exists(n)) << n;
}

// A second copy of the program opens the file while the first converts
// it: its open waits for the conversion instead of finding no file and
// creating an empty one, sees every converted record, and the record it
// adds stays.
TEST_F(Upgrade, SecondCopyWaitsForTheConversionAndKeepsItsRecords) {
  WriteV1(30);
  auto f = PeopleV2();
  Register(*f, 2);
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  static int underWay;
  underWay = pipeFds[1];
  pid_t converter = ::fork();
  if (converter == 0) {
    ::close(pipeFds[0]);
    upg::SetConversionProbe([](const char* step) {
      if (std::string(step) != "copied") return;
      if (::write(underWay, "c", 1) != 1) ::_exit(3);
      ::usleep(800 * 1000);
    });
    db::HookedOpen(*f, 0x42);
    ::_exit(rt::ErrorCode() == 0 ? 0 : 1);
  }
  ::close(pipeFds[1]);
  char c = 0;
  ASSERT_EQ(::read(pipeFds[0], &c, 1), 1);
  ::close(pipeFds[0]);
  // The second copy, with a file manager that creates a missing file.
  int second = InChild([&] {
    cl::FileManager fm;
    fm.SetFile(f.get());
    fm.SetCreate(true);
    fm.Setup();
    if (fm.TryOpen() != cl::kBenign) ::_exit(10 + rt::ErrorCode() % 80);
    if (db::Records(*f) != 30) ::_exit(2);
    f->ClearRecord();
    Put<int32_t>(*f, "PEO:ID", 31);
    PutText(*f, "PEO:NAME", Name(31));
    Put<int32_t>(*f, "PEO:AGE", 20 + 31 % 50);
    f->Memos()[0].data = Photo(31);
    if (fm.TryInsert() != cl::kBenign) ::_exit(3);
    fm.Close();
  });
  int status = 0;
  ::waitpid(converter, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(second, 0);
  db::HookedOpen(*f, 0x42);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
  ExpectPeople(*f, 31);
  db::Close(*f);
  EXPECT_TRUE(NoLeftovers());
}

// The new file cannot take the file's place: another program put a file
// of its own under the name meanwhile. The converted file, the old data
// and the other file all stay, a message box says so, and the next open
// once the name is free finishes the placing.
TEST_F(Upgrade, FailedPlacingKeepsEveryCopyAndTheNextOpenFinishesIt) {
  WriteV1(12);
  auto f = PeopleV2();
  Register(*f, 2);
  static db::FileDecl* intruder;
  auto other = PeopleV2();
  intruder = other.get();
  upg::SetConversionProbe([](const char* step) {
    if (std::string(step) != "placing") return;
    db::Create(*intruder);
    db::Open(*intruder);
    intruder->ClearRecord();
    Put<int32_t>(*intruder, "PEO:ID", 99);
    db::Add(*intruder);
    db::Close(*intruder);
  });
  db::HookedOpen(*f, 0x42);
  upg::SetConversionProbe(nullptr);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
  EXPECT_EQ(db::Records(*f), 1u);  // the other program's file
  db::Close(*f);
  ASSERT_EQ(stops_.size(), 1u);
  EXPECT_EQ(stops_[0].rfind("RV3: The converted file could not take the place of .\\data\\people.tps", 0), 0u)
      << stops_[0];
  EXPECT_NE(stops_[0].find("people.tps.cnv"), std::string::npos) << stops_[0];
  EXPECT_NE(stops_[0].find("dstmp001"), std::string::npos) << stops_[0];
  // While the name stays taken, opens change nothing.
  for (int open = 0; open < 2; ++open) {
    EXPECT_TRUE(Exists("data/people.tps.cnv"));
    EXPECT_TRUE(Exists("dstmp001"));
    EXPECT_TRUE(Exists("data/people.tps.rv3"));
    db::HookedOpen(*f, 0x42);
    ASSERT_EQ(rt::ErrorCode(), 0);
    EXPECT_EQ(db::Records(*f), 1u);
    db::Close(*f);
  }
  db::Remove(*other);
  db::HookedOpen(*f, 0x42);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
  ExpectPeople(*f, 12);
  db::Close(*f);
  EXPECT_TRUE(NoLeftovers());
  EXPECT_EQ(stops_.size(), 1u);
}

// Records what the conversion's wait window shows.
class WindowRecorder : public ui::HeadlessBackend {
 public:
  void WindowOpened(ui::Window&) override { seen.push_back("open"); }
  void WindowClosed(ui::Window&) override { seen.push_back("close"); }
  void PropertyChanged(ui::Window& w, int control, ui::Prop p, int) override {
    if (p == ui::Prop::Progress && control == 2) percents.push_back(std::stoi(w.Get(control, p)));
    if (p == ui::Prop::ScreenText && control == 1) {
      std::string t = w.Get(control, p);
      if (seen.empty() || seen.back() != t) seen.push_back(t);
    }
  }
  std::vector<std::string> seen;
  std::vector<int> percents;
};

TEST_F(Upgrade, TheWaitWindowFollowsTheCopy) {
  WriteV1(8);
  WindowRecorder rec;
  ui::SetBackend(&rec);
  auto f = PeopleV2();
  Register(*f, 2);
  db::HookedOpen(*f, 0x42);
  ASSERT_EQ(rt::ErrorCode(), 0);
  db::Close(*f);
  ASSERT_FALSE(rec.seen.empty());
  EXPECT_EQ(rec.seen.front(), "open");
  EXPECT_EQ(rec.seen.back(), "close");
  auto has = [&](const char* t) { return std::find(rec.seen.begin(), rec.seen.end(), t) != rec.seen.end(); };
  EXPECT_TRUE(has("Please wait - Copying file"));
  EXPECT_TRUE(has("Please wait - Upgrading file"));
  EXPECT_TRUE(has("Please wait - Building Keys"));
  ASSERT_FALSE(rec.percents.empty());
  EXPECT_TRUE(std::is_sorted(rec.percents.begin(), rec.percents.end() - 1));
  EXPECT_TRUE(std::find(rec.percents.begin(), rec.percents.end(), 100) != rec.percents.end());

  // Silent upgrading: never opened.
  fs::remove("data/people.tps");
  WriteV1(8);
  rec.seen.clear();
  CommandLine({"/debugrv", "/silentupgrading"});
  upg::ResetSettings();
  Register(*f, 2);
  db::HookedOpen(*f, 0x42);
  ASSERT_EQ(rt::ErrorCode(), 0);
  db::Close(*f);
  EXPECT_TRUE(rec.seen.empty());
  ui::SetBackend(&headless_);
}

}  // namespace
