// The file utilities: BLOBs to and from files, the temporary folder,
// folders and file searches.
#include "velmora/app/fileutil.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "fixture.h"
#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/paths.h"

// What the system is asked to do with files named "watched.bin": the
// read-ahead announced and the reads, to see what reaches the driver.
namespace {
std::mutex gWatchMutex;
std::vector<off_t> gAdvised;
std::vector<size_t> gReads;
bool Watched(int fd) {
  char buf[PATH_MAX];
  std::string link = "/proc/self/fd/" + std::to_string(fd);
  ssize_t n = ::readlink(link.c_str(), buf, sizeof buf - 1);
  return n > 0 && std::string(buf, static_cast<size_t>(n)).ends_with("/watched.bin");
}
}  // namespace

extern "C" int posix_fadvise(int fd, off_t offset, off_t len, int advice) {
  if (Watched(fd)) {
    std::lock_guard<std::mutex> lock(gWatchMutex);
    gAdvised.push_back(len);
  }
  return static_cast<int>(::syscall(SYS_fadvise64, fd, offset, len, advice));
}

extern "C" ssize_t pread(int fd, void* buf, size_t count, off_t offset) {
  if (Watched(fd)) {
    std::lock_guard<std::mutex> lock(gWatchMutex);
    gReads.push_back(count);
  }
  return ::syscall(SYS_pread64, fd, buf, count, offset);
}
extern "C" ssize_t pread64(int fd, void* buf, size_t count, off_t offset) {
  return pread(fd, buf, count, offset);
}

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Pattern(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>((i * 7 + i / 251) & 0xFF);
  return v;
}

std::vector<uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

class AppFileUtilBlob : public cltest::TempFolder {
 protected:
  void SetUp() override {
    TempFolder::SetUp();
    rec = db::DeclBuilder("Blobs", "BLB")
              .Field(db::Type::Long, "ID")
              .Memo("DATA", db::kMemoBinary, 0)
              .Build();
  }
  void Fill(const std::vector<uint8_t>& bytes) {
    db::BlobSetSize(*rec, 0, static_cast<uint32_t>(bytes.size()));
    db::BlobWrite(*rec, 0, 0, bytes);
  }
  std::vector<uint8_t> Blob() { return db::BlobRead(*rec, 0, 0, db::BlobSize(*rec, 0)); }
  std::unique_ptr<db::FileDecl> rec;
};

TEST_F(AppFileUtilBlob, LargeBlobGoesOutAndBackInChunks) {
  // 70000 bytes: two full chunks of 32768 and one of 4464.
  const auto bytes = Pattern(70000);
  Fill(bytes);
  { std::ofstream("out.bin", std::ios::binary) << std::string(90000, 'x'); }
  EXPECT_EQ(app::BlobToFile(*rec, 0, ".\\out.bin  "), 0);
  EXPECT_EQ(FileBytes("out.bin"), bytes);  // an existing file is emptied first

  Fill({1, 2, 3});
  EXPECT_EQ(app::FileToBlob(*rec, 0, ".\\out.bin"), 0);
  EXPECT_EQ(Blob(), bytes);

  // Exactly one full chunk, and a file in a folder.
  fs::create_directory("sub");
  Fill(Pattern(app::kCopyChunk));
  EXPECT_EQ(app::BlobToFile(*rec, 0, "sub\\one.bin"), 0);
  EXPECT_EQ(FileBytes("sub/one.bin"), Pattern(app::kCopyChunk));
}

// The option reaches the DOS driver (which reads that much ahead) and a
// 70000-byte file is read in three chunks.
TEST_F(AppFileUtilBlob, FileBuffersReachTheDriverAndChunksAreRead) {
  { std::ofstream("watched.bin", std::ios::binary) << std::string(70000, 'w'); }
  {
    std::lock_guard<std::mutex> lock(gWatchMutex);
    gAdvised.clear();
    gReads.clear();
  }
  EXPECT_EQ(app::FileToBlob(*rec, 0, "watched.bin"), 0);
  EXPECT_EQ(Blob().size(), 70000u);
  std::lock_guard<std::mutex> lock(gWatchMutex);
  EXPECT_EQ(gAdvised, (std::vector<off_t>{137 * 512}));
  EXPECT_EQ(gReads, (std::vector<size_t>{32768, 32768, 4464}));
}

TEST(AppFileUtilOption, FileBuffersIsSizeOver512Rounded) {
  struct Case {
    uint64_t size;
    const char* option;
  } cases[] = {{70000, "FILEBUFFERS=137"}, {255, "FILEBUFFERS=0"},  {256, "FILEBUFFERS=1"},
               {1024, "FILEBUFFERS=2"},    {1279, "FILEBUFFERS=2"}, {1280, "FILEBUFFERS=3"}};
  for (const Case& c : cases) EXPECT_EQ(app::FileBuffersOption(c.size), c.option) << c.size;
}

