// Reading a whole file through CreateFileA, GetFileSize and ReadFile.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "velmora/win/win.h"

namespace {

namespace fs = std::filesystem;

TEST(WinReadFile, AWholeFileOfAnySizeAndTheFailures) {
  std::string tmpl = (fs::temp_directory_path() / "readfile_XXXXXX").string();
  const fs::path dir = mkdtemp(tmpl.data());
  const std::string path = (dir / "big.bin").string();
  std::string bytes(100000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
  std::ofstream(path, std::ios::binary) << bytes;

  win::HANDLE h = win::CreateFileA(path.c_str(), win::GENERIC_READ, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE,
                                   nullptr, win::OPEN_EXISTING, win::FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, win::INVALID_HANDLE_VALUE);
  win::DWORD high = 7;
  const win::DWORD size = win::GetFileSize(h, &high);
  EXPECT_EQ(size, bytes.size());
  EXPECT_EQ(high, 0u);
  std::string read(size + 10, 'x');
  win::DWORD got = 0;
  EXPECT_EQ(win::ReadFile(h, read.data(), size + 10, &got, nullptr), 1);
  EXPECT_EQ(got, size);
  EXPECT_EQ(read.substr(0, got), bytes);
  EXPECT_EQ(win::ReadFile(h, read.data(), 10, &got, nullptr), 1);  // at the end
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(win::CloseHandle(h), 1);

  // a missing file, a folder, a bad handle
  for (const std::string& name : {(dir / "missing").string(), dir.string()})
    EXPECT_EQ(win::CreateFileA(name.c_str(), win::GENERIC_READ, 0, nullptr, win::OPEN_EXISTING, 0, nullptr),
              win::INVALID_HANDLE_VALUE)
        << name;
  EXPECT_EQ(win::GetFileSize(win::INVALID_HANDLE_VALUE, nullptr), win::INVALID_FILE_SIZE);
  EXPECT_EQ(win::ReadFile(win::INVALID_HANDLE_VALUE, read.data(), 1, &got, nullptr), 0);
  EXPECT_EQ(win::CloseHandle(win::INVALID_HANDLE_VALUE), 0);
  fs::remove_all(dir);
}

}  // namespace
