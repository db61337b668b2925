// The editor's fields and values written into PDF files, printed and
// e-mailed; the files are read back with qpdf and poppler's tools.
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <sys/resource.h>

#include <csignal>
#include <fstream>
#include <map>
#include <sstream>

#include "editor_fixture.h"
#include "velmora/app/fileutil.h"
#include "velmora/apppdf/output.h"
#include "velmora/editor/writepdf.h"
#include "velmora/mapi/recorder.h"
#include "velmora/pdf/print.h"
#include "velmora/runtime/paths.h"
#include "velmora/runtime/process.h"
#include "velmora/ui/keys.h"
#include "xdg_fixture.h"

namespace {

namespace fs = std::filesystem;
using data::FileId;
using edtest::Opened;
using editor::FormEditor;
using ui::Prop;

// What a PDF file holds as a form: its fields' values (a button's as its
// state name) and its widgets.
struct FormFacts {
  std::map<std::string, std::string> values;
  std::map<std::string, std::string> types;
  int fields = 0;
  int widgets = 0;
};

FormFacts Facts(const std::string& file) {
  FormFacts f;
  QPDF q;
  q.processFile(file.c_str());
  QPDFAcroFormDocumentHelper af(q);
  // qpdf takes each button of a radio group for a field of the group's name
  for (auto& field : af.getFormFields()) {
    const std::string name = field.getFullyQualifiedName();
    QPDFObjectHandle v = field.getInheritableFieldValue("/V");
    f.values[name] = v.isName() ? v.getName().substr(1) : v.isString() ? v.getUTF8Value() : "";
    f.types[name] = field.getFieldType();
  }
  f.fields = static_cast<int>(f.values.size());
  for (auto& page : QPDFPageDocumentHelper(q).getAllPages())
    for (auto& annot : page.getAnnotations("/Widget")) {
      (void)annot;
      ++f.widgets;
    }
  return f;
}

std::string Text(const std::string& file) { return forms::PdfText(file); }

// The share of dark pixels poppler draws in a rectangle of page 1 (points
// from the shown page's top left), at 72 dpi.
double Ink(const std::string& file, double left, double top, double width, double height) {
  rt::RunOptions o;
  o.captureOutput = true;
  rt::ProcessResult r = rt::RunProgram({"pdftoppm", "-r", "72", "-f", "1", "-l", "1", "-cropbox", "-gray", file}, o);
  EXPECT_TRUE(r.Succeeded()) << file;
  std::istringstream in(r.output);
  std::string magic;
  int w = 0, h = 0, max = 0;
  in >> magic >> w >> h >> max;
  in.get();
  std::string pixels((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  int dark = 0, all = 0;
  for (int y = static_cast<int>(top) + 2; y < static_cast<int>(top + height) - 2; ++y)
    for (int x = static_cast<int>(left) + 2; x < static_cast<int>(left + width) - 2; ++x) {
      if (x < 0 || y < 0 || x >= w || y >= h) continue;
      ++all;
      dark += static_cast<unsigned char>(pixels[static_cast<size_t>(y) * w + x]) < 128;
    }
  return all ? static_cast<double>(dark) / all : 0;
}

class Output : public xdgtest::PrivateDesktopOn<edtest::EditorFixture> {
 protected:
  void TearDown() override {
    mapi::SetProvider(nullptr);
    velmora::pdf::SetPrintBackend(nullptr);
    PrivateDesktopOn::TearDown();
  }

  // The form's design as a user leaves it: values in the PDF's text,
  // check box, radio group and choice, a check and a text field placed in
  // the editor (the check ticked).
  void FillIn(const Opened& o) {
    FormEditor* ed = o.ed;
    o.win->InputType(Entry(ed, "name")->CTLNO, "Ann Smith");
    o.win->InputType(Entry(ed, "notes")->CTLNO, "Line one");
    Accept(o, Entry(ed, "agree")->CTLNO);
    std::vector<int> radios;
    for (long i = 1; i <= ed->Queue.Count(); ++i)
      if (ed->Queue.At(i).RADIOBUTTONNUMBER > 0) radios.push_back(ed->Queue.At(i).CTLNO);
    ASSERT_EQ(radios.size(), 2u);
    o.win->InputKey(radios[1], ui::key::MouseLeft);
    Settle();
    o.win->InputSelectRow(Entry(ed, "pick")->CTLNO, 3);
    Settle();
    Insert(o, "Check", ed->PageLeft + 96, ed->PageTop + 96, ed->PageLeft + 128, ed->PageTop + 128);
    check_ = rt::Clip(ed->Queue.At(ed->Queue.Count()).NAME.View());
    Accept(o, ed->Queue.At(ed->Queue.Count()).CTLNO);
    Insert(o, "Text", ed->PageLeft + 96, ed->PageTop + 160, ed->PageLeft + 288, ed->PageTop + 192);
    text_ = rt::Clip(ed->Queue.At(ed->Queue.Count()).NAME.View());
    o.win->InputType(ed->Queue.At(ed->Queue.Count()).CTLNO, "Extra value");
    Settle();
  }
  void Insert(const Opened& o, const std::string& kind, int x1, int y1, int x2, int y2) {
    o.ed->ControlTypeText = kind;
    Accept(o, editor::kButton1);
    Mouse(o, ui::msg::LButtonDown, x1, y1);
    Mouse(o, ui::msg::MouseMove, x2, y2);
    Mouse(o, ui::msg::LButtonDown, x2, y2);
  }

  // Saves through the toolbar button; the answer to "open it?" is No.
  void Save(const Opened& o, int button, const std::string& name) {
    ui::Headless().Reset();
    ui::Headless().AnswerFile({name});
    ui::Headless().AnswerMessage(ui::button::No);
    Accept(o, button);
  }
  std::vector<ui::MessageRequest> Messages() {
    std::vector<ui::MessageRequest> out;
    for (const auto& a : ui::Headless().AskedDialogs())
      if (a.kind == ui::HeadlessBackend::Asked::Message) out.push_back(a.message);
    return out;
  }
  // Files of the working folders left under the temporary folder.
  std::vector<std::string> WorkFiles() {
    std::vector<std::string> out;
    for (auto& e : fs::recursive_directory_iterator(dir_))
      if (e.path().parent_path().filename().string().rfind("velmora-", 0) == 0)
        out.push_back(e.path().parent_path().filename().string() + "/" + e.path().filename().string());
    return out;
  }
  // Changes the stored form on disk before an editor opens it.
  void ChangeForm(long form, const std::function<void(data::Dictionary&)>& change) {
    cl::FileManager* forms = D().Access(FileId::Forms);
    forms->Open();
    D().FOR.ID = static_cast<rt::Long>(form);
    ASSERT_EQ(forms->TryFetch(forms->KeyNumber("FOR:ID_Key")), cl::kBenign);
    change(D());
    EXPECT_EQ(forms->TryUpdate(), cl::kBenign);
    forms->Close();
  }
  void CheckFilled(const FormFacts& f) {
    EXPECT_EQ(f.values.at("name"), "Ann Smith");
    EXPECT_EQ(f.values.at("notes"), "Line one");
    EXPECT_EQ(f.values.at("agree"), "Yes");
    EXPECT_EQ(f.values.at("colour"), "No");
    EXPECT_EQ(f.values.at("pick"), "Blue");
    EXPECT_EQ(f.types.at(check_), "/Btn");
    EXPECT_EQ(f.values.at(check_), "Yes");
    EXPECT_EQ(f.values.at(text_), "Extra value");
    EXPECT_EQ(f.values.at("secret"), "");  // a field not in the editor keeps what it had
  }

  std::string check_, text_;
};

TEST_F(Output, FillableAndUneditablePdfsShowEveryValue) {
  const long form = ImportForm();
  // a working file of an earlier run, not ours, lies in the temporary folder
  forms::MakePartialRadio((dir_ / "__wpdf.pdf").string());
  Opened o = StartEditor("1", form);
  FillIn(o);
  const editor::FormControl* placed = Entry(o.ed, check_);
  ASSERT_NE(placed, nullptr);
  ASSERT_EQ(placed->CHECKED, 1);
  // the placed check in points on the shown page (its box starts at 36, 72)
  const double checkLeft = placed->CTLX * 0.75, checkTop = placed->CTLY * 0.75;

  const std::string fillable = (dir_ / "filled").string();  // no dot: ".pdf" is added
  // the dialog gives the name in the runtime's form; the message shows the desktop's
  Save(o, editor::kSaveForm, rt::WindowsPath(fillable));
  auto messages = Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "File " + fillable + ".pdf was successfully generated!|Do you want to open it?");
  EXPECT_EQ(messages[0].caption, "Velmora");
  EXPECT_EQ(messages[0].icon, ui::icon::Question);
  EXPECT_EQ(messages[0].buttons, ui::button::Yes | ui::button::No);
  EXPECT_EQ(messages[0].defaultButton, ui::button::Yes);
  FormFacts f = Facts(fillable + ".pdf");
  CheckFilled(f);
  EXPECT_EQ(f.fields, 11);
  const std::string text = Text(fillable + ".pdf");
  for (const char* value : {"Ann Smith", "Line one", "Blue", "Extra value"})
    EXPECT_NE(text.find(value), std::string::npos) << value << " in\n" << text;
  EXPECT_LT(Ink(pdf_, 100 - 36, 756 - 315, 15, 15), 0.02);  // "agree" unticked in the form
  EXPECT_GT(Ink(fillable + ".pdf", 100 - 36, 756 - 315, 15, 15), 0.1);
  EXPECT_GT(Ink(fillable + ".pdf", checkLeft, checkTop, 24, 24), 0.05);  // the placed check
  EXPECT_TRUE(WorkFiles().empty());

  const std::string locked = (dir_ / "locked.pdf").string();
  Save(o, editor::kSaveFormLocked, locked);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text, "File " + locked + " was successfully generated!|Do you want to open it?");
  f = Facts(locked);
  EXPECT_EQ(f.fields, 0);
  EXPECT_EQ(f.widgets, 0);
  const std::string drawn = Text(locked);
  for (const char* value : {"Ann Smith", "Line one", "Blue", "Extra value", "Hello Page One"})
    EXPECT_NE(drawn.find(value), std::string::npos) << value << " in\n" << drawn;
  EXPECT_GT(Ink(locked, 100 - 36, 756 - 315, 15, 15), 0.1);
  EXPECT_GT(Ink(locked, checkLeft, checkTop, 24, 24), 0.05);
  // the editor's values are as they were
  EXPECT_EQ(Entry(o.ed, "name")->Value(), "Ann Smith");
  EXPECT_EQ(Entry(o.ed, check_)->PDFFIELDNUMBER, 0);
  Accept(o, editor::kCancel);
}

// The written document shows what the editor shows: a field left blank
// is blank whatever the stored PDF held (a radio group off), a
// single-line field has blanks for tabs and line breaks, a long value its
// first 127 characters, and every field can be filled.
TEST_F(Output, EveryValueIsWrittenAsTheEditorShowsIt) {
  const long form = ImportForm();
  const long set = AddDataSet(form, "New");
  Opened o = StartEditor("2", form, set);
  std::vector<int> radios;
  for (long i = 1; i <= o.ed->Queue.Count(); ++i)
    if (o.ed->Queue.At(i).RADIOBUTTONNUMBER > 0) radios.push_back(o.ed->Queue.At(i).CTLNO);
  ASSERT_EQ(radios.size(), 2u);
  // a value typed before single-line fields kept tabs and line breaks out
  Entry(o.ed, "back")->SetValue("ab\tc\r\nd" + std::string(200, 'x'));
  o.win->Display();
  o.win->InputType(Entry(o.ed, "notes")->CTLNO, "one\ntwo");
  o.win->InputKey(radios[1], ui::key::MouseLeft);
  Settle();
  const std::string first = (dir_ / "first.pdf").string();
  Save(o, editor::kSaveForm, first);
  FormFacts f = Facts(first);
  EXPECT_EQ(f.values.at("name"), "") << "the stored PDF's John";
  EXPECT_EQ(f.values.at("pick"), "") << "the stored PDF's Green";
  EXPECT_EQ(f.values.at("agree"), "Off");
  EXPECT_EQ(f.values.at("colour"), "No");
  EXPECT_EQ(f.values.at("notes"), "one\ntwo");
  EXPECT_EQ(f.values.at("back"), ("ab c d" + std::string(200, 'x')).substr(0, 127));
  {
    QPDF q;
    q.processFile(first.c_str());
    for (auto& field : QPDFAcroFormDocumentHelper(q).getFormFields()) {
      if (field.getFullyQualifiedName() == "secret") continue;
      EXPECT_EQ(field.getFlags() & 1, 0) << field.getFullyQualifiedName() << " is read-only";
    }
  }
  Accept(o, editor::kCancel);
  rt::WaitForThreads();

  // the stored PDF has the group's second button on; the editor shows none
  ChangeForm(form, [&](data::Dictionary& d) {
    db::FileDecl& forms = d.File(FileId::Forms);
    EXPECT_EQ(app::FileToBlob(forms, forms.MemoIndex("FOR:PDFDATA"), first), 0);
  });
  o = StartEditor("2", form, set);
  const std::string second = (dir_ / "second.pdf").string();
  Save(o, editor::kSaveForm, second);
  f = Facts(second);
  EXPECT_EQ(f.values.at("colour"), "Off");
  EXPECT_EQ(f.values.at("notes"), "");
  Accept(o, editor::kCancel);
}

TEST_F(Output, YesOpensTheWrittenFileWithTheDesktopsViewer) {
  const long form = ImportForm();
  Opened o = StartEditor("1", form);
  // without the desktop's opener the user is told
  const std::string path = getenv("PATH");
  fs::create_directories(dir_ / "no programs");
  setenv("PATH", (dir_ / "no programs").c_str(), 1);
  ui::Headless().AnswerFile({(dir_ / "nowhere.pdf").string()});
  ui::Headless().AnswerMessage(ui::button::Yes);
  Accept(o, editor::kSaveForm);
  setenv("PATH", path.c_str(), 1);
  ASSERT_EQ(Messages().size(), 2u);
  EXPECT_EQ(Messages()[1].text.rfind("File " + (dir_ / "nowhere.pdf").string() + " could not be opened.|", 0), 0u);
  ui::Headless().Reset();
  Register("viewer", {"application/pdf"});
  const std::string name = (dir_ / "open me.pdf").string();
  ui::Headless().AnswerFile({name});
  ui::Headless().AnswerMessage(ui::button::Yes);
  Accept(o, editor::kSaveForm);
  EXPECT_EQ(Recorded("viewer"), std::vector<std::string>{name});
  Accept(o, editor::kCancel);
}

TEST_F(Output, TheEditorsPageAndRecordBufferAreKept) {
  const long form = ImportForm();
  Opened o = StartEditor("1", form);
  // a field placed on page 1 makes the writing read page 1's record
  Insert(o, "Text", o.ed->PageLeft + 96, o.ed->PageTop + 96, o.ed->PageLeft + 192, o.ed->PageTop + 120);
  o.win->InputSpin(editor::kPageNo, +1);
  Settle();
  // the form record window runs on the editor's thread: it sees the buffer
  std::vector<std::pair<int, std::vector<uint8_t>>> seen;
  editor::Calls().updateForms = [&](FormEditor&, bool) {
    data::Dictionary& d = data::ThisThread();
    db::FileDecl& pages = d.File(FileId::FormPages);
    const int image = pages.MemoIndex("FOR1:PAGEIMAGE");
    seen.emplace_back(static_cast<int>(d.FOR1.PAGENO), db::BlobRead(pages, image, 0, db::BlobSize(pages, image)));
    return static_cast<int>(cl::response::Cancelled);
  };
  Accept(o, editor::kInfo);
  Save(o, editor::kSaveForm, (dir_ / "kept.pdf").string());
  Accept(o, editor::kInfo);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].first, 2);
  EXPECT_FALSE(seen[0].second.empty());
  EXPECT_EQ(seen[1], seen[0]);
  // a field placed now lands on the page shown
  Insert(o, "Text", o.ed->PageLeft + 96, o.ed->PageTop + 96, o.ed->PageLeft + 192, o.ed->PageTop + 120);
  EXPECT_EQ(o.ed->Queue.At(o.ed->Queue.Count()).FORMPAGE, 2);
  EXPECT_EQ(Facts((dir_ / "kept.pdf").string()).fields, 10);
  Accept(o, editor::kCancel);
}

