#include <gtest/gtest.h>

#include <thread>

#include "velmora/runtime/threads.h"
#include "velmora/ui/dialogs.h"
#include "velmora/ui/headless.h"

namespace ui {
namespace {

class UiDialogs : public ::testing::Test {
 protected:
  void SetUp() override { Headless().Reset(); }
  void TearDown() override { Headless().Reset(); }
};

TEST_F(UiDialogs, MessageBoxReturnsScriptedButtonElseDefault) {
  Headless().AnswerMessage(button::Yes);
  EXPECT_EQ(Message("Do you want to exit?", "Velmora", icon::Question, button::Yes | button::No, button::No),
            button::Yes);
  // no answer left: the default button, or the first one when none is given
  EXPECT_EQ(Message("Again?", "Velmora", icon::Question, button::Yes | button::No, button::No), button::No);
  EXPECT_EQ(Message("Sure?", "CONFIRM", icon::Question, button::Yes | button::No), button::Yes);
  // a default that is not among the buttons does not count
  EXPECT_EQ(Message("Note", "Note..", icon::Information, button::Ok, button::Cancel), button::Ok);

  auto asked = Headless().AskedDialogs();
  ASSERT_EQ(asked.size(), 4u);
  EXPECT_EQ(asked[0].kind, HeadlessBackend::Asked::Message);
  EXPECT_EQ(asked[0].message.caption, "Velmora");
  EXPECT_EQ(asked[0].message.icon, icon::Question);
  EXPECT_EQ(asked[1].message.defaultButton, button::No);
}

TEST(UiDialogText, BarBreaksMessageLines) {
  EXPECT_EQ(MessageLines("first|second||fourth"), (std::vector<std::string>{"first", "second", "", "fourth"}));
  EXPECT_EQ(MessageLines("one line"), (std::vector<std::string>{"one line"}));
}

TEST(UiDialogText, FileMasksFromRuntimeText) {
  auto masks = ParseFileMasks("Adobe PDF | *.pdf");
  ASSERT_EQ(masks.size(), 1u);
  EXPECT_EQ(masks[0].description, "Adobe PDF");
  EXPECT_EQ(masks[0].pattern, "*.pdf");
  masks = ParseFileMasks("PDF Files|*.pdf|All Files|*.*");
  ASSERT_EQ(masks.size(), 2u);
  EXPECT_EQ(masks[1].pattern, "*.*");
}

TEST(UiDialogText, SeveralNamesInWindowsFormGiveTheirFolderThenEachName) {
  struct Case {
    std::vector<std::string> names;
    std::string text;
  } cases[] = {
      {{"\\tmp\\forms\\a.pdf", "\\tmp\\forms\\b.pdf"}, "\\tmp\\forms|a.pdf|b.pdf"},
      {{"\\a.pdf", "\\b.pdf"}, "\\|a.pdf|b.pdf"},
      {{"C:\\a.pdf", "C:\\b.pdf"}, "C:\\|a.pdf|b.pdf"},
      {{"\\tmp\\one.pdf"}, "\\tmp\\one.pdf"},
  };
  for (const Case& c : cases) EXPECT_EQ(FileDialogText(c.names), c.text) << c.text;
}

TEST_F(UiDialogs, FileDialogGivesEveryNameOfAMultipleSelection) {
  Headless().AnswerFile({"/home/u/a.pdf", "/home/u/b.pdf", "/home/u/c.pdf"});
  FileRequest many{"Attachments", {{"All Files", "*.*"}}, "", false, true, false};
  auto names = FileDialog(many);
  ASSERT_EQ(names.size(), 3u);
  EXPECT_EQ(FileDialogText(names), "/home/u|a.pdf|b.pdf|c.pdf");

  // a single-selection dialog gives one name; a cancelled one none
  Headless().AnswerFile({"/home/u/a.pdf", "/home/u/b.pdf"});
  FileRequest one{"Select PDF File", {{"PDF Files", "*.pdf"}}, "", false, false, true};
  names = FileDialog(one);
  EXPECT_EQ(FileDialogText(names), "/home/u/a.pdf");
  EXPECT_TRUE(FileDialog(one).empty());
  EXPECT_EQ(FileDialogText({}), "");
  auto asked = Headless().AskedDialogs();
  ASSERT_EQ(asked.size(), 3u);
  EXPECT_EQ(asked[1].file.title, "Select PDF File");
  EXPECT_EQ(asked[1].file.masks[0].pattern, "*.pdf");
}

TEST_F(UiDialogs, ColourFontAndPrinterAnswersOrCancel) {
  Headless().AnswerColor(0x00FFFF);
  Headless().AnswerFont(Font{"Arial", 10, style::Bold, 0});
  Headless().AnswerPrinter(PrinterChoice{"Office", 2, 3, 1});
  EXPECT_EQ(ColorDialog("Choose Field Color", 0), 0x00FFFF);
  EXPECT_EQ(FontDialog("Font")->name, "Arial");
  auto printer = PrinterDialog({"Print", false});
  ASSERT_TRUE(printer);
  EXPECT_EQ(printer->firstPage, 2);
  EXPECT_EQ(printer->lastPage, 3);
  EXPECT_FALSE(ColorDialog("Choose Field Color", 0));
  EXPECT_FALSE(FontDialog("Font"));
  EXPECT_FALSE(PrinterDialog({"Print", false}));
  EXPECT_EQ(Headless().AskedDialogs()[0].title, "Choose Field Color");
}

TEST_F(UiDialogs, WithoutAPrinterTheDialogSaysSoAndOffersAPdfFile) {
  Headless().SetPrinters({});
  Headless().AnswerMessage(button::Yes);
  Headless().AnswerFile({"\\tmp\\out\\form"});
  auto choice = PrinterDialog({"Print"});
  ASSERT_TRUE(choice);
  EXPECT_EQ(choice->file, "\\tmp\\out\\form.pdf");  // the PDF extension added
  EXPECT_EQ(choice->printer, "");
  Headless().AnswerMessage(button::No);  // no file either: nothing to print
  EXPECT_FALSE(PrinterDialog({"Print"}));
  EXPECT_FALSE(PrinterDialog({"", true}));  // the set-up only says so
  auto asked = Headless().AskedDialogs();
  ASSERT_EQ(asked.size(), 4u);
  EXPECT_EQ(asked[0].kind, HeadlessBackend::Asked::Message);
  EXPECT_EQ(asked[0].message.text, "No printer is set up on this computer.|Do you want to print to a PDF file instead?");
  EXPECT_EQ(asked[1].kind, HeadlessBackend::Asked::File);
  EXPECT_TRUE(asked[1].file.save);
  EXPECT_EQ(asked[1].file.masks[0].pattern, "*.pdf");
  EXPECT_EQ(asked[3].message.caption, "Print Setup");
  EXPECT_EQ(asked[3].message.buttons, button::Ok);
  for (const auto& a : asked) EXPECT_NE(a.kind, HeadlessBackend::Asked::Printer);
}

TEST_F(UiDialogs, PrintSetupChoosesThePrinterLaterDialogsOffer) {
  Headless().SetPrinters({"Office", "Hall"});
  Headless().AnswerPrinter(PrinterChoice{"Hall"});
  ASSERT_TRUE(PrinterDialog({"", true}));
  Headless().AnswerPrinter(PrinterChoice{"Hall"});
  ASSERT_TRUE(PrinterDialog({"Print"}));
  auto asked = Headless().AskedDialogs();
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0].title, "Print Setup");
  EXPECT_TRUE(asked[0].printer.setupOnly);
  EXPECT_EQ(asked[1].printer.printer, "Hall");
  EXPECT_FALSE(asked[1].printer.setupOnly);
}

