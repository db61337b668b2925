// The ISAM driver under failures: full disks, damaged files and records,
// read-only folders, other users, and what each leaves on disk.
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

#include "fixture.h"
#include "scratch_disk.h"
#include "velmora/runtime/paths.h"
#include "velmora/runtime/threads.h"

using namespace db;
using fixture::Fill;

// Records which folders are synced, to see that CREATE syncs its folder.
namespace {
std::mutex gSyncMutex;
bool gRecordSyncs = false;
std::set<std::string> gSynced;
}  // namespace

extern "C" int fsync(int fd) {
  {
    std::lock_guard<std::mutex> lock(gSyncMutex);
    if (gRecordSyncs) {
      char buf[PATH_MAX];
      std::string link = "/proc/self/fd/" + std::to_string(fd);
      ssize_t n = ::readlink(link.c_str(), buf, sizeof buf - 1);
      if (n > 0) gSynced.insert(std::string(buf, static_cast<size_t>(n)));
    }
  }
  return static_cast<int>(::syscall(SYS_fsync, fd));
}

namespace {

namespace fs = std::filesystem;

class FilesRobust : public fixture::ScratchFolder {};

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Runs `body` in a child process; its answer ("" for success) comes back
// through a pipe. The child never returns into the test.
std::string InChild(const std::function<std::string()>& body) {
  int p[2];
  if (::pipe(p) != 0) return "pipe failed";
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(p[0]);
    std::string answer = body();
    if (::write(p[1], answer.data(), answer.size()) < 0) ::_exit(3);
    ::_exit(0);
  }
  ::close(p[1]);
  std::string answer;
  char buf[512];
  ssize_t n;
  while ((n = ::read(p[0], buf, sizeof buf)) > 0) answer.append(buf, static_cast<size_t>(n));
  ::close(p[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return answer + " (child ended with status " + std::to_string(status) + ")";
  return answer;
}

// The child goes on as the unprivileged user "nobody"; a test run that is
// not root is unprivileged already and goes on as itself.
bool BecomeNobody() { return ::geteuid() != 0 || (::setgid(65534) == 0 && ::setuid(65534) == 0); }

// The child can write no file beyond `bytes` (writes past it fail).
void LimitFileSize(rlim_t bytes) {
  ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit r = {bytes, bytes};
  ::setrlimit(RLIMIT_FSIZE, &r);
}

std::string Describe(const char* what) {
  return std::string(what) + ": " + std::to_string(rt::ErrorCode()) + " " + rt::FileErrorText();
}

// Runs raw SQL against a data file, as damage from outside would.
void Sql(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  char* msg = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &msg), SQLITE_OK) << (msg ? msg : "");
  sqlite3_free(msg);
  sqlite3_close(db);
}

}  // namespace

// A batch whose transaction SQLite rolls back by itself (the disk is full)
// stays atomic: from the failure on, every operation of the batch fails,
// FLUSH or COMMIT reports the reason, and nothing of the batch is kept.
TEST_F(FilesRobust, BatchStaysAtomicWhenTheDiskFills) {
  for (bool logout : {false, true}) {
    fs::remove("data/people.tps");
    Close(*fixture::Filled({{1, "before"}, {2, "before"}}));
    const rlim_t limit = fs::file_size("data/people.tps") + 96 * 1024;
    std::string answer = InChild([&]() -> std::string {
      LimitFileSize(limit);
      auto f = fixture::People();
      Open(*f);
      if (rt::ErrorCode()) return Describe("open");
      if (logout)
        Logout(1, {f.get()});
      else
        Stream(*f);
      int failedAt = 0;
      std::vector<uint8_t> memo(4000, 'm');
      for (int i = 0; i < 400; ++i) {
        Fill(*f, {100 + i, "batch"});
        f->Memos()[0].data = memo;
        Add(*f);
        if (rt::ErrorCode() && !failedAt) failedAt = i + 1;
        if (failedAt && !rt::ErrorCode())
          return "ADD " + std::to_string(i + 1) + " succeeded after ADD " +
                 std::to_string(failedAt) + " failed";
      }
      if (!failedAt) return "the disk never filled";
      if (logout)
        Commit();
      else
        Flush(*f);
      if (rt::ErrorCode() != rt::kDriverError || rt::FileErrorText().empty())
        return Describe("the end of the batch");
      Close(*f);
      return {};
    });
    EXPECT_EQ(answer, "") << (logout ? "LOGOUT" : "STREAM");
    auto f = fixture::People();
    Open(*f);
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
    EXPECT_EQ(fixture::Scan(*f, 1), (std::vector<int32_t>{1, 2}));
    Close(*f);
  }
}