TEST_F(AppFileUtilBlob, EmptyBlobEmptyNameAndEmptyFile) {
  EXPECT_EQ(app::BlobToFile(*rec, 0, "none.bin"), 0);
  EXPECT_FALSE(fs::exists("none.bin"));

  Fill({9, 8, 7});
  EXPECT_EQ(app::BlobToFile(*rec, 0, "   "), 36);
  EXPECT_EQ(app::FileToBlob(*rec, 0, ""), 36);

  { std::ofstream("empty.bin"); }
  EXPECT_EQ(app::FileToBlob(*rec, 0, "empty.bin"), 36);
  EXPECT_EQ(Blob(), (std::vector<uint8_t>{9, 8, 7}));
}

TEST_F(AppFileUtilBlob, FailuresReturnTheirCodeAndLeaveTheBlobAlone) {
  Fill({9, 8, 7});
  EXPECT_EQ(app::FileToBlob(*rec, 0, "missing.bin"), rt::kFileNotFound);
  // A folder opens but cannot be read: the BLOB must not be resized or
  // partly filled.
  fs::create_directory("folder.bin");
  EXPECT_NE(app::FileToBlob(*rec, 0, "folder.bin"), 0);
  EXPECT_EQ(Blob(), (std::vector<uint8_t>{9, 8, 7}));

  EXPECT_NE(app::BlobToFile(*rec, 0, "nofolder\\x.bin"), 0);
  EXPECT_FALSE(fs::exists("nofolder"));

  // A BLOB that cannot be read is a failure, not an empty BLOB.
  EXPECT_EQ(app::BlobToFile(*rec, 5, "noblob.bin"), rt::kDriverError);
  EXPECT_FALSE(fs::exists("noblob.bin"));
  { std::ofstream("small.bin") << "abc"; }
  EXPECT_EQ(app::FileToBlob(*rec, 5, "small.bin"), rt::kDriverError);
}

// Folder names with "é" (Windows-1252 inside the runtime, UTF-8 on disk)
// are converted once on the way out and once on the way back.
TEST_F(AppFileUtilBlob, NonAsciiFolders) {
  const std::string folder = "d\xE9j\xE0";            // "déjà" in the runtime's text
  const std::string onDisk = "d\xC3\xA9j\xC3\xA0";  // and in the host's
  EXPECT_EQ(app::MakeFolder(folder), 1);
  EXPECT_TRUE(fs::is_directory(onDisk));
  Fill(Pattern(1000));
  EXPECT_EQ(app::BlobToFile(*rec, 0, folder + "\\x.bin"), 0);
  EXPECT_EQ(FileBytes(onDisk + "/x.bin"), Pattern(1000));
  EXPECT_EQ(app::FileExists(folder + "\\*.bin"), 1);
  const std::string absolute = rt::WindowsPath((dir_ / onDisk / "x.bin").string());
  Fill({1});
  EXPECT_EQ(app::FileToBlob(*rec, 0, absolute), 0);
  EXPECT_EQ(Blob(), Pattern(1000));

  const char* old = std::getenv("TMPDIR");
  std::string saved = old ? old : "";
  setenv("TMPDIR", (dir_ / onDisk).c_str(), 1);
  std::string temp = app::GetTempFolder();
  EXPECT_EQ(temp, rt::WindowsPath((dir_ / onDisk).string()) + "\\");
  EXPECT_EQ(app::FileExists(temp + "x.bin"), 1);
  if (old)
    setenv("TMPDIR", saved.c_str(), 1);
  else
    unsetenv("TMPDIR");
}

class AppFileUtilSystem : public cltest::TempFolder {};

TEST_F(AppFileUtilSystem, TempFolderIsWindowsFormOrEmpty) {
  const char* old = std::getenv("TMPDIR");
  std::string saved = old ? old : "";
  setenv("TMPDIR", dir_.c_str(), 1);
  std::string folder = app::GetTempFolder();
  EXPECT_EQ(folder.back(), '\\');
  EXPECT_EQ(db::HostPath(folder), dir_.string() + "/");
  setenv("TMPDIR", ("/" + std::string(300, 'a')).c_str(), 1);
  EXPECT_EQ(app::GetTempFolder(), "");
  if (old)
    setenv("TMPDIR", saved.c_str(), 1);
  else
    unsetenv("TMPDIR");
}

TEST_F(AppFileUtilSystem, MakeFolderAndFileExists) {
  EXPECT_EQ(app::MakeFolder("made  "), 1);
  EXPECT_TRUE(fs::is_directory("made"));
  EXPECT_EQ(app::MakeFolder("made"), 0);
  EXPECT_EQ(app::MakeFolder(""), 0);
  EXPECT_EQ(app::MakeFolder("no\\such\\parent"), 0);

  { std::ofstream("made/form.pdf") << "%PDF"; }
  struct Case {
    std::string name;
    int found;
  } cases[] = {
      {".\\made\\form.pdf", 1},     {"made\\form.pdf   ", 1}, {"made\\*.*", 1}, {"made\\*.pdf", 1},
      {"made\\*.fdf", 0},           {"made\\other.pdf", 0},   {"data\\*.*", 0},  // an empty folder
                                                                                 // holds no file
      {dir_.string() + "\\*.*", 1},
  };
  for (const Case& c : cases) EXPECT_EQ(app::FileExists(c.name), c.found) << c.name;
}

}  // namespace
