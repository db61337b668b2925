#include <sys/wait.h>

#include <cstring>
#include <fstream>
#include <set>
#include <chrono>
#include <thread>
#include <utility>

#include "fixture.h"
#include "velmora/classlib/filemanager.h"
#include "velmora/classlib/relations.h"
#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/text.h"

namespace {

using namespace cl;

#pragma pack(push, 1)
struct Parent {
  int32_t id;
  rt::CString<20> name;
};
struct Kid {
  int32_t parId;
  int16_t no;
  rt::CString<20> text;
};
struct Sub {
  int32_t parId;
  int16_t no;
  int32_t x;
};
#pragma pack(pop)

constexpr uint32_t kOpt = db::kKeyNoCase | db::kKeyOpt;

std::unique_ptr<db::FileDecl> ParentDecl(std::string label = "Parent",
                                         std::string prefix = "PAR") {
  auto f = db::DeclBuilder(std::move(label), std::move(prefix))
               .Driver("ISAM")
               .Name(".\\data\\parent.tps")
               .Field(db::Type::Long, "ID")
               .Field(db::Type::CString, "NAME", 20)
               .Key("ID_Key", {1}, kOpt | db::kKeyPrimary)
               .Key("Name_Key", {2}, kOpt)
               .Build();
  return f;
}
std::unique_ptr<db::FileDecl> KidDecl() {
  return db::DeclBuilder("Kid", "KID")
      .Driver("ISAM")
      .Name(".\\data\\kid.tps")
      .Field(db::Type::Long, "PARID")
      .Field(db::Type::Short, "NO")
      .Field(db::Type::CString, "TEXT", 20)
      .Key("Par_Key", {1, 2}, kOpt | db::kKeyDup)
      .Build();
}
std::unique_ptr<db::FileDecl> SubDecl() {
  return db::DeclBuilder("Sub", "SUB")
      .Driver("ISAM")
      .Name(".\\data\\sub.tps")
      .Field(db::Type::Long, "PARID")
      .Field(db::Type::Short, "NO")
      .Field(db::Type::Long, "X")
      .Key("Kid_Key", {1, 2, 3}, kOpt | db::kKeyDup)
      .Build();
}

// A file manager whose delete can be made to fail like a driver error.
class Records : public FileManager {
 public:
  int failDeleteAfter = -1;  // deletes allowed before the failure
  int BeforeDelete() override {
    if (failDeleteAfter == 0) {
      rt::SetFileError(rt::kDriverError, 5, "disk I/O error");
      return kFatal;
    }
    if (failDeleteAfter > 0) --failDeleteAfter;
    return kBenign;
  }
};

// One file with its buffer and manager.
template <class Rec>
struct Managed {
  Managed(std::unique_ptr<db::FileDecl> d, ErrorReporter* errors, int autoKey = 0,
          int autoComp = 0)
      : decl(std::move(d)) {
    decl->BindRecord(reinterpret_cast<uint8_t*>(&rec));
    decl->ClearRecord();
    fm.SetFile(decl.get());
    fm.SetLabel(decl->Label());
    fm.SetErrors(errors);
    fm.SetCreate(true);
    fm.Setup();
    for (size_t k = 0; k < decl->Keys().size(); ++k)
      fm.AddKey(static_cast<int>(k) + 1, decl->Keys()[k].label,
                static_cast<int>(k) + 1 == autoKey ? autoComp : 0);
    FileUseTracker::Track(&fm);
  }
  ~Managed() { fm.Teardown(); }
  Rec rec{};
  std::unique_ptr<db::FileDecl> decl;
  Records fm;
};

class ClasslibFiles : public cltest::TempFolder {
 protected:
  void SetUp() override {
    TempFolder::SetUp();
    errors.Setup();
  }
  ErrorReporter errors;
};

TEST_F(ClasslibFiles, OpenCreatesMissingFileAndCountsUses) {
  Managed<Parent> p(ParentDecl(), &errors);
  EXPECT_EQ(p.fm.Open(), kBenign);
  EXPECT_TRUE(std::filesystem::exists("data/parent.tps"));
  EXPECT_EQ(p.fm.Open(), kBenign);
  EXPECT_EQ(p.fm.UseCount(), 2);
  p.fm.Close();
  EXPECT_TRUE(p.fm.IsOpen());
  p.fm.Close();
  EXPECT_FALSE(p.fm.IsOpen());
  EXPECT_TRUE(shown_.empty());
}

// A file found missing that another user or process creates before this
// manager does is kept, with what was written to it meanwhile.
TEST_F(ClasslibFiles, CreateOnMissingKeepsAFileMadeMeanwhile) {
  Managed<Parent> other(ParentDecl(), &errors);
  ASSERT_EQ(other.fm.Open(), kBenign);
  other.rec.id = 1;
  other.rec.name = "theirs";
  ASSERT_EQ(other.fm.Insert(), kBenign);
  other.fm.Close();
  // This manager's open found no file just before the other one made it.
  bool first = true;
  db::SetOpenHook([&](db::FileDecl& f, uint32_t mode) {
    if (std::exchange(first, false)) return rt::SetError(rt::kFileNotFound);
    db::Open(f, mode);
  });
  Managed<Parent> p(ParentDecl(), &errors);
  EXPECT_EQ(p.fm.Open(), kBenign);
  db::SetOpenHook({});
  EXPECT_EQ(db::Records(*p.decl), 1u);
  EXPECT_TRUE(shown_.empty());
}

TEST_F(ClasslibFiles, MissingFileWithoutCreateIsReported) {
  Managed<Parent> p(ParentDecl(), &errors);
  p.fm.SetCreate(false);
  EXPECT_EQ(p.fm.Open(), kFatal);
  EXPECT_EQ(rt::ErrorCode(), rt::kFileNotFound);
  EXPECT_FALSE(std::filesystem::exists("data/parent.tps"));
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].text, "Unable to open Parent (" + (dir_ / "data/parent.tps").string() +
                                "): file not found (2)");
  EXPECT_EQ(shown_[0].caption, "Error");
}