// A STREAM takes the write lock only when it writes, and a thread waiting
// for a lock lets other threads have the runtime lock meanwhile.
TEST_F(FilesRobust, WaitsHoldNeitherTheWriteLockNorTheRuntimeLock) {
  auto f = fixture::Filled({});
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open("data/people.tps", &other), SQLITE_OK);
  Stream(*f);
  EXPECT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

  // The other connection holds the write lock; ADD waits for it.
  rt::LockThread();
  std::atomic<bool> adding{false}, gotRuntimeLock{false}, addDone{false};
  std::thread t([&] {
    while (!adding) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    rt::LockThread();
    gotRuntimeLock = !addDone;
    rt::UnlockThread();
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  });
  Send(*f, "Recover=3");
  Fill(*f, {1, "waited"});
  adding = true;
  Add(*f);
  addDone = true;
  EXPECT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
  rt::UnlockThread();
  t.join();
  EXPECT_TRUE(gotRuntimeLock);
  Flush(*f);
  EXPECT_EQ(rt::ErrorCode(), 0);
  EXPECT_EQ(Records(*f), 1u);
  sqlite3_close(other);
}

// Conditions that pass (a lock, no room for the WAL index) are not
// reported as a foreign or damaged file.
TEST_F(FilesRobust, TransientConditionsAreNot36) {
  Close(*fixture::Filled({{1, "x"}}));
  std::string answer = InChild([&]() -> std::string {
    LimitFileSize(0);
    auto f = fixture::People();
    Open(*f);
    if (rt::ErrorCode() != rt::kDriverError) return Describe("open without room");
    if (rt::FileErrorText().find("people.tps") == std::string::npos)
      return Describe("no file name in the text");
    return {};
  });
  EXPECT_EQ(answer, "");

  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open("data/people.tps", &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE;", nullptr,
                         nullptr, nullptr),
            SQLITE_OK);
  auto f = fixture::People();
  Send(*f, "Recover=1");
  Open(*f);
  EXPECT_EQ(rt::ErrorCode(), rt::kAccessDenied) << rt::FileErrorText();
  sqlite3_close(holder);
  Open(*f);
  EXPECT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
}

// A refused OPEN changes nothing on disk, even with a WAL beside the file.
TEST_F(FilesRobust, RefusedOpenLeavesFileAndWalAlone) {
  std::vector<fixture::Person> people;
  for (int i = 1; i <= 30; ++i) people.push_back({i, "in the wal"});
  auto live = fixture::Filled(people);  // open: the records stay in its WAL
  ASSERT_GT(fs::file_size("data/people.tps-wal"), 0u);
  for (const char* name : {"damaged", "changed"}) {
    std::string base = std::string("data/") + name + ".tps";
    fs::copy_file("data/people.tps", base);
    fs::copy_file("data/people.tps-wal", base + "-wal");
  }
  fs::resize_file("data/damaged.tps", 4096);  // pages the WAL does not hold are gone
  const std::string damaged = FileBytes("data/damaged.tps"), changed = FileBytes("data/changed.tps");
  const std::string wal = FileBytes("data/damaged.tps-wal");

  auto f = fixture::People("PEO", ".\\data\\damaged.tps");
  Open(*f);
  EXPECT_EQ(rt::ErrorCode(), rt::kInvalidDataFile);
  auto g = db::DeclBuilder("People", "PEO").Driver("ISAM").Name(".\\data\\changed.tps")
               .Field(Type::Long, "ID").Build();
  Open(*g);
  EXPECT_EQ(rt::ErrorCode(), rt::kInvalidRecordDeclaration);

  EXPECT_TRUE(FileBytes("data/damaged.tps") == damaged);
  EXPECT_TRUE(FileBytes("data/damaged.tps-wal") == wal);
  EXPECT_TRUE(FileBytes("data/changed.tps") == changed);
  EXPECT_TRUE(FileBytes("data/changed.tps-wal") == wal);
}

