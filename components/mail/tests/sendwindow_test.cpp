// The Send Message window, driven through the headless window layer.
#include <thread>

#include "velmora/ui/keys.h"
#include "window_fixture.h"

namespace {

using namespace mail;
using Asked = ui::HeadlessBackend::Asked;
using mapi::Recorder;

class SendWindow : public mailtest::SendWindowFixture {};

TEST_F(SendWindow, OpensWithTheObjectsMessage) {
  const std::string pdf = File("Form.pdf");
  message_.SetSubject("Hello");
  message_.SetMessageText("Body text");
  message_.AddAttachment(pdf);
  message_.AddTo("Ann", "ann@example.org");
  message_.AddBcc("", "bob@example.org");
  ASSERT_NE(Run(), nullptr);
  EXPECT_EQ(rt::Clip(window_->Get(kEmailSubject, ui::Prop::ScreenText)), "Hello");
  EXPECT_EQ(rt::Clip(window_->Get(kEmailMessageText, ui::Prop::ScreenText)), "Body text");
  EXPECT_TRUE(window_->IsShown(kAttach1));
  EXPECT_FALSE(window_->IsShown(kAttach1 + 1));
  EXPECT_EQ(window_->Get(kAttach1, ui::Prop::Tip), rt::Lower(pdf));
  EXPECT_EQ(window_->Get(kAttach1, ui::Prop::Text), "form.pdf");
  ASSERT_EQ(window_->GetLong(kEmailTo, ui::Prop::Items), 2);
  EXPECT_EQ(Cell(1, 1), "Ann");
  EXPECT_EQ(Cell(1, 3), "TO");
  EXPECT_EQ(Cell(2, 1), "bob@example.org");
  EXPECT_EQ(Cell(2, 3), "BCC");
  EXPECT_FALSE(window_->IsShown(kEditName));
  EXPECT_EQ(window_->Get(kEmailTo, ui::Prop::Format), "135L(2)|M~Name~136L(2)|M~Address~20L(2)|M~Type~");
}

TEST_F(SendWindow, AttachmentsUpToSevenWithButtonTexts) {
  ASSERT_NE(Run(), nullptr);
  // A multiple selection of long names is taken whole.
  const std::string longName = std::string(120, 'L') + ".PDF";
  std::vector<std::string> first = {File("a.txt"), File(longName), File("Quarterly Report.pdf"), File("b"), File("c")};
  ui::Headless().AnswerFile(first);
  ASSERT_TRUE(window_->InputAccept(kEmailLookupFiles));
  Settle();
  auto files = Asked(Asked::File);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].file.title, "Choose File to Attach");
  EXPECT_TRUE(files[0].file.multiple);
  ASSERT_EQ(files[0].file.masks.size(), 3u);
  EXPECT_EQ(files[0].file.masks[2].pattern, "*.zip");
  for (int k = 0; k < 5; ++k) {
    EXPECT_TRUE(window_->IsShown(kAttach1 + k)) << k;
    EXPECT_EQ(window_->Get(kAttach1 + k, ui::Prop::Tip), rt::Lower(first[static_cast<size_t>(k)]));
  }
  EXPECT_EQ(window_->Get(kAttach1 + 1, ui::Prop::Text), std::string(17, 'l') + "...");
  EXPECT_EQ(window_->Get(kAttach1 + 2, ui::Prop::Text), "quarterly report....");
  EXPECT_EQ(window_->Get(kAttach1 + 3, ui::Prop::Text), "b");
  EXPECT_EQ(window_->Focus(), kEmailMessageText);

  // Three more with five shown: two go on, the third is refused.
  ui::Headless().AnswerFile({File("d"), File("e"), File("f")});
  ASSERT_TRUE(window_->InputAccept(kEmailLookupFiles));
  Settle();
  EXPECT_TRUE(window_->IsShown(kAttach7));
  EXPECT_EQ(window_->Get(kAttach7, ui::Prop::Tip), rt::Lower((dir_ / "e").string()));
  EXPECT_EQ(Messages(), std::vector<std::string>{
                            "Note..: Unable to attach any more files at this time.  The max of 7 has been reached."});
  // Nothing past the seventh button changed.
  EXPECT_EQ(window_->Get(kMapiToButton, ui::Prop::Text), "&Address Book");
  EXPECT_EQ(window_->Get(kMapiToButton, ui::Prop::Tip),
            "Select the recipients for this message from your email system.");

  // With seven shown the refusal comes at once, without a dialog.
  ui::Headless().Reset();
  ASSERT_TRUE(window_->InputAccept(kEmailLookupFiles));
  Settle();
  EXPECT_TRUE(Asked(Asked::File).empty());
  EXPECT_EQ(Messages(), std::vector<std::string>{
                            "Note..: Unable to attach any more files at this time the max of 7 has been reached."});
  auto messages = Asked(Asked::Message);
  EXPECT_EQ(messages[0].message.icon, ui::icon::Information);
}

