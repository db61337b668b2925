// The hyperlink component: links on a headless window, opened through
// xdg-open in a private desktop whose programs are recording stand-ins.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <map>
#include <string>
#include <vector>

#include "velmora/links/linkhelper.h"
#include "velmora/ui/keys.h"
#include "velmora/win/version.h"
#include "velmora/runtime/cmdline.h"
#include "velmora/runtime/runtime.h"
#include "velmora/runtime/system.h"
#include "xdg_fixture.h"

namespace {

using ui::ControlType;
using ui::Prop;
namespace ev = ui::ev;

class RuntimeEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static char name[] = "links_tests";
    static char* argv[] = {name, nullptr};
    ASSERT_TRUE(rt::StartRuntime(1, argv)) << rt::StartError();
  }
  void TearDown() override { rt::RunMain([] {}); }
};
[[maybe_unused]] auto* const g_environment = ::testing::AddGlobalTestEnvironment(new RuntimeEnvironment);

constexpr long kBlue = 0xFF0000;
constexpr long kRed = 0x0000FF;
constexpr long kUnderlined = 0x2190, kPlain = 0x190;

// The list cell a click opens, and the rows the hover hook was told of.
class TestLinks : public links::LinkHelper {
 public:
  std::string Slot7(int, int column, std::string_view cell, std::string_view) override {
    return "https://example.org/row/" + std::string(cell) + "/" + std::to_string(column);
  }
  void OnListRowHover(int, int, long row, long style) override { hovers.push_back({row, style}); }
  std::vector<std::pair<long, long>> hovers;
};

struct TwoRows : ui::RowSource {
  long Rows() const override { return 2; }
  std::string Field(long row, int field) const override { return "r" + std::to_string(row) + "f" + std::to_string(field); }
};

ui::ControlDesc Control(ControlType type, int number, std::string text, int x, int y, int w, int h) {
  ui::ControlDesc d;
  d.type = type;
  d.number = number;
  d.text = std::move(text);
  d.x = x, d.y = y, d.width = w, d.height = h;
  return d;
}

class Links : public xdgtest::PrivateDesktop {
 protected:
  void SetUp() override {
    xdgtest::PrivateDesktop::SetUp();
    rt::SetCommandLine(std::vector<std::string>{"links_tests"});
    rt::SetMessageHandler([this](std::string_view text, std::string_view caption, std::string_view, int, int) {
      shown_.push_back(std::string(caption) + "|" + std::string(text));
      return rt::kButtonOk;
    });
    ui::WindowDesc d;
    d.caption = "Links";
    d.width = 300;
    d.height = 200;
    d.controls = {Control(ControlType::String, 1, "Email us: info@example.org", 10, 10, 120, 10),
                  Control(ControlType::String, 4, "www.example.org", 10, 30, 120, 10),
                  Control(ControlType::Entry, 5, "", 10, 50, 120, 12),
                  Control(ControlType::List, 6, "", 10, 70, 200, 80)};
    d.controls.back().format = "40L(2)|M~One~@s20@40L(2)|M~Two~@s20@";
    w_ = ui::Window::Create(d);
    w_->Set(0, Prop::Pixels, 1);
    w_->SetRows(6, &rows_);
    w_->Open();
    links_.HANDCURSORTOUSE = "~hand2.cur";
  }
  void TearDown() override {
    w_->Close();
    rt::SetMessageHandler(nullptr);
    rt::SetDebugSink(nullptr);
    xdgtest::PrivateDesktop::TearDown();
  }
  // Every queued event through the links, as a window would hand them on.
  void Pump() {
    while (w_->AcceptPending()) links_.TakeEvent();
  }
  void AboutLinks() {
    links_.Setup(*w_, ev::Timer);
    links_.AddControl(4, std::nullopt, kBlue, kBlue, kUnderlined, kPlain);
    links_.AddControl(1, std::string("support@example.org"), kBlue, kBlue, kUnderlined, kPlain);
    links_.CheckAllLinks(0);
    Pump();
  }
  // Clicks a link's region and gives the first argument the program got.
  std::string Click(int control, const std::string& program) {
    EXPECT_TRUE(w_->InputAccept(control + links::kRegionOffset));
    Pump();
    auto args = Recorded(program);
    std::filesystem::remove(root_ / (program + ".args"));
    return args.size() == 1 ? args[0] : "<" + std::to_string(args.size()) + " arguments>";
  }

