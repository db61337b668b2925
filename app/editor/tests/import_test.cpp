// Values from PDF and FDF files and field definitions from a field list,
// imported through the editor's commands and kept by Exit and Save.
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

#include <sys/stat.h>

#include <fstream>
#include <functional>

#include "editor_fixture.h"
#include "velmora/upgrade/openhook.h"

namespace {

using data::FileId;
using edtest::Opened;
using editor::FormControl;
using editor::FormEditor;
using ui::Prop;
using H = QPDFObjectHandle;

// A copy of a PDF with its fields changed, found by their names.
class PdfEdit {
 public:
  explicit PdfEdit(const std::string& source) { q_.processFile(source.c_str()); }
  H Field(const std::string& name) {
    for (H f : q_.getRoot().getKey("/AcroForm").getKey("/Fields").getArrayAsVector())
      if (f.getKey("/T").isString() && f.getKey("/T").getUTF8Value() == name) return f;
    ADD_FAILURE() << name;
    return H::newNull();
  }
  // The widget's on state `from` becomes `to` (its appearance kept).
  static void RenameState(H widget, const std::string& from, const std::string& to) {
    H n = widget.getKey("/AP").getKey("/N");
    n.replaceKey("/" + to, n.getKey("/" + from));
    n.removeKey("/" + from);
  }
  PdfEdit& Value(const std::string& name, H value) {
    Field(name).replaceKey("/V", value);
    return *this;
  }
  std::string Write(const std::string& path) {
    QPDFWriter w(q_, path.c_str());
    w.write();
    return path;
  }

 private:
  QPDF q_;
};

class Import : public edtest::EditorFixture {
 protected:
  void SetUp() override {
    EditorFixture::SetUp();
    // The form: the fixture with the check box "agree" on in state "Ja"
    // and the PDF name "notes" written "Notes.".
    PdfEdit form(pdf_);
    PdfEdit::RenameState(form.Field("agree"), "Yes", "Ja");
    form.Field("notes").replaceKey("/T", H::newString("Notes."));
    pdf_ = form.Write((dir_ / "ja.pdf").string());
  }