std::string Bytes(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(ClasslibFiles, ForeignOrTruncatedFileIsReportedAndLeftAlone) {
  {  // a real file, to truncate below
    Managed<Parent> p(ParentDecl(), &errors);
    ASSERT_EQ(p.fm.Open(), kBenign);
    p.rec.name = "x";
    ASSERT_EQ(p.fm.Insert(), kBenign);
    p.fm.Close();
  }
  std::string db = Bytes("data/parent.tps");
  const std::string cases[] = {"this is a text file, not a data file\n",
                               db.substr(0, db.size() / 2)};
  for (const std::string& content : cases) {
    std::filesystem::remove("data/parent.tps-wal");
    std::filesystem::remove("data/parent.tps-shm");
    { std::ofstream("data/parent.tps", std::ios::binary | std::ios::trunc) << content; }
    shown_.clear();
    Managed<Parent> p(ParentDecl(), &errors);
    EXPECT_EQ(p.fm.Open(), kFatal);
    EXPECT_EQ(rt::ErrorCode(), rt::kInvalidDataFile);
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].text.rfind("Unable to open Parent (" + (dir_ / "data/parent.tps").string() + "): ", 0), 0u)
        << shown_[0].text;
    EXPECT_NE(shown_[0].text.find("(36)"), std::string::npos) << shown_[0].text;
    EXPECT_EQ(Bytes("data/parent.tps"), content);
  }
}