  std::shared_ptr<ui::Window> w_;
  TwoRows rows_;
  TestLinks links_;
  std::vector<std::string> shown_;
};

TEST_F(Links, HoverAndLeaveChangeTheLookThroughTheRegion) {
  AboutLinks();
  const int region = 4 + links::kRegionOffset;
  ASSERT_TRUE(w_->Exists(region));
  EXPECT_EQ(w_->Get(region, Prop::Cursor), "~hand2.cur");
  EXPECT_TRUE(w_->IsShown(region));
  EXPECT_EQ(w_->PixelPosition(region).x, w_->PixelPosition(4).x);
  EXPECT_EQ(w_->PixelPosition(region).width, w_->PixelPosition(4).width);
  EXPECT_EQ(w_->GetLong(4, Prop::FontStyle), kUnderlined);
  EXPECT_EQ(w_->GetLong(4, Prop::FontColor), kBlue);
  EXPECT_EQ(links_.ITEMQ[1].URL, "www.example.org");  // its own text

  ui::Window::Rect r = w_->PixelPosition(4);
  const int inX = static_cast<int>(r.x + 2), inY = static_cast<int>(r.y + 2);
  w_->InputMouse(ui::msg::MouseMove, inX, inY);
  Pump();
  EXPECT_EQ(w_->GetLong(4, Prop::FontStyle), kPlain);
  w_->InputMouse(ui::msg::MouseMove, 1, 1);
  Pump();
  EXPECT_EQ(w_->GetLong(4, Prop::FontStyle), kUnderlined);

  // a leave the window never saw: the next timer tick notices it
  w_->InputMouse(ui::msg::MouseMove, inX, inY);
  Pump();
  ASSERT_EQ(w_->GetLong(4, Prop::FontStyle), kPlain);
  w_->InputMouse(ui::msg::LButtonUp, 1, 1);  // moves the mouse past the regions
  Pump();
  EXPECT_EQ(w_->GetLong(4, Prop::FontStyle), kPlain);
  w_->Post(ev::Timer);
  Pump();
  EXPECT_EQ(w_->GetLong(4, Prop::FontStyle), kUnderlined);
  EXPECT_EQ(w_->GetLong(4, Prop::FontColor), kBlue);
}

TEST_F(Links, ClicksOpenTheAddressInTheDesktopsProgram) {
  Register("browser", {"x-scheme-handler/http", "x-scheme-handler/https", "x-scheme-handler/ftp"});
  Register("mailer", {"x-scheme-handler/mailto"});
  AboutLinks();
  EXPECT_EQ(links_.HYPERBROWSER, Script("browser") + " %u");
  EXPECT_EQ(links_.HYPEREMAIL, Script("mailer") + " %u");
  EXPECT_EQ(Click(4, "browser"), "http://www.example.org");
  EXPECT_EQ(Click(1, "mailer"), "mailto:support@example.org");

  const std::string risky = "https://example.org/a;b&c=$(touch pwned)`id` \"q\" 'q' x y";
  const std::map<std::string, std::pair<std::string, std::string>> cases = {
      {"https://example.org/p?q=1&r=2", {"browser", "https://example.org/p?q=1&r=2"}},
      {"FTP://files.example.org/x", {"browser", "ftp://files.example.org/x"}},
      {"WWW.Example.org", {"browser", "http://WWW.Example.org"}},
      {"MAILTO:Support@Example.org", {"mailer", "mailto:Support@Example.org"}},
      {"https://user@example.org/", {"browser", "https://user@example.org/"}},
      {risky, {"browser", risky}},
  };
  for (const auto& [address, expected] : cases) {
    links_.SetItemAddress(4, address);
    EXPECT_EQ(Click(4, expected.first), expected.second) << address;
  }
  EXPECT_FALSE(std::filesystem::exists("pwned"));
  EXPECT_TRUE(shown_.empty());
}

