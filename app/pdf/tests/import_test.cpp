// The import of a PDF file into a form definition, read back through the
// data files.
#include "velmora/apppdf/import.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <deque>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

#include "fixture.h"
#include "fixtures.h"
#include "forms.h"
#include "poppler_worker.h"
#include "velmora/apppdf/pdfdate.h"
#include "velmora/apppdf/screen.h"
#include "velmora/apppdf/status.h"
#include "velmora/data/dictionary.h"
#include "velmora/files/files.h"
#include "velmora/pdf/pdf.h"
#include "velmora/runtime/datetime.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/paths.h"
#include "velmora/runtime/system.h"

namespace {

namespace fs = std::filesystem;
using data::FileId;

// A packed record field by value (the test macros take references).
template <class T>
T V(T value) {
  return value;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Page {
  data::FormPagesRecord rec;
  std::string image, content, text;
};

struct Asked {
  std::string text, caption;
  int buttons, defaultButton;
};

class AppPdfImport : public cltest::TempFolder {
 protected:
  void SetUp() override {
    TempFolder::SetUp();
    tmp_ = dir_ / "tmp";
    fs::create_directory(tmp_);
    const char* old = std::getenv("TMPDIR");
    oldTmp_ = old ? old : "";
    hadTmp_ = old != nullptr;
    setenv("TMPDIR", tmp_.c_str(), 1);
    rt::SetMessageHandler([this](std::string_view text, std::string_view caption, std::string_view,
                                 int buttons, int def) {
      asked_.push_back({std::string(text), std::string(caption), buttons, def});
      if (answers_.empty()) return def;
      int a = answers_.front();
      answers_.pop_front();
      return a;
    });
    apppdf::SetStatusHandler([this](std::string_view s) { status_.emplace_back(s); });
    data::GlobalErrors().Setup();
    data::CreateFileManagers();
    data::StartRelationManagers();
    d = &data::ThisThread();
    ASSERT_EQ(d->Relate(FileId::Forms)->Open(), cl::kBenign);
    fs::create_directory("src");
    form_ = forms::MakeForm((dir_ / "src" / "form.pdf").string());
  }
  void TearDown() override {
    d->Relate(FileId::Forms)->Close();
    data::StopDictionary();
    apppdf::SetStatusHandler(nullptr);
    apppdf::SetResolutionSource(nullptr);
    if (hadTmp_)
      setenv("TMPDIR", oldTmp_.c_str(), 1);
    else
      unsetenv("TMPDIR");
    TempFolder::TearDown();
  }

  // The form record window's import of `file` into a new Forms record.
  bool WindowImport(const std::string& file, apppdf::AppearanceDefaults defaults = {1, 0, 1}) {
    d->Access(FileId::Forms)->PrimeRecord();
    d->FOR.ORIGINALPDFFILE = file;
    return apppdf::ImportIntoForm(defaults);
  }

  template <class Rec>
  std::vector<Rec> All(FileId id, const Rec& buffer, int key) {
    std::vector<Rec> out;
    db::FileDecl& f = d->File(id);
    db::Set(f, key);
    for (db::Next(f); rt::ErrorCode() == 0; db::Next(f)) out.push_back(buffer);
    return out;
  }
  std::vector<data::PageControlsRecord> Controls() {
    return All(FileId::PageControls, d->PAG, 2);  // by form and unique number
  }
  std::vector<data::FieldValuesRecord> Values() { return All(FileId::FieldValues, d->FIE, 1); }
  std::vector<data::FormsRecord> Forms() { return All(FileId::Forms, d->FOR, 1); }
  std::vector<Page> Pages() {
    std::vector<Page> out;
    db::FileDecl& f = d->File(FileId::FormPages);
    auto blob = [&](int m) {
      auto b = db::BlobRead(f, m, 0, db::BlobSize(f, m));
      return std::string(b.begin(), b.end());
    };
    db::Set(f, 1);
    for (db::Next(f); rt::ErrorCode() == 0; db::Next(f))
      out.push_back({d->FOR1, blob(0), blob(1), blob(2)});
    return out;
  }
  void ExpectNothingStored() {
    EXPECT_TRUE(Pages().empty());
    EXPECT_TRUE(Controls().empty());
    EXPECT_TRUE(Values().empty());
  }
  bool TempIsEmpty() { return fs::is_empty(tmp_); }

  data::Dictionary* d = nullptr;
  fs::path tmp_;
  std::string oldTmp_;
  bool hadTmp_ = false;
  std::string form_;
  std::deque<int> answers_;
  std::vector<Asked> asked_;
  std::vector<std::string> status_;
};

TEST(AppPdfDates, InformationDatesShowInTheUsersFormat) {
  const std::pair<const char*, const char*> cases[] = {
      {"D:20240102030405Z", "01/02/2024 03:04"},
      {"D:20261231235959+02'00'", "12/31/2026 23:59"},
      {"D:20240102", "01/02/2024"},
      {"2024", "01/01/2024"},
      {"D:20240230", "D:20240230"},        // no 30 February
      {"D:2024010203", "01/02/2024 03:00"},  // the minutes left out are 0
      {"D:20240102256000", "D:20240102256000"},
      {"last Tuesday", "last Tuesday"},
      {"", ""},
  };
  for (const auto& [raw, shown] : cases) EXPECT_EQ(apppdf::ShownPdfDate(raw), shown) << raw;
}

TEST_F(AppPdfImport, WindowImportStoresInformationAndPages) {
  ASSERT_TRUE(WindowImport(form_));
  EXPECT_EQ(d->FOR.FORMNAME.Value(), "FORM");
  EXPECT_EQ(V(d->FOR.TOTALPAGES), 3);
  EXPECT_EQ(d->FOR.PDFVERSION.Value(), "1.6");
  EXPECT_EQ(d->FOR.AUTHOR.Value(), "Ann Author");
  EXPECT_EQ(d->FOR.TITLE.Value(), "Tax form");
  EXPECT_EQ(d->FOR.SUBJECT.Value(), "Tests");
  EXPECT_EQ(d->FOR.CREATOR.Value(), "form maker");
  EXPECT_EQ(d->FOR.PRODUCER.Value(), "qpdf");
  EXPECT_FALSE(d->FOR.CREATIONDATE.Value().empty());
  EXPECT_FALSE(d->FOR.MODIFICATIONDATE.Value().empty());

  auto pages = Pages();
  ASSERT_EQ(pages.size(), 3u);
  for (int p = 0; p < 3; ++p) {
    SCOPED_TRACE(p + 1);
    EXPECT_EQ(V(pages[p].rec.FORMID), V(d->FOR.ID));
    EXPECT_EQ(V(pages[p].rec.PAGENO), p + 1);
    EXPECT_EQ(pages[p].image.substr(0, 4), "GIF8");
  }
  // The CropBox of page 1 sits 36 and 72 points into its MediaBox.
  EXPECT_DOUBLE_EQ(V(pages[0].rec.PAGEWIDTH), 540);
  EXPECT_DOUBLE_EQ(V(pages[0].rec.PAGEHEIGHT), 684);
  EXPECT_DOUBLE_EQ(V(pages[0].rec.XOFFSET), 36);
  EXPECT_DOUBLE_EQ(V(pages[0].rec.YOFFSET), 72);
  EXPECT_NE(pages[0].text.find("Helvetica|Hello\n"), std::string::npos) << pages[0].text;
  EXPECT_NE(pages[0].content.find("(Hello Page One) Tj"), std::string::npos);
  // Page 2 has no CropBox: the page's own size, no offsets.
  EXPECT_GT(V(pages[1].rec.PAGEWIDTH), 0);
  EXPECT_GT(V(pages[1].rec.PAGEHEIGHT), 0);
  EXPECT_DOUBLE_EQ(V(pages[1].rec.XOFFSET), 0);
  EXPECT_DOUBLE_EQ(V(pages[1].rec.YOFFSET), 0);
  EXPECT_NE(pages[1].text.find("|Second\n"), std::string::npos);
  // Page 3's text and content are longer than the text buffer.
  EXPECT_EQ(pages[2].text.size(), 16465u);
  EXPECT_EQ(pages[2].content.size(), 16465u);

  ASSERT_GE(status_.size(), 3u);
  EXPECT_EQ(status_.front(), "Renderig PDF to graphic format. Please be patient.");
  EXPECT_EQ(status_[1], "Processing Page 1 of 3");
  EXPECT_EQ(status_.back(), "Done!");
  EXPECT_NE(std::find(status_.begin(), status_.end(), "Processing field 9 of 9"), status_.end());

  ASSERT_EQ(asked_.size(), 1u);
  EXPECT_EQ(asked_[0].caption, "INFO");
  EXPECT_EQ(asked_[0].buttons, rt::kButtonYes | rt::kButtonNo);
  EXPECT_EQ(asked_[0].defaultButton, rt::kButtonYes);
  EXPECT_NE(asked_[0].text.find("This document already contains fillable fields."),
            std::string::npos);
  EXPECT_TRUE(TempIsEmpty());
}

TEST_F(AppPdfImport, FieldsBecomeControlsWithEditorGeometry) {
  ASSERT_TRUE(WindowImport(form_));
  struct Expect {
    int unique, controlId, page, fieldType, controlType, length, x, y, w, h, fontHeight;
    const char* picture;
    int multi, radio, hidden, align;
    const char* name;
  } expected[] = {
      // (108-36)/72*96 = 96; (684-620+72)/72*96 = 181.3; 144 -> 192; 20 -> 26.6; 20*0.75
      {1, 1, 1, 1, 8, 10, 96, 181, 192, 26, 15, "@s10", 0, 0, 0, 1, "name"},
      // left edge on the box offset; multi-line: type 17, length -1, font 10
      {2, 2, 1, 1, 17, -1, 0, 341, 266, 133, 10, "@s10", 1, 0, 0, 0, "notes"},
      {3, 3, 1, 3, 12, 1, 85, 588, 20, 20, 11, "@s1", 0, 0, 0, 0, "agree"},
      {4, 4, 1, 4, 8, 1, 352, 588, 20, 20, 11, "@s1", 0, 1, 0, 0, "colour"},
      {5, 4, 1, 4, 8, 1, 432, 588, 20, 20, 11, "@s1", 0, 2, 0, 0, "colour"},
      {6, 5, 1, 5, 34, 0, 85, 648, 133, 26, 15, "", 0, 0, 0, 0, "pick"},
      {7, 6, 1, 1, 17, -1, 85, 714, 133, 26, 15, "@s256", 0, 0, 1, 0, "secret"},
      {8, 7, 1, 1, 8, 5, 352, 688, 133, 53, 30, "@s5", 0, 0, 0, 2, "parent.a"},
      // on the page turned by 90 degrees, as it is shown: 20 wide, 100 high
      {9, 8, 2, 1, 17, -1, -1, -1, 26, 133, 75, "@s256", 0, 0, 0, 0, "back"},
  };
  auto controls = Controls();
  ASSERT_EQ(controls.size(), std::size(expected));  // "lost" is on no page
  for (size_t k = 0; k < controls.size(); ++k) {
    const auto& c = controls[k];
    const Expect& e = expected[k];
    SCOPED_TRACE(e.name);
    EXPECT_EQ(V(c.FORMID), V(d->FOR.ID));
    EXPECT_EQ(V(c.CONTROLUNIQUEID), e.unique);
    EXPECT_EQ(V(c.CONTROLID), e.controlId);
    EXPECT_EQ(V(c.PDFFIELDNUMBER), e.controlId);
    EXPECT_EQ(V(c.PAGENO), e.page);
    EXPECT_EQ(V(c.PDFFIELDTYPE), e.fieldType);
    EXPECT_EQ(V(c.CONTROLTYPE), e.controlType);
    EXPECT_EQ(V(c.PDFFIELDLENGTH), e.length);
    if (e.x >= 0) {
      EXPECT_EQ(V(c.CONTROLX), e.x);
      EXPECT_EQ(V(c.CONTROLY), e.y);
    }
    EXPECT_EQ(V(c.CONTROLWIDTH), e.w);
    EXPECT_EQ(V(c.CONTROLHEIGHT), e.h);
    EXPECT_EQ(V(c.CONTROLFONTHEIGHT), e.fontHeight);
    EXPECT_EQ(c.CONTROLPICTURE.Value(), e.picture);
    EXPECT_EQ(V(c.PDFISMULTILINE), e.multi);
    EXPECT_EQ(V(c.RADIOBUTTONNUMBER), e.radio);
    EXPECT_EQ(V(c.HIDDEN), e.hidden);
    EXPECT_EQ(V(c.CONTROLALIGNMENT), e.align);
    EXPECT_EQ(c.CONTROLNAME.Value(), e.name);
    EXPECT_EQ(c.PDFFIELDNAME.Value(), e.name);
    EXPECT_EQ(V(c.CONTROLTRANSPARENT), 1);
    EXPECT_EQ(V(c.CONTROLFLAT), 0);
    EXPECT_EQ(V(c.CONTROLBOXED), 1);
  }
  EXPECT_EQ(controls[0].PDFVALUE.Value(), "John");
  EXPECT_EQ(controls[0].PDFFIELDDESCRIPTION.Value(), "Your name");
  EXPECT_DOUBLE_EQ(V(controls[0].PDFX), 108);
  EXPECT_DOUBLE_EQ(V(controls[0].PDFY), 620);
  EXPECT_DOUBLE_EQ(V(controls[0].PDFWIDTH), 144);
  EXPECT_DOUBLE_EQ(V(controls[0].PDFHEIGHT), 20);
  EXPECT_EQ(controls[5].PDFVALUE.Value(), "Green");

  struct Value {
    int control, number;
    std::string value;
    int radio;
  };
  std::vector<Value> values;
  for (const auto& v : Values())
    values.push_back({v.CONTROLID, v.VALUENUMBER, v.CONTROLVALUE.Value(), v.RADIOBUTTONNUMBER});
  // The check box's on state; the radio buttons; the choice's options.
  const Value want[] = {{3, 1, "Yes", 0}, {4, 1, "Yes", 1},   {4, 2, "Off", -1}, {4, 3, "No", 2},
                        {5, 1, "Red", 0}, {5, 2, "Green", 0}, {5, 3, "Blue", 0}};
  ASSERT_EQ(values.size(), std::size(want));
  for (size_t k = 0; k < values.size(); ++k) {
    EXPECT_EQ(values[k].control, want[k].control) << k;
    EXPECT_EQ(values[k].number, want[k].number) << k;
    EXPECT_EQ(values[k].value, want[k].value) << k;
    EXPECT_EQ(values[k].radio, want[k].radio) << k;
  }
}

TEST_F(AppPdfImport, RadioButtonsReachedOnlyThroughThePageAreImported) {
  ASSERT_TRUE(WindowImport(forms::MakePartialRadio((dir_ / "src" / "radio.pdf").string())));
  auto controls = Controls();
  ASSERT_EQ(controls.size(), 3u);
  for (int k = 0; k < 3; ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(V(controls[k].CONTROLID), 1);
    EXPECT_EQ(V(controls[k].PDFFIELDNUMBER), 1);
    EXPECT_EQ(V(controls[k].PDFFIELDTYPE), 4);
    EXPECT_EQ(V(controls[k].RADIOBUTTONNUMBER), k + 1);
    EXPECT_EQ(controls[k].CONTROLNAME.Value(), "size");
    EXPECT_EQ(controls[k].PDFVALUE.Value(), "m");
    EXPECT_DOUBLE_EQ(V(controls[k].PDFX), 100 + 30 * k);
  }
  auto values = Values();
  ASSERT_EQ(values.size(), 3u);
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(V(values[k].CONTROLID), 1);
    EXPECT_EQ(V(values[k].VALUENUMBER), k + 1);
    EXPECT_EQ(values[k].CONTROLVALUE.Value(), std::string(1, "sml"[k]));
    EXPECT_EQ(V(values[k].RADIOBUTTONNUMBER), k + 1);
  }
}

// A radio group written as three fields of one name, with escaped state
// names, is one group: a control per button in their places on the page,
// button numbers 1 to 3, the option values as their text.
TEST_F(AppPdfImport, SameNamedRadioButtonsAreOneGroup) {
  const auto path = (dir_ / "src" / "pay.pdf").string();
  fs::copy_file(fixtures::MakeSameNamedFields(), path);
  ASSERT_TRUE(WindowImport(path));
  auto controls = Controls();
  ASSERT_EQ(controls.size(), 5u);  // three buttons, "note" once, "after"
  const char* states[] = {"card", "cash", "check"};
  for (int k = 0; k < 3; ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(V(controls[k].CONTROLID), 1);
    EXPECT_EQ(V(controls[k].PDFFIELDNUMBER), 1);
    EXPECT_EQ(V(controls[k].PDFFIELDTYPE), 4);
    EXPECT_EQ(V(controls[k].RADIOBUTTONNUMBER), k + 1);
    EXPECT_EQ(controls[k].CONTROLNAME.Value(), "pay");
    EXPECT_EQ(controls[k].PDFVALUE.Value(), "cash");
    EXPECT_DOUBLE_EQ(V(controls[k].PDFX), 100 * (k + 1));
  }
  EXPECT_EQ(controls[3].CONTROLNAME.Value(), "note");
  EXPECT_EQ(controls[3].PDFVALUE.Value(), "shared text");
  EXPECT_EQ(controls[4].CONTROLNAME.Value(), "after");
  auto values = Values();
  ASSERT_EQ(values.size(), 3u);
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(V(values[k].CONTROLID), 1);
    EXPECT_EQ(values[k].CONTROLVALUE.Value(), states[k]);
    EXPECT_EQ(V(values[k].RADIOBUTTONNUMBER), k + 1);
  }
}