  std::string Path(const std::string& name) { return (dir_ / name).string(); }
  std::string WriteFile(const std::string& name, const std::string& bytes) {
    std::ofstream(Path(name), std::ios::binary) << bytes;
    return Path(name);
  }
  // The buttons of the radio group "colour" by button number: value and colour.
  std::string Radio(FormEditor* ed) {
    std::string out;
    for (short b = 1; b <= 2; ++b)
      for (long i = 1; i <= ed->Queue.Count(); ++i) {
        const FormControl& e = ed->Queue.At(i);
        if (rt::Clip(e.NAME.View()) != "colour" || e.RADIOBUTTONNUMBER != b) continue;
        const bool red = ed->Win().GetLong(e.CTLNO, Prop::Color) == ed->SelectedRadioFieldColor;
        out += (e.Value() == "x" && e.CHECKED && red) ? "x" : (e.Value().empty() && !e.CHECKED && !red) ? "-" : "?";
      }
    return out;
  }
  std::string Value(FormEditor* ed, const std::string& name) { return Entry(ed, name)->Value(); }
  // Saves into a new data set named `set` and closes the editor.
  void SaveAsDataSet(const Opened& o, const std::string& set) {
    editor::Calls().updateFilledForm = [set](FormEditor&) {
      data::ThisThread().FIL.FILLEDFORMNAME = set;
      return data::ThisThread().Access(FileId::FilledForm)->TryInsert() == cl::kBenign
                 ? static_cast<int>(cl::response::Completed)
                 : static_cast<int>(cl::response::Cancelled);
    };
    ui::Headless().AnswerMessage(ui::button::Yes);
    Accept(o, editor::kSave);
    rt::WaitForThreads();
  }
  long DataSet(const std::string& name) {
    for (const auto& s : All(FileId::FilledForm, D().FIL, 1))
      if (rt::Clip(s.FILLEDFORMNAME.View()) == name) return s.ID;
    return 0;
  }
  std::string LastMessage() {
    std::string text;
    for (const auto& a : ui::Headless().AskedDialogs())
      if (a.kind == ui::HeadlessBackend::Asked::Message) text = a.message.text;
    return text;
  }
};

// ---- values from a PDF

TEST_F(Import, PdfValuesByFieldNumberWithRadioGroupsAndCheckBoxStates) {
  const long form = ImportForm();
  // the values: a text, the check box on in its own state "Ja", the radio
  // group on its button "No", a choice
  const std::string on = PdfEdit(pdf_)
                             .Value("name", H::newString("Jane"))
                             .Value("agree", H::newName("/Ja"))
                             .Value("colour", H::newName("/No"))
                             .Value("pick", H::newString("Blue"))
                             .Write(Path("on.pdf"));
  const std::string off =
      PdfEdit(pdf_)
          .Value("name", H::newString(""))
          .Value("agree", H::newName("/Off"))
          .Value("colour", H::newName("/Off"))
          .Write(Path("off.pdf"));
  // a group value the form has no row for, from a document whose button is named so
  PdfEdit other(pdf_);
  PdfEdit::RenameState(other.Field("colour").getKey("/Kids").getArrayItem(2), "No", "Maybe");
  const std::string maybe =
      other.Value("colour", H::newName("/Maybe")).Value("name", H::newString("")).Write(Path("maybe.pdf"));

  Opened o = StartEditor("1", form);
  EXPECT_EQ(Radio(o.ed), "--");
  ui::Headless().AnswerFile({on});
  Accept(o, editor::kLoadDataFromPdf);
  EXPECT_EQ(Value(o.ed, "name"), "Jane");
  EXPECT_EQ(Value(o.ed, "agree"), "T");
  EXPECT_EQ(Value(o.ed, "pick"), "Blue");
  EXPECT_EQ(Radio(o.ed), "-x");
  EXPECT_EQ(o.win->Get(Entry(o.ed, "name")->CTLNO, Prop::ScreenText), "Jane");
  const auto asked = ui::Headless().AskedDialogs();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].file.title, "Select PDF File");

  ui::Headless().AnswerFile({maybe});  // through the menu item this time
  Accept(o, editor::kFileImportDataFromPdf);
  EXPECT_EQ(Radio(o.ed), "-x");  // no row names "Maybe": the group stays as it was
  ui::Headless().AnswerFile({off});
  Accept(o, editor::kLoadDataFromPdf);
  EXPECT_EQ(Radio(o.ed), "--");
  EXPECT_EQ(Value(o.ed, "agree"), "F");
  EXPECT_EQ(Value(o.ed, "name"), "Jane");  // an empty value changes nothing
  ui::Headless().AnswerFile({});  // cancelled
  Accept(o, editor::kLoadDataFromPdf);
  ui::Headless().AnswerFile({on});
  Accept(o, editor::kLoadDataFromPdf);

  SaveAsDataSet(o, "From PDF");
  const long set = DataSet("From PDF");
  ASSERT_NE(set, 0);
  o = StartEditor("2", form, set);
  EXPECT_EQ(Value(o.ed, "name"), "Jane");
  EXPECT_EQ(Value(o.ed, "agree"), "T");
  EXPECT_EQ(Radio(o.ed), "-x");
  Accept(o, editor::kCancel);
  rt::WaitForThreads();
}

TEST_F(Import, AnOpenedPdfShowsItsOwnValues) {
  pdf_ = PdfEdit(pdf_)
             .Value("agree", H::newName("/Ja"))
             .Value("colour", H::newName("/Yes"))
             .Write(Path("filled.pdf"));
  Opened o = StartEditor("3");
  ui::Headless().AnswerFile({pdf_});
  ui::Headless().AnswerMessage(ui::button::Yes);  // use the document's fields
  Accept(o, editor::kPdfOpen);
  EXPECT_EQ(Value(o.ed, "name"), "John");
  EXPECT_EQ(Value(o.ed, "agree"), "T");
  EXPECT_EQ(Value(o.ed, "pick"), "Green");
  EXPECT_EQ(Radio(o.ed), "x-");
  // kept in the data set the opening made
  editor::Calls().updateFilledForm = [](FormEditor&) { return static_cast<int>(cl::response::Completed); };
  ui::Headless().AnswerMessage(ui::button::Yes);
  Accept(o, editor::kSave);
  rt::WaitForThreads();
  const long set = All(FileId::FilledForm, D().FIL, 1).front().ID;
  o = StartEditor("2", All(FileId::Forms, D().FOR, 1).front().ID, set);
  EXPECT_EQ(Value(o.ed, "name"), "John");
  EXPECT_EQ(Radio(o.ed), "x-");
  Accept(o, editor::kCancel);
  rt::WaitForThreads();
}

// ---- values from an FDF file