TEST_F(Links, EmailAddressesAreEncodedWhenAsked) {
  links_.ENCODEEMAILS = 1;
  const std::map<std::string, std::string> cases = {
      {"a@b.org?subject=Hi there", "a@b.org?subject=Hi%20there"},
      {"a@b.org?Subject=x&body=50%25 off; <now>", "a@b.org?Subject=x&body=50%25%20off%3B%20%3Cnow%3E"},
      {"a@b.org?x=1%zz", "a@b.org%3Fx=1%25zz"},
      {"\"a b@c.org\"", "a%20b@c.org"},
      {"a@b.org&cc=c@d.org&z", "a@b.org&cc=c@d.org%26z"},
      {"50%", "50%25"},
  };
  for (const auto& [in, out] : cases) {
    links_.URLTORUN = in;
    links_.MakeEmailURLSafe();
    EXPECT_EQ(links_.URLTORUN, out) << in;
  }
}

// A quoted address that holds "mailto:" loses its quotes to the encoding
// and gets no second "mailto:".
TEST_F(Links, AQuotedMailtoAddressIsPrefixedOnce) {
  Register("mailer", {"x-scheme-handler/mailto"});
  links_.Setup(*w_, ev::Timer);
  links_.ENCODEEMAILS = 1;
  for (const std::string address : {"\"mailto:a@b.org\"", "\"MAILTO:a@b.org\""}) {
    links_.URLTORUN = address;
    links_.RunUrl(0);
    EXPECT_EQ(Recorded("mailer"), std::vector<std::string>{"mailto:a@b.org"}) << address;
    std::filesystem::remove(root_ / "mailer.args");
  }
}

// Left to the system (-1), an e-mail command is cut to 520 characters with
// the mail program's only on the old systems.
TEST_F(Links, TheSystemDecidesTheMailCommandsLength) {
  Register("mailer", {"x-scheme-handler/mailto"});
  links_.Setup(*w_, ev::Timer);
  links_.HYPEREMAIL = std::string(20, 'm');
  const std::string address = "someone@example.org?body=" + std::string(600, 'x');
  for (auto [major, length] : {std::pair<win::DWORD, size_t>{4, 500}, {5, 7 + address.size()}}) {
    win::SetReportedVersion(major, 0);
    links_.URLTORUN = address;
    links_.RunUrl(-1);
    auto args = Recorded("mailer");
    ASSERT_EQ(args.size(), 1u) << major;
    EXPECT_EQ(args[0], ("mailto:" + address).substr(0, length)) << major;
    std::filesystem::remove(root_ / "mailer.args");
  }
  win::SetReportedVersion(0, 0);
}

TEST_F(Links, MailCommandCutNeverGoesNegative) {
  Register("mailer", {"x-scheme-handler/mailto"});
  links_.Setup(*w_, ev::Timer);
  links_.HYPEREMAIL = std::string(20, 'm');
  links_.URLTORUN = "someone@example.org?body=" + std::string(60, 'x');
  links_.RunUrl(50);
  auto args = Recorded("mailer");
  ASSERT_EQ(args.size(), 1u);
  EXPECT_EQ(args[0], ("mailto:" + links_.URLTORUN).substr(0, 30));

  links_.HYPEREMAIL = std::string(80, 'm');  // longer than the maximum itself
  links_.URLTORUN = "someone@example.org";
  links_.RunUrl(50);
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0], "Shell Execute Error:2|(2) The specified file was not found. File:\n");
}

TEST_F(Links, ProgramLookupFollowsTheDesktopsAssociations) {
  Register("browser", {"x-scheme-handler/http", "x-scheme-handler/https"});
  Register("mailer", {"x-scheme-handler/mailto"});
  Register("viewer", {"application/pdf"});
  links_.Setup(*w_, ev::Timer);
  struct Case {
    std::string address;
    int found;
    std::string program;
  };
  const std::vector<Case> cases = {
      {"www.example.org", 1, "browser"},    {"https://example.org", 1, "browser"},
      {"someone@example.org", 1, "mailer"}, {"mailto:x@y.org", 1, "mailer"},
      {"report.PDF", 1, "viewer"},          {"notes.no-such-kind", 0, ""},
      {"gopher://example.org", 0, ""},      {"  ", 0, ""},
  };
  for (const Case& c : cases) {
    links_.OPENPROGRAM.clear();
    EXPECT_EQ(links_.FindProgram(c.address), c.found) << c.address;
    if (c.found) {
      EXPECT_EQ(links_.OPENPROGRAM, Script(c.program) + " %u") << c.address;
    }
  }
}

