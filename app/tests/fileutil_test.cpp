// The file utilities: BLOBs to and from files, the temporary folder,
// folders and file searches.
#include "velmora/app/fileutil.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "fixture.h"
#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"

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
