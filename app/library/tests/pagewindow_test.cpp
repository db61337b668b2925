// The form page window: the page picture fitted to its panel, the flag
// that makes OK write, "Select Image", page numbers that another page of
// the form has, inserts and deletes.
#include <set>
#include <tuple>

#include "records_fixture.h"
#include "velmora/runtime/paths.h"

namespace rectest {
namespace {

using cl::request::Change;
using cl::request::Delete;
using cl::request::Insert;

namespace fs = std::filesystem;
enum { kOk = 2, kPageNo = 5, kLookupFile = 6, kImage = 10, kHint = 11 };

class Pages : public Records {
 protected:
  // The page window on page `page` of `form` (an insert when page is 0).
  std::shared_ptr<Outcome> RunPage(int request, long form, short page) {
    return Run(
        [=](data::Dictionary& d) {
          cl::FileManager* pages = d.Access(FileId::FormPages);
          pages->Open();
          d.File(FileId::FormPages).ClearRecord();
          d.FOR1.FORMID = static_cast<rt::Long>(form);
          d.FOR1.PAGENO = page;
          if (page) pages->TryFetch(pages->KeyNumber("FOR1:FormID_Key"));
          cl::ThreadRequest() = static_cast<rt::Byte>(request);
        },
        [] {
          library::UpdateFormPages();
          data::ThisThread().Access(FileId::FormPages)->Close();
        });
  }
  const data::FormPagesRecord* Page(const std::vector<data::FormPagesRecord>& all, long form, short no) {
    for (const auto& p : all)
      if (p.FORMID == form && p.PAGENO == no) return &p;
    return nullptr;
  }
  std::string PageImage(long form, short no) {
    D().Access(FileId::FormPages)->Open();
    D().FOR1.FORMID = static_cast<rt::Long>(form);
    D().FOR1.PAGENO = no;
    std::string bytes;
    if (D().Access(FileId::FormPages)->TryFetch(1) == cl::kBenign) {
      db::FileDecl& f = D().File(FileId::FormPages);
      const int memo = f.MemoIndex("FOR1:PAGEIMAGE");
      auto v = db::BlobRead(f, memo, 0, db::BlobSize(f, memo));
      bytes.assign(v.begin(), v.end());
    }
    D().Access(FileId::FormPages)->Close();
    return bytes;
  }
};

TEST_F(Pages, OkWritesTheFlagInvertedAndThePictureFitsItsPanel) {
  const long form = ImportForm();
  for (int flag : {1, 0}) {
    auto out = RunPage(Change, form, 2);
    auto w = Window("Record Will Be Changed");
    ASSERT_TRUE(w);
    EXPECT_EQ(w->Get(0, Prop::Text), "Record Will Be Changed");
    // the rotated page 2 is a landscape picture: it fills the panel's width
    EXPECT_TRUE(w->IsShown(kImage));
    EXPECT_FALSE(w->IsShown(kHint));
    const auto image = w->Position(kImage), panel = w->Position(9);
    EXPECT_EQ(image.x, panel.x);
    EXPECT_EQ(image.width, panel.width);
    EXPECT_LT(image.height, panel.height);
    EXPECT_NEAR(image.y - panel.y, (panel.height - image.height) / 2.0, 1.0);
    Press(w, kOk);
    ASSERT_TRUE(Finished(out));
    EXPECT_EQ(out->response, cl::response::Completed);
    ASSERT_NE(Page(Records::Pages(), form, 2), nullptr);
    EXPECT_EQ(Page(Records::Pages(), form, 2)->FLAG, flag);
  }
}

TEST_F(Pages, ANumberAnotherPageHasIsRefusedAndTheControlsFollowANewOne) {
  const long form = ImportForm();
  auto onPage = [&](short no) {
    size_t n = 0;
    for (const auto& c : Controls()) n += c.FORMID == form && c.PAGENO == no;
    return n;
  };
  const size_t first = onPage(1), second = onPage(2);
  ASSERT_GT(second, 0u);
  auto out = RunPage(Change, form, 2);
  auto w = Window("Record Will Be Changed");
  ASSERT_TRUE(w);
  ASSERT_TRUE(w->InputType(kPageNo, "1"));
  Press(w, kOk, [&] { return Messages().size() == 1; });
  EXPECT_EQ(Messages()[0], "Page 1 of this form exists already.|Choose another page number.");
  EXPECT_TRUE(w->IsOpen());
  ASSERT_TRUE(w->InputType(kPageNo, "9"));
  Press(w, kOk);
  ASSERT_TRUE(Finished(out));
  EXPECT_EQ(out->response, cl::response::Completed);
  EXPECT_EQ(onPage(1), first);
  EXPECT_EQ(onPage(2), 0u);
  EXPECT_EQ(onPage(9), second);
  EXPECT_NE(Page(Records::Pages(), form, 9), nullptr);
}

// The values every data set keeps on a page follow its new number, those
// of other pages and forms stay, and values left on the new number by a
// page that is gone make room; a refused number moves nothing.
TEST_F(Pages, TheDataSetsValuesFollowANewPageNumber) {
  const long form = ImportForm(), other = ImportSecond();
  const long a = AddDataSet(form, "a"), b = AddDataSet(form, "b"), c = AddDataSet(other, "c");
  AddValue(a, 2, 7, "on two");
  AddValue(b, 2, 8, "also on two");
  AddValue(b, 1, 3, "on one");
  AddValue(c, 2, 7, "other form");
  AddValue(a, 9, 7, "left by a page that is gone");
  auto where = [&] {
    std::multiset<std::tuple<long, int, std::string>> out;
    for (const auto& v : Values()) out.insert({v.ID, v.PAGENO, rt::Clip(v.VALUE.View())});
    return out;
  };
  const auto before = where();

  auto out = RunPage(Change, form, 2);
  auto w = Window("Record Will Be Changed");
  ASSERT_TRUE(w);
  ASSERT_TRUE(w->InputType(kPageNo, "1"));
  Press(w, kOk, [&] { return Messages().size() == 1; });
  EXPECT_EQ(where(), before);
  ASSERT_TRUE(w->InputType(kPageNo, "9"));
  Press(w, kOk);
  ASSERT_TRUE(Finished(out));
  EXPECT_EQ(out->response, cl::response::Completed);
  using V = std::multiset<std::tuple<long, int, std::string>>;
  EXPECT_EQ(where(), (V{{a, 9, "on two"}, {b, 9, "also on two"}, {b, 1, "on one"}, {c, 2, "other form"}}));
}

TEST_F(Pages, SelectImageInsertAndDelete) {
  const long form = ImportForm();
  // a picture 600 by 800 in the 300 by 300 panel at (2,20)
  std::string gif = "GIF89a";
  gif += {static_cast<char>(600 & 0xFF), static_cast<char>(600 >> 8), static_cast<char>(800 & 0xFF),
          static_cast<char>(800 >> 8)};
  gif += std::string(20, '\0');
  const std::string picture = (dir_ / "page.gif").string();
  std::ofstream(picture, std::ios::binary) << gif;

  auto out = RunPage(Change, form, 1);
  auto w = Window("Record Will Be Changed");
  ASSERT_TRUE(w);
  ui::Headless().AnswerFile({});  // cancelled: the picture stays
  Press(w, kLookupFile, [&] { return ui::Headless().AskedDialogs().size() == 1; });
  EXPECT_TRUE(w->IsShown(kImage));
  ui::Headless().AnswerFile({picture});
  Press(w, kLookupFile, [&] { return w->Position(kImage).width == 225; });
  const auto image = w->Position(kImage);
  EXPECT_EQ(image.height, 300);
  EXPECT_EQ(image.x, 40);  // 2 + 37.5
  EXPECT_EQ(image.y, 20);
  Press(w, kOk);
  ASSERT_TRUE(Finished(out));
  EXPECT_EQ(PageImage(form, 1), gif);

  // a new page shows no picture but "Select Image"
  out = RunPage(Insert, form, 0);
  w = Window("Record Will Be Added");
  ASSERT_TRUE(w);
  EXPECT_FALSE(w->IsShown(kImage));
  EXPECT_TRUE(w->IsShown(kHint));
  ASSERT_TRUE(w->InputType(kPageNo, "4"));
  Press(w, kOk);
  ASSERT_TRUE(Finished(out));
  EXPECT_EQ(out->response, cl::response::Completed);
  EXPECT_NE(Page(Records::Pages(), form, 4), nullptr);
  EXPECT_TRUE(PageImage(form, 4).empty());

  // a page is deleted with its controls
  size_t others = 0;
  for (const auto& c : Controls()) others += c.PAGENO != 1;
  ui::Headless().AnswerMessage(ui::button::Yes);
  out = RunPage(Delete, form, 1);
  ASSERT_TRUE(Finished(out));
  EXPECT_EQ(out->response, cl::response::Completed);
  EXPECT_EQ(Page(Records::Pages(), form, 1), nullptr);
  EXPECT_EQ(Controls().size(), others);
}

// The dialogs give names in the runtime's form: a PDF and a picture
// whose names are outside ASCII are read by the form and page windows.
TEST_F(Pages, FileNamesOutsideAsciiAreReadAsChosen) {
  const fs::path folder = dir_ / "J\xC3\xBCrgen";
  fs::create_directories(folder);
  const std::string pdf = (folder / "M\xC3\xBCller.pdf").string();
  fs::copy_file(pdf_, pdf);
  auto out = RunForm(Insert);
  auto w = Window("Record Will Be Added");
  ASSERT_TRUE(w);
  ImportInto(w, rt::WindowsPath(pdf));
  EXPECT_EQ(rt::Clip(w->Get(20, Prop::ScreenText)), rt::ShownPath(rt::WindowsPath(pdf)));
  Press(w, 46);  // &OK
  ASSERT_TRUE(Finished(out));
  ASSERT_EQ(Forms().size(), 1u);
  const long form = Forms()[0].ID;
  EXPECT_EQ(StoredPdf(form), Slurp(pdf));

  const std::string picture = (folder / "S\xC3\xA9ite.gif").string();
  const std::string gif = std::string("GIF89a\x02\x00\x03\x00") + std::string(20, '\0');
  std::ofstream(picture, std::ios::binary) << gif;
  out = RunPage(Change, form, 1);
  w = Window("Record Will Be Changed");
  ASSERT_TRUE(w);
  const size_t asked = ui::Headless().AskedDialogs().size();
  ui::Headless().AnswerFile({rt::WindowsPath(picture)});
  Press(w, kLookupFile, [&] { return ui::Headless().AskedDialogs().size() == asked + 1; });
  Press(w, kOk);
  ASSERT_TRUE(Finished(out));
  EXPECT_EQ(PageImage(form, 1), gif) << ::testing::PrintToString(Messages());
}

// Ctrl+H puts the page number back; a larger window keeps the picture
// fitted to its panel, in its own proportions.
TEST_F(Pages, HistoryKeyAndResizing) {
  const long form = ImportForm();
  auto out = RunPage(Change, form, 2);
  auto w = Window("Record Will Be Changed");
  ASSERT_TRUE(w);
  auto number = [&] { return std::atol(w->Get(kPageNo, Prop::ScreenText).c_str()); };
  ASSERT_TRUE(w->InputType(kPageNo, "7"));
  EXPECT_EQ(number(), 7);
  ASSERT_TRUE(w->InputKey(kPageNo, ui::key::Ctrl | 'H'));
  EXPECT_TRUE(ui::WaitUntil([&] { return number() == 2; }));

  const auto panel = w->Position(9), size = w->PixelPosition(0), before = w->Position(kImage);
  w->InputSize(size.width * 2, size.height * 3 / 2);
  ASSERT_TRUE(ui::WaitUntil([&] { return w->Position(9).width > panel.width; }));
  Settle();
  const auto bigger = w->Position(9), image = w->Position(kImage);
  EXPECT_NEAR(bigger.width, panel.width * 2, 2);
  EXPECT_NEAR(bigger.height, panel.height * 3 / 2, 2);
  // the panel is now wider than the landscape page: the picture takes its
  // height, keeps its proportions and is centred in its width
  EXPECT_EQ(image.y, bigger.y);
  EXPECT_EQ(image.height, bigger.height);
  EXPECT_NEAR(static_cast<double>(image.width) / image.height, static_cast<double>(before.width) / before.height,
              0.02);
  EXPECT_NEAR(image.x - bigger.x, (bigger.width - image.width) / 2.0, 1.0);
  Press(w, 1);  // cancel
  ASSERT_TRUE(Finished(out));
  EXPECT_EQ(out->response, cl::response::Cancelled);
}

}  // namespace
}  // namespace rectest