// Each step that can fail says what failed and offers no file.
TEST_F(Output, AFailedStepIsReportedAndNoFileIsOffered) {
  struct Case {
    const char* what;
    std::function<void(long form)> before;  // before the editor opens
    std::function<void(const Opened&)> during;
    std::string name;
    const char* says;
  };
  rlimit limits{};
  getrlimit(RLIMIT_FSIZE, &limits);
  auto printer = std::make_shared<velmora::pdf::RecordingPrintBackend>();
  velmora::pdf::SetPrintBackend(printer);
  mapi::Recorder mail;
  mapi::SetProvider(&mail);
  const Case cases[] = {
      {"no stored PDF",
       [&](long form) {
         ChangeForm(form, [](data::Dictionary& d) {
           db::BlobSetSize(d.File(FileId::Forms), d.File(FileId::Forms).MemoIndex("FOR:PDFDATA"), 0);
         });
       },
       nullptr, "none.pdf", "has no PDF document stored"},
      {"not a PDF",
       [&](long form) {
         ChangeForm(form, [](data::Dictionary& d) {
           db::FileDecl& f = d.File(FileId::Forms);
           const int blob = f.MemoIndex("FOR:PDFDATA");
           db::BlobSetSize(f, blob, 0);
           const std::string junk = "this is no PDF document";
           db::BlobWrite(f, blob, 0, std::vector<uint8_t>(junk.begin(), junk.end()));
         });
       },
       nullptr, "junk.pdf", "could not be loaded"},
      {"working copy cannot be written",
       nullptr,
       [&](const Opened&) {
         // files may grow to 1000 bytes only
         signal(SIGXFSZ, SIG_IGN);
         rlimit small = limits;
         small.rlim_cur = 1000;
         setrlimit(RLIMIT_FSIZE, &small);
       },
       "blob.pdf", "could not be written to"},
      {"radio value without a button",
       [&](long form) {
         // the group's export values are gone: the selection is written as "x"
         cl::FileManager* values = D().Access(FileId::FieldValues);
         values->Open();
         db::FileDecl& f = D().File(FileId::FieldValues);
         db::Set(f, 1);
         for (db::Next(f); rt::ErrorCode() == 0; db::Next(f))
           if (D().FIE.FORMID == form && D().FIE.CONTROLID == 4) db::Delete(f);
         values->Close();
       },
       [&](const Opened& o) {
         for (long i = 1; i <= o.ed->Queue.Count(); ++i)
           if (o.ed->Queue.At(i).RADIOBUTTONNUMBER == 1) o.win->InputKey(o.ed->Queue.At(i).CTLNO, ui::key::MouseLeft);
         Settle();
       },
       "radio.pdf", "The field colour could not be written into the PDF document: its value \"x\" failed."},
      {"saved into a folder that does not exist", nullptr, nullptr, "missing/saved.pdf",
       "could not be saved as"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const long form = ImportForm();
    if (c.before) c.before(form);
    Opened o = StartEditor("1", form);
    if (c.during) c.during(o);
    const std::string name = (dir_ / c.name).string();
    for (int button : {editor::kSaveForm, editor::kSaveFormLocked}) {
      Save(o, button, name);
      const auto messages = Messages();
      ASSERT_EQ(messages.size(), 1u);
      EXPECT_EQ(messages[0].text.rfind("File " + name + " was not generated.|", 0), 0u) << messages[0].text;
      EXPECT_NE(messages[0].text.find(c.says), std::string::npos) << messages[0].text;
      EXPECT_EQ(messages[0].icon, ui::icon::Exclamation);
      EXPECT_EQ(messages[0].buttons, ui::button::Ok);
      EXPECT_FALSE(fs::exists(name));
    }
    // printing and e-mailing the form fail the same way (but for the
    // chosen name, which they do not use), and nothing is printed or sent
    const bool byName = c.name.find('/') != std::string::npos;
    ui::Headless().Reset();
    mail.Clear();
    const size_t jobs = printer->Jobs().size();
    ui::Headless().AnswerPrinter(ui::PrinterChoice{"Office", -1, -1, 1});
    Accept(o, editor::kPrint);
    Accept(o, editor::kSendEmailAs);
    setrlimit(RLIMIT_FSIZE, &limits);
    const auto messages = Messages();
    if (byName) {
      EXPECT_TRUE(messages.empty());
    } else {
      ASSERT_EQ(messages.size(), 2u);
      EXPECT_EQ(messages[0].text.rfind("The form was not printed.|", 0), 0u) << messages[0].text;
      EXPECT_EQ(messages[1].text.rfind("The form was not attached to an e-mail.|", 0), 0u) << messages[1].text;
      for (const auto& m : messages) EXPECT_NE(m.text.find(c.says), std::string::npos) << m.text;
      EXPECT_EQ(printer->Jobs().size(), jobs);
      EXPECT_TRUE(mail.Calls().empty());
    }
    Accept(o, editor::kCancel);
    rt::WaitForThreads();
    if (!byName) {
      EXPECT_TRUE(WorkFiles().empty());
    }
    for (auto& e : fs::directory_iterator(dir_))
      if (e.path().filename().string().rfind("velmora-", 0) == 0) fs::remove_all(e.path());
  }
}

// A field placed in the editor and changed through its properties dialog
// reaches the fillable PDF with the dialog's colours, border and alignment.
TEST_F(Output, APlacedFieldKeepsItsPropertiesInThePdf) {
  const long form = ImportForm();
  Opened o = StartEditor("1", form);
  FormEditor* ed = o.ed;
  Insert(o, "Text", ed->PageLeft + 96, ed->PageTop + 160, ed->PageLeft + 288, ed->PageTop + 192);
  const editor::FormControl& placed = ed->Queue.At(ed->Queue.Count());
  const std::string name = rt::Clip(placed.NAME.View());
  const int control = placed.CTLNO;
  o.win->InputType(control, "Boxed value");
  Settle();

  o.win->InputKey(control, ui::key::MouseLeft2);
  auto dialog = ui::WaitForWindow("Form Control Properties");
  ASSERT_NE(dialog, nullptr);
  Settle();
  auto n = [&](const char* use) { return dialog->Number(use); };
  ASSERT_TRUE(dialog->InputTab(n("?SHEET1"), 2));
  ASSERT_TRUE(dialog->InputType(n("?TEMPWIDTH"), "2"));
  ASSERT_TRUE(dialog->InputAccept(n("?TEMPWIDTH")));
  Settle();
  ui::Headless().AnswerColor(0x0000FF);  // background: red in the PDF
  ASSERT_TRUE(dialog->InputAccept(n("?BUTTON3")));
  Settle();
  ui::Headless().AnswerColor(0x00FF00);  // text: green
  ASSERT_TRUE(dialog->InputAccept(n("?BUTTON3:2")));
  Settle();
  ui::Headless().AnswerColor(0xFF0000);  // border: blue
  ASSERT_TRUE(dialog->InputAccept(n("?BUTTON3:3")));
  Settle();
  ASSERT_TRUE(dialog->InputAccept(n("?FORMCONTROLS:CTLG:HASBORDER")));
  ASSERT_TRUE(dialog->InputSelectRow(n("?BORDERSTYLE"), 2));  // Dashed
  ASSERT_TRUE(dialog->InputTab(n("?SHEET1"), 1));
  const int right = dialog->Children(n("?FORMCONTROLS:CTLG:ALIGN")).at(0).number;
  ASSERT_TRUE(dialog->InputAccept(right));
  Settle();
  ASSERT_TRUE(dialog->InputAccept(n("?BUTTON7")));
  ASSERT_TRUE(ui::WaitUntil([&] { return !dialog->IsOpen(); }));
  Settle();

  const std::string file = (dir_ / "placed.pdf").string();
  Save(o, editor::kSaveForm, file);
  ASSERT_EQ(Messages().size(), 1u);
  QPDF q;
  q.processFile(file.c_str());
  QPDFObjectHandle field;
  for (auto& f : QPDFAcroFormDocumentHelper(q).getFormFields())
    if (f.getFullyQualifiedName() == name) field = f.getObjectHandle();
  ASSERT_FALSE(field.isNull()) << name;
  EXPECT_EQ(field.getKey("/V").getUTF8Value(), "Boxed value");
  EXPECT_EQ(field.getKey("/Q").getIntValue(), 2);
  QPDFObjectHandle mk = field.getKey("/MK");
  ASSERT_TRUE(mk.isDictionary());
  EXPECT_EQ(mk.getKey("/BG").unparse(), "[ 1 0 0 ]");
  EXPECT_EQ(mk.getKey("/BC").unparse(), "[ 0 0 1 ]");
  QPDFObjectHandle bs = field.getKey("/BS");
  ASSERT_TRUE(bs.isDictionary());
  EXPECT_EQ(bs.getKey("/W").getNumericValue(), 2);
  EXPECT_EQ(bs.getKey("/S").getName(), "/D");
  EXPECT_NE(field.getKey("/DA").getUTF8Value().find("0 1 0 rg"), std::string::npos) << field.getKey("/DA").unparse();
  Accept(o, editor::kCancel);
}

// A field is written where the editor shows it, in its font and size: a
// field of the PDF moved or resized, a radio button moved, a placed field
// in the face and size it was given.
TEST_F(Output, FieldsAreWrittenWithThePlaceFontAndSizeTheEditorShows) {
  const long form = ImportForm();
  Opened o = StartEditor("1", form);
  FormEditor* ed = o.ed;
  auto entry = [&](long i) -> editor::FormControl& { return const_cast<editor::FormControl&>(ed->Queue.At(i)); };
  long name = 0, button = 0;
  for (long i = 1; i <= ed->Queue.Count(); ++i) {
    if (rt::Clip(entry(i).NAME.View()) == "name") name = i;
    if (entry(i).RADIOBUTTONNUMBER == 2) button = i;
  }
  ASSERT_TRUE(name && button);
  entry(name).CTLX += 48;  // half an inch to the right, 36 points
  entry(name).CTLW += 96;
  entry(name).CTLH = 24;  // 18 points
  entry(button).CTLY += 96;  // an inch down
  ed->FaceName = "Times New Roman";
  ed->FontSize = "14";
  ed->Bold = 1;
  Insert(o, "Text", ed->PageLeft + 96, ed->PageTop + 160, ed->PageLeft + 288, ed->PageTop + 192);
  const std::string placed = rt::Clip(ed->Queue.At(ed->Queue.Count()).NAME.View());
  const std::string file = (dir_ / "moved.pdf").string();
  Save(o, editor::kSaveForm, file);
  ASSERT_EQ(Messages().size(), 1u) << Messages()[0].text;

  QPDF q;
  q.processFile(file.c_str());
  std::map<std::string, std::vector<std::string>> rects;
  std::string da;
  for (auto& f : QPDFAcroFormDocumentHelper(q).getFormFields()) {
    if (f.getFullyQualifiedName() == placed) da = f.getDefaultAppearance();
    for (auto& w : QPDFAcroFormDocumentHelper(q).getAnnotationsForField(f)) {
      QPDFObjectHandle::Rectangle r = w.getRect();
      char text[80];
      std::snprintf(text, sizeof text, "%.0f %.0f %.0f %.0f", r.llx, r.lly, r.urx, r.ury);
      rects[f.getFullyQualifiedName()].push_back(text);
    }
  }
  EXPECT_EQ(rects["name"], std::vector<std::string>{"144 602 360 620"});
  // the colour group's buttons: "Yes" where it was, "No" an inch lower
  EXPECT_EQ(rects["colour"], (std::vector<std::string>{"300 300 315 315", "330 300 345 315", "360 228 375 243"}));
  EXPECT_EQ(da, "/TimesBold 14 Tf 0 0 0 rg");
  Accept(o, editor::kCancel);
}

TEST_F(Output, PrintsTheFlattenedFormThroughThePrintBackend) {
  auto printer = std::make_shared<velmora::pdf::RecordingPrintBackend>();
  velmora::pdf::SetPrintBackend(printer);
  const long form = ImportForm();
  const long set = AddDataSet(form, "Smith household");
  Opened o = StartEditor("2", form, set);
  o.win->InputType(Entry(o.ed, "name")->CTLNO, "Ann Smith");
  Settle();
  ui::Headless().AnswerPrinter(ui::PrinterChoice{"Office", -1, -1, 1});
  Accept(o, editor::kPrint);
  ui::Headless().AnswerPrinter(ui::PrinterChoice{"Office", 2, 2, 1});
  Accept(o, editor::kFilePrint);
  ui::Headless().AnswerPrinter(std::nullopt);  // cancelled: nothing
  Accept(o, editor::kPrint);
  const auto jobs = printer->Jobs();
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_EQ(jobs[0].printer, "Office");
  EXPECT_EQ(jobs[0].title, "Smith household");
  EXPECT_EQ(jobs[0].firstPage, 1);
  EXPECT_EQ(jobs[0].lastPage, 3);
  EXPECT_EQ(jobs[0].pageImages, 3);
  EXPECT_EQ(jobs[0].nonBlankImages, 3);
  EXPECT_EQ(jobs[1].firstPage, 2);
  EXPECT_EQ(jobs[1].lastPage, 2);
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(o.win->Get(0, Prop::StatusText, 1), "The form was sent to the printer Office.");
  // what was printed is kept as the print file: the values drawn, no fields
  std::vector<std::string> printFiles;
  for (const std::string& f : WorkFiles())
    if (f.size() > 16 && f.substr(f.size() - 16) == "_tempprintt_.pdf") printFiles.push_back(f);
  ASSERT_EQ(printFiles.size(), 2u);
  const std::string printed = (dir_ / printFiles[0]).string();
  EXPECT_EQ(Facts(printed).fields, 0);
  EXPECT_NE(Text(printed).find("Ann Smith"), std::string::npos);

  // a printer that fails says so
  class Failing : public velmora::pdf::PrintBackend {
   public:
    bool Print(const velmora::pdf::PrintJob&) override { return false; }
  };
  velmora::pdf::SetPrintBackend(std::make_shared<Failing>());
  ui::Headless().Reset();
  ui::Headless().AnswerPrinter(ui::PrinterChoice{"Office", -1, -1, 1});
  Accept(o, editor::kPrint);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text, "The form was not printed.|The form could not be printed on Office.");
  Accept(o, editor::kCancel);
}