TEST_F(ClasslibFiles, AutoNumbersWithinEarlierComponents) {
  Managed<Parent> p(ParentDecl(), &errors, 1, 1);
  Managed<Kid> k(KidDecl(), &errors, 1, 2);
  ASSERT_EQ(p.fm.Open(), kBenign);
  ASSERT_EQ(k.fm.Open(), kBenign);
  for (int i = 1; i <= 3; ++i) {
    p.fm.PrimeRecord();
    EXPECT_EQ(p.rec.id, i);  // shown before the add
    p.rec.name = "p" + std::to_string(i);
    ASSERT_EQ(p.fm.Insert(), kBenign);
    EXPECT_EQ(p.rec.id, i);
  }
  // A number set by the caller is kept.
  p.fm.PrimeRecord();
  p.rec.id = 10;
  p.rec.name = "ten";
  ASSERT_EQ(p.fm.Insert(), kBenign);
  EXPECT_EQ(p.rec.id, 10);

  struct Case {
    int parId;
    int expected;
  } cases[] = {{1, 1}, {1, 2}, {2, 1}, {1, 3}, {2, 2}};
  for (const Case& c : cases) {
    k.fm.PrimeRecord();
    k.rec.parId = c.parId;  // set after priming: numbered at the add
    ASSERT_EQ(k.fm.Insert(), kBenign);
    EXPECT_EQ(k.rec.no, c.expected) << "parent " << c.parId;
  }
}

// Adds `count` kids of parent 7 on its own file instance; the numbers taken.
std::vector<int> AddKids(int count) {
  std::vector<int> numbers;
  Managed<Kid> k(KidDecl(), nullptr, 1, 2);
  if (k.fm.Open() != kBenign) return numbers;
  for (int i = 0; i < count; ++i) {
    k.decl->ClearRecord();
    k.rec.parId = 7;
    if (k.fm.TryInsert() == kBenign) numbers.push_back(k.rec.no);
  }
  return numbers;
}

TEST_F(ClasslibFiles, ConcurrentAddsNeverShareANumber) {
  constexpr int kEach = 40;
  { Managed<Kid> k(KidDecl(), &errors, 1, 2); ASSERT_EQ(k.fm.Open(), kBenign); }
  for (bool processes : {false, true}) {
    SCOPED_TRACE(processes ? "two processes" : "two threads");
    std::filesystem::remove("data/kid.tps");
    { Managed<Kid> k(KidDecl(), &errors, 1, 2); ASSERT_EQ(k.fm.Open(), kBenign); }
    std::vector<int> mine;
    if (processes) {
      pid_t pid = fork();
      if (pid == 0) _exit(AddKids(kEach).size() == kEach ? 0 : 1);
      mine = AddKids(kEach);
      int status = 0;
      waitpid(pid, &status, 0);
      ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    } else {
      std::vector<int> other;
      std::thread t([&] { other = AddKids(kEach); });
      mine = AddKids(kEach);
      t.join();
      ASSERT_EQ(other.size(), static_cast<size_t>(kEach));
    }
    ASSERT_EQ(mine.size(), static_cast<size_t>(kEach));
    // Every stored number once: 1 .. 2 * kEach.
    Managed<Kid> k(KidDecl(), &errors, 1, 2);
    ASSERT_EQ(k.fm.Open(), kBenign);
    std::multiset<int> stored;
    k.fm.SetKey(1);
    while (k.fm.TryNext() == kBenign) stored.insert(k.rec.no);
    std::multiset<int> expected;
    for (int i = 1; i <= 2 * kEach; ++i) expected.insert(i);
    EXPECT_EQ(stored, expected);
  }
}

