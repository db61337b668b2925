// Forms as other producers write them: partial field lists, names and
// values in every string form, empty appearances, large and deep field
// trees.
#include <gtest/gtest.h>
#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-image.h>
#include <poppler/cpp/poppler-page-renderer.h>
#include <poppler/cpp/poppler-page.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <set>

#include "fixtures.h"
#include "velmora/pdf/pdf.h"

namespace {

using H = QPDFObjectHandle;

// A one-page form (612 by 792 points) that a test puts together object by
// object, as a producer would.
class Form {
 public:
  Form() {
    q_.emptyPDF();
    page_ = q_.makeIndirectObject(H::parse("<< /Type /Page /MediaBox [0 0 612 792] >>"));
    H pages = q_.getRoot().getKey("/Pages");
    page_.replaceKey("/Parent", pages);
    H kids = H::newArray();
    kids.appendItem(page_);
    pages.replaceKey("/Kids", kids);
    pages.replaceKey("/Count", H::newInteger(1));
  }
  H Object(const std::string& dict) { return q_.makeIndirectObject(H::parse(dict)); }
  H Stream(const std::string& content, const std::string& bbox = "[0 0 15 15]") {
    H s = q_.newStream(content);
    s.getDict().replaceKey("/Type", H::newName("/XObject"));
    s.getDict().replaceKey("/Subtype", H::newName("/Form"));
    s.getDict().replaceKey("/BBox", H::parse(bbox));
    return s;
  }
  // Normal appearances: the on state drawn as a filled square, Off empty.
  H OnOff(const std::string& on) {
    H n = H::newDictionary();
    n.replaceKey("/" + on, Stream("0 g 2 2 11 11 re f"));
    n.replaceKey("/Off", Stream(""));
    H ap = H::newDictionary();
    ap.replaceKey("/N", n);
    return ap;
  }
  // A widget annotation on the page.
  H Widget(const std::string& dict, double x, double y, double size = 15) {
    H w = Object(dict);
    w.replaceKey("/Type", H::newName("/Annot"));
    w.replaceKey("/Subtype", H::newName("/Widget"));
    w.replaceKey("/P", page_);
    w.replaceKey("/Rect", H::parse("[" + std::to_string(x) + " " + std::to_string(y) + " " +
                                   std::to_string(x + size) + " " + std::to_string(y + size) +
                                   "]"));
    if (!w.hasKey("/F")) w.replaceKey("/F", H::newInteger(4));
    annots_.appendItem(w);
    return w;
  }
  // Buttons of a radio group, each pointing back at it; none are listed.
  std::vector<H> Buttons(H group, const std::vector<std::string>& states, double y = 600) {
    std::vector<H> out;
    double x = 40;
    for (const auto& state : states) {
      H w = Widget("<< /AS /Off >>", x, y);
      w.replaceKey("/AP", OnOff(state));
      w.replaceKey("/Parent", group);
      out.push_back(w);
      x += 20;
      if (x > 560) x = 40, y -= 20;
    }
    return out;
  }
  void List(H field) { fields_.appendItem(field); }
  QPDF& Pdf() { return q_; }
  std::string Write(const std::string& name) {
    page_.replaceKey("/Annots", annots_);
    H af = q_.makeIndirectObject(H::newDictionary());
    af.replaceKey("/Fields", fields_);
    af.replaceKey("/DA", H::newString("/Helv 0 Tf 0 g"));
    q_.getRoot().replaceKey("/AcroForm", af);
    std::string path = fixtures::Path(name);
    QPDFWriter w(q_, path.c_str());
    // Thousands of tiny appearance streams each deflated cost more than
    // the test itself; the readers see the same objects either way.
    w.setCompressStreams(false);
    w.write();
    return path;
  }