TEST_F(AppPdfImport, ResolutionAcrossAndDownScaleTheGeometry) {
  apppdf::SetResolutionSource([] { return apppdf::Resolution{120, 144}; });
  ASSERT_TRUE(WindowImport(form_));
  auto c = Controls().at(0);  // "name": 72, 136, 144, 20 points from the box
  EXPECT_EQ(V(c.CONTROLX), 120);
  EXPECT_EQ(V(c.CONTROLY), 272);
  EXPECT_EQ(V(c.CONTROLWIDTH), 240);
  EXPECT_EQ(V(c.CONTROLHEIGHT), 40);
}

TEST_F(AppPdfImport, DecliningTheFieldsKeepsPagesAndDeletesPictures) {
  answers_ = {rt::kButtonNo};
  ASSERT_TRUE(WindowImport(form_));
  EXPECT_EQ(Pages().size(), 3u);
  EXPECT_EQ(Pages()[0].image.substr(0, 4), "GIF8");
  EXPECT_TRUE(Controls().empty());
  EXPECT_TRUE(Values().empty());
  EXPECT_EQ(status_.back(), "Done!");
  EXPECT_TRUE(TempIsEmpty());
}

TEST_F(AppPdfImport, KeepsAGivenNameAndSkipsAnEmptyFile) {
  d->Access(FileId::Forms)->PrimeRecord();
  d->FOR.FORMNAME = "Mine";
  EXPECT_FALSE(apppdf::ImportIntoForm({}));
  EXPECT_TRUE(asked_.empty());
  d->FOR.ORIGINALPDFFILE = form_;
  answers_ = {rt::kButtonNo};
  ASSERT_TRUE(apppdf::ImportIntoForm({}));
  EXPECT_EQ(d->FOR.FORMNAME.Value(), "Mine");
}