// Another process that takes the file's write lock again and again is
// waited for as long as it goes on committing: a numbered add never fails
// beside a writer that makes progress. A holder that makes no progress for
// the lock wait (a setting; 1 s here) makes the add fail with 5.
TEST_F(ClasslibFiles, AddsWaitForWritersThatMakeProgress) {
  { Managed<Kid> k(KidDecl(), &errors, 1, 2); ASSERT_EQ(k.fm.Open(), kBenign); }
  for (bool progress : {true, false}) {
    SCOPED_TRACE(progress ? "a writer that commits" : "a holder that stops");
    db::SetLockWait(progress ? 30 : 1);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t holder = fork();
    if (holder == 0) {
      auto f = KidDecl();
      db::Open(*f);
      bool signalled = false;
      const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(2500);
      for (int i = 0; std::chrono::steady_clock::now() < until; ++i) {
        db::Logout(5, {f.get()});
        f->ClearRecord();
        std::memcpy(f->Record(), "\x09\x00\x00\x00", 4);  // parent 9
        int16_t no = static_cast<int16_t>(i + 1);
        std::memcpy(f->Record() + 4, &no, 2);
        db::Add(*f);
        if (!signalled && write(ready[1], "h", 1) == 1) signalled = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(progress ? 200 : 2500));
        db::Commit();
      }
      db::Close(*f);
      _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);
    close(ready[1]);
    Managed<Kid> k(KidDecl(), nullptr, 1, 2);
    ASSERT_EQ(k.fm.Open(), kBenign);
    k.rec.parId = 7;
    const auto start = std::chrono::steady_clock::now();
    const int result = k.fm.TryInsert();
    const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (progress) {
      EXPECT_EQ(result, kBenign) << rt::ErrorCode() << " " << rt::FileErrorText() << " after " << waited << " s";
      EXPECT_EQ(k.rec.no, 1);
    } else {
      EXPECT_EQ(result, kFatal);
      EXPECT_EQ(rt::ErrorCode(), rt::kAccessDenied);
      EXPECT_GE(waited, 0.9);
      EXPECT_LT(waited, 2.4);
    }
    k.fm.Close();
    int status = 0;
    waitpid(holder, &status, 0);
  }
  db::SetLockWait(30);
}

// Each thread primes a parent, stores its children under the number shown,
// then adds the parent: the number is the one the parent is stored under,
// and no other thread gets it meanwhile.
TEST_F(ClasslibFiles, PrimedNumberIsReservedAndKept) {
  { Managed<Parent> p(ParentDecl(), &errors, 1, 1); ASSERT_EQ(p.fm.Open(), kBenign); }
  { Managed<Kid> k(KidDecl(), &errors); ASSERT_EQ(k.fm.Open(), kBenign); }
  constexpr int kEach = 15;
  auto run = [](const std::string& tag, std::vector<int>& ids) {
    Managed<Parent> p(ParentDecl(), nullptr, 1, 1);
    Managed<Kid> k(KidDecl(), nullptr);
    if (p.fm.Open() != kBenign || k.fm.Open() != kBenign) return;
    for (int i = 0; i < kEach; ++i) {
      if (p.fm.PrimeRecord() != kBenign) return;
      const int shown = p.rec.id;
      k.decl->ClearRecord();
      k.rec.parId = shown;
      k.rec.no = 1;
      k.rec.text = tag;
      if (k.fm.TryInsert() != kBenign) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      p.rec.name = tag + std::to_string(i);
      if (p.fm.TryInsert() != kBenign || p.rec.id != shown) return;
      ids.push_back(shown);
    }
  };
  std::vector<int> a, b;
  std::thread t([&] { run("a", a); });
  run("b", b);
  t.join();
  ASSERT_EQ(a.size(), static_cast<size_t>(kEach));
  ASSERT_EQ(b.size(), static_cast<size_t>(kEach));

  Managed<Parent> p(ParentDecl(), &errors, 1, 1);
  Managed<Kid> k(KidDecl(), &errors);
  ASSERT_EQ(p.fm.Open(), kBenign);
  ASSERT_EQ(k.fm.Open(), kBenign);
  std::set<int> seen;
  p.fm.SetKey(1);
  while (p.fm.TryNext() == kBenign) {
    EXPECT_TRUE(seen.insert(p.rec.id).second) << p.rec.id;
    int32_t id = p.rec.id;
    std::string owner(p.rec.name.View().substr(0, 1));
    k.decl->ClearRecord();
    k.rec.parId = id;
    k.rec.no = 1;
    ASSERT_EQ(k.fm.TryFetch(1), kBenign) << id;
    EXPECT_EQ(std::string(k.rec.text.View()), owner) << "children of " << id;
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(2 * kEach));

  // A prime that is never added leaves a gap.
  p.fm.PrimeRecord();
  const int cancelled = p.rec.id;
  p.fm.PrimeRecord();
  EXPECT_EQ(p.rec.id, cancelled + 1);
}