 private:
  QPDF q_;
  H page_;
  H annots_ = H::newArray();
  H fields_ = H::newArray();
};

H Kids(std::vector<H> items) {
  H a = H::newArray();
  for (auto& i : items) a.appendItem(i);
  return a;
}

int WidgetsLeft(const std::string& path) {
  QPDF q;
  q.processFile(path.c_str());
  int n = 0;
  for (auto page : q.getAllPages()) {
    auto annots = page.getKey("/Annots");
    if (annots.isArray())
      for (auto& a : annots.aitems()) n += a.getKey("/Subtype").isNameAndEquals("/Widget");
  }
  return n;
}

// The dark pixels inside a box of `width` by `height` points at x, y (from
// the page's lower left) of page 1, rendered at 144 dots per inch, and how
// far right of x the rightmost of them lies (points; -1 when none).
struct Dark {
  int pixels = -1;
  double right = -1;
};
Dark DarkIn(const std::string& path, double x, double y, double width, double height) {
  Dark out;
  std::unique_ptr<poppler::document> doc(poppler::document::load_from_file(path));
  if (!doc) return out;
  std::unique_ptr<poppler::page> page(doc->create_page(0));
  poppler::page_renderer renderer;
  poppler::image img = renderer.render_page(page.get(), 144, 144);
  if (!img.is_valid() || img.format() != poppler::image::format_argb32) return out;
  out.pixels = 0;
  for (int row = static_cast<int>((792 - y - height) * 2); row < (792 - y) * 2; ++row) {
    auto line = reinterpret_cast<const uint32_t*>(img.const_data() + row * img.bytes_per_row());
    for (int col = static_cast<int>(x * 2); col < (x + width) * 2; ++col) {
      uint32_t p = line[col];
      if (((p >> 16) & 255) + ((p >> 8) & 255) + (p & 255) < 384) {
        ++out.pixels;
        out.right = std::max(out.right, col / 2.0 - x);
      }
    }
  }
  return out;
}

int Ink(const std::string& path, double x, double y, double size = 15) {
  return DarkIn(path, x, y, size, size).pixels;
}

// Some producers list only the first button of a group under /Fields (or
// under the group's /Kids) and reach the others only through the page.
TEST(PdfProducers, RadioButtonsReachedOnlyThroughThePage) {
  for (bool groupListed : {true, false}) {
    SCOPED_TRACE(groupListed ? "group listed, one kid" : "first button listed");
    Form f;
    H group = f.Object("<< /FT /Btn /Ff 49152 /T (size) /V /m >>");
    auto buttons = f.Buttons(group, {"s", "m", "l"});
    buttons[1].replaceKey("/AS", H::newName("/m"));
    group.replaceKey("/Kids", Kids({buttons[0]}));
    f.List(groupListed ? group : buttons[0]);
    f.List(f.Widget("<< /FT /Tx /T (after) >>", 40, 500, 100));
    fixtures::Loaded doc(f.Write("partial.pdf"));
    ASSERT_NE(doc.id, 0);

    ASSERT_EQ(iSEDFormFieldCount(), 2);
    EXPECT_EQ(iSEDGetFormFieldTitle(2), "after");
    EXPECT_EQ(iSEDGetFormFieldType(1), 4);
    EXPECT_EQ(iSEDGetFormFieldTitle(1), "size");
    EXPECT_EQ(iSEDGetFormFieldValue(1), "m");
    ASSERT_EQ(iSEDGetFormFieldSubCount(1), 3);
    std::set<int> temps;
    for (int k = 1; k <= 3; ++k) {
      EXPECT_EQ(iSEDGetFormFieldSubName(1, k), std::string(1, "sml"[k - 1]));
      int t = iSEDGetFormFieldSubTempIndex(1, k);
      temps.insert(t);
      EXPECT_EQ(iSEDGetFormFieldPage(t), 1);
      EXPECT_EQ(iSEDGetFormFieldTabOrder(t), k);
      EXPECT_DOUBLE_EQ(iSEDGetFormFieldBound(t, 0), 40 + 20 * (k - 1));
    }
    EXPECT_EQ(temps.size(), 3u);

    EXPECT_EQ(iSEDSetFormFieldValue(1, "l"), 1);
    EXPECT_EQ(iSEDGetFormFieldValue(1), "l");
    // Flattening the group takes every one of its buttons off the page.
    EXPECT_EQ(iSEDFlattenFormField(1), 1);
    EXPECT_EQ(iSEDFlattenFormField(1), 1);
    EXPECT_EQ(iSEDFormFieldCount(), 0);
    auto out = fixtures::Path("partial-flat.pdf");
    ASSERT_EQ(iSEDSaveToFile(out), 1);
    EXPECT_EQ(WidgetsLeft(out), 0);
    QPDF q;
    q.processFile(out.c_str());
    EXPECT_EQ(q.getRoot().getKey("/AcroForm").getKey("/Fields").getArrayNItems(), 0);
    EXPECT_GT(Ink(out, 80, 600), 0);  // "l", drawn into the page
    EXPECT_EQ(Ink(out, 40, 600), 0);
  }
}

TEST(PdfProducers, NamesAndValuesInEveryStringForm) {
  Form f;
  // State names: UTF-8 and PDFDocEncoding bytes (qpdf writes them with #xx
  // escapes); export values through /Opt: UTF-16BE with a byte-order mark,
  // and octal escapes.
  H group = f.Object(
      "<< /FT /Btn /Ff 49152 /T (mood) /V /Caf#C3#A9 "
      "/Opt [(x) <FEFF0053007000E4007400650072> (\\351t\\351)] >>");
  auto buttons = f.Buttons(group, {"Caf\xC3\xA9", "1", "2", "5\xA0"});
  group.replaceKey("/Kids", Kids(buttons));
  f.List(group);
  // A default no button has.
  H other = f.Object("<< /FT /Btn /Ff 49152 /T (other) /V /Default >>");
  other.replaceKey("/Kids", Kids(f.Buttons(other, {"a", "b"}, 500)));
  f.List(other);
  // A check box whose value is a UTF-16 string naming its state.
  H tick = f.Widget("<< /FT /Btn /T (tick) /V <FEFF004A00E4> /AS /J#C3#A4 >>", 40, 400);
  tick.replaceKey("/AP", f.OnOff("J\xC3\xA4"));
  f.List(tick);
  // Field names: UTF-16 with a byte-order mark above UTF-8 without one.
  H parent = f.Object("<< /T <FEFF00C4006D0074> >>");
  H child = f.Widget("<< /FT /Tx /T (Stra\303\237e) >>", 40, 300, 100);
  child.replaceKey("/Parent", parent);
  parent.replaceKey("/Kids", Kids({child}));
  f.List(parent);
  fixtures::Loaded doc(f.Write("strings.pdf"));
  ASSERT_NE(doc.id, 0);
  ASSERT_EQ(iSEDFormFieldCount(), 4);
  EXPECT_EQ(iSEDGetFormFieldTitle(4), "\xC4" "mt.Stra\xDF" "e");

  const char* names[] = {"Caf\xE9", "Sp\xE4ter", "\xE9t\xE9", "5\x80"};
  ASSERT_EQ(iSEDGetFormFieldSubCount(1), 4);
  for (int k = 1; k <= 4; ++k) EXPECT_EQ(iSEDGetFormFieldSubName(1, k), names[k - 1]) << k;
  EXPECT_EQ(iSEDGetFormFieldValue(1), "Caf\xE9");
  EXPECT_EQ(iSEDGetFormFieldValue(2), "Off");
  EXPECT_EQ(iSEDGetFormFieldSubName(3, 1), "J\xE4");
  EXPECT_EQ(iSEDGetFormFieldValue(3), "J\xE4");

  // Setting a decoded export value selects its button.
  for (int k : {2, 4, 3, 1}) {
    ASSERT_EQ(iSEDSetFormFieldValue(1, names[k - 1]), 1) << k;
    EXPECT_EQ(iSEDGetFormFieldValue(1), names[k - 1]);
    EXPECT_EQ(iSEDGetFormFieldValue(iSEDGetFormFieldSubTempIndex(1, k)), names[k - 1]);
  }
  ASSERT_EQ(iSEDSetFormFieldValue(1, "5\x80"), 1);
  EXPECT_EQ(iSEDSetFormFieldValue(3, "Off"), 1);
  EXPECT_EQ(iSEDSetFormFieldValue(3, "J\xE4"), 1);
  auto out = fixtures::Path("strings-set.pdf");
  ASSERT_EQ(iSEDSaveToFile(out), 1);
  QPDF q;
  q.processFile(out.c_str());
  auto mood = q.getRoot().getKey("/AcroForm").getKey("/Fields").getArrayItem(0);
  EXPECT_EQ(mood.getKey("/V").getName(), "/5\xA0");  // the state as the producer wrote it
  EXPECT_EQ(mood.getKey("/Kids").getArrayItem(3).getKey("/AS").getName(), "/5\xA0");
  EXPECT_EQ(mood.getKey("/Kids").getArrayItem(0).getKey("/AS").getName(), "/Off");
}

// Appearances that are there but draw nothing: empty dictionaries, empty
// streams, a box of no size.
std::string MakeEmptyAppearances(const std::string& name) {
  Form f;
  auto states = [&](const std::string& on, H onStream) {
    H n = H::newDictionary();
    n.replaceKey("/" + on, onStream);
    n.replaceKey("/Off", f.Stream(""));
    H ap = H::newDictionary();
    ap.replaceKey("/N", n);
    return ap;
  };
  H tick = f.Widget("<< /FT /Btn /T (tick) /V /Yes /AS /Yes >>", 40, 700);
  tick.replaceKey("/AP", states("Yes", f.Stream(" \n")));
  f.List(tick);
  H untick = f.Widget("<< /FT /Btn /T (untick) /V /Off /AS /Off >>", 80, 700);
  untick.replaceKey("/AP", states("Yes", f.Stream("", "[0 0 0 0]")));
  f.List(untick);
  H group = f.Object("<< /FT /Btn /Ff 49152 /T (pick) /V /b >>");
  auto buttons = f.Buttons(group, {"a", "b", "c"});
  buttons[0].replaceKey("/AP", H::parse("<< /N << /a << >> /Off << >> >> >>"));
  buttons[1].replaceKey("/AP", states("b", f.Stream("0 g 2 2 11 11 re f", "[0 0 0 0]")));
  buttons[1].replaceKey("/AS", H::newName("/b"));
  buttons[2].replaceKey("/AP", states("c", f.Stream("")));
  group.replaceKey("/Kids", Kids(buttons));
  f.List(group);
  return f.Write(name);
}

TEST(PdfProducers, EmptyAppearancesAreDrawnForFillableAndFlattenedCopies) {
  auto path = MakeEmptyAppearances("empty-ap.pdf");
  for (bool flatten : {false, true}) {
    SCOPED_TRACE(flatten ? "flattened" : "fillable");
    fixtures::Loaded doc(path);
    ASSERT_NE(doc.id, 0);
    ASSERT_EQ(iSEDFormFieldCount(), 3);
    while (flatten && iSEDFormFieldCount() > 0) ASSERT_EQ(iSEDFlattenFormField(1), 1);
    auto out = fixtures::Path(flatten ? "empty-ap-flat.pdf" : "empty-ap-fill.pdf");
    ASSERT_EQ(iSEDSaveToFile(out), 1);  // without NeedAppearances
    EXPECT_GT(Ink(out, 40, 700), 20);   // the check mark
    EXPECT_EQ(Ink(out, 80, 700), 0);
    EXPECT_EQ(Ink(out, 40, 600), 0);
    EXPECT_GT(Ink(out, 60, 600), 20);  // the selected button
    EXPECT_EQ(Ink(out, 80, 600), 0);
    EXPECT_EQ(WidgetsLeft(out), flatten ? 0 : 5);
  }
}

// More than 20000 fields: the buttons' temporary indexes meet none of them.
TEST(PdfProducers, TemporaryIndexesNeverMeetFieldNumbers) {
  Form f;
  H group = f.Object("<< /FT /Btn /Ff 49152 /T (group) >>");
  group.replaceKey("/Kids", Kids(f.Buttons(group, {"a", "b"})));
  f.List(group);
  for (int i = 0; i < 20010; ++i)
    f.List(f.Object("<< /FT /Tx /T (t" + std::to_string(i) + ") /Rect [0 0 10 10] >>"));
  fixtures::LoadBound generous(600);
  fixtures::Loaded doc(f.Write("many.pdf"));
  ASSERT_NE(doc.id, 0);
  const int n = iSEDFormFieldCount();
  ASSERT_EQ(n, 20011);
  for (int k = 1; k <= 2; ++k) {
    int t = iSEDGetFormFieldSubTempIndex(1, k);
    EXPECT_NE(t, 0);
    EXPECT_TRUE(t < 1 || t > n) << t;
    EXPECT_EQ(t, static_cast<short>(t));  // kept by callers in 16 bits
    EXPECT_EQ(iSEDGetFormFieldTitle(t), "group");
    EXPECT_EQ(iSEDGetFormFieldSubName(1, k), k == 1 ? "a" : "b");
  }
  // A field added afterwards takes a number of its own.
  int added = iSEDNewFormField("added", 1);
  EXPECT_EQ(added, n + 1);
  EXPECT_EQ(iSEDGetFormFieldTitle(iSEDGetFormFieldSubTempIndex(1, 2)), "group");
}

// A radio group of thousands of buttons (some producers write such lists
// of choices) reads every button and selects any of them. How the time
// grows with the group's size is measured by bench/pdf-radio.
TEST(PdfProducers, LargeRadioGroupReadsAndSelectsEveryButton) {
  const int count = 4000;
  Form f;
  H group = f.Object("<< /FT /Btn /Ff 49152 /T (big) /V /s1 >>");
  std::vector<std::string> states;
  for (int i = 0; i < count; ++i) states.push_back("s" + std::to_string(i));
  group.replaceKey("/Kids", Kids(f.Buttons(group, states)));
  f.List(group);
  fixtures::Loaded doc(f.Write("big.pdf"));
  ASSERT_NE(doc.id, 0);
  ASSERT_EQ(iSEDGetFormFieldSubCount(1), count);
  for (int k = 1; k <= count; ++k) {
    int t = iSEDGetFormFieldSubTempIndex(1, k);
    ASSERT_EQ(iSEDGetFormFieldSubName(1, k), states[k - 1]) << k;
    ASSERT_EQ(iSEDGetFormFieldPage(t), 1) << k;
    ASSERT_EQ(iSEDGetFormFieldValue(t), "s1") << k;
  }
  for (int k : {1, count / 2, count})
    EXPECT_EQ(iSEDSetFormFieldValue(1, states[k - 1]), 1) << k;
  EXPECT_EQ(iSEDGetFormFieldValue(1), states.back());
}

// A chain of fields `depth` levels deep with a text widget at the bottom.
std::string MakeDeep(int depth) {
  Form f;
  H top = f.Object("<< /T (n) >>");
  f.List(top);
  H parent = top;
  for (int i = 1; i < depth; ++i) {
    H node = f.Object("<< /T (n) >>");
    node.replaceKey("/Parent", parent);
    parent.replaceKey("/Kids", Kids({node}));
    parent = node;
  }
  H w = f.Widget("<< /FT /Tx >>", 40, 700, 100);
  w.replaceKey("/Parent", parent);
  parent.replaceKey("/Kids", Kids({w}));
  return f.Write("deep" + std::to_string(depth) + ".pdf");
}

TEST(PdfProducers, FieldTreeDeeperThanTheLimitFailsTheLoad) {
  {
    fixtures::Loaded doc(MakeDeep(20));
    ASSERT_NE(doc.id, 0);
    ASSERT_EQ(iSEDFormFieldCount(), 1);
    EXPECT_EQ(iSEDGetFormFieldTitle(1).size(), 20 * 2u - 1);
    EXPECT_EQ(iSEDGetFormFieldPage(1), 1);
  }
  for (int depth : {100, 5000}) {
    fixtures::Loaded doc(MakeDeep(depth));
    EXPECT_EQ(doc.id, 0) << depth;
    EXPECT_EQ(iSEDLoadFailure(), 2) << depth;
  }
}

// Fields of one full name and type are one field: a radio group written as
// three same-named fields reads as one group in the buttons' places, its
// escaped state names read as their text, and setting a value reaches
// every widget of the name, with one button on, in the names the file uses.
TEST(PdfProducers, SameNamedFieldsAreOneFieldWithTheirStatesDecoded) {
  const auto path = fixtures::MakeSameNamedFields();
  const std::string states[] = {"card", "cash", "check"};
  for (bool flatten : {false, true}) {
    SCOPED_TRACE(flatten ? "flattened" : "fillable");
    fixtures::Loaded doc(path);
    ASSERT_NE(doc.id, 0);
    ASSERT_EQ(iSEDFormFieldCount(), 3);
    EXPECT_EQ(iSEDGetFormFieldTitle(1), "pay");
    EXPECT_EQ(iSEDGetFormFieldType(1), 4);
    EXPECT_EQ(iSEDGetFormFieldValue(1), "cash");
    ASSERT_EQ(iSEDGetFormFieldSubCount(1), 3);
    for (int k = 1; k <= 3; ++k) {
      EXPECT_EQ(iSEDGetFormFieldSubName(1, k), states[k - 1]) << k;
      const int t = iSEDGetFormFieldSubTempIndex(1, k);
      EXPECT_DOUBLE_EQ(iSEDGetFormFieldBound(t, 0), 100 * k) << k;
      EXPECT_EQ(iSEDGetFormFieldValue(t), "cash");
    }
    EXPECT_EQ(iSEDGetFormFieldTitle(2), "note");
    EXPECT_EQ(iSEDGetFormFieldValue(2), "shared text");
    EXPECT_EQ(iSEDGetFormFieldTitle(3), "after");

    ASSERT_EQ(iSEDSetFormFieldValue(1, "check"), 1);
    EXPECT_EQ(iSEDGetFormFieldValue(1), "check");
    ASSERT_EQ(iSEDSetFormFieldValue(2, "new note"), 1);
    for (int f = 1; f <= 3; ++f) ASSERT_EQ(iSEDUpdateAppearanceStream(f), 1);
    while (flatten && iSEDFormFieldCount() > 0) ASSERT_EQ(iSEDFlattenFormField(1), 1);
    const auto out = fixtures::Path(flatten ? "same-named-flat.pdf" : "same-named-fill.pdf");
    ASSERT_EQ(iSEDSaveToFile(out), 1);

    // Every reader sees the one button on, and the text in both places.
    EXPECT_GT(Ink(out, 300, 700), 20);
    EXPECT_EQ(Ink(out, 100, 700), 0);
    EXPECT_EQ(Ink(out, 200, 700), 0);
    EXPECT_GT(Ink(out, 100, 600, 20), 0);
    EXPECT_GT(Ink(out, 100, 500, 20), 0);
    if (flatten) {
      EXPECT_EQ(WidgetsLeft(out), 0);
      continue;
    }
    QPDF q;
    q.processFile(out.c_str());
    int on = 0, notes = 0;
    auto page = q.getAllPages().front();
    for (auto& w : page.getKey("/Annots").aitems()) {
      const auto t = w.getKey("/T").getUTF8Value();
      if (t == "pay") {
        EXPECT_EQ(w.getKey("/V").getName(), "/" + fixtures::EscapedState("check"));
        const bool lit = w.getKey("/AS").getName() != "/Off";
        on += lit;
        if (lit) {
          EXPECT_EQ(w.getKey("/AS").getName(), "/" + fixtures::EscapedState("check"));
          EXPECT_EQ(w.getKey("/Rect").getArrayItem(0).getNumericValue(), 300);
        }
      } else if (t == "note") {
        EXPECT_EQ(w.getKey("/V").getUTF8Value(), "new note");
        ++notes;
      }
    }
    EXPECT_EQ(on, 1);
    EXPECT_EQ(notes, 2);
  }
}

// Choice fields as three producers write them: a combo box whose /I still
// selects its first option, a drop-down whose /DA names a font the form's
// resources lack, a list box. Set through the library, each shows its new
// value, in the fillable copy (drawn by the reader) and the flattened one.
TEST(PdfProducers, ChoiceFieldsShowTheValueSet) {
  Form f;
  f.List(f.Widget("<< /FT /Ch /Ff 131072 /T (combo) /Opt [(Red) (Green) (Blue)] /V (Red) "
                  "/I [0] /DA (/Helv 12 Tf 0 g) >>",
                  40, 700, 0));
  f.List(f.Widget("<< /FT /Ch /Ff 131072 /T (drop) /Opt [(France) (Japan) (Peru)] /V (France) "
                  "/DA (/Helvetica 12 Tf 0 g) >>",
                  40, 600, 0));
  f.List(f.Widget("<< /FT /Ch /T (list) /Opt [(Red) (Green) (Blue)] /V (Red) /I [0] "
                  "/DA (/Helv 12 Tf 0 g) >>",
                  40, 450, 0));
  auto path = f.Write("choices.pdf");
  {
    // The form's own resources: /Helv only.
    QPDF q;
    q.processFile(path.c_str());
    auto af = q.getRoot().getKey("/AcroForm");
    H font = q.makeIndirectObject(H::parse("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"));
    H dr = H::parse("<< /Font << >> >>");
    dr.getKey("/Font").replaceKey("/Helv", font);
    af.replaceKey("/DR", dr);
    const char* rects[] = {"[40 700 140 720]", "[40 600 160 620]", "[40 450 140 510]"};
    int i = 0;
    for (auto& w : af.getKey("/Fields").aitems()) w.replaceKey("/Rect", H::parse(rects[i++]));
    QPDFWriter w(q, path.c_str());
    w.write();
  }
  for (bool flatten : {false, true}) {
    SCOPED_TRACE(flatten ? "flattened" : "fillable");
    fixtures::Loaded doc(path);
    ASSERT_NE(doc.id, 0);
    ASSERT_EQ(iSEDFormFieldCount(), 3);
    iSEDSetNeedAppearances(1);
    ASSERT_EQ(iSEDSetFormFieldValue(1, "Green"), 1);
    ASSERT_EQ(iSEDSetFormFieldValue(2, "Japan"), 1);
    ASSERT_EQ(iSEDSetFormFieldValue(3, "Blue"), 1);
    for (int i = 1; i <= 3; ++i) ASSERT_EQ(iSEDUpdateAppearanceStream(i), 1);
    while (flatten && iSEDFormFieldCount() > 0) ASSERT_EQ(iSEDFlattenFormField(1), 1);
    auto out = fixtures::Path(flatten ? "choices-flat.pdf" : "choices-fill.pdf");
    ASSERT_EQ(iSEDSaveToFile(out), 1);
    // "Green" reaches about 33 points right of the box's edge, "Red" 22.
    EXPECT_GT(DarkIn(out, 40, 700, 100, 20).right, 28);
    EXPECT_GT(DarkIn(out, 40, 600, 120, 20).pixels, 20);
    // The list shows its options in its box.
    EXPECT_GT(DarkIn(out, 40, 450, 100, 60).pixels, 20);
    if (flatten) continue;
    QPDF q;
    q.processFile(out.c_str());
    auto fields = q.getRoot().getKey("/AcroForm").getKey("/Fields");
    EXPECT_EQ(fields.getArrayItem(0).getKey("/I").unparse(), "[ 1 ]");
    EXPECT_EQ(fields.getArrayItem(2).getKey("/I").unparse(), "[ 2 ]");
    EXPECT_EQ(fields.getArrayItem(1).getKey("/I").unparse(), "[ 1 ]");
    EXPECT_TRUE(q.getRoot().getKey("/AcroForm").getKey("/DR").getKey("/Font").getKey("/Helvetica").isDictionary());
  }
}

// Objects of a hostile file as text: a catalog (object 1) over the pages
// node 2 and the form 4, then whatever the shape needs from object 5 on.
struct Shape {
  std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R /AcroForm 4 0 R >>", "", "",
                                      "<< /Fields [] >>"};
  int Add(const std::string& text) {
    objects.push_back(text);
    return static_cast<int>(objects.size());
  }
  static std::string Ref(int n) { return std::to_string(n) + " 0 R"; }
  static std::string Refs(int first, int count, int step = 1) {
    std::string out;
    for (int i = 0; i < count; ++i) out += Ref(first + i * step) + " ";
    return out;
  }
  // `count` text widgets from the next object on, each naming `parent`
  // (0: none, each is a field of its own).
  int Widgets(int count, int parent = 0) {
    int first = static_cast<int>(objects.size()) + 1;
    for (int i = 0; i < count; ++i)
      Add("<< /Type /Annot /Subtype /Widget /FT /Tx /Rect [0 0 10 10] " +
          (parent ? "/Parent " + Ref(parent) : "/T (w" + std::to_string(i) + ")") + " >>");
    return first;
  }
  // One page (object 3) under the pages node, with these annotations.
  void OnePage(const std::string& annots) {
    objects[1] = "<< /Type /Pages /Count 1 /Kids [3 0 R] >>";
    objects[2] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Annots " + annots + " >>";
  }
  std::string Write(const std::string& name) {
    for (auto& o : objects)
      if (o.empty()) o = "null";
    return fixtures::WriteObjects(name, objects);
  }
};