TEST_F(SendWindow, RemovingAnAttachmentMovesTheOthersUp) {
  for (const char* n : {"one", "two", "three"}) message_.AddAttachment(File(n));
  ASSERT_NE(Run(), nullptr);
  // "Close Popup" changes nothing.
  ui::Headless().AnswerPopup(2);
  ASSERT_TRUE(window_->InputKey(kAttach1 + 1, ui::key::MouseRight));
  Settle();
  auto popups = Asked(Asked::Popup);
  ASSERT_EQ(popups.size(), 1u);
  ASSERT_EQ(popups[0].popup.size(), 2u);
  EXPECT_EQ(popups[0].popup[0].text, "Remove this attachment");
  EXPECT_TRUE(window_->IsShown(kAttach1 + 2));
  EXPECT_EQ(window_->Get(kAttach1 + 1, ui::Prop::Text), "two");

  ui::Headless().AnswerPopup(1);
  ASSERT_TRUE(window_->InputKey(kAttach1 + 1, ui::key::MouseRight));
  Settle();
  EXPECT_EQ(window_->Get(kAttach1, ui::Prop::Text), "one");
  EXPECT_EQ(window_->Get(kAttach1 + 1, ui::Prop::Text), "three");
  EXPECT_EQ(window_->Get(kAttach1 + 1, ui::Prop::Tip), rt::Lower((dir_ / "three").string()));
  EXPECT_FALSE(window_->IsShown(kAttach1 + 2));
  EXPECT_EQ(window_->Focus(), kEmailMessageText);

  // The last one shown: its button goes.
  ui::Headless().AnswerPopup(1);
  ASSERT_TRUE(window_->InputKey(kAttach1 + 1, ui::key::MouseRight));
  Settle();
  EXPECT_FALSE(window_->IsShown(kAttach1 + 1));
  EXPECT_TRUE(window_->IsShown(kAttach1));

  // The send takes what is left.
  message_.Reset();
  window_->InputAccept(kInsert);
  Settle();
  window_->InputType(kEditName, "Ann");
  window_->InputType(kEditAddress, "ann@example.org");
  window_->InputKey(kEditName, ui::key::Ctrl | ui::key::Enter);
  Settle();
  ASSERT_TRUE(window_->InputAccept(kEmailSend));
  ASSERT_TRUE(ui::WaitUntil([&] { return done_.load(); }));
  auto calls = recorder_.Calls();
  ASSERT_EQ(calls.size(), 1u);
  ASSERT_EQ(calls[0].files.size(), 1u);
  EXPECT_EQ(calls[0].files[0].fileName, "one");
}

