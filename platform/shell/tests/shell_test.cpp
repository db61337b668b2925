// Starting programs without a shell, and the desktop's associations.
#include <gtest/gtest.h>

#include "velmora/shell/associations.h"
#include "xdg_fixture.h"

namespace {

using Associations = xdgtest::PrivateDesktop;

TEST_F(Associations, DefaultApplicationsAndTheirCommands) {
  Register("browser", {"x-scheme-handler/http", "x-scheme-handler/https"});
  Register("viewer", {"application/pdf"});
  EXPECT_EQ(shell::DefaultApplication("x-scheme-handler/https"), "browser.desktop");
  EXPECT_EQ(shell::OpenCommand("x-scheme-handler/http"), Script("browser") + " %u");
  EXPECT_EQ(shell::OpenCommand(shell::MimeTypeOfExtension("PDF")), Script("viewer") + " %u");
  EXPECT_EQ(shell::OpenCommand("x-scheme-handler/mailto"), "");
  EXPECT_EQ(shell::DesktopEntryCommand("missing.desktop"), "");
}

TEST_F(Associations, ExtensionsFromTheMimeDatabase) {
  EXPECT_EQ(shell::MimeTypeOfExtension("htm"), "text/html");
  EXPECT_EQ(shell::MimeTypeOfExtension("pdf"), "application/pdf");
  EXPECT_EQ(shell::MimeTypeOfExtension("no-such-extension-velmora"), "");
  EXPECT_EQ(shell::MimeTypeOfExtension(""), "");
}

}  // namespace