TEST_F(AppPdfImport, UnreadableFilesShowAMessageAndStoreNothing) {
  const std::string bytes = Slurp(form_);
  std::ofstream("src/text.pdf") << "just some text, not a PDF document\n";
  std::ofstream("src/cut.pdf", std::ios::binary) << bytes.substr(0, 300);
  forms::Encrypt(form_, "src/user.pdf", "user", "owner");
  // A field tree deeper than the library reads is not imported with 0 fields.
  forms::MakeDeepField("src/deep.pdf", 100);
  for (const char* name :
       {"src/text.pdf", "src/cut.pdf", "src/user.pdf", "src/none.pdf", "src/deep.pdf"}) {
    SCOPED_TRACE(name);
    asked_.clear();
    EXPECT_FALSE(WindowImport(name));
    ASSERT_EQ(asked_.size(), 1u);
    EXPECT_EQ(asked_[0].caption, "Velmora");
    // The message names the file, and says why when it is the structure.
    EXPECT_NE(asked_[0].text.find(name), std::string::npos);
    EXPECT_NE(asked_[0].text.find(std::string(name) == "src/deep.pdf"
                                      ? "is too large, too deeply nested or too complex"
                                      : "could not be opened as a PDF document"),
              std::string::npos);
    EXPECT_EQ(apppdf::CreateFormFromPdf(name), -1);
    EXPECT_TRUE(Forms().empty());
    ExpectNothingStored();
  }
  EXPECT_TRUE(TempIsEmpty());
}

