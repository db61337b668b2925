// Writing form fields: new fields, their attributes, values, appearances and
// flattening, read back with qpdf and poppler.
#include <gtest/gtest.h>
#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-page.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFAnnotationObjectHelper.hh>
#include <qpdf/QPDFFormFieldObjectHelper.hh>

#include <cstdio>
#include <map>
#include <memory>

#include "fixtures.h"
#include "velmora/pdf/pdf.h"

namespace {

std::string Stream(QPDFObjectHandle s) {
  if (!s.isStream()) return {};
  auto buf = s.getStreamData();
  return std::string(reinterpret_cast<const char*>(buf->getBuffer()), buf->getSize());
}

std::string PageText(const std::string& path, int page) {
  std::unique_ptr<poppler::document> doc(poppler::document::load_from_file(path));
  if (!doc) return {};
  std::unique_ptr<poppler::page> p(doc->create_page(page - 1));
  auto bytes = p ? p->text().to_utf8() : poppler::byte_array();
  return std::string(bytes.begin(), bytes.end());
}

class PdfWrite : public ::testing::Test {
 protected:
  fixtures::Loaded doc_{fixtures::MakeForm("write.pdf")};
  const int id_ = doc_.id;
  std::string Save(const std::string& name) {
    auto path = fixtures::Path(name);
    EXPECT_EQ(iSEDSaveToFile(path), 1);
    return path;
  }
};

TEST_F(PdfWrite, NewTextFieldWithEverySetter) {
  ASSERT_NE(id_, 0);
  int f = iSEDNewFormField("Added \xE9", 1);  // Windows-1252 title
  ASSERT_EQ(f, 9);  // after the existing fields
  EXPECT_EQ(iSEDSetFormFieldPage(f, 2), 1);
  EXPECT_EQ(iSEDSetFormFieldBackgroundColor(f, 1, 1, 0.5), 1);
  EXPECT_EQ(iSEDSetFormFieldColor(f, 1, 0, 0), 1);
  EXPECT_EQ(iSEDSetFormFieldBounds(f, 72, 720, 144, 36), 1);
  EXPECT_EQ(iSEDSetFormFieldAlignment(f, 2), 1);
  EXPECT_EQ(iSEDSetFormFieldBorderStyle(f, 2, 1, 0, 0), 1);
  EXPECT_EQ(iSEDSetFormFieldBorderColor(f, 0, 0, 1), 1);
  EXPECT_EQ(iSEDSetFormFieldTextFlags(f, 1, 0, 0, 0, 0), 1);
  EXPECT_EQ(iSEDSetFormFieldRotation(f, 90), 1);
  EXPECT_EQ(iSEDSetFormFieldValue(f, "Hello \xE9t\xE9"), 1);
  EXPECT_EQ(iSEDSetFormFieldReadOnly(f, 1), 1);
  EXPECT_EQ(iSEDSetFormFieldReadOnly(f, 0), 1);
  EXPECT_EQ(iSEDUpdateAppearanceStream(f), 1);

  // Read back through the library.
  EXPECT_EQ(iSEDGetFormFieldTitle(f), "Added \xE9");
  EXPECT_EQ(iSEDGetFormFieldPage(f), 2);
  EXPECT_DOUBLE_EQ(iSEDGetFormFieldBound(f, 0), 72);
  EXPECT_DOUBLE_EQ(iSEDGetFormFieldBound(f, 1), 720);
  EXPECT_DOUBLE_EQ(iSEDGetFormFieldBound(f, 2), 144);
  EXPECT_DOUBLE_EQ(iSEDGetFormFieldBound(f, 3), 36);
  EXPECT_EQ(iSEDGetFormFieldAlignment(f), 2);
  EXPECT_EQ(iSEDGetFormFieldTextFlags(f, 1), 1);
  EXPECT_EQ(iSEDGetFormFieldValue(f), "Hello \xE9t\xE9");

  auto path = Save("new-field.pdf");
  QPDF q;
  q.processFile(path.c_str());
  QPDFAcroFormDocumentHelper af(q);
  auto fields = af.getFormFields();
  QPDFFormFieldObjectHelper added;
  for (auto& ff : fields)
    if (ff.getFullyQualifiedName() == "Added \xC3\xA9") added = ff;
  ASSERT_FALSE(added.isNull());
  EXPECT_EQ(added.getValueAsString(), "Hello \xC3\xA9t\xC3\xA9");
  EXPECT_EQ(added.getFlags() & 1, 0);           // read-only cleared again
  EXPECT_NE(added.getFlags() & (1 << 12), 0);   // multi-line
  auto widget = added.getObjectHandle();
  // 90 degrees from the page as shown, which is itself turned by 90.
  EXPECT_EQ(widget.getKey("/MK").getKey("/R").getIntValue(), 180);
  // The rectangle in the page's own coordinates (shown 792 wide, 612 high).
  double rect[4];
  for (int i = 0; i < 4; ++i) rect[i] = widget.getKey("/Rect").getArrayItem(i).getNumericValue();
  EXPECT_DOUBLE_EQ(rect[0], 612 - 720);
  EXPECT_DOUBLE_EQ(rect[1], 72);
  EXPECT_DOUBLE_EQ(rect[2], 612 - 684);
  EXPECT_DOUBLE_EQ(rect[3], 216);
  EXPECT_EQ(widget.getKey("/BS").getKey("/S").getName(), "/D");
  EXPECT_TRUE(widget.getKey("/P").isSameObjectAs(q.getAllPages()[1]));
  std::string ap = Stream(QPDFAnnotationObjectHelper(widget).getAppearanceStream("/N"));
  EXPECT_NE(ap.find("re f"), std::string::npos) << ap;  // the background
  EXPECT_NE(ap.find("/Tx BMC"), std::string::npos) << ap;
  EXPECT_TRUE(ap.find("(Hello") != std::string::npos ||
              ap.find("<48656c6c6f") != std::string::npos)
      << ap;
}

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST_F(PdfWrite, TextAppearanceIsAlignedAndBrokenIntoLines) {
  iSEDSetFormFieldValue(1, "John");  // centred, 200 points wide
  iSEDSetFormFieldValue(2, "Line one\nLine two is long enough to wrap inside the box\nthree");
  iSEDSetFormFieldValue(7, "abc");  // right-aligned through its parent
  for (int f : {1, 2, 7}) ASSERT_EQ(iSEDUpdateAppearanceStream(f), 1);
  auto path = Save("layout.pdf");
  QPDF q;
  q.processFile(path.c_str());
  std::map<std::string, std::string> ap;
  QPDFAcroFormDocumentHelper af(q);
  for (auto& f : af.getFormFields())
    ap[f.getFullyQualifiedName()] =
        Stream(QPDFAnnotationObjectHelper(f.getObjectHandle()).getAppearanceStream("/N"));
  double x = 0, y = 0;
  auto at = ap["name"].find(" Tm");
  ASSERT_NE(at, std::string::npos) << ap["name"];
  ASSERT_EQ(std::sscanf(ap["name"].c_str() + ap["name"].rfind('\n', at) + 1, "1 0 0 1 %lf %lf", &x,
                        &y),
            2);
  EXPECT_NEAR(x, 100 - 0.5 * 12 * (500 + 556 + 556 + 556) / 1000.0, 0.5);  // "John" centred
  EXPECT_EQ(Count(ap["notes"], " Tj"), 4) << ap["notes"];  // three lines, one wrapped
  EXPECT_NE(ap["notes"].find("re W n"), std::string::npos);  // clipped to the box
  at = ap["parent.a"].find(" Tm");
  ASSERT_EQ(std::sscanf(ap["parent.a"].c_str() + ap["parent.a"].rfind('\n', at) + 1,
                        "1 0 0 1 %lf", &x),
            1);
  EXPECT_GT(x, 80);  // at the right of a box 100 points wide
  EXPECT_NE(PageText(path, 1).find("Line two is long"), std::string::npos);
}

TEST_F(PdfWrite, CheckBoxAndRadioValues) {
  struct Case {
    int field;
    const char* value;
    const char* state;  // the field's /V afterwards
  } cases[] = {
      {3, "Off", "Off"}, {3, "T", "Yes"},   {3, "F", "Off"},
      {3, "Yes", "Yes"}, {4, "Yes", "Yes"}, {4, "x", "Yes"},  // no such button: unchanged
      {4, "Off", "Off"}, {4, "No", "No"},
  };
  for (const auto& c : cases) {
    iSEDSetFormFieldValue(c.field, c.value);
    EXPECT_EQ(iSEDGetFormFieldValue(c.field), c.state) << c.field << " " << c.value;
  }
  for (int f : {3, 4}) EXPECT_EQ(iSEDUpdateAppearanceStream(f), 1);
  auto path = Save("buttons.pdf");
  QPDF q;
  q.processFile(path.c_str());
  auto kids = q.getRoot().getKey("/AcroForm").getKey("/Fields").getArrayItem(3).getKey("/Kids");
  EXPECT_EQ(kids.getArrayItem(0).getKey("/AS").getName(), "/Off");
  EXPECT_EQ(kids.getArrayItem(1).getKey("/AS").getName(), "/No");
}

TEST_F(PdfWrite, NewCheckBoxGetsOnAndOffAppearances) {
  int f = iSEDNewFormField("tick", 3);
  ASSERT_EQ(iSEDSetFormFieldPage(f, 1), 1);
  iSEDSetFormFieldBounds(f, 400, 500, 20, 20);
  iSEDSetFormFieldValue(f, "T");
  ASSERT_EQ(iSEDUpdateAppearanceStream(f), 1);
  EXPECT_EQ(iSEDGetFormFieldValue(f), "Yes");
  auto path = Save("new-check.pdf");
  QPDF q;
  q.processFile(path.c_str());
  QPDFAcroFormDocumentHelper af(q);
  for (auto& ff : af.getFormFields()) {
    if (ff.getFullyQualifiedName() != "tick") continue;
    QPDFAnnotationObjectHelper w(ff.getObjectHandle());
    EXPECT_EQ(w.getAppearanceState(), "/Yes");
    EXPECT_NE(Stream(w.getAppearanceStream("/N", "/Yes")).find("/ZaDb"), std::string::npos);
    EXPECT_TRUE(w.getAppearanceStream("/N", "/Off").isStream());
    return;
  }
  ADD_FAILURE() << "field not written";
}

TEST_F(PdfWrite, FlatteningMergesTheFieldAndRenumbers) {
  ASSERT_EQ(iSEDSetFormFieldValue(1, "Flattened Name"), 1);
  ASSERT_EQ(iSEDSetFormFieldValue(6, "Hidden Value"), 1);
  // No appearance update first: flattening draws the new value itself.
  ASSERT_EQ(iSEDFlattenFormField(1), 1);
  EXPECT_EQ(iSEDFormFieldCount(), 7);
  EXPECT_EQ(iSEDGetFormFieldTitle(1), "notes");  // the later fields moved down
  EXPECT_EQ(iSEDGetFormFieldTabOrder(1), 1);
  EXPECT_EQ(iSEDGetFormFieldPage(7), 2);
  // A copy saved halfway has the one field drawn and the others fillable;
  // flattening goes on after it.
  auto part = Save("flat-part.pdf");
  EXPECT_NE(PageText(part, 1).find("Flattened Name"), std::string::npos);
  {
    QPDF q;
    q.processFile(part.c_str());
    EXPECT_EQ(q.getRoot().getKey("/AcroForm").getKey("/Fields").getArrayNItems(), 6);
    auto page = q.getAllPages()[0];
    EXPECT_EQ(page.getKey("/Annots").getArrayNItems(), 8);
  }
  int n = iSEDFormFieldCount();
  int f = iSEDNewFormField("late", 1);
  ASSERT_EQ(f, n + 1);
  iSEDSetFormFieldPage(f, 2);
  iSEDSetFormFieldBounds(f, 300, 300, 150, 30);
  iSEDSetFormFieldValue(f, "Late Value");
  n = iSEDFormFieldCount();
  for (int i = 1; i <= n; ++i) iSEDUpdateAppearanceStream(i);
  for (int i = 1; i <= n; ++i) EXPECT_EQ(iSEDFlattenFormField(1), 1);
  EXPECT_EQ(iSEDFormFieldCount(), 0);
  EXPECT_EQ(iSEDFlattenFormField(1), 0);
  auto path = Save("flat.pdf");

  QPDF q;
  q.processFile(path.c_str());
  EXPECT_FALSE(q.getRoot().hasKey("/AcroForm")) << "no field left: no form";
  for (auto page : q.getAllPages()) {
    auto annots = page.getKey("/Annots");
    EXPECT_TRUE(!annots.isArray() || annots.getArrayNItems() == 0);
  }
  EXPECT_NE(PageText(path, 1).find("Flattened Name"), std::string::npos) << PageText(path, 1);
  EXPECT_NE(PageText(path, 1).find("Green"), std::string::npos);
  EXPECT_NE(PageText(path, 2).find("Late Value"), std::string::npos) << PageText(path, 2);
  // The page's own text keeps its font, which it inherits from the page tree.
  EXPECT_NE(PageText(path, 1).find("Hello Page One"), std::string::npos);
  // The hidden field left nothing on the page.
  EXPECT_EQ(PageText(path, 1).find("Hidden Value"), std::string::npos);
}

// A flattened field whose appearance the library drew goes into its page's
// content itself, its font into the page's fonts; on a page that names
// another font so, it is drawn as a form of the page's.
TEST(PdfFlatten, DrawnAppearancesGoIntoThePageUnlessItsFontNameIsTaken) {
  const std::string helvetica = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>";
  auto field = [](const char* name, int page) {
    return "<< /FT /Tx /T (" + std::string(name) + ") /DA (/Helv 10 Tf 0 g) /Type /Annot /Subtype /Widget "
           "/Rect [72 600 272 620] /F 4 /P " + std::to_string(page) + " 0 R >>";
  };
  auto path = fixtures::WriteObjects(
      "flat-fonts.pdf",
      {"<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [7 0 R 8 0 R] /DR << /Font << /Helv 6 0 R >> >> >> >>",
       "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>",
       "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Annots [7 0 R] /Contents 5 0 R "
       "/Resources << /Font << /Helv << /Type /Font /Subtype /Type1 /BaseFont /Courier >> >> >> >>",
       "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Annots [8 0 R] /Resources << >> >>",
       "<< /Length 40 >>\nstream\nBT /Helv 12 Tf 72 700 Td (Page Text) Tj ET\nendstream",
       helvetica, field("taken", 3), field("free", 4)});
  {
    fixtures::Loaded doc(path);
    ASSERT_NE(doc.id, 0);
    ASSERT_EQ(iSEDSetFormFieldValue(1, "First Value"), 1);
    ASSERT_EQ(iSEDSetFormFieldValue(2, "Second Value"), 1);
    for (int i = 1; i <= 2; ++i) ASSERT_EQ(iSEDUpdateAppearanceStream(i), 1);
    for (int i = 1; i <= 2; ++i) ASSERT_EQ(iSEDFlattenFormField(1), 1);
    ASSERT_EQ(iSEDSaveToFile(path), 1);
  }
  EXPECT_NE(PageText(path, 1).find("Page Text"), std::string::npos);
  EXPECT_NE(PageText(path, 1).find("First Value"), std::string::npos) << PageText(path, 1);
  EXPECT_NE(PageText(path, 2).find("Second Value"), std::string::npos) << PageText(path, 2);
  QPDF q;
  q.processFile(path.c_str());
  auto pages = q.getAllPages();
  auto forms = [](QPDFObjectHandle page) {
    auto x = page.getKey("/Resources").getKey("/XObject");
    return x.isDictionary() ? x.getKeys().size() : 0;
  };
  auto fonts = [](QPDFObjectHandle page) { return page.getKey("/Resources").getKey("/Font"); };
  EXPECT_EQ(forms(pages[0]), 1u);
  EXPECT_EQ(fonts(pages[0]).getKey("/Helv").getKey("/BaseFont").getName(), "/Courier");
  EXPECT_EQ(forms(pages[1]), 0u);
  EXPECT_EQ(fonts(pages[1]).getKey("/Helv").getKey("/BaseFont").getName(), "/Helvetica");
}

TEST_F(PdfWrite, RefusesWhatCannotBeWritten) {
  EXPECT_EQ(iSEDNewFormField("bad kind", 9), 0);
  EXPECT_EQ(iSEDSetFormFieldPage(1, 3), 0);
  EXPECT_EQ(iSEDSetFormFieldAlignment(1, 5), 0);
  EXPECT_EQ(iSEDSetFormFieldRotation(1, 45), 0);
  EXPECT_EQ(iSEDSetFormFieldBorderStyle(1, 1, 7, 0, 0), 0);
  EXPECT_EQ(iSEDSetFormFieldValue(99, "x"), 0);
  EXPECT_EQ(iSEDFlattenFormField(99), 0);
  EXPECT_EQ(iSEDFormFieldCount(), 8);
}

}  // namespace