TEST_F(Import, FdfValuesByNameInEveryShape) {
  const long form = ImportForm();
  const long set = AddDataSet(form, "Filled");
  const std::string head = "%FDF-1.2\n%\xE2\xE3\xCF\xD3\n1 0 obj\n";
  const std::string tail = "endobj\ntrailer\n<< /Root 1 0 R >>\n%%EOF\n";
  // one token per line, names in other cases, a UTF-16 value, a hex name,
  // a kid, a list, a value too long for a field, a radio button, "On"
  const std::string tokens = WriteFile(
      "tokens.fdf", head + "<<\n/FDF\n<<\n/Fields [\n<<\n/T (NAME)\n/V <FEFF004D00FC006C006C00650072>\n>>\n"
                           "<<\n/T <4E6F746573>\n/V (line \\(1\\))\n>>\n<<\n/T (parent)\n/Kids [\n<<\n/T (a)\n/V (kid)\n>>\n]\n>>\n"
                           "<<\n/T (pick)\n/V [\n(Red)\n(Blue)\n]\n>>\n<<\n/T (back)\n/V (" +
                           std::string(300, 'b') + ")\n>>\n<<\n/T (colour)\n/V /No\n>>\n<<\n/T (agree)\n/V /On\n>>\n"
                           "<<\n/T (nobody)\n/V (ignored)\n>>\n]\n>>\n>>\n" + tail);
  // everything on one line: the check box's own state, the radio group Off,
  // the PDF name with its trailing "." (which names nothing)
  const std::string line = WriteFile(
      "line.fdf", head + "<</FDF<</Fields[<</T(agree)/V/Ja>><</T(colour)/V/Off>><</T(Notes.)/V(dot)>>"
                         "<</T(Agree)/V/Ja#20bitte>>]>>>>\n" + tail);
  const std::string unknown = WriteFile(
      "unknown.fdf", head + "<< /FDF << /Fields [ << /T (colour) /V /Maybe >> << /T (agree) /V /Off >> ] >> >>\n" + tail);

  Opened o = StartEditor("2", form, set);
  ui::Headless().AnswerFile({tokens});
  Accept(o, editor::kFileImportDataFromFdf);
  const auto asked = ui::Headless().AskedDialogs();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].file.title, "Select FDF File");
  ASSERT_EQ(asked[0].file.masks.size(), 1u);
  EXPECT_EQ(asked[0].file.masks[0].pattern, "*.fdf");
  EXPECT_EQ(Value(o.ed, "name"), "M\xFCller");
  EXPECT_EQ(Value(o.ed, "Notes."), "line (1)");
  EXPECT_EQ(Value(o.ed, "parent.a"), "kid");
  EXPECT_EQ(Value(o.ed, "pick"), "Red");
  EXPECT_EQ(Value(o.ed, "back"), std::string(255, 'b'));
  EXPECT_EQ(Radio(o.ed), "-x");
  EXPECT_EQ(Value(o.ed, "agree"), "T");

  ui::Headless().AnswerFile({line});
  Accept(o, editor::kFileImportDataFromFdf);
  EXPECT_EQ(Radio(o.ed), "--");
  EXPECT_EQ(Value(o.ed, "Notes."), "line (1)");
  EXPECT_EQ(Value(o.ed, "agree"), "F");  // "Ja bitte", the last pair for it, is no on state
  ui::Headless().AnswerFile({tokens});
  Accept(o, editor::kFileImportDataFromFdf);
  ui::Headless().AnswerFile({unknown});
  Accept(o, editor::kFileImportDataFromFdf);
  EXPECT_EQ(Radio(o.ed), "-x");  // no row names "Maybe"
  EXPECT_EQ(Value(o.ed, "agree"), "F");
  ui::Headless().AnswerFile({line});
  Accept(o, editor::kFileImportDataFromFdf);
  ui::Headless().AnswerFile({tokens});
  Accept(o, editor::kFileImportDataFromFdf);
  Accept(o, editor::kSave);
  rt::WaitForThreads();

  o = StartEditor("2", form, set);
  EXPECT_EQ(Value(o.ed, "name"), "M\xFCller");
  EXPECT_EQ(Value(o.ed, "agree"), "T");
  EXPECT_EQ(Value(o.ed, "parent.a"), "kid");
  EXPECT_EQ(Radio(o.ed), "-x");
  Accept(o, editor::kCancel);
  rt::WaitForThreads();
}