// Open errors name the file and the reason in words.
TEST_F(FilesRobust, OpenErrorsNameThePathAndTheReason) {
  Close(*fixture::Filled({{1, "x"}}));
  { std::ofstream("data/foreign.tps") << "not ours"; }
  const std::string abs = (dir_ / "data").string();
  struct Case {
    std::string name;
    int code;
    std::string reason;
  } cases[] = {
      {".\\data\\missing.tps", rt::kFileNotFound, "file not found"},
      {".\\data\\foreign.tps", rt::kInvalidDataFile, "not a data file of this program"},
      {".\\data\\people.tps\\!other", rt::kFileNotFound, "no table"},
  };
  for (const Case& c : cases) {
    auto f = fixture::People("PEO", c.name);
    Open(*f);
    EXPECT_EQ(rt::ErrorCode(), c.code) << c.name;
    EXPECT_EQ(rt::FileErrorText().rfind(abs + "/", 0), 0u) << rt::FileErrorText();
    EXPECT_NE(rt::FileErrorText().find(c.reason), std::string::npos) << rt::FileErrorText();
  }
  auto changed = db::DeclBuilder("People", "PEO").Driver("ISAM").Name(".\\data\\people.tps")
                     .Field(Type::Long, "ID").Build();
  Open(*changed);
  EXPECT_EQ(rt::ErrorCode(), rt::kInvalidRecordDeclaration);
  EXPECT_EQ(rt::FileErrorText(),
            abs + "/people.tps: the record declaration differs from the structure stored in the file");
}

// Damage inside a record image or a blob is found when it is read.
TEST_F(FilesRobust, DamagedRecordsAreReportedNotReturned) {
  auto f = fixture::Filled({{1, "one"}, {2, "two"}, {3, "three"}});
  f->Memos()[0].data = {1, 2, 3};
  Fill(*f, {4, "four"});
  f->Memos()[0].data = {1, 2, 3};
  Add(*f);
  Close(*f);
  Sql("data/people.tps",
      "UPDATE d SET rec = substr(rec, 1, 5) || x'58' || substr(rec, 7) WHERE id = 2;"
      "UPDATE d SET m1 = x'010203FF' WHERE id = 4;");
  Open(*f);
  ASSERT_EQ(rt::ErrorCode(), 0);
  for (int id : {2, 4}) {
    Fill(*f, {id, ""});
    Get(*f, 1);
    EXPECT_EQ(rt::ErrorCode(), rt::kInvalidDataFile) << id;
    EXPECT_NE(rt::FileErrorText().find("people.tps: damaged record at position " + std::to_string(id)),
              std::string::npos)
        << rt::FileErrorText();
  }
  Set(*f, 0);
  Next(*f);
  EXPECT_EQ(rt::ErrorCode(), 0);
  Next(*f);  // record 2
  EXPECT_EQ(rt::ErrorCode(), rt::kInvalidDataFile);
  Fill(*f, {3, ""});
  Get(*f, 1);
  EXPECT_EQ(rt::ErrorCode(), 0);  // sound records still read
  EXPECT_EQ(fixture::Name(*f), "three       ");
}