TEST_F(UiDialogs, PopupReturnsItemNumberAndZeroForGreyedOrCancelled) {
  const char* root = "&Add New Form|~&Change Form|~&Delete Form";
  Headless().AnswerPopup(1);
  EXPECT_EQ(Popup(root), 1);
  Headless().AnswerPopup(2);  // greyed: cannot be chosen
  EXPECT_EQ(Popup(root), 0);
  Headless().AnswerPopup(9);  // no such item
  EXPECT_EQ(Popup(root), 0);
  EXPECT_EQ(Popup(root), 0);  // cancelled
  Headless().AnswerPopup(4);
  EXPECT_EQ(Popup("&Add Form Page|&Change Form Page|&Delete Form Page|-|&Edit Form"), 4);
  auto asked = Headless().AskedDialogs();
  ASSERT_EQ(asked.size(), 5u);
  EXPECT_EQ(asked[0].popup.size(), 3u);
  EXPECT_TRUE(asked[0].popup[1].greyed);
}

TEST_F(UiDialogs, RuntimeMessageBoxAnswersFromTheScriptOnAnyThread) {
  InstallMessageHandler();
  Headless().AnswerMessage(button::No);
  int got = 0;
  rt::Start([&](std::vector<std::string>) { got = rt::Message("Are you sure?|Really?", "CONFIRM", rt::kIconQuestion,
                                                              rt::kButtonYes | rt::kButtonNo); },
            25000);
  rt::WaitForThreads();
  EXPECT_EQ(got, button::No);
  auto asked = Headless().AskedDialogs();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(MessageLines(asked[0].message.text), (std::vector<std::string>{"Are you sure?", "Really?"}));
  rt::SetMessageHandler(nullptr);
}

TEST_F(UiDialogs, AThreadOutsideTheRuntimeDoesNotTakeTheLockAfterADialog) {
  // this thread holds the runtime lock; the other one must come back
  // without waiting for it
  Headless().AnswerMessage(button::Ok);
  bool back = false;
  std::thread other([&] {
    Message("Note");
    back = !rt::HoldsThreadLock();
  });
  other.join();
  EXPECT_TRUE(back);
  EXPECT_TRUE(rt::HoldsThreadLock());
}

}  // namespace
}  // namespace ui