TEST_F(Import, AnFdfFileOfAnySizeOrNoneAtAll) {
  const long form = ImportForm();
  std::string fields;
  for (int i = 0; i < 2000; ++i) fields += "<< /T (filler" + std::to_string(i) + ") /V (nothing here) >>\n";
  const std::string big = WriteFile(
      "big.fdf", "%FDF-1.2\n1 0 obj\n<< /FDF << /Fields [\n" + fields +
                     "<< /T (name) /V (at the end) >> ] >> >>\nendobj\ntrailer\n<< /Root 1 0 R >>\n%%EOF\n");
  ASSERT_GT(std::ifstream(big, std::ios::ate | std::ios::binary).tellg(), 32767);
  const std::string good = WriteFile("good.fdf", "%FDF-1.2\n1 0 obj\n<< /FDF << /Fields [ << /T (name) /V (Ann) >> ] >> >>\nendobj\ntrailer\n<< /Root 1 0 R >>\n%%EOF\n");
  std::ifstream in(good, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string damaged = WriteFile("damaged.fdf", bytes.substr(0, bytes.size() / 2));
  const std::string text = WriteFile("text.fdf", "name,Ann\n");

  Opened o = StartEditor("1", form);
  ui::Headless().AnswerFile({big});
  Accept(o, editor::kFileImportDataFromFdf);
  EXPECT_EQ(Value(o.ed, "name"), "at the end");
  const struct {
    std::string file, message;
  } bad[] = {{damaged, "The FDF file " + damaged + " is damaged; no values were imported."},
             {text, "The file " + text + " is not an FDF file; no values were imported."},
             {pdf_, "The file " + pdf_ + " is not an FDF file; no values were imported."}};
  for (const auto& b : bad) {
    ui::Headless().Reset();
    ui::Headless().AnswerFile({b.file});
    Accept(o, editor::kFileImportDataFromFdf);
    EXPECT_EQ(LastMessage(), b.message);
    EXPECT_EQ(Value(o.ed, "name"), "at the end");
    EXPECT_EQ(o.ed->FdfQueue.Count(), 2001);  // the last good file's pairs
  }
  Accept(o, editor::kCancel);
  rt::WaitForThreads();
}

// ---- field definitions from a field list

// The dialogs give names in the runtime's form; one outside ASCII opens
// what was chosen in every dialog of the editor.
TEST_F(Import, FileNamesOutsideAsciiOpenFromEveryDialog) {
  Opened o = StartEditor("3");
  DialogDriver driver;
  driver.file = [](const std::string& host) { ui::Headless().AnswerFile({rt::WindowsPath(host)}); };
  driver.yes = [] { ui::Headless().AnswerMessage(ui::button::Yes); };
  driver.press = [&](int control) { Accept(o, control); };
  CheckNamesOutsideAscii(o, driver);
}

TEST_F(Import, FieldListRowsBecomeTextFieldsPlacedLikeInsertedOnes) {
  const long form = ImportForm();
  // page 3 is 792 points high without page-box offsets; page 1 has a crop box
  const std::string list = WriteFile("fields.csv",
                                     "3,\"Total\",72,720,144,36\r\n"
                                     "1,\"Signed, by\",108,700,100,20\r\n"
                                     "9,\"Nowhere\",72,720,144,36\r\n"
                                     "1,\"Date\",300,100,72,18\r\n");
  ::chmod(list.c_str(), 0444);
  // the list is opened read-only through the open hook
  std::vector<uint32_t> modes;
  upg::SetRuntimeOpen([&](db::FileDecl& f, uint32_t mode) {
    if (f.Label() == "ImportFields") modes.push_back(mode);
    db::Open(f, mode);
  });
  Opened o = StartEditor("1", form);
  rt::Short lastTab = 0;
  for (long i = 1; i <= o.ed->Queue.Count(); ++i)
    if (o.ed->Queue.At(i).FORMPAGE == 1) lastTab = std::max(lastTab, o.ed->Queue.At(i).TABORDER);
  ASSERT_GT(lastTab, 0);
  const long before = o.ed->Queue.Count();
  ui::Headless().AnswerFile({list});
  Accept(o, editor::kFileImportFields);
  upg::SetRuntimeOpen(nullptr);
  ASSERT_EQ(modes.size(), 1u);
  EXPECT_EQ(modes[0] & 0x0F, db::kReadOnly);
  EXPECT_EQ(LastMessage(), "1 row of the field list name a page this form does not have; it was not imported.");
  ASSERT_EQ(o.ed->Queue.Count(), before + 3);

  const FormControl* total = Entry(o.ed, "Total");
  ASSERT_NE(total, nullptr);
  EXPECT_EQ(total->FORMPAGE, 3);
  EXPECT_EQ((editor::Rect{total->CTLX, total->CTLY, total->CTLW, total->CTLH}), (editor::Rect{96, 96, 192, 48}));
  EXPECT_EQ(total->TABORDER, 1);
  EXPECT_FALSE(o.win->IsShown(total->CTLNO));
  const FormControl* signedBy = Entry(o.ed, "Signed, by");
  ASSERT_NE(signedBy, nullptr);
  EXPECT_TRUE(o.win->IsShown(signedBy->CTLNO));
  EXPECT_EQ(signedBy->TABORDER, lastTab + 1);
  EXPECT_EQ(Entry(o.ed, "Date")->TABORDER, lastTab + 2);
  EXPECT_EQ(o.win->Get(signedBy->CTLNO, Prop::Tip), "Signed, by");
  // page 1: 684 points high, its box 36 in and 72 up
  EXPECT_EQ((editor::Rect{signedBy->CTLX, signedBy->CTLY, signedBy->CTLW, signedBy->CTLH}),
            (editor::Rect{96, 74, 133, 26}));
  const ui::Window::Rect screen = o.win->Position(signedBy->CTLNO);
  EXPECT_EQ(screen.x, o.ed->PageLeft + 96);
  EXPECT_EQ(screen.y, o.ed->PageTop + 74);
  for (const FormControl* e : {total, signedBy}) {
    EXPECT_EQ(e->CTLTYPE, editor::kText);
    EXPECT_EQ(e->PDFFIELDTYPE, editor::kPdfText);
    EXPECT_EQ(e->CREATEDATRUNTIME, 1);
    EXPECT_EQ(e->IMPORTEDFIELD, 1);
    EXPECT_EQ(e->ALIGN.View(), "0");
    EXPECT_EQ(e->FONTNAME.View(), "Arial");
    EXPECT_EQ(e->FONTSIZE, 10);
    EXPECT_EQ(e->PDFFIELDBACKGROUNDCOLOR, 0xFFFFFF);
  }
  EXPECT_DOUBLE_EQ(signedBy->PDFX, 108);
  EXPECT_DOUBLE_EQ(signedBy->PDFY, 700);
  EXPECT_DOUBLE_EQ(signedBy->PDFW, 100);
  EXPECT_DOUBLE_EQ(signedBy->PDFH, 20);
  // shown with page 3
  for (int i = 0; i < 2; ++i) {
    o.win->InputSpin(editor::kPageNo, +1);
    Settle();
  }
  EXPECT_TRUE(o.win->IsShown(Entry(o.ed, "Total")->CTLNO));

  Accept(o, editor::kSave);
  rt::WaitForThreads();
  int imported = 0;
  for (const auto& r : Controls()) {
    if (!r.IMPORTEDFIELD) continue;
    ++imported;
    EXPECT_EQ(r.FILEDWASCREATEDATRUNTIME, 1);
    if (rt::Clip(r.CONTROLNAME.View()) == "Total") {
      EXPECT_EQ(r.PAGENO, 3);
      EXPECT_EQ(r.CONTROLTABORDER, 1);
      EXPECT_EQ((editor::Rect{r.CONTROLX, r.CONTROLY, r.CONTROLWIDTH, r.CONTROLHEIGHT}),
                (editor::Rect{96, 96, 192, 48}));
      EXPECT_DOUBLE_EQ(r.PDFX, 72);
      EXPECT_DOUBLE_EQ(r.PDFY, 720);
      EXPECT_DOUBLE_EQ(r.PDFWIDTH, 144);
      EXPECT_DOUBLE_EQ(r.PDFHEIGHT, 36);
    }
  }
  EXPECT_EQ(imported, 3);
  o = StartEditor("1", form);
  EXPECT_EQ(o.ed->Queue.Count(), before + 3);
  EXPECT_EQ(Entry(o.ed, "Date")->TABORDER, lastTab + 2);
  EXPECT_EQ(Entry(o.ed, "Total")->IMPORTEDFIELD, 1);
  // an empty list adds nothing and says nothing
  ui::Headless().Reset();
  ui::Headless().AnswerFile({WriteFile("empty.csv", "")});
  Accept(o, editor::kFileImportFields);
  EXPECT_EQ(o.ed->Queue.Count(), before + 3);
  EXPECT_EQ(ui::Headless().AskedDialogs().size(), 1u);
  Accept(o, editor::kCancel);
  rt::WaitForThreads();
}

}  // namespace