// A read-only folder or file opens in the read-only modes and leaves no
// -wal or -shm behind, with or without a lock file beside it (a file put
// there by a rename has none); write modes are refused with 5.
TEST_F(FilesRobust, ReadOnlyFoldersAndFiles) {
  fs::permissions(dir_, fs::perms(0755));
  Close(*fixture::Filled({{1, "x"}, {2, "y"}}));
  struct Case {
    const char* what;
    fs::perms folder, file;
    bool lockFile;
  } cases[] = {{"read-only folder", fs::perms(0555), fs::perms(0644), true},
               {"read-only file", fs::perms(0777), fs::perms(0444), true},
               {"read-only folder without a lock file", fs::perms(0555), fs::perms(0644), false}};
  for (const Case& c : cases) {
    fs::permissions("data", fs::perms(0755));
    if (!c.lockFile) fs::remove("data/people.tps.lck");
    fs::permissions("data", c.folder);
    fs::permissions("data/people.tps", c.file);
    std::string answer = InChild([&]() -> std::string {
      if (!BecomeNobody()) return "cannot become nobody";
      auto f = fixture::People();
      Open(*f, kReadOnly | kDenyNone);
      if (rt::ErrorCode()) return Describe("read-only open");
      if (Records(*f) != 2) return Describe("records");
      Close(*f);
      if (fs::exists("data/people.tps-wal") || fs::exists("data/people.tps-shm"))
        return "a -wal or -shm file was left";
      Open(*f, kReadWrite | kDenyNone);
      if (rt::ErrorCode() != rt::kAccessDenied) return Describe("read/write open");
      return {};
    });
    EXPECT_EQ(answer, "") << c.what;
  }
  fs::permissions("data", fs::perms(0755));
}

// Deny modes hold between users whatever the umask: the lock file takes
// the data file's permissions and works read-only; a lock file that cannot
// be opened refuses the open.
TEST_F(FilesRobust, DenyModesHoldBetweenUsers) {
  fs::permissions(dir_, fs::perms(0755));
  Close(*fixture::Filled({{1, "x"}}));
  fs::remove("data/people.tps.lck");
  fs::permissions("data/people.tps", fs::perms(0644));
  mode_t old = ::umask(077);
  auto f = fixture::People();
  Open(*f, kReadWrite | kDenyAll);
  ::umask(old);
  ASSERT_EQ(rt::ErrorCode(), 0);
  EXPECT_EQ(fs::status("data/people.tps.lck").permissions(), fs::perms(0644));
  std::string answer = InChild([&]() -> std::string {
    if (!BecomeNobody()) return "cannot become nobody";
    auto g = fixture::People();
    Open(*g, kReadOnly | kDenyNone);
    if (rt::ErrorCode() != rt::kAccessDenied) return Describe("open beside deny all");
    return {};
  });
  EXPECT_EQ(answer, "");
  Close(*f);

  fs::remove("data/people.tps.lck");
  fs::create_directory("data/people.tps.lck");
  Open(*f);
  EXPECT_EQ(rt::ErrorCode(), rt::kAccessDenied);
  EXPECT_NE(rt::FileErrorText().find("lock file"), std::string::npos) << rt::FileErrorText();
}

// Data files in a folder whose name holds "é", named relative and
// absolute in the runtime's Windows-1252 form.
TEST_F(FilesRobust, NonAsciiFolders) {
  fs::create_directory("d\xC3\xA9j\xC3\xA0");
  const std::string absolute = rt::WindowsPath((dir_ / "d\xC3\xA9j\xC3\xA0" / "abs.tps").string());
  for (const std::string& name : {std::string(".\\d\xE9j\xE0\\rel.tps"), absolute}) {
    auto f = fixture::People("PEO", name);
    Create(*f);
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
    Open(*f);
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
    Fill(*f, {1, "\xE9t\xE9"});
    Add(*f);
    EXPECT_EQ(rt::ErrorCode(), 0);
    Close(*f);
  }
  EXPECT_TRUE(fs::exists("d\xC3\xA9j\xC3\xA0/rel.tps"));
  EXPECT_TRUE(fs::exists("d\xC3\xA9j\xC3\xA0/abs.tps"));
  // Errors name the folder in the runtime's text.
  auto g = fixture::People("PEO", ".\\d\xE9j\xE0\\missing.tps");
  Open(*g);
  EXPECT_EQ(rt::ErrorCode(), rt::kFileNotFound);
  EXPECT_NE(rt::FileErrorText().find("/d\xE9j\xE0/missing.tps: file not found"), std::string::npos)
      << rt::FileErrorText();
}

