#include <thread>

#include "fixture.h"
#include "velmora/classlib/errors.h"
#include "velmora/classlib/inimgr.h"
#include "velmora/classlib/textmatcher.h"
#include "velmora/runtime/errors.h"

namespace {

using cl::ErrorReporter;

class ClasslibErrors : public cltest::TempFolder {};

TEST_F(ClasslibErrors, SubstitutesEveryPlaceholderOnce) {
  ErrorReporter e;
  e.Setup();
  e.PushProcedure("Main");
  e.PushProcedure("UpdateForms");
  e.SetFile("Forms");
  e.SetField("FOR:ID_Key");
  e.Details().message = "delete %File";  // a value is never searched again
  rt::SetError(rt::kAccessDenied);
  EXPECT_EQ(e.Substitute("%File|%Field|%Message|%Procedure|%ErrorText|%Other%"),
            "Forms|FOR:ID_Key|delete %File|UpdateForms|" + rt::ErrorText() + " (5)|%Other%");
  e.PopProcedure();
  EXPECT_EQ(e.Procedure(), "Main");
  e.PopProcedure();
  e.PopProcedure();  // popping an empty stack is harmless
  EXPECT_EQ(e.Substitute("[%Procedure]"), "[]");
}

TEST_F(ClasslibErrors, DriverTextJoinsTheErrorText) {
  ErrorReporter e;
  e.Setup();
  rt::SetFileError(rt::kDriverError, 11, "database disk image is malformed", "x.tps");
  EXPECT_EQ(e.Substitute("%ErrorText"),
            rt::ErrorText() + " (90) 11: database disk image is malformed");
}

// A file that cannot be opened or made is named by its path, with what
// happened in words and the error number.
TEST_F(ClasslibErrors, OpenAndCreateFailuresNameThePathAndTheReason) {
  const std::string path = (dir_ / "data/forms.tps").string();
  struct Case {
    cl::Msg id;
    int code;
    std::string driverText;  // "": none
    std::string shown;
  } cases[] = {
      {cl::Msg::OpenFailed, rt::kInvalidDataFile, "",
       "Unable to open Forms (" + path + "): Invalid Data File (36)"},
      {cl::Msg::OpenFailed, rt::kInvalidDataFile, "not a data file of this program",
       "Unable to open Forms (" + path + "): not a data file of this program (36)"},
      // a driver text that names the path itself does not name it twice
      {cl::Msg::OpenFailed, rt::kDriverError, path + ": disk I/O error",
       "Unable to open Forms (" + path + "): disk I/O error (90)"},
      {cl::Msg::CreateFailed, rt::kAccessDenied, "",
       "Unable to create Forms (" + path + "): Access Denied (5)"},
  };
  ErrorReporter e;
  e.Setup();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shown);
    shown_.clear();
    if (c.driverText.empty()) rt::SetError(c.code);
    else rt::SetFileError(c.code, 10, c.driverText, ".\\data\\forms.tps");
    EXPECT_EQ(e.ThrowFile(c.id, "Forms", ".\\data\\forms.tps"), cl::kFatal);
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].text, c.shown);
    EXPECT_EQ(shown_[0].caption, "Error");
  }
  rt::ClearError();
}

TEST_F(ClasslibErrors, ThrowShowsTheMessageWithItsCaption) {
  ErrorReporter e;
  e.Setup();
  rt::SetError(rt::kFileNotFound);
  EXPECT_EQ(e.ThrowFile(cl::Msg::OpenFailed, "PageControls"), cl::kFatal);
  e.SetField("FIL:FormID_Key");
  EXPECT_EQ(e.ThrowFile(cl::Msg::DuplicateKey, "FilledForm"), cl::kNotify);
  ASSERT_EQ(shown_.size(), 2u);
  EXPECT_EQ(shown_[0].caption, "Error");
  EXPECT_EQ(shown_[0].text, "Unable to open PageControls: File Not Found (2)");
  EXPECT_EQ(shown_[1].caption, "Velmora");
  EXPECT_EQ(shown_[1].text,
            "Adding this FilledForm record creates a duplicate entry for the key: "
            "FIL:FormID_Key");
}

TEST_F(ClasslibErrors, ProcedureStackIsPerThread) {
  ErrorReporter e;
  e.Setup();
  e.PushProcedure("Main");
  std::string other;
  std::thread t([&] {
    e.PushProcedure("ShowFormsTree");
    other = e.Procedure();
  });
  t.join();
  EXPECT_EQ(other, "ShowFormsTree");
  EXPECT_EQ(e.Procedure(), "Main");
}

TEST(ClasslibTextMatcher, OptionsChangeWhatMatches) {
  struct Case {
    int noCase, wholeWord;
    const char *text, *pattern;
    size_t found;
  } cases[] = {
      {0, 0, "Invoice Form", "form", 0},
      {1, 0, "Invoice Form", "form", 9},
      {1, 0, "Formula", "FORM", 1},
      {1, 1, "Formula", "FORM", 0},
      {1, 1, "Tax formula form", "form", 13},
      {0, 1, "a_form form", "form", 8},
      {1, 1, "form", "form", 1},
      {1, 0, "anything", "", 0},
      {1, 0, "\xe9t\xe9", "\xc9T\xc9", 1},  // Windows-1252 letters
  };
  cl::TextMatcher m;
  for (const Case& c : cases) {
    m.Setup();
    m.SetOption(cl::TextMatcher::kCaseInsensitive, c.noCase);
    m.SetOption(cl::TextMatcher::kWholeWord, c.wholeWord);
    EXPECT_EQ(m.Find(c.text, c.pattern), c.found) << c.text << " / " << c.pattern;
  }
}

class ClasslibIni : public cltest::TempFolder {};

TEST_F(ClasslibIni, ValuesAndWindowPositions) {
  cl::IniMgr ini;
  ini.Setup("Quintrel.INI");
  cl::WindowPosition pos{5, 6, 7, 8, false};
  EXPECT_FALSE(ini.FetchPosition("Main", pos));
  EXPECT_EQ(pos.x, 5);
  ini.UpdatePosition("Main", {10, -20, 640, 480, true});
  ini.Update("Settings", "Zoom", "150");
  cl::WindowPosition back;
  ASSERT_TRUE(ini.FetchPosition("main", back));
  EXPECT_EQ(back.x, 10);
  EXPECT_EQ(back.y, -20);
  EXPECT_EQ(back.width, 640);
  EXPECT_EQ(back.height, 480);
  EXPECT_TRUE(back.maximized);
  EXPECT_EQ(ini.Fetch("Settings", "Zoom"), "150");
  EXPECT_EQ(ini.Fetch("Settings", "Missing", "dflt"), "dflt");
  EXPECT_TRUE(std::filesystem::exists("Quintrel.INI"));
}

}  // namespace
