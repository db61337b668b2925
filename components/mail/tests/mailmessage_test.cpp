// The mail message class against the recording provider: what each Simple
// MAPI call receives, and the class's own rules.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "velmora/mail/mailmessage.h"
#include "velmora/mapi/recorder.h"
#include "velmora/runtime/system.h"
#include "velmora/runtime/threads.h"
#include "velmora/win/version.h"

namespace {

using namespace mapi;
using Kind = Recorder::Kind;

class MailMessageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/mail_test_XXXXXX";
    dir_ = mkdtemp(tmpl);
    SetProvider(&recorder_);
    rt::SetMessageHandler([this](std::string_view text, std::string_view caption, std::string_view, int, int) {
      messages_.push_back(std::string(caption) + ": " + std::string(text));
      return rt::kButtonOk;
    });
  }
  void TearDown() override {
    SetProvider(nullptr);
    rt::SetMessageHandler(nullptr);
    win::SetReportedVersion(0, 0);
    std::filesystem::remove_all(dir_);
  }
  std::string File(const std::string& name) {
    const auto p = dir_ / name;
    std::ofstream(p) << "x";
    return p.string();
  }
  Recorder::Call OnlyCall(Kind kind) {
    auto calls = recorder_.Calls();
    EXPECT_EQ(calls.size(), 1u);
    if (calls.empty()) return {};
    EXPECT_EQ(calls.front().kind, kind);
    return calls.front();
  }

  std::filesystem::path dir_;
  Recorder recorder_;
  std::vector<std::string> messages_;
};

TEST_F(MailMessageTest, SendFillsTheMessageAsTheEditorDoes) {
  mail::MailMessage m;
  m.Create(77);
  const std::string pdf = File("Filled form.pdf");
  m.AddAttachment(pdf);
  m.AddTo("   ", "ann@example.org  ");
  m.AddCc("Carl  ", "carl@example.org");
  m.AddBcc("Dora", "dora@example.org");
  m.SetSubject("Your form  ");
  m.SetMessageText("See attached.  ");
  ASSERT_EQ(m.Send(1, 0), SUCCESS_SUCCESS);

  const Recorder::Call c = OnlyCall(Kind::SendMail);
  EXPECT_EQ(c.session, 0u);
  EXPECT_EQ(c.uiParam, 77u);
  EXPECT_EQ(c.flags, MAPI_LOGON_UI | MAPI_DIALOG);
  EXPECT_EQ(c.reserved, 0u);
  EXPECT_EQ(c.subject, "Your form");
  EXPECT_EQ(c.noteText, "See attached.");
  EXPECT_FALSE(c.messageType || c.dateReceived || c.conversationId);
  EXPECT_EQ(c.messageFlags, 0u);
  EXPECT_FALSE(c.originator);
  ASSERT_EQ(c.recipCount, 3u);
  EXPECT_EQ(c.recips[0].recipClass, MAPI_TO);
  EXPECT_EQ(c.recips[0].name, "ann@example.org") << "a blank name takes the address";
  EXPECT_EQ(c.recips[0].address, "ann@example.org");
  EXPECT_EQ(c.recips[1].recipClass, MAPI_CC);
  EXPECT_EQ(c.recips[1].name, "Carl");
  EXPECT_EQ(c.recips[2].recipClass, MAPI_BCC);
  EXPECT_FALSE(c.recips[2].entryId);
  ASSERT_EQ(c.fileCount, 1u);
  EXPECT_EQ(c.files[0].pathName, pdf);
  EXPECT_EQ(c.files[0].fileName, "Filled form.pdf");
  EXPECT_EQ(c.files[0].position, ~0u);
  EXPECT_EQ(c.files[0].flags, 0u);
  EXPECT_FALSE(c.files[0].fileType);
}

TEST_F(MailMessageTest, NothingSetMeansNullTextsAndNoRecipients) {
  mail::MailMessage m;
  m.Create();
  m.AddAttachment(File("a.pdf"));
  ASSERT_EQ(m.Send(1, 0), SUCCESS_SUCCESS);
  const Recorder::Call c = OnlyCall(Kind::SendMail);
  EXPECT_FALSE(c.subject.has_value());
  EXPECT_FALSE(c.noteText.has_value());
  EXPECT_EQ(c.recipCount, 0u);
  EXPECT_EQ(c.fileCount, 1u);
  EXPECT_EQ(c.uiParam, reinterpret_cast<ULONG_PTR>(win::GetDesktopWindow())) << "no window: the desktop";
}

