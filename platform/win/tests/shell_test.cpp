// The classes root from the desktop's associations, and ShellExecuteA.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "velmora/runtime/paths.h"
#include "velmora/win/win.h"
#include "xdg_fixture.h"

namespace {

using WinShell = xdgtest::PrivateDesktop;

TEST_F(WinShell, ClassesRootAnswersFromTheAssociations) {
  Register("viewer", {"application/pdf"});
  Register("browser", {"x-scheme-handler/http"});
  auto query = [](const char* key, win::LONG size = 200) -> std::pair<win::LONG, std::string> {
    std::string buffer(static_cast<size_t>(size), '\0');
    win::LONG rc = win::RegQueryValueA(win::HKEY_CLASSES_ROOT, key, buffer.data(), &size);
    return {rc, buffer.c_str()};
  };
  EXPECT_EQ(query(".pdf"), (std::pair<win::LONG, std::string>{win::ERROR_SUCCESS, "application/pdf"}));
  EXPECT_EQ(query("application/pdf\\shell\\open\\command").second, Script("viewer") + " %u");
  EXPECT_EQ(query("HTTP\\Shell\\Open\\Command").second, Script("browser") + " %u");
  EXPECT_EQ(query("mailto\\shell\\open\\command").first, win::ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(query("pdffile\\shell\\open\\command").first, win::ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(query(".pdf", 4).first, win::ERROR_MORE_DATA);
}

TEST_F(WinShell, ShellExecuteResults) {
  Register("browser", {"x-scheme-handler/https"});
  EXPECT_GT(win::ShellExecuteA(nullptr, nullptr, "https://example.org/a b", nullptr, nullptr, win::SW_SHOWNORMAL), 32);
  EXPECT_EQ(Recorded("browser"), std::vector<std::string>{"https://example.org/a b"});
  EXPECT_EQ(win::ShellExecuteA(nullptr, nullptr, (root_ / "missing.pdf").c_str(), nullptr, nullptr, 1),
            win::SE_ERR_FNF);
  EXPECT_EQ(win::ShellExecuteA(nullptr, nullptr, "", nullptr, nullptr, 1), win::SE_ERR_FNF);
  // a file name in the runtime's Windows form reaches the program as the host's path
  Register("viewer", {"application/pdf"});
  const std::string file = (root_ / "saved form.pdf").string();
  std::ofstream(file) << "%PDF-1.4\n";
  EXPECT_GT(win::ShellExecuteA(nullptr, "open", rt::WindowsPath(file).c_str(), "", nullptr, 1), 32);
  EXPECT_EQ(Recorded("viewer"), std::vector<std::string>{file});
  EXPECT_EQ(win::ShellExecuteA(nullptr, "print", "https://example.org", nullptr, nullptr, 1), win::SE_ERR_NOASSOC);
}

}  // namespace
