// Starting programs without a shell, and the desktop's associations.
#include <gtest/gtest.h>

#include <cerrno>

#include "velmora/shell/associations.h"
#include "velmora/shell/run.h"
#include "xdg_fixture.h"

namespace {

TEST(Run, ArgumentsReachTheProgramAsData) {
  const std::string risky = "a;b & c $(echo no) `echo no` \"q\" 'q' *";
  shell::RunOptions o;
  o.captureOutput = true;
  shell::RunResult r = shell::Run({"printf", "%s|", risky, "two words"}, o);
  EXPECT_EQ(r.startError, 0);
  EXPECT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.output, risky + "|two words|");
}

TEST(Run, MissingProgramExitStatusAndTimeout) {
  EXPECT_EQ(shell::Run({"no-such-program-velmora"}).startError, ENOENT);
  EXPECT_EQ(shell::Run({"sh", "-c", "exit 3"}).exitCode, 3);
  shell::RunOptions o;
  o.waitMs = 50;
  shell::RunResult r = shell::Run({"sleep", "2"}, o);
  EXPECT_EQ(r.startError, 0);
  EXPECT_FALSE(r.finished);
}

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