TEST_F(Output, PrintingToAFileWritesThePrintedFormWhereTheUserChose) {
  auto printer = std::make_shared<velmora::pdf::RecordingPrintBackend>();
  velmora::pdf::SetPrintBackend(printer);
  const long form = ImportForm();
  const long set = AddDataSet(form, "Smith household");
  Opened o = StartEditor("2", form, set);
  o.win->InputType(Entry(o.ed, "name")->CTLNO, "Ann Smith");
  Settle();
  // no printer at all: the dialog says so and the user names a file
  ui::Headless().SetPrinters({});
  ui::Headless().AnswerMessage(ui::button::Yes);
  const fs::path chosen = dir_ / "out" / "printed";
  fs::create_directories(chosen.parent_path());
  ui::Headless().AnswerFile({rt::WindowsPath(chosen.string())});
  Accept(o, editor::kPrint);
  const std::string written = chosen.string() + ".pdf";
  ASSERT_TRUE(fs::exists(written));
  EXPECT_EQ(Facts(written).fields, 0);  // printed: the values drawn into the pages
  EXPECT_NE(Text(written).find("Ann Smith"), std::string::npos);
  EXPECT_TRUE(printer->Jobs().empty());
  ASSERT_EQ(Messages().size(), 1u);  // the note that there is no printer, nothing after it
  EXPECT_EQ(o.win->Get(0, Prop::StatusText, 1), "The form was printed to the file " + written + ".");
  Accept(o, editor::kCancel);
}

