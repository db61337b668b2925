// The desktop's provider: sessions, the address book, buffers and the
// checks a message passes before anything is handed over.
#include "fixture.h"

namespace {

using namespace mapi;

TEST(MapiSessions, LogonHandsOutHandlesAndLogoffEndsThem) {
  LHANDLE shared = 0, again = 0, fresh = 0;
  ASSERT_EQ(MAPILogon(0, "profile", "secret", MAPI_LOGON_UI, 0, &shared), SUCCESS_SUCCESS);
  EXPECT_NE(shared, 0u);
  ASSERT_EQ(MAPILogon(0, nullptr, nullptr, 0, 0, &again), SUCCESS_SUCCESS);
  EXPECT_EQ(again, shared) << "without MAPI_NEW_SESSION the shared session is handed out again";
  ASSERT_EQ(MAPILogon(0, "", "", MAPI_LOGON_UI | MAPI_NEW_SESSION, 0, &fresh), SUCCESS_SUCCESS);
  EXPECT_NE(fresh, shared);
  EXPECT_EQ(MAPILogon(0, "", "", 0, 0, nullptr), MAPI_E_FAILURE);

  EXPECT_EQ(MAPILogoff(fresh, 0, 0, 0), SUCCESS_SUCCESS);
  EXPECT_EQ(MAPILogoff(fresh, 0, 0, 0), MAPI_E_INVALID_SESSION);
  mapitest::Message m;
  m.To(MAPI_TO, "A", "a@example.org");
  EXPECT_EQ(MAPISendMail(fresh, 0, m.Get(), 0, 0), MAPI_E_INVALID_SESSION);
  EXPECT_EQ(MAPILogoff(shared, 0, 0, 0), SUCCESS_SUCCESS);
  EXPECT_EQ(MAPILogoff(0, 0, 0, 0), MAPI_E_INVALID_SESSION);
}

TEST(MapiAddress, NotSupportedAndNothingChosen) {
  ULONG count = 7;
  MapiRecipDesc* chosen = reinterpret_cast<MapiRecipDesc*>(&count);
  EXPECT_EQ(MAPIAddress(0, 0, "Book", 4, "", 0, nullptr, MAPI_LOGON_UI, 0, &count, &chosen), MAPI_E_NOT_SUPPORTED);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(chosen, nullptr);
}

TEST(MapiBuffers, FreedOnceAndOnlyWhenHandedOut) {
  const size_t before = OutstandingBuffers();
  void* p = AllocateBuffer(32);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(OutstandingBuffers(), before + 1);
  EXPECT_EQ(MAPIFreeBuffer(p), SUCCESS_SUCCESS);
  EXPECT_EQ(MAPIFreeBuffer(p), MAPI_E_FAILURE);
  int local = 0;
  EXPECT_EQ(MAPIFreeBuffer(&local), MAPI_E_FAILURE);
  EXPECT_EQ(MAPIFreeBuffer(nullptr), MAPI_E_FAILURE);
  EXPECT_EQ(OutstandingBuffers(), before);
}

class MapiChecks : public mapitest::Folder {};

// Every refusal comes before sendmail is started: the stand-in would
// record a start.
TEST_F(MapiChecks, RefusedMessagesNeverReachSendmail) {
  const std::string sendmail = Write("sendmail", "#!/bin/sh\ntouch \"$(dirname \"$0\")/started\"\n", true);
  setenv("VELMORA_SENDMAIL", sendmail.c_str(), 1);
  const std::string file = Write("a.pdf", "%PDF");
  const std::string unreadable = Write("locked.pdf", "%PDF");
  chmod(unreadable.c_str(), 0);
  const bool root = geteuid() == 0;

  struct Case {
    const char* what;
    std::function<void(mapitest::Message&)> fill;
    ULONG expected;
  };
  const std::vector<Case> cases = {
      {"no recipients", [](auto&) {}, MAPI_E_INVALID_RECIPS},
      {"empty address", [](auto& m) { m.To(MAPI_TO, "Ann", ""); }, MAPI_E_INVALID_RECIPS},
      {"two addresses in one", [](auto& m) { m.To(MAPI_TO, "", "a@x.org, b@y.org"); }, MAPI_E_INVALID_RECIPS},
      {"header break in the address", [](auto& m) { m.To(MAPI_TO, "", "a@x.org\nBcc: c@z.org"); }, MAPI_E_INVALID_RECIPS},
      {"address read as an option", [](auto& m) { m.To(MAPI_TO, "", "-oQ@x.org"); }, MAPI_E_INVALID_RECIPS},
      {"originator as a recipient", [](auto& m) { m.To(MAPI_ORIG, "", "a@x.org"); }, MAPI_E_BAD_RECIPTYPE},
      {"unknown class", [](auto& m) { m.To(9, "", "a@x.org"); }, MAPI_E_BAD_RECIPTYPE},
      {"missing attachment", [&](auto& m) { m.To(MAPI_TO, "", "a@x.org").Attach((dir_ / "gone.pdf").string()); },
       MAPI_E_ATTACHMENT_NOT_FOUND},
      {"folder as attachment", [&](auto& m) { m.To(MAPI_TO, "", "a@x.org").Attach(dir_.string()); },
       MAPI_E_ATTACHMENT_NOT_FOUND},
      {"unreadable attachment", [&](auto& m) { m.To(MAPI_TO, "", "a@x.org").Attach(unreadable); },
       root ? SUCCESS_SUCCESS : MAPI_E_ATTACHMENT_OPEN_FAILURE},
  };
  for (const Case& c : cases) {
    if (root && c.expected == SUCCESS_SUCCESS) continue;
    SCOPED_TRACE(c.what);
    mapitest::Message m;
    c.fill(m);
    EXPECT_EQ(MAPISendMail(0, 0, m.Get(), 0, 0), c.expected);
  }
  EXPECT_EQ(MAPISendMail(0, 0, nullptr, 0, 0), MAPI_E_FAILURE);
  mapitest::Message broken;
  broken.To(MAPI_TO, "", "a@x.org");
  broken.Get();
  broken.m.lpRecips = nullptr;
  EXPECT_EQ(MAPISendMail(0, 0, &broken.m, 0, 0), MAPI_E_INVALID_MESSAGE);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "started"));

  mapitest::Message ok;
  ok.To(MAPI_TO, "", "SMTP:a@x.org").Attach(file);
  EXPECT_EQ(MAPISendMail(0, 0, ok.Get(), 0, 0), SUCCESS_SUCCESS);
  EXPECT_TRUE(std::filesystem::exists(dir_ / "started"));
  unsetenv("VELMORA_SENDMAIL");
}

}  // namespace