TEST_F(Links, NothingRegistered) {
  links_.CHECKURLS = 1;
  AboutLinks();
  EXPECT_EQ(links_.HYPERBROWSER, "");
  EXPECT_EQ(links_.HYPEREMAIL, "");
  EXPECT_EQ(links_.FindProgram("www.example.org"), 0);
  // inactive links keep their place but look and act like plain text
  const int region = 4 + links::kRegionOffset;
  EXPECT_EQ(links_.ITEMQ[1].ACTIVE, 0);
  EXPECT_EQ(w_->Get(region, Prop::Cursor), "");
  EXPECT_TRUE(w_->GetLong(region, Prop::Disable));
  EXPECT_EQ(w_->GetLong(4, Prop::FontColor), w_->GetLong(0, Prop::FontColor));

  // opened anyway, xdg-open finds no program; without xdg-open the same
  links_.URLTORUN = "www.example.org";
  links_.RunUrl(0);
  const char* path = getenv("PATH");
  std::string saved = path ? path : "";
  setenv("PATH", (root_ / "empty").c_str(), 1);
  links_.URLTORUN = "https://example.org";
  links_.RunUrl(0);
  setenv("PATH", saved.c_str(), 1);
  const std::string text = "There is no application associated with the given file name extension. File:\n";
  // each followed by what the user can do: install a program for it
  const std::string advice =
      "\n\nInstall a web browser (or a program for this kind of file) and make it the desktop's program for it.";
  EXPECT_EQ(shown_, (std::vector<std::string>{"Shell Execute Error:31|(31) " + text + "http://www.example.org" + advice,
                                               "Shell Execute Error:31|(31) " + text + "https://example.org" + advice}));
  links_.URLTORUN = "someone@example.org";
  links_.RunUrl(0);
  ASSERT_EQ(shown_.size(), 3u);
  EXPECT_EQ(shown_[2], "Shell Execute Error:31|(31) " + text + "mailto:someone@example.org\n\nInstall a mail program and "
                       "make it the desktop's program for e-mail addresses.");
}

TEST_F(Links, ListColumnLinks) {
  Register("browser", {"x-scheme-handler/https"});
  links_.Setup(*w_, ev::Timer);
  links_.AddItem(6, std::string("2"), kBlue, kRed, -3);
  ASSERT_EQ(links_.ITEMQ.size(), 1u);
  EXPECT_EQ(links_.ITEMQ[0].STYLE, 3);
  EXPECT_EQ(links_.ITEMQ[0].HANDCURSOR, 1);
  EXPECT_EQ(w_->GetLong(6, Prop::ColumnStyle, 2), 3);
  EXPECT_EQ(w_->GetLong(6, Prop::StyleFontColor, 3), kBlue);
  EXPECT_EQ(w_->GetLong(6, Prop::StyleFontColor, 4), kRed);
  EXPECT_TRUE(w_->GetLong(6, Prop::StyleFontStyle, 3) & ui::style::Underline);

  // the mouse over row 2 of the link column: hand cursor and hover style
  ui::Window::Rect r = w_->PixelPosition(6);
  w_->Set(6, Prop::MouseMoveRow, 2L);
  w_->Set(6, Prop::MouseMoveColumn, 2L);
  w_->InputMouse(ui::msg::MouseMove, static_cast<int>(r.x + 5), static_cast<int>(r.y + 5));
  w_->Post(ev::Timer);
  Pump();
  EXPECT_EQ(w_->Get(6, Prop::Cursor), "~hand2.cur");
  EXPECT_EQ(links_.hovers, (std::vector<std::pair<long, long>>{{2, 4}}));
  w_->InputMouse(ui::msg::MouseMove, 1, 1);
  w_->Post(ev::Timer);
  Pump();
  EXPECT_EQ(w_->Get(6, Prop::Cursor), "");
  EXPECT_EQ(links_.hovers.back(), (std::pair<long, long>{2, 3}));

  // a click in the link column opens what the window makes of the cell
  ASSERT_TRUE(w_->InputSelectRow(6, 1, ui::key::MouseLeft, 2));
  w_->Set(6, Prop::MouseUpColumn, 2L);
  w_->Post(ev::Accepted, 6);
  Pump();
  auto args = Recorded("browser");
  ASSERT_EQ(args.size(), 1u);
  EXPECT_EQ(args[0], "https://example.org/row/r1f2/2");

  links_.ControlStyle(6);
  ASSERT_EQ(links_.TRACKERQ.size(), 2u);
  EXPECT_EQ(links_.TRACKERQ[1].OLDFORMATCOL, "40L(2)|M~Two~@s20@");
  EXPECT_EQ(links_.TRACKERQ[1].COLUMNNO, 2);
  links_.ApplyColours(6, "", "");
  EXPECT_EQ(links_.ITEMQ[0].STYLE, 1);
  EXPECT_EQ(w_->GetLong(6, Prop::ColumnStyle, 2), 1);
}