TEST_F(SendWindow, RecipientRowsAreEditedInPlace) {
  ASSERT_NE(Run(), nullptr);
  // Insert: the name column opens on a new row of type TO.
  ASSERT_TRUE(window_->InputAccept(kInsert));
  Settle();
  ASSERT_TRUE(window_->IsShown(kEditName));
  EXPECT_EQ(window_->Focus(), kEditName);
  EXPECT_EQ(window_->GetLong(kEmailTo, ui::Prop::Items), 1);
  // An empty address beeps and keeps the focus.
  window_->InputKey(kEditName, ui::key::Tab);
  Settle();
  EXPECT_EQ(window_->Focus(), kEditAddress);
  const int beeps = ui::Headless().Beeps();
  window_->InputKey(kEditAddress, ui::key::Enter);
  Settle();
  EXPECT_EQ(ui::Headless().Beeps(), beeps + 1);
  EXPECT_EQ(window_->Focus(), kEditAddress);
  // The address accepted with an empty name becomes the name.
  window_->InputType(kEditAddress, "carl@example.org");
  window_->InputKey(kEditAddress, ui::key::Tab);
  Settle();
  EXPECT_EQ(window_->Focus(), kEditType);
  EXPECT_EQ(rt::Clip(window_->Get(kEditName, ui::Prop::ScreenText)), "carl@example.org");
  window_->InputKey(kEditType, ui::key::Shift | ui::key::Tab);
  Settle();
  EXPECT_EQ(window_->Focus(), kEditAddress);
  window_->InputKey(kEditAddress, ui::key::Tab);
  Settle();
  ASSERT_TRUE(window_->InputSelectRow(kEditType, 2));  // CC
  window_->InputKey(kEditType, ui::key::Enter);
  Settle();
  EXPECT_FALSE(window_->IsShown(kEditName));
  EXPECT_EQ(window_->Focus(), kEmailTo);
  EXPECT_EQ(Cell(1, 1), "carl@example.org");
  EXPECT_EQ(Cell(1, 3), "CC");

  // Insert then Escape: the new row goes.
  window_->InputKey(kEmailTo, ui::key::Insert);
  Settle();
  EXPECT_EQ(window_->GetLong(kEmailTo, ui::Prop::Items), 2);
  window_->InputType(kEditName, "Nobody");
  window_->InputKey(kEditName, ui::key::Esc);
  Settle();
  EXPECT_EQ(window_->GetLong(kEmailTo, ui::Prop::Items), 1);
  EXPECT_TRUE(window_->IsOpen()) << "Escape in an edit closes only the edit";

  // Change by double click, then Escape: the row gets its old values back.
  ASSERT_TRUE(window_->InputSelectRow(kEmailTo, 1));
  window_->InputKey(kEmailTo, ui::key::MouseLeft2);
  Settle();
  ASSERT_TRUE(window_->IsShown(kEditName));
  window_->InputType(kEditName, "Changed");
  window_->InputKey(kEditName, ui::key::Esc);
  Settle();
  EXPECT_EQ(Cell(1, 1), "carl@example.org");
  // Change and complete with Ctrl+Enter.
  ASSERT_TRUE(window_->InputAccept(kChange));
  Settle();
  window_->InputType(kEditName, "Carl");
  window_->InputKey(kEditName, ui::key::Ctrl | ui::key::Enter);
  Settle();
  EXPECT_EQ(Cell(1, 1), "Carl");
  EXPECT_EQ(Cell(1, 2), "carl@example.org");

  // Delete.
  ASSERT_TRUE(window_->InputAccept(kDelete));
  Settle();
  EXPECT_EQ(window_->GetLong(kEmailTo, ui::Prop::Items), 0);
  window_->InputKey(kEmailTo, ui::key::Delete);  // nothing to delete
  window_->InputKey(kEmailTo, ui::key::Enter);   // nothing to change
  Settle();
  EXPECT_FALSE(window_->IsShown(kEditName));

  // Escape outside an edit closes the window.
  window_->InputKey(kEmailSubject, ui::key::Esc);
  EXPECT_TRUE(ui::WaitUntil([&] { return done_.load(); }));
}

// Types a recipient row in through the buttons and edit controls.
void AddRow(mailtest::SendWindowFixture& f, ui::Window& w, const std::string& name, const std::string& addr,
            long type) {
  w.InputAccept(kInsert);
  ui::WaitUntil([&] { return w.IsShown(kEditName); });
  w.InputType(kEditName, name);
  w.InputType(kEditAddress, addr);
  w.Update(kEditType);
  if (type) w.InputSelectRow(kEditType, type);
  w.InputKey(kEditName, ui::key::Ctrl | ui::key::Enter);
  ui::WaitUntil([&] { return !w.IsShown(kEditName); });
  (void)f;
}