TEST_F(Output, EmailsTheFormAsAFillableOrUneditableAttachment) {
  mapi::Recorder mail;
  mapi::SetProvider(&mail);
  // the original file's name, whatever its folder, names the attachment
  fs::create_directories(dir_ / "some folder");
  pdf_ = forms::MakeForm((dir_ / "some folder" / "tax return.pdf").string());
  const long form = ImportForm();
  Opened o = StartEditor("1", form);
  FillIn(o);
  ui::Headless().Reset();
  Accept(o, editor::kSendEmailAs);
  Accept(o, editor::kSendEmailAsUneditablePdf);
  const auto calls = mail.Calls();
  std::vector<mapi::Recorder::Call> sends;
  for (const auto& c : calls)
    if (c.kind == mapi::Recorder::Kind::SendMail) sends.push_back(c);
  ASSERT_EQ(sends.size(), 2u);
  std::vector<std::string> attached;
  for (const auto& s : sends) {
    EXPECT_TRUE(s.flags & mapi::MAPI_DIALOG);
    EXPECT_FALSE(s.messageFlags & mapi::MAPI_RECEIPT_REQUESTED);
    EXPECT_EQ(s.recipCount, 0u);
    ASSERT_EQ(s.files.size(), 1u);
    EXPECT_EQ(s.files[0].fileName, "tax return.pdf");
    attached.push_back(rt::HostPath(*s.files[0].pathName));
    EXPECT_EQ(fs::path(attached.back()).filename(), "tax return.pdf");
    EXPECT_EQ(attached.back().rfind(dir_.string() + "/velmora-", 0), 0u) << attached.back();
  }
  EXPECT_NE(fs::path(attached[0]).parent_path(), fs::path(attached[1]).parent_path());
  CheckFilled(Facts(attached[0]));
  const FormFacts locked = Facts(attached[1]);
  EXPECT_EQ(locked.fields, 0);
  EXPECT_EQ(locked.widgets, 0);
  const std::string drawn = Text(attached[1]);
  for (const char* value : {"Ann Smith", "Line one", "Blue", "Extra value"})
    EXPECT_NE(drawn.find(value), std::string::npos) << value;
  // only the attachments are left behind
  EXPECT_EQ(WorkFiles().size(), 2u);
  EXPECT_TRUE(Messages().empty());

  // the mail system's failure is told; the user's abort is not
  mail.SetResult(mapi::Recorder::Kind::SendMail, mapi::MAPI_USER_ABORT);
  Accept(o, editor::kSendEmailAs);
  EXPECT_TRUE(Messages().empty());
  mail.SetResult(mapi::Recorder::Kind::SendMail, mapi::MAPI_E_FAILURE);
  Accept(o, editor::kSendEmailAs);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text.rfind("The e-mail was not handed to the mail program.|", 0), 0u);
  Accept(o, editor::kCancel);
  rt::WaitForThreads();

  // an original file named as the working copy still gives its attachment
  ChangeForm(form, [&](data::Dictionary& d) { d.FOR.ORIGINALPDFFILE = (dir_ / "__wpdf.pdf").string(); });
  mail.Clear();
  mail.SetResult(mapi::Recorder::Kind::SendMail, mapi::SUCCESS_SUCCESS);
  o = StartEditor("1", form);
  Accept(o, editor::kSendEmailAs);
  ASSERT_EQ(mail.Calls().size(), 1u);
  ASSERT_EQ(mail.Calls()[0].files.size(), 1u);
  const std::string same = rt::HostPath(*mail.Calls()[0].files[0].pathName);
  EXPECT_EQ(fs::path(same).filename(), "__wpdf.pdf");
  EXPECT_EQ(Facts(same).fields, 9);
  Accept(o, editor::kCancel);
}