TEST_F(Links, RegionNumbersAndTextHelpers) {
  links_.Setup(*w_, ev::Timer);
  // a region at 2800 or below is a link of its own
  w_->CreateControl(ControlType::Region, 2800);
  links_.AddItem(2800, std::string("www.example.org"));
  EXPECT_EQ(w_->Get(2800, Prop::Cursor), "~hand2.cur");
  EXPECT_FALSE(w_->Exists(2800 + links::kRegionOffset));

  EXPECT_EQ(links_.TextBetween("a|b", "|"), "");
  EXPECT_EQ(links_.TextBetween("x|ab|y", "|"), "ab");
  EXPECT_EQ(links_.TextBetween("x|a|y", "|"), "a");
  EXPECT_EQ(links_.TextBetween("x||y", "|"), "");
  EXPECT_EQ(links_.ParseAnchorText("a@b.org", "", 0), "<a href=\"mailto:a@b.org\">");
  EXPECT_EQ(links_.ParseAnchorText("www.x.org", "", 1), "\"http://www.x.org\"");
  EXPECT_EQ(links_.ParseAnchorText("http://x.org", "", 2), "http://x.org");
  EXPECT_EQ(links_.ParseAnchorText("<a href=x> ", "", 0), "<a href=x>");
  // an address with a scheme of its own keeps it alone
  const std::map<std::string, std::string> own = {
      {"https://x.org/a", "<a href=\"https://x.org/a\">"},
      {"ftp://files.x.org", "<a href=\"ftp://files.x.org\">"},
      {"https://user@x.org/", "<a href=\"https://user@x.org/\">"},
      {"MAILTO:a@b.org", "<a href=\"MAILTO:a@b.org\">"},
      {"\"mailto:a@b.org\"", "<a href=\"mailto:a@b.org\">"},
      {"www.x.org:8080/p", "<a href=\"http://www.x.org:8080/p\">"},
  };
  for (const auto& [text, anchor] : own) EXPECT_EQ(links_.ParseAnchorText(text, "", 0), anchor) << text;
}

TEST_F(Links, TracesOnlyUnderTheirSwitch) {
  std::vector<std::string> lines;
  rt::SetDebugSink([&](std::string_view s) { lines.emplace_back(s); });
  links_.Setup(*w_, ev::Timer);
  links_.AddItem(5, std::string("www.example.org"));
  EXPECT_TRUE(lines.empty());
  rt::SetCommandLine(std::vector<std::string>{"links_tests", "/LXDebug"});
  links_.Trace(std::string(2000, 'x'));
  links_.AddItem(5, std::string("www.example.org"));
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), 1023u);
  EXPECT_EQ(lines[0].rfind("Lantrix: xxx", 0), 0u);
  EXPECT_EQ(lines[1].rfind("Lantrix: In AddItem: 5 URL: www.example.org Norm: ", 0), 0u);
}

}  // namespace