TEST_F(SendWindow, FailedSendKeepsTheMessageAndASuccessfulOneCloses) {
  const std::string pdf = File("form.pdf");
  message_.AddAttachment(pdf);
  ASSERT_NE(Run(1, 1), nullptr);
  // An empty recipient list sends nothing.
  ASSERT_TRUE(window_->InputAccept(kEmailSend));
  Settle();
  EXPECT_TRUE(recorder_.Calls().empty());
  EXPECT_TRUE(window_->IsOpen());

  AddRow(*this, *window_, "Ann", "ann@example.org", 1);
  AddRow(*this, *window_, "Carl", "carl@example.org", 2);
  AddRow(*this, *window_, "Bea", "bea@example.org", 3);
  AddRow(*this, *window_, "Odd", "odd@example.org", 0);
  // A row whose type is none of the three is not sent.
  window_->InputSelectRow(kEmailTo, 4);
  window_->InputKey(kEmailTo, ui::key::Enter);
  ui::WaitUntil([&] { return window_->IsShown(kEditType); });
  window_->Set(kEditType, ui::Prop::ScreenText, "");
  window_->InputKey(kEditName, ui::key::Ctrl | ui::key::Enter);
  Settle();
  ASSERT_EQ(Cell(4, 3), "");
  window_->InputType(kEmailSubject, "Subject line");
  window_->InputType(kEmailMessageText, "Note text");

  recorder_.SetResult(Recorder::Kind::SendMail, mapi::MAPI_E_FAILURE);
  ASSERT_TRUE(window_->InputAccept(kEmailSend));
  Settle();
  // the failure is followed by what the user can do about it
  EXPECT_EQ(Messages(), std::vector<std::string>{
                            "Error: Send Mail Error: MS-Mail: Failure||No mail program took the message. Install a "
                            "mail program and make it the desktop's program for e-mail, or set up this computer's "
                            "sendmail to send mail."});
  EXPECT_TRUE(window_->IsOpen());
  EXPECT_EQ(window_->GetLong(kEmailTo, ui::Prop::Items), 4);
  EXPECT_TRUE(window_->IsShown(kAttach1));
  EXPECT_EQ(rt::Clip(window_->Get(kEmailSubject, ui::Prop::ScreenText)), "Subject line");

  recorder_.SetResult(Recorder::Kind::SendMail, mapi::SUCCESS_SUCCESS);
  ASSERT_TRUE(window_->InputAccept(kEmailSend));
  ASSERT_TRUE(ui::WaitUntil([&] { return done_.load(); }));
  auto calls = recorder_.Calls();
  ASSERT_EQ(calls.size(), 2u);
  const Recorder::Call& c = calls[1];
  EXPECT_EQ(c.flags, mapi::MAPI_LOGON_UI | mapi::MAPI_DIALOG);
  EXPECT_EQ(c.messageFlags, mapi::MAPI_RECEIPT_REQUESTED);
  EXPECT_EQ(c.subject, "Subject line");
  EXPECT_EQ(c.noteText, "Note text");
  ASSERT_EQ(c.recips.size(), 3u);
  EXPECT_EQ(c.recips[0].name, "Ann");
  EXPECT_EQ(c.recips[0].recipClass, mapi::MAPI_TO);
  EXPECT_EQ(c.recips[1].recipClass, mapi::MAPI_CC);
  EXPECT_EQ(c.recips[2].address, "bea@example.org");
  EXPECT_EQ(c.recips[2].recipClass, mapi::MAPI_BCC);
  ASSERT_EQ(c.files.size(), 1u);
  EXPECT_EQ(c.files[0].pathName, pdf);
}

TEST_F(SendWindow, AddressBookFailureIsShownAndAUserAbortIsNot) {
  ASSERT_NE(Run(), nullptr);
  mapi::SetProvider(nullptr);  // the desktop has no address book
  ASSERT_TRUE(window_->InputAccept(kMapiToButton));
  Settle();
  EXPECT_EQ(Messages(), std::vector<std::string>{"Error: MS-Mail: Feature Not Supported"});
  EXPECT_EQ(window_->Focus(), kEmailTo);

  mapi::SetProvider(&recorder_);
  ui::Headless().Reset();
  recorder_.SetResult(Recorder::Kind::Address, mapi::MAPI_USER_ABORT);
  ASSERT_TRUE(window_->InputAccept(kMapiToButton));
  Settle();
  EXPECT_TRUE(Messages().empty());
  auto calls = recorder_.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].caption, "Test Address Book");

  // The contact list is a hook that does nothing here.
  ASSERT_TRUE(window_->InputAccept(kLookupTo));
  Settle();
  EXPECT_EQ(window_->GetLong(kEmailTo, ui::Prop::Items), 0);
  EXPECT_EQ(recorder_.Calls().size(), 1u);
}

TEST_F(SendWindow, TheControlInUseIsHighlighted) {
  ASSERT_NE(Run(), nullptr);
  constexpr long kLightYellow = 255 | (255 << 8) | (128 << 16);
  window_->InputFocus(kEmailSubject);
  Settle();
  EXPECT_EQ(window_->GetLong(kEmailSubject, ui::Prop::Color), kLightYellow);
  window_->InputFocus(kEmailMessageText);
  Settle();
  EXPECT_EQ(window_->GetLong(kEmailSubject, ui::Prop::Color), -1);
  EXPECT_EQ(window_->GetLong(kEmailMessageText, ui::Prop::Color), kLightYellow);
  window_->InputAccept(kLookupTo);  // a button is not highlighted
  Settle();
  EXPECT_EQ(window_->GetLong(kEmailMessageText, ui::Prop::Color), -1);
  EXPECT_EQ(window_->GetLong(kLookupTo, ui::Prop::Color), -1);

  // On a yellow window the highlight is cyan.
  window_->Set(0, ui::Prop::Color, 255L | (255L << 8));
  window_->InputFocus(kEmailSubject);
  Settle();
  EXPECT_EQ(window_->GetLong(kEmailSubject, ui::Prop::Color), 0L | (255L << 8) | (255L << 16));
}

}  // namespace