TEST_F(MailMessageTest, LimitsFlagsAndTheOldSystemsUiParameter) {
  mail::MailMessage m;
  m.Create(5);
  for (int i = 1; i <= 51; ++i) m.AddTo("", "r" + std::to_string(i) + "@example.org");
  for (int i = 1; i <= 11; ++i) m.AddAttachment(File("f" + std::to_string(i)));
  EXPECT_EQ(m.RECIPIENTS->Count(), 51);
  EXPECT_EQ(m.ATTACHMENTS->Count(), 11);

  struct Case {
    rt::Byte dialog, receipt;
    FLAGS flags, messageFlags;
  };
  for (const Case& k : {Case{0, 1, MAPI_LOGON_UI, MAPI_RECEIPT_REQUESTED}, Case{1, 2, MAPI_LOGON_UI | MAPI_DIALOG, 0},
                        Case{7, 0, MAPI_LOGON_UI | MAPI_DIALOG, 0}}) {
    recorder_.Clear();
    ASSERT_EQ(m.Send(k.dialog, k.receipt), SUCCESS_SUCCESS);
    const Recorder::Call c = OnlyCall(Kind::SendMail);
    EXPECT_EQ(c.flags, k.flags);
    EXPECT_EQ(c.messageFlags, k.messageFlags);
    EXPECT_EQ(c.recipCount, 50u);
    EXPECT_EQ(c.recips.back().address, "r50@example.org");
    EXPECT_EQ(c.fileCount, 10u);
    EXPECT_EQ(c.uiParam, 5u);
  }
  win::SetReportedVersion(4, 10);
  recorder_.Clear();
  m.Send(1, 0);
  EXPECT_EQ(OnlyCall(Kind::SendMail).uiParam, 0u);
}

// A derived window overrides single slots; the class calls them through
// the table.
struct Counting : mail::MailMessage {
  int afterSend = 0;
  void AfterSend() override { ++afterSend; }
};

TEST_F(MailMessageTest, SendWithoutQueuesFailsAndAfterSendFollowsOnlySuccess) {
  Counting m;
  EXPECT_EQ(m.Send(1, 0), MAPI_E_FAILURE) << "never created";
  m.Create();
  m.Destroy();
  EXPECT_EQ(m.Send(1, 0), MAPI_E_FAILURE) << "destroyed";
  EXPECT_TRUE(recorder_.Calls().empty());

  m.Create();
  recorder_.SetResult(Kind::SendMail, MAPI_E_FAILURE);
  EXPECT_EQ(m.Send(1, 0), MAPI_E_FAILURE);
  EXPECT_EQ(m.afterSend, 0);
  recorder_.SetResult(Kind::SendMail, MAPI_USER_ABORT);
  EXPECT_EQ(m.Send(1, 0), MAPI_USER_ABORT);
  EXPECT_EQ(m.afterSend, 0);
  recorder_.SetResult(Kind::SendMail, SUCCESS_SUCCESS);
  EXPECT_EQ(m.Send(1, 0), SUCCESS_SUCCESS);
  EXPECT_EQ(m.afterSend, 1);
}

TEST_F(MailMessageTest, TheHandOverRunsWithoutTheRuntimeLock) {
  bool heldAfter = false;
  ULONG result = 99;
  int thread = rt::Start(
      [&](std::vector<std::string>) {
        mail::MailMessage m;
        m.Create();
        result = m.Send(1, 0);
        heldAfter = rt::HoldsThreadLock();
      },
      20000);
  ASSERT_NE(thread, 0);
  rt::WaitForThreads();
  EXPECT_EQ(result, SUCCESS_SUCCESS);
  EXPECT_FALSE(OnlyCall(Kind::SendMail).heldThreadLock);
  EXPECT_TRUE(heldAfter);
}

TEST_F(MailMessageTest, MissingAttachmentIsReportedAndLeftOut) {
  mail::MailMessage m;
  m.Create();
  const std::string gone = (dir_ / "gone.pdf").string();
  m.AddAttachment(gone);
  EXPECT_EQ(m.ATTACHMENTS->Count(), 0);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], "Error: MS-Mail: Email attachment file " + gone + " not found!");
}

TEST_F(MailMessageTest, ErrorTexts) {
  mail::MailMessage m;
  EXPECT_EQ(m.MapiErrorText(0), "");
  EXPECT_EQ(m.MapiErrorText(1), "MS-Mail: User Abort");
  EXPECT_EQ(m.MapiErrorText(6), "MS-Mail: Access Denied");
  EXPECT_EQ(m.MapiErrorText(7), "MS-Mail: Unknown MAPI error 7");
  EXPECT_EQ(m.MapiErrorText(8), "MS-Mail: Too Many MAPI Sessions");
  EXPECT_EQ(m.MapiErrorText(21), "MS-Mail: Ambig Recipient");
  EXPECT_EQ(m.MapiErrorText(26), "MS-Mail: Feature Not Supported");
  EXPECT_EQ(m.MapiErrorText(27), "MS-Mail: Unknown MAPI error 27");
  EXPECT_EQ(m.MapiErrorText(4294967295u), "MS-Mail: Unknown MAPI error 4294967295");
}