// Shapes of references that once made loading run for hours or crash:
// kids through an array that holds them, kids and annotations shared by
// many nodes, a page listed many times, page trees too deep to walk. Each
// gives an answer at once: its fields, or a refusal as too complex.
TEST(PdfProducers, LoadingAnswersWhateverTheReferences) {
  struct Case {
    std::string name;
    std::string path;
    int fields;  // -1: refused
  };
  std::vector<Case> cases;
  cases.push_back({"input found by fuzzing", fixtures::DataFile("fields-read-hang.pdf"), 5});
  {
    // A field whose /Kids is an array that also holds two direct
    // dictionaries with that same /Kids: every level doubles.
    Shape s;
    int w = s.Widgets(1, 6);
    s.Add("<< /FT /Tx /T (p) /Kids 7 0 R >>");
    s.Add("[" + Shape::Ref(w) + " << /Kids 7 0 R >> << /Kids 7 0 R >>]");
    s.objects[3] = "<< /Fields [6 0 R] >>";
    s.OnePage("[" + Shape::Ref(w) + "]");
    cases.push_back({"kids through an array that holds them", s.Write("kids-loop.pdf"), 1});
  }
  for (int n : {2, 1500}) {
    // n parents sharing one array of n kids.
    Shape s;
    int parents = s.Widgets(0);
    int kids = parents + n, first = kids + 1;
    for (int i = 0; i < n; ++i) s.Add("<< /FT /Tx /T (p" + std::to_string(i) + ") /Kids " + Shape::Ref(kids) + " >>");
    s.Add("[" + Shape::Refs(first, n) + "]");
    s.Widgets(n, parents);
    s.objects[3] = "<< /Fields [" + Shape::Refs(parents, n) + "] >>";
    s.OnePage(Shape::Ref(kids));
    cases.push_back({"kids shared by " + std::to_string(n), s.Write("shared-kids" + std::to_string(n) + ".pdf"), n < 10 ? 1 : -1});
  }
  for (int n : {2, 3000}) {
    // One page listed n times, with n widgets.
    Shape s;
    int first = s.Widgets(n);
    s.objects[1] = "<< /Type /Pages /Count " + std::to_string(n) + " /Kids [" + Shape::Refs(3, n, 0) + "] >>";
    s.objects[2] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Annots [" + Shape::Refs(first, n) + "] >>";
    s.objects[3] = "<< /Fields [" + Shape::Refs(first, n) + "] >>";
    cases.push_back({"a page listed " + std::to_string(n) + " times", s.Write("page-again" + std::to_string(n) + ".pdf"), n < 10 ? n : -1});
  }
  {
    // 2000 pages sharing one array of 2000 widgets.
    Shape s;
    const int n = 2000;
    int annots = s.Add("");
    int first = s.Widgets(n);
    s.objects[annots - 1] = "[" + Shape::Refs(first, n) + "]";
    int pages = static_cast<int>(s.objects.size()) + 1;
    for (int i = 0; i < n; ++i)
      s.Add("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Annots " + Shape::Ref(annots) + " >>");
    s.objects[1] = "<< /Type /Pages /Count " + std::to_string(n) + " /Kids [" + Shape::Refs(pages, n) + "] >>";
    s.objects[3] = "<< /Fields [" + Shape::Refs(first, n) + "] >>";
    cases.push_back({"annotations shared by 2000 pages", s.Write("shared-annots.pdf"), -1});
  }
  for (int depth : {300, 30000}) {
    // Pages nodes nested `depth` deep above one page.
    Shape s;
    s.OnePage("[]");
    int first = static_cast<int>(s.objects.size()) + 1;
    for (int i = 0; i < depth; ++i)
      s.Add("<< /Type /Pages /Count 1 /Kids [" + Shape::Ref(i + 1 < depth ? first + i + 1 : 3) + "] >>");
    s.objects[1] = "<< /Type /Pages /Count 1 /Kids [" + Shape::Ref(first) + "] >>";
    cases.push_back({"pages " + std::to_string(depth) + " deep", s.Write("deep-pages" + std::to_string(depth) + ".pdf"), -1});
  }
  {
    // A direct pages node inside the array of kids it names.
    Shape s;
    s.OnePage("[]");
    s.objects[1] = "<< /Type /Pages /Count 1 /Kids 5 0 R >>";
    s.Add("[3 0 R << /Type /Pages /Kids 5 0 R >>]");
    cases.push_back({"pages node inside its own kids", s.Write("pages-loop.pdf"), -1});
  }
  {
    // A listed field 100 levels down its /Parent chain.
    Shape s;
    int w = s.Widgets(1);
    s.objects[w - 1] = "<< /Type /Annot /Subtype /Widget /FT /Tx /T (x) /Rect [0 0 10 10] /Parent 6 0 R >>";
    for (int i = 0; i < 100; ++i) s.Add("<< /T (n) " + (i < 99 ? "/Parent " + Shape::Ref(7 + i) : "") + " >>");
    s.objects[3] = "<< /Fields [" + Shape::Ref(w) + "] >>";
    s.OnePage("[" + Shape::Ref(w) + "]");
    cases.push_back({"a field 100 parents deep", s.Write("deep-parents.pdf"), -1});
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fixtures::Loaded doc(c.path);
    if (c.fields < 0) {
      EXPECT_EQ(doc.id, 0);
      EXPECT_EQ(iSEDLoadFailure(), 2);
      continue;
    }
    ASSERT_NE(doc.id, 0);
    EXPECT_EQ(iSEDLoadFailure(), 0);
    ASSERT_EQ(iSEDFormFieldCount(), c.fields);
    for (int i = 1; i <= c.fields; ++i) {
      iSEDGetFormFieldTitle(i);
      iSEDGetFormFieldValue(i);
      iSEDGetFormFieldPage(i);
    }
    while (iSEDFormFieldCount() > 0) ASSERT_EQ(iSEDFlattenFormField(1), 1);
    EXPECT_EQ(iSEDSaveToFile(fixtures::Path("hostile-saved.pdf")), 1);
  }
}