// CREATE and RENAME are durable when they return: the folders are synced
// after the file is moved into place (both folders of a move between two).
TEST_F(FilesRobust, CreateAndRenameSyncTheirFolders) {
  auto recording = [](bool on) {
    std::lock_guard<std::mutex> lock(gSyncMutex);
    if (on) gSynced.clear();
    gRecordSyncs = on;
  };
  auto f = fixture::People();
  recording(true);
  Create(*f);
  EXPECT_EQ(rt::ErrorCode(), 0);
  recording(false);
  EXPECT_EQ(gSynced.count(fs::canonical("data").string()), 1u);
  fs::create_directory("other");
  recording(true);
  Rename(*f, ".\\other\\people.tps");
  EXPECT_EQ(rt::ErrorCode(), 0);
  recording(false);
  EXPECT_EQ(gSynced.count(fs::canonical("data").string()), 1u);
  EXPECT_EQ(gSynced.count(fs::canonical("other").string()), 1u);
}

// Records that sit in the WAL when the disk refuses their write-back into
// the file (a size limit here) stay there: CLOSE reports the disk's reason,
// RENAME and COPY refuse to move the main file without them, and the file
// opens later with every record.
TEST_F(FilesRobust, RefusedWriteBackKeepsTheRecordsWithTheirFile) {
  Close(*fixture::Filled({}));
  std::string answer = InChild([&]() -> std::string {
    auto f = fixture::People();
    Open(*f);
    Logout(1, {f.get()});
    for (int i = 1; i <= 30; ++i) {
      Fill(*f, {i, "in the wal"});
      f->Memos()[0].data.assign(3000, static_cast<uint8_t>(i));
      Add(*f);
    }
    Commit();
    if (rt::ErrorCode()) return Describe("commit");
    LimitFileSize(fs::file_size("data/people.tps"));
    Close(*f);
    if (rt::ErrorCode() != rt::kDriverError || rt::FileErrorText().find("File too large") == std::string::npos)
      return Describe("close");
    Rename(*f, ".\\data\\moved.tps");
    if (rt::ErrorCode() != rt::kDriverError) return Describe("rename");
    Copy(*f, ".\\data\\copy.tps");
    if (rt::ErrorCode() != rt::kDriverError) return Describe("copy");
    return {};
  });
  EXPECT_EQ(answer, "");
  EXPECT_FALSE(fs::exists("data/moved.tps"));
  EXPECT_FALSE(fs::exists("data/copy.tps"));
  auto f = fixture::People();
  Open(*f);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
  EXPECT_EQ(Records(*f), 30u);
  Close(*f);
}

// A full disk refuses writes, not reads: a read-only open works and finds
// every record, whether the file is closed everywhere (nothing beside it
// but its lock file) or another instance has it open.
TEST_F(FilesRobust, FullDiskStillOpensForReading) {
  std::string answer = InChild([&]() -> std::string {
    if (!scratchdisk::PrivateTmpfs(dir_, 1)) return "no tmpfs";
    fs::create_directory("data");
    Close(*fixture::Filled({{1, "x"}, {2, "y"}}));
    scratchdisk::FillTheDisk();
    auto f = fixture::People();
    for (const char* when : {"closed everywhere", "open elsewhere"}) {
      Open(*f, kReadOnly | kDenyNone);
      if (rt::ErrorCode()) return Describe(when);
      if (Records(*f) != 2) return Describe("records");
      Fill(*f, {3, "z"});
      Add(*f);
      if (rt::ErrorCode() == 0) return "an add to a read-only open";
      Close(*f);
      if (std::string(when) == "open elsewhere") break;
      // Another instance holds it open (made before the disk filled up).
      fs::remove("filler");
      static auto other = fixture::People("OTH");
      Open(*other);
      if (rt::ErrorCode()) return Describe("the other open");
      scratchdisk::FillTheDisk();
    }
    return {};
  });
  if (answer == "no tmpfs") GTEST_SKIP() << "no private tmpfs can be made here";
  EXPECT_EQ(answer, "");
}
