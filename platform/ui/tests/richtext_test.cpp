// The rich-text control on the headless backend.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "velmora/ui/richtext.h"
#include "velmora/ui/window.h"

namespace ui {
namespace {

class UiRichText : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/richtext_test_XXXXXX";
    dir_ = mkdtemp(tmpl);
    WindowDesc d;
    d.caption = "Manual";
    ControlDesc text;
    text.type = ControlType::Text;
    text.number = 2;
    d.controls = {text};
    w_ = Window::Create(d);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
  std::shared_ptr<Window> w_;
};

TEST_F(UiRichText, LoadsRtfAsHtmlAndPlainText) {
  const auto file = dir_ / "doc.rtf";
  std::ofstream(file) << "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 {\\b Caf\\'e9} menu\\par Second line\\par}";
  RichTextControl rtf;
  rtf.Init(*w_, 2);
  EXPECT_EQ(w_->GetLong(2, Prop::RichText), 1);
  EXPECT_EQ(w_->GetLong(2, Prop::ReadOnly), 1);
  EXPECT_EQ(rtf.Title(), "Untitled");
  ASSERT_TRUE(rtf.Load(file.string()));
  EXPECT_EQ(w_->Get(2, Prop::ScreenText), "Caf\xE9 menu\nSecond line\n");  // Windows-1252
  const std::string html = w_->Get(2, Prop::Html);
  EXPECT_NE(html.find("<b>Caf</b>"), std::string::npos) << html;
  EXPECT_NE(html.find("&eacute; menu"), std::string::npos) << html;

  // a file that cannot be read leaves the control empty
  EXPECT_FALSE(rtf.Load((dir_ / "missing.rtf").string()));
  EXPECT_EQ(w_->Get(2, Prop::ScreenText), "");
  EXPECT_EQ(w_->Get(2, Prop::Html), "");
  EXPECT_FALSE(rtf.Load(""));
}

}  // namespace
}  // namespace ui