TEST_F(MailMessageTest, AddressBookAddsEachChosenRecipientOnceAndAlwaysReleasesTheBuffer) {
  mail::MailMessage m;
  m.Create(9);
  mail::RecipientList list;
  list->NAME = "Ann";
  list->ADDR = "ann@example.org";
  list->TYPE = "TO";
  list.Add();
  recorder_.SetChosen({{0, MAPI_TO, "Ann", "ann@example.org", 0, false},
                       {0, MAPI_CC, "Carl", "carl@example.org", 0, false},
                       {0, 7, "Odd", "odd@example.org", 0, false},
                       {0, MAPI_CC, "Carl", "carl@example.org", 0, false}});
  const size_t before = OutstandingBuffers();
  ASSERT_EQ(m.AddressBook(std::string(150, 'c'), list), SUCCESS_SUCCESS);
  EXPECT_EQ(OutstandingBuffers(), before);
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.At(2).NAME.Value(), "Carl");
  EXPECT_EQ(list.At(2).TYPE.Value(), "CC");
  EXPECT_EQ(list.At(3).TYPE.Value(), "CC") << "an unknown class keeps the type before it";
  const Recorder::Call c = OnlyCall(Kind::Address);
  EXPECT_EQ(c.caption, std::string(100, 'c'));
  EXPECT_EQ(c.editFields, 4u);
  EXPECT_EQ(c.labels, "");
  EXPECT_EQ(c.inRecipCount, 0u);
  EXPECT_FALSE(c.inRecips);
  EXPECT_EQ(c.flags, MAPI_LOGON_UI);
  EXPECT_EQ(c.uiParam, 9u);

  // Nothing chosen, and a failure that still hands a buffer back.
  recorder_.SetChosen({});
  EXPECT_EQ(m.AddressBook("Book", list), SUCCESS_SUCCESS);
  EXPECT_EQ(OutstandingBuffers(), before);
  recorder_.SetResult(Kind::Address, MAPI_E_NOT_SUPPORTED);
  EXPECT_EQ(m.AddressBook("Book", list), MAPI_E_NOT_SUPPORTED);
  EXPECT_EQ(OutstandingBuffers(), before);
  EXPECT_EQ(list.Count(), 3);
}

TEST_F(MailMessageTest, LogonLogoffAndTheSessionHandle) {
  mail::MailMessage m;
  m.Create(3);
  recorder_.SetSession(41);
  ASSERT_EQ(m.Logon(std::string(120, 'p'), "pw"), SUCCESS_SUCCESS);
  EXPECT_EQ(m.SESSIONHANDLE, 41u);
  Recorder::Call c = OnlyCall(Kind::Logon);
  EXPECT_EQ(c.profile, std::string(100, 'p'));
  EXPECT_EQ(c.password, "pw");
  EXPECT_EQ(c.flags, MAPI_LOGON_UI | MAPI_NEW_SESSION);
  EXPECT_TRUE(c.sessionOut);

  recorder_.Clear();
  EXPECT_EQ(m.Logoff(), SUCCESS_SUCCESS);
  c = OnlyCall(Kind::Logoff);
  EXPECT_EQ(c.session, 41u);
  EXPECT_EQ(c.uiParam, 3u);
  EXPECT_EQ(m.SESSIONHANDLE, 41u) << "logoff keeps the handle";

  recorder_.SetResult(Kind::Logon, MAPI_E_LOGIN_FAILURE);
  EXPECT_EQ(m.Logon("", ""), MAPI_E_LOGIN_FAILURE);
  EXPECT_EQ(m.SESSIONHANDLE, 0u);
}

TEST_F(MailMessageTest, ResetClearAndDestroy) {
  mail::MailMessage m;
  m.Create();
  m.AddTo("A", "a@x.org");
  m.AddCc("C", "c@x.org");
  m.AddBcc("B", "b@x.org");
  m.AddAttachment(File("a"));
  m.SetSubject("s");
  m.ClearCcRecipients();
  ASSERT_EQ(m.RECIPIENTS->Count(), 2);
  EXPECT_EQ(m.RECIPIENTS->At(1).TYPE, MAPI_TO);
  EXPECT_EQ(m.RECIPIENTS->At(2).TYPE, MAPI_BCC);
  m.ClearQueues();
  EXPECT_EQ(m.RECIPIENTS->Count(), 0);
  EXPECT_EQ(m.ATTACHMENTS->Count(), 0);

  m.Reset();
  EXPECT_FALSE(m.SUBJECT || m.TONAME || m.MESSAGETEXT);
  ASSERT_TRUE(m.USERNAME && m.USERPASSWORD);
  EXPECT_EQ(m.USERNAME->size(), 200u);
  EXPECT_TRUE(m.FROM && m.RECIPIENTS && m.ATTACHMENTS);
  m.Destroy();
  m.Destroy();
  EXPECT_FALSE(m.FROM || m.RECIPIENTS || m.ATTACHMENTS || m.USERNAME || m.SUBJECT);
}

}  // namespace
