// Sends with the dialog: xdg-email hands the message to a stand-in mail
// program registered for mailto: in private XDG folders; the stand-in
// keeps the mailto: address it was given.
#include <map>

#include "fixture.h"

namespace {

using namespace mapi;

std::string Decode(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

struct Mailto {
  std::string to;  // the address part
  std::multimap<std::string, std::string> fields;
};

Mailto ParseMailto(std::string uri) {
  Mailto m;
  while (!uri.empty() && uri.back() == '\n') uri.pop_back();
  EXPECT_EQ(uri.rfind("mailto:", 0), 0u) << uri;
  uri = uri.substr(7);
  size_t q = uri.find('?');
  m.to = Decode(uri.substr(0, q));
  if (q == std::string::npos) return m;
  std::string rest = uri.substr(q + 1);
  size_t start = 0;
  while (start <= rest.size()) {
    size_t amp = rest.find('&', start);
    std::string pair = rest.substr(start, amp == std::string::npos ? std::string::npos : amp - start);
    size_t eq = pair.find('=');
    if (eq != std::string::npos) m.fields.emplace(pair.substr(0, eq), Decode(pair.substr(eq + 1)));
    if (amp == std::string::npos) break;
    start = amp + 1;
  }
  return m;
}

class Composer : public mapitest::Folder {
 protected:
  void SetUp() override {
    Folder::SetUp();
    for (const char* name : {"XDG_CURRENT_DESKTOP", "XDG_SESSION_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
                             "GNOME_DESKTOP_SESSION_ID", "MAILER", "DISPLAY", "WAYLAND_DISPLAY"}) {
      if (const char* v = getenv(name)) saved_.emplace_back(name, v);
      unsetenv(name);
    }
    setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    setenv("XDG_DATA_DIRS", (dir_ / "none").c_str(), 1);
    setenv("XDG_CONFIG_DIRS", (dir_ / "none").c_str(), 1);
    setenv("BROWSER", (dir_ / "no-browser").c_str(), 1);
    // xdg-open asks the MIME associations only on a display; no X server
    // needs to answer there.
    setenv("DISPLAY", ":9999", 1);
    // The stand-in mail program keeps its arguments; MAIL_EXIT sets its status.
    program_ = Write(
        "bin/mail-standin", "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/../received\"\nexit ${MAIL_EXIT:-0}\n",
        true);
  }
  void TearDown() override {
    for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_DIRS", "BROWSER", "MAIL_EXIT", "DISPLAY"})
      unsetenv(name);
    for (auto& [name, value] : saved_) setenv(name.c_str(), value.c_str(), 1);
    Folder::TearDown();
  }
  // Registers the stand-in as the mail program.
  void Register() {
    Write("data/applications/velmora-test-mail.desktop",
          "[Desktop Entry]\nType=Application\nName=Test Mail\nExec=" + program_ +
              " %u\nMimeType=x-scheme-handler/mailto;\n");
    Write("config/mimeapps.list", "[Default Applications]\nx-scheme-handler/mailto=velmora-test-mail.desktop\n");
  }
  std::vector<std::pair<std::string, std::string>> saved_;
  std::string program_;
};

TEST_F(Composer, MessageOpensInTheDesktopsMailProgram) {
  Register();
  const std::string pdf = Write("out/My Form.pdf", "%PDF-1.4");
  mapitest::Message m;
  m.Subject("Form f\xFCr Sie & mehr").Text("Hello;\r\n$(not run) `x`\r\n")
      .To(MAPI_TO, "Ann", "ann@example.org")
      .To(MAPI_CC, "", "carl@example.org")
      .To(MAPI_BCC, "", "dora@example.org")
      .Attach(pdf);
  ASSERT_EQ(MAPISendMail(0, 0, m.Get(), MAPI_LOGON_UI | MAPI_DIALOG, 0), SUCCESS_SUCCESS);
  const Mailto got = ParseMailto(Read("received"));
  EXPECT_EQ(got.to, "ann@example.org");
  auto one = [&](const char* key) {
    auto [a, b] = got.fields.equal_range(key);
    return a == b ? std::string("<none>") : a->second;
  };
  EXPECT_EQ(one("subject"), "Form für Sie & mehr");
  // xdg-email ends each line with CR LF and drops the last line end.
  EXPECT_EQ(one("body"), "Hello;\r\n$(not run) `x`");
  EXPECT_EQ(one("cc"), "carl@example.org");
  EXPECT_EQ(one("bcc"), "dora@example.org");
  EXPECT_EQ(one("attach"), pdf);
}

TEST_F(Composer, NoRecipientsNoSubjectNoText) {
  Register();
  const std::string pdf = Write("a.pdf", "%PDF");
  mapitest::Message m;
  m.Attach(pdf);
  ASSERT_EQ(MAPISendMail(0, 0, m.Get(), MAPI_DIALOG, 0), SUCCESS_SUCCESS);
  const Mailto got = ParseMailto(Read("received"));
  EXPECT_EQ(got.to, "");
  EXPECT_EQ(got.fields.count("subject"), 0u);
  EXPECT_EQ(got.fields.count("body"), 0u);
  EXPECT_EQ(got.fields.count("attach"), 1u);
}

TEST_F(Composer, FailuresAreFailures) {
  mapitest::Message m;
  m.Subject("s");
  // No mail program registered (and no browser to fall back on).
  EXPECT_EQ(MAPISendMail(0, 0, m.Get(), MAPI_DIALOG, 0), MAPI_E_FAILURE);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "received"));
  // The mail program fails.
  Register();
  setenv("MAIL_EXIT", "1", 1);
  EXPECT_EQ(MAPISendMail(0, 0, m.Get(), MAPI_DIALOG, 0), MAPI_E_FAILURE);
  EXPECT_TRUE(std::filesystem::exists(dir_ / "received"));
  // xdg-email itself missing from PATH.
  unsetenv("MAIL_EXIT");
  const std::string path = getenv("PATH");
  setenv("PATH", (dir_ / "none").c_str(), 1);
  EXPECT_EQ(MAPISendMail(0, 0, m.Get(), MAPI_DIALOG, 0), MAPI_E_FAILURE);
  setenv("PATH", path.c_str(), 1);
}

}  // namespace