// The real hand-over: xdg-email gives the desktop's mail program (a stand-in
// registered for mailto:) the attachment.
TEST_F(Output, EmailsThroughTheDesktopsComposer) {
  Register("mailer", {"x-scheme-handler/mailto"});
  const long form = ImportForm();
  Opened o = StartEditor("1", form);
  o.win->InputType(Entry(o.ed, "name")->CTLNO, "Ann Smith");
  Settle();
  Accept(o, editor::kSendEmailAsUneditablePdf);
  const std::vector<std::string> args = Recorded("mailer");
  ASSERT_EQ(args.size(), 1u);
  std::string uri;
  for (size_t i = 0; i < args[0].size(); ++i) {
    if (args[0][i] == '%' && i + 2 < args[0].size()) {
      uri += static_cast<char>(std::stoi(args[0].substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      uri += args[0][i];
    }
  }
  EXPECT_EQ(uri.rfind("mailto:", 0), 0u) << uri;
  const size_t at = uri.find("attach=");
  ASSERT_NE(at, std::string::npos) << uri;
  const std::string attached = uri.substr(at + 7, uri.find('&', at) - at - 7);
  EXPECT_EQ(fs::path(attached).filename(), "form.pdf");
  EXPECT_EQ(Facts(attached).fields, 0);
  EXPECT_NE(Text(attached).find("Ann Smith"), std::string::npos);
  EXPECT_TRUE(Messages().empty());
  Accept(o, editor::kCancel);
}

TEST(WritePdf, ColoursAreFractionsOfEachByte) {
  rt::Real r = 0, g = 0, b = 0;
  apppdf::ColorToRgbFractions(0x336699, r, g, b);
  EXPECT_DOUBLE_EQ(r, 0x99 / 255.0);
  EXPECT_DOUBLE_EQ(g, 0x66 / 255.0);
  EXPECT_DOUBLE_EQ(b, 0x33 / 255.0);
  apppdf::ColorToRgbFractions(0xFFFFFF, r, g, b);
  EXPECT_DOUBLE_EQ(r + g + b, 3.0);
  EXPECT_EQ(apppdf::AttachmentName("C:\\forms\\tax return.pdf", "TAX"), "tax return.pdf");
  EXPECT_EQ(apppdf::AttachmentName("/home/ann/2024.return.pdf", "TAX"), "2024.return.pdf");
  EXPECT_EQ(apppdf::AttachmentName("", "TAX"), "TAX.pdf");
}

}  // namespace