TEST_F(ClasslibFiles, ReadsTellEndOfFileAndMissingRecords) {
  Managed<Parent> p(ParentDecl(), &errors, 1, 1);
  ASSERT_EQ(p.fm.Open(), kBenign);
  p.rec.name = "only";
  ASSERT_EQ(p.fm.Insert(), kBenign);
  ASSERT_EQ(p.fm.SetKey(1), kBenign);
  EXPECT_EQ(p.fm.Next(), kBenign);
  EXPECT_EQ(p.rec.name, "only");
  EXPECT_EQ(p.fm.Next(), kNotify);
  EXPECT_TRUE(shown_.empty());

  p.rec.id = 99;
  EXPECT_EQ(p.fm.TryFetch(1), kNotify);
  EXPECT_TRUE(shown_.empty());
  EXPECT_EQ(p.fm.Fetch(1), kNotify);
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].caption, "Velmora");
  p.rec.id = 1;
  EXPECT_EQ(p.fm.Fetch(1), kBenign);
}

TEST_F(ClasslibFiles, DuplicateKeyNamesTheKey) {
  Managed<Parent> p(ParentDecl(), &errors, 1, 1);
  ASSERT_EQ(p.fm.Open(), kBenign);
  p.rec.name = "same";
  ASSERT_EQ(p.fm.Insert(), kBenign);
  p.fm.PrimeRecord();
  p.rec.name = "SAME";  // the key is case-insensitive
  EXPECT_EQ(p.fm.TryInsert(), kNotify);
  EXPECT_TRUE(shown_.empty());
  EXPECT_EQ(p.fm.Insert(), kNotify);
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].text,
            "Adding this Parent record creates a duplicate entry for the key: PAR:Name_Key");
  EXPECT_EQ(db::Records(*p.decl), 1u);
}

TEST_F(ClasslibFiles, ChangeByAnotherStationIsRefused) {
  Managed<Parent> a(ParentDecl(), &errors, 1, 1), b(ParentDecl(), &errors, 1, 1);
  ASSERT_EQ(a.fm.Open(), kBenign);
  ASSERT_EQ(b.fm.Open(), kBenign);
  a.rec.name = "first";
  ASSERT_EQ(a.fm.Insert(), kBenign);
  b.rec.id = 1;
  ASSERT_EQ(b.fm.Fetch(1), kBenign);
  a.rec.name = "changed by a";
  ASSERT_EQ(a.fm.Update(), kBenign);
  b.rec.name = "changed by b";
  EXPECT_EQ(b.fm.Update(), kNotify);
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_NE(shown_[0].text.find("changed by another station"), std::string::npos);
}

TEST_F(ClasslibFiles, TrackedFileOpensOnDemandUntrackedDoesNot) {
  Managed<Parent> p(ParentDecl(), &errors, 1, 1);
  p.rec.name = "lazy";
  EXPECT_EQ(p.fm.Insert(), kBenign);  // opened on demand
  EXPECT_TRUE(p.fm.IsOpen());
  EXPECT_EQ(FileUseTracker::OpenFiles(), std::vector<FileManager*>{&p.fm});
  p.fm.Teardown();
  EXPECT_FALSE(p.fm.IsOpen());

  Managed<Parent> q(ParentDecl(), &errors, 1, 1);
  FileUseTracker::Untrack(&q.fm);
  EXPECT_EQ(q.fm.Insert(), kFatal);
  EXPECT_EQ(rt::ErrorCode(), rt::kFileNotOpen);
  ASSERT_EQ(shown_.size(), 1u);
}

// ---- relations: Parent -> Kid -> Sub, cascading

class Rel : public RelationManager {
 public:
  std::function<void(Rel*)> declare;
  void AddRelations() override {
    if (declare) declare(this);
  }
};