// One page of form XObjects that each draw the one below them 16 times:
// hours of drawing for a small file.
void MakeEndlessPage(const std::string& path) {
  using H = QPDFObjectHandle;
  QPDF q;
  q.emptyPDF();
  H x = q.newStream("0 0 1 1 re f");
  std::string draws;
  for (int i = 0; i < 16; ++i) draws += "/X Do ";
  for (int level = 0; level < 8; ++level) {
    H dict = H::parse("<< /Type /XObject /Subtype /Form /BBox [0 0 200 200] >>");
    if (level > 0) {
      H up = q.newStream(draws);
      up.getDict().replaceKey("/Resources", H::parse("<< /XObject << >> >>"));
      up.getDict().getKey("/Resources").getKey("/XObject").replaceKey("/X", x);
      x = up;
    }
    for (auto& [k, v] : dict.getDictAsMap()) x.getDict().replaceKey(k, v);
  }
  H page = q.makeIndirectObject(H::parse(
      "<< /Type /Page /MediaBox [0 0 200 200] /Resources << /XObject << >> >> >>"));
  page.getKey("/Resources").getKey("/XObject").replaceKey("/X", x);
  page.replaceKey("/Contents", q.newStream("/X Do"));
  q.addPage(page, false);
  QPDFWriter w(q, path.c_str());
  w.write();
}

