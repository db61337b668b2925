#include <gtest/gtest.h>

#include "velmora/runtime/cmdline.h"

using namespace rt;

TEST(RuntimeCommandLine, SwitchesAndPositions) {
  SetCommandLine({"C:\\prog\\velmora.exe", "first", "/debugrv", "/Name=Value", "/Empty=", "/LoadFast"});
  EXPECT_TRUE(HasSwitch("/DEBUGRV"));
  EXPECT_TRUE(HasSwitch("/loadfast"));
  EXPECT_TRUE(HasSwitch("/name"));
  EXPECT_FALSE(HasSwitch("/debug"));       // a whole token only
  EXPECT_FALSE(HasSwitch("/debugrvall"));
  EXPECT_FALSE(HasSwitch("first") && HasSwitch(""));

  EXPECT_EQ(Command("/name"), "Value");
  EXPECT_EQ(Command("/NAME="), "Value");
  EXPECT_EQ(Command("/empty"), "");
  EXPECT_EQ(Command("/missing"), "");
  EXPECT_EQ(Command("/debugrv"), "/debugrv");  // present without a value
  EXPECT_EQ(Command("", 0), "C:\\prog\\velmora.exe");
  EXPECT_EQ(Command("", 1), "first");
  EXPECT_EQ(Command("", 6), "");
  EXPECT_EQ(Command("", -1), "");
}

TEST(RuntimeCommandLine, ExactCaseKeepsSwitchesApart) {
  SetCommandLine({"prog", "/DOWNGRADE", "/Name=Value"});
  EXPECT_TRUE(HasSwitch("/DOWNGRADE", SwitchCase::Exact));
  EXPECT_FALSE(HasSwitch("/downgrade", SwitchCase::Exact));
  EXPECT_TRUE(HasSwitch("/downgrade"));  // the program's own matching
  EXPECT_EQ(Command("/Name", 0, SwitchCase::Exact), "Value");
  EXPECT_EQ(Command("/name", 0, SwitchCase::Exact), "");
}

TEST(RuntimeCommandLine, ProgramPathFromArgv) {
  char a0[] = "runtime_tests", a1[] = "/x";
  char* argv[] = {a0, a1, nullptr};
  SetCommandLine(2, argv);
  std::string path = Command("", 0);
  EXPECT_EQ(path.front(), '\\');  // absolute, in Windows form
  EXPECT_EQ(path.find('/'), std::string::npos);
  EXPECT_NE(path.find("\\runtime_tests"), std::string::npos);
  EXPECT_TRUE(HasSwitch("/X"));
}