class ClasslibRelations : public ClasslibFiles {
 protected:
  void SetUp() override {
    ClasslibFiles::SetUp();
    par = std::make_unique<Managed<Parent>>(ParentDecl(), &errors, 1, 1);
    kid = std::make_unique<Managed<Kid>>(KidDecl(), &errors, 1, 2);
    sub = std::make_unique<Managed<Sub>>(SubDecl(), &errors);
    rPar.Setup(&par->fm, true);
    rKid.Setup(&kid->fm, true);
    rSub.Setup(&sub->fm, true);
    rPar.declare = [this](Rel* r) {
      r->AddRelation(&rKid, RIMode::Cascade, RIMode::Cascade, 1, {{"PAR:ID", "KID:PARID"}});
    };
    rKid.declare = [this](Rel* r) {
      r->AddParent(&rPar);
      r->AddRelation(&rSub, RIMode::Cascade, RIMode::Cascade, 1,
                     {{"KID:PARID", "SUB:PARID"}, {"KID:NO", "SUB:NO"}});
    };
    rSub.declare = [this](Rel* r) { r->AddParent(&rKid); };
    ASSERT_EQ(rPar.Open(), kBenign);
    // Two parents, each with two kids, each kid with two subs.
    for (int p = 1; p <= 2; ++p) {
      par->decl->ClearRecord();
      par->rec.name = "p" + std::to_string(p);
      ASSERT_EQ(par->fm.Insert(), kBenign);
      for (int k = 1; k <= 2; ++k) {
        kid->decl->ClearRecord();
        kid->rec.parId = p;
        ASSERT_EQ(kid->fm.Insert(), kBenign);
        for (int s = 1; s <= 2; ++s) {
          sub->rec = {p, static_cast<int16_t>(k), s};
          ASSERT_EQ(sub->fm.Insert(), kBenign);
        }
      }
    }
  }
  void TearDown() override {
    rPar.Teardown();
    rKid.Teardown();
    rSub.Teardown();
    sub.reset();
    kid.reset();
    par.reset();
    ClasslibFiles::TearDown();
  }
  void FetchParent(int id) {
    par->rec.id = id;
    ASSERT_EQ(par->fm.Fetch(1), kBenign);
  }
  // Records of `file` whose first field (a LONG) is `first`.
  template <class M>
  int CountWith(M& m, int32_t first) {
    int n = 0;
    m.fm.SetKey(1);
    while (m.fm.TryNext() == kBenign) {
      int32_t v;
      std::memcpy(&v, m.decl->Record(), 4);
      n += v == first;
    }
    return n;
  }
  std::unique_ptr<Managed<Parent>> par;
  std::unique_ptr<Managed<Kid>> kid;
  std::unique_ptr<Managed<Sub>> sub;
  Rel rPar, rKid, rSub;
};

TEST_F(ClasslibRelations, OpenTakesRelatedFilesAndCloseOnlyItsOwn) {
  EXPECT_TRUE(kid->fm.IsOpen());
  EXPECT_TRUE(sub->fm.IsOpen());
  ASSERT_EQ(rPar.Close(), kBenign);
  EXPECT_FALSE(par->fm.IsOpen());
  EXPECT_FALSE(sub->fm.IsOpen());

  ASSERT_EQ(sub->fm.Open(), kBenign);  // opened by someone else
  ASSERT_EQ(rKid.Open(), kBenign);
  EXPECT_TRUE(par->fm.IsOpen());
  rKid.Close();
  EXPECT_FALSE(par->fm.IsOpen());
  EXPECT_FALSE(kid->fm.IsOpen());
  EXPECT_TRUE(sub->fm.IsOpen());
  sub->fm.Close();
  ASSERT_EQ(rPar.Open(), kBenign);  // for TearDown's symmetry
}

TEST_F(ClasslibRelations, DeleteCascadesThroughGrandchildren) {
  FetchParent(1);
  ASSERT_EQ(rPar.Delete(), kBenign);
  EXPECT_EQ(CountWith(*par, 1), 0);
  EXPECT_EQ(CountWith(*kid, 1), 0);
  EXPECT_EQ(CountWith(*sub, 1), 0);
  EXPECT_EQ(CountWith(*kid, 2), 2);
  EXPECT_EQ(CountWith(*sub, 2), 4);
}