TEST_F(AppPdfImport, PicturesThatCannotBeMadeAreReportedAndNothingIsStored) {
  namespace pdf = velmora::pdf::detail;
  const pdf::WorkerLimits saved = pdf::GetWorkerLimits();
  pdf::WorkerLimits quick = saved;
  quick.seconds = 2;
  pdf::SetWorkerLimits(quick);
  MakeEndlessPage("src/endless.pdf");
  struct Case {
    const char* name;
    std::string file, tmp;
  } cases[] = {
      {"a page poppler does not finish", "src/endless.pdf", tmp_.string()},
      {"no temporary folder", form_, (dir_ / "missing").string()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    setenv("TMPDIR", c.tmp.c_str(), 1);
    asked_.clear();
    EXPECT_FALSE(WindowImport(c.file));
    ASSERT_EQ(asked_.size(), 1u);
    EXPECT_EQ(asked_[0].caption, "Velmora");
    EXPECT_NE(asked_[0].text.find("could not be turned into pictures"), std::string::npos);
    asked_.clear();
    EXPECT_EQ(apppdf::CreateFormFromPdf(c.file), -1);
    EXPECT_EQ(asked_.size(), 1u);
    EXPECT_TRUE(Forms().empty());
    ExpectNothingStored();
  }
  pdf::SetWorkerLimits(saved);
  setenv("TMPDIR", tmp_.c_str(), 1);
  EXPECT_TRUE(TempIsEmpty());
}

TEST_F(AppPdfImport, PagesTooLargeForTheResolutionSaySo) {
  namespace pdf = velmora::pdf::detail;
  const pdf::WorkerLimits saved = pdf::GetWorkerLimits();
  pdf::WorkerLimits small = saved;
  small.pagePixels = 2'000'000;  // page 3 (letter) at 288 dpi has 7.8 million
  pdf::SetWorkerLimits(small);
  answers_ = {rt::kButtonNo};
  const bool imported = WindowImport(form_);
  pdf::SetWorkerLimits(saved);
  ASSERT_TRUE(imported);
  // sqrt(2 / 7.76) of 288 dpi: 146 dpi for every page (page 1's CropBox is
  // smaller: 167).
  for (const char* status : {"Processing Page 1 of 3 (picture at 167 dpi: page too large)",
                             "Processing Page 3 of 3 (picture at 146 dpi: page too large)"})
    EXPECT_NE(std::find(status_.begin(), status_.end(), status), status_.end()) << status;
  auto pages = Pages();
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(pages[2].image.substr(0, 4), "GIF8");
}

// Three pages of text; the second with 4 MB of spaces after its text,
// which deflate to a few kilobytes.
void MakeInflatingPage(const std::string& path) {
  using H = QPDFObjectHandle;
  QPDF q;
  q.emptyPDF();
  H font = q.makeIndirectObject(H::parse("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"));
  for (int p = 1; p <= 3; ++p) {
    H page = q.makeIndirectObject(
        H::parse("<< /Type /Page /MediaBox [0 0 300 200] /Resources << /Font << >> >> >>"));
    page.getKey("/Resources").getKey("/Font").replaceKey("/F1", font);
    std::string content = "BT /F1 20 Tf 20 100 Td (Page" + std::to_string(p) + ") Tj ET\n";
    if (p == 2) content += std::string(4 << 20, ' ');
    page.replaceKey("/Contents", q.newStream(content));
    q.addPage(page, false);
  }
  QPDFWriter w(q, path.c_str());
  w.write();
}

TEST_F(AppPdfImport, PagesWithMoreContentThanCanBeReadAreStoredWithoutText) {
  namespace pdf = velmora::pdf::detail;
  const pdf::WorkerLimits saved = pdf::GetWorkerLimits();
  pdf::WorkerLimits small = saved;
  small.contentBytes = 1 << 20;
  pdf::SetWorkerLimits(small);
  MakeInflatingPage("src/inflating.pdf");
  const bool imported = WindowImport("src/inflating.pdf");
  pdf::SetWorkerLimits(saved);
  ASSERT_TRUE(imported);
  auto pages = Pages();
  ASSERT_EQ(pages.size(), 3u);
  for (int p : {1, 3}) {
    SCOPED_TRACE(p);
    EXPECT_NE(pages[p - 1].text.find("|Page" + std::to_string(p) + "\n"), std::string::npos);
    EXPECT_NE(pages[p - 1].content.find("Tj"), std::string::npos);
  }
  EXPECT_EQ(pages[1].image.substr(0, 4), "GIF8");
  EXPECT_DOUBLE_EQ(V(pages[1].rec.PAGEWIDTH), 300);
  EXPECT_TRUE(pages[1].text.empty());
  EXPECT_TRUE(pages[1].content.empty());
  ASSERT_EQ(asked_.size(), 1u);
  EXPECT_EQ(asked_[0].caption, "Velmora");
  EXPECT_EQ(asked_[0].text,
            "Page 2 of the file src/inflating.pdf holds more content than can be read.\nIt was "
            "stored without its text, with a blank picture.");
  EXPECT_TRUE(TempIsEmpty());
}

TEST_F(AppPdfImport, OwnerPasswordOnlyFileImports) {
  forms::Encrypt(form_, "src/owner.pdf", "", "owner");
  answers_ = {rt::kButtonYes};
  ASSERT_TRUE(WindowImport("src/owner.pdf"));
  EXPECT_EQ(Pages().size(), 3u);
  EXPECT_EQ(Controls().size(), 9u);
}

TEST_F(AppPdfImport, PicturesNeverTouchTheSourceFolder) {
  // The user's own files with the names of the old pictures stay, and a
  // read-only source folder still imports.
  std::ofstream("src/form_page1.gif") << "mine";
  chmod("src", 0555);
  bool imported = WindowImport(form_);
  chmod("src", 0755);
  ASSERT_TRUE(imported);
  EXPECT_EQ(Slurp("src/form_page1.gif"), "mine");
  EXPECT_FALSE(fs::exists("src/form_page2.gif"));
  EXPECT_EQ(Pages().at(0).image.substr(0, 4), "GIF8");
  EXPECT_TRUE(TempIsEmpty());
}

// Folders whose names hold "é": the source PDF's and the temporary one.
TEST_F(AppPdfImport, NonAsciiFoldersKeepEveryPagePicture) {
  const fs::path tmp = dir_ / "t\xC3\xA9mp", src = dir_ / "d\xC3\xA9j\xC3\xA0";
  fs::create_directory(tmp);
  fs::create_directory(src);
  setenv("TMPDIR", tmp.c_str(), 1);
  const std::string pdf = forms::MakeForm((src / "form.pdf").string());
  ASSERT_TRUE(WindowImport(rt::WindowsPath(pdf)));
  auto pages = Pages();
  ASSERT_EQ(pages.size(), 3u);
  for (const Page& p : pages) EXPECT_EQ(p.image.substr(0, 4), "GIF8");
  EXPECT_TRUE(fs::is_empty(tmp));
}

// While the user is asked about the fields (after the pages were rendered)
// the import holds no write lock on the files it adds to in a batch.
TEST_F(AppPdfImport, NoWriteLockIsHeldWhileTheUserIsAsked) {
  bool free = false;
  rt::SetMessageHandler([&](std::string_view, std::string_view caption, std::string_view, int,
                            int def) {
    if (caption != "INFO") return def;
    free = true;
    for (FileId id : {FileId::FormPages, FileId::PageControls, FileId::FieldValues}) {
      auto other = data::Declaration(id).Clone();
      db::Open(*other);
      db::Logout(0, {other.get()});
      free = free && rt::ErrorCode() == 0;
      db::Rollback();
      db::Close(*other);
    }
    return def;
  });
  ASSERT_TRUE(WindowImport(form_));
  EXPECT_TRUE(free);
  EXPECT_FALSE(Controls().empty());
}

// Another instance holds PageControls' write lock: the bulk adds stay
// silent, one message tells of the failure, and the import fails.
TEST_F(AppPdfImport, LockedControlsGiveOneMessageAndFail) {
  ASSERT_EQ(d->Relate(FileId::PageControls)->Open(), cl::kBenign);
  db::Send(d->File(FileId::PageControls), "Recover=1");
  std::atomic<bool> locked{false}, done{false};
  std::thread holder([&] {
    auto other = data::Declaration(FileId::PageControls).Clone();
    db::Open(*other);
    db::Logout(0, {other.get()});
    locked = true;
    while (!done) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    db::Rollback();
    db::Close(*other);
  });
  while (!locked) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const bool imported = WindowImport(form_);
  done = true;
  holder.join();
  d->Relate(FileId::PageControls)->Close();
  EXPECT_FALSE(imported);
  ASSERT_EQ(asked_.size(), 2u);  // the fields question, then the failure
  EXPECT_EQ(asked_[1].caption, "Error");
  EXPECT_NE(asked_[1].text.find("PageControls"), std::string::npos) << asked_[1].text;
  EXPECT_TRUE(Controls().empty());
}

TEST_F(AppPdfImport, CreateFormFromPdfAddsTheFormAndAsksForTheSameFile) {
  const long today = rt::Today();
  ASSERT_EQ(apppdf::CreateFormFromPdf(form_ + "   "), 1);
  const int first = d->FOR.ID;
  EXPECT_GT(first, 0);
  auto forms = Forms();
  ASSERT_EQ(forms.size(), 1u);
  EXPECT_EQ(forms[0].FORMNAME.Value(), "FORM");
  EXPECT_EQ(forms[0].ORIGINALPDFFILE.Value(), form_);
  EXPECT_EQ(V(forms[0].ISPDF), 1);
  EXPECT_EQ(V(forms[0].TOTALPAGES), 3);
  EXPECT_EQ(forms[0].AUTHOR.Value(), "Ann Author");
  EXPECT_GE(V(forms[0].DATECREATED), today);
  EXPECT_GT(V(forms[0].TIMECREATED), 0);
  db::FileDecl& f = d->File(FileId::Forms);
  auto pdf = db::BlobRead(f, 0, 0, db::BlobSize(f, 0));
  EXPECT_EQ(std::string(pdf.begin(), pdf.end()), Slurp(form_));
  EXPECT_EQ(Pages().size(), 3u);
  auto controls = Controls();
  ASSERT_EQ(controls.size(), 9u);
  for (const auto& c : controls) {
    EXPECT_EQ(V(c.FORMID), first);
    EXPECT_EQ(V(c.CONTROLTRANSPARENT) + V(c.CONTROLFLAT) + V(c.CONTROLBOXED), 0);
  }
  EXPECT_EQ(status_.back(), "Done!");

  // The same file again: No keeps the existing form in the buffer.
  asked_.clear();
  answers_ = {rt::kButtonNo};
  EXPECT_EQ(apppdf::CreateFormFromPdf(form_), 0);
  ASSERT_EQ(asked_.size(), 1u);
  EXPECT_EQ(asked_[0].caption, "Velmora");
  EXPECT_EQ(asked_[0].defaultButton, rt::kButtonNo);
  EXPECT_NE(asked_[0].text.find(form_ + " file already exists."), std::string::npos);
  EXPECT_NE(asked_[0].text.find("Press \"No\" to use existing data entry form."),
            std::string::npos);
  EXPECT_EQ(V(d->FOR.ID), first);
  EXPECT_EQ(Forms().size(), 1u);

  // Yes makes a second form of the same file.
  answers_ = {rt::kButtonYes, rt::kButtonNo};
  EXPECT_EQ(apppdf::CreateFormFromPdf(form_), 1);
  EXPECT_NE(V(d->FOR.ID), first);
  EXPECT_EQ(Forms().size(), 2u);
  EXPECT_EQ(Pages().size(), 6u);
  EXPECT_EQ(Controls().size(), 9u);
  EXPECT_TRUE(TempIsEmpty());

  // A name in the runtime's form, as the file dialogs give it, is shown as
  // the host names it.
  const std::string windowsName = rt::WindowsPath(form_);
  answers_ = {rt::kButtonYes, rt::kButtonNo};
  ASSERT_EQ(apppdf::CreateFormFromPdf(windowsName), 1);
  asked_.clear();
  answers_ = {rt::kButtonNo};
  EXPECT_EQ(apppdf::CreateFormFromPdf(windowsName), 0);
  ASSERT_EQ(asked_.size(), 1u);
  EXPECT_NE(asked_[0].text.find("\n" + form_ + " file already exists."), std::string::npos) << asked_[0].text;
}

TEST_F(AppPdfImport, TwoThreadsImportAtOnce) {
  // Each thread has its own data files, status texts and selected document.
  rt::SetMessageHandler(
      [](std::string_view, std::string_view, std::string_view, int, int def) { return def; });
  fs::copy_file(form_, "src/second.pdf");
  const std::string files[2] = {form_, (dir_ / "src" / "second.pdf").string()};
  int results[2] = {0, 0}, ids[2] = {0, 0};
  std::string last[2];
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t)
    threads.emplace_back([&, t] {
      data::CreateFileManagers();
      data::StartRelationManagers();
      data::Dictionary& mine = data::ThisThread();
      apppdf::SetStatusHandler([&, t](std::string_view s) { last[t] = s; });
      if (mine.Relate(FileId::Forms)->Open() == cl::kBenign) {
        results[t] = apppdf::CreateFormFromPdf(files[t]);
        ids[t] = mine.FOR.ID;
        mine.Relate(FileId::Forms)->Close();
      }
      data::StopDictionary();
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(results[0], 1);
  EXPECT_EQ(results[1], 1);
  EXPECT_EQ(last[0], "Done!");
  EXPECT_EQ(last[1], "Done!");
  EXPECT_NE(ids[0], ids[1]);
  for (int t = 0; t < 2; ++t) {
    int pages = 0, controls = 0;
    for (const auto& p : Pages()) pages += p.rec.FORMID == ids[t];
    for (const auto& c : Controls()) controls += c.FORMID == ids[t];
    EXPECT_EQ(pages, 3) << t;
    EXPECT_EQ(controls, 9) << t;
  }
  EXPECT_TRUE(TempIsEmpty());
}

TEST(AppPdfScreen, PixelsTruncateTowardZero) {
  struct Case {
    double value;
    int pixels;
  } cases[] = {{26.99, 26},       {-0.5, 0},          {-1.7, -1},
               {1e12, INT32_MAX}, {-1e12, INT32_MIN}, {std::nan(""), 0}};
  for (const Case& c : cases) EXPECT_EQ(apppdf::TruncPixels(c.value), c.pixels) << c.value;
  EXPECT_EQ(apppdf::ScreenResolution().across, 96);
  EXPECT_EQ(apppdf::ScreenResolution().down, 96);
}

}  // namespace