// The numbers of a form's fields stay what they were after new fields are
// added and the file is saved and loaded again.
TEST(PdfProducers, FieldNumbersKeptAfterAddingSavingAndLoading) {
  struct Field {
    std::string title;
    int type;
    std::vector<std::string> kids;
  };
  auto read = [] {
    std::vector<Field> out;
    for (int i = 1; i <= iSEDFormFieldCount(); ++i) {
      Field f{iSEDGetFormFieldTitle(i), iSEDGetFormFieldType(i), {}};
      for (int k = 1; k <= iSEDGetFormFieldSubCount(i); ++k)
        f.kids.push_back(iSEDGetFormFieldSubName(i, k) + "@" +
                         std::to_string(iSEDGetFormFieldBound(iSEDGetFormFieldSubTempIndex(i, k), 0)));
      out.push_back(f);
    }
    return out;
  };
  std::vector<Field> before, after;
  auto saved = fixtures::Path("renumber.pdf");
  {
    fixtures::Loaded doc(fixtures::MakeForm("numbers.pdf"));
    ASSERT_NE(doc.id, 0);
    const int n = iSEDFormFieldCount();
    const char* titles[] = {"added text", "added check", "added radio"};
    for (int k = 0; k < 3; ++k) {
      int f = iSEDNewFormField(titles[k], k + 1 == 1 ? 1 : k + 2);
      ASSERT_EQ(f, n + k + 1);
      ASSERT_EQ(iSEDSetFormFieldPage(f, 2 - k % 2), 1);
      ASSERT_EQ(iSEDSetFormFieldBounds(f, 100 + 50 * k, 300, 40, 20), 1);
    }
    iSEDSetFormFieldValue(n + 2, "T");
    for (int f = 1; f <= iSEDFormFieldCount(); ++f) iSEDUpdateAppearanceStream(f);
    before = read();
    ASSERT_EQ(iSEDSaveToFile(saved), 1);
  }
  fixtures::Loaded doc(saved);
  ASSERT_NE(doc.id, 0);
  after = read();
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < before.size(); ++i) {
    SCOPED_TRACE(before[i].title);
    EXPECT_EQ(after[i].title, before[i].title);
    EXPECT_EQ(after[i].type, before[i].type);
    EXPECT_EQ(after[i].kids, before[i].kids);
  }
}

}  // namespace