TEST_F(ClasslibRelations, UpdateCarriesNewLinkValuesDown) {
  FetchParent(2);
  par->rec.id = 20;
  ASSERT_EQ(rPar.Update(), kBenign);
  EXPECT_EQ(CountWith(*kid, 2), 0);
  EXPECT_EQ(CountWith(*kid, 20), 2);
  EXPECT_EQ(CountWith(*sub, 2), 0);
  EXPECT_EQ(CountWith(*sub, 20), 4);
  EXPECT_EQ(CountWith(*sub, 1), 4);
}

// A file of the relation that cannot be opened does not keep the others
// from being opened or made: each failure is reported, the missing file is
// created, and the relation opens nothing when one failed.
TEST_F(ClasslibRelations, OpenGoesOnAfterAFailureAndReportsEachFile) {
  ASSERT_EQ(rPar.Close(), kBenign);
  for (const char* foreign : {"data/parent.tps", "data/sub.tps"}) {
    std::filesystem::remove(std::string(foreign) + "-wal");
    std::filesystem::remove(std::string(foreign) + "-shm");
    std::ofstream(foreign, std::ios::trunc) << "not a data file\n";
  }
  std::filesystem::remove("data/kid.tps");
  shown_.clear();
  EXPECT_EQ(rKid.Open(), kFatal);
  ASSERT_EQ(shown_.size(), 2u);
  const std::string folder = (dir_ / "data").string();
  EXPECT_EQ(shown_[0].text.rfind("Unable to open Parent (" + folder + "/parent.tps): ", 0), 0u)
      << shown_[0].text;
  EXPECT_EQ(shown_[1].text.rfind("Unable to open Sub (" + folder + "/sub.tps): ", 0), 0u)
      << shown_[1].text;
  EXPECT_EQ(rt::ErrorCode(), rt::kInvalidDataFile);
  EXPECT_TRUE(std::filesystem::exists("data/kid.tps")) << "the missing file was made";
  for (const Records* fm : {&par->fm, &kid->fm, &sub->fm}) EXPECT_FALSE(fm->IsOpen());
  // the files are sound again: TearDown's relation opens
  for (const char* f : {"data/parent.tps", "data/sub.tps"}) std::filesystem::remove(f);
  ASSERT_EQ(rPar.Open(), kBenign);
}

TEST_F(ClasslibRelations, FailedStepRollsBackTheWholeCascade) {
  sub->fm.failDeleteAfter = 3;  // the fourth sub of parent 1 cannot go
  FetchParent(1);
  EXPECT_EQ(rPar.Delete(), kFatal);
  EXPECT_EQ(CountWith(*par, 1), 1);
  EXPECT_EQ(CountWith(*kid, 1), 2);
  EXPECT_EQ(CountWith(*sub, 1), 4);
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_NE(shown_[0].text.find("The delete of the Sub record could not be completed"),
            std::string::npos)
      << shown_[0].text;
  sub->fm.failDeleteAfter = -1;
  FetchParent(1);
  EXPECT_EQ(rPar.Delete(), kBenign);  // nothing was left half-done
  EXPECT_EQ(CountWith(*sub, 1), 0);
}

TEST_F(ClasslibRelations, AliasCascadesWithTheAliasedRelations) {
  Managed<Parent> alias(ParentDecl("AliasParent", "ALP"), &errors, 1, 1);
  alias.fm.SetAliasOf(&par->fm);
  Rel rAlias;
  rAlias.Setup(&alias.fm, true);
  rAlias.SetAlias(&rPar);
  ASSERT_EQ(rAlias.Open(), kBenign);
  alias.rec.id = 2;
  ASSERT_EQ(alias.fm.Fetch(1), kBenign);
  ASSERT_EQ(rAlias.Delete(), kBenign);
  EXPECT_EQ(CountWith(*kid, 2), 0);
  EXPECT_EQ(CountWith(*sub, 2), 0);
  EXPECT_EQ(CountWith(*kid, 1), 2);
  rAlias.Close();
  rAlias.Teardown();
}

}  // namespace
