// Sends without the dialog: the message goes to a stand-in sendmail that
// keeps it, and is read back with GMime.
#include <gmime/gmime.h>

#include "fixture.h"
#include "velmora/runtime/paths.h"

namespace {

using namespace mapi;

class Sendmail : public mapitest::Folder {
 protected:
  void SetUp() override {
    Folder::SetUp();
    // Keeps its arguments and the message; the exit status comes from the
    // file "status" when there is one.
    sendmail_ = Write("bin/sendmail",
                      "#!/bin/sh\nd=$(dirname \"$0\")/..\nprintf '%s\\n' \"$@\" > \"$d/args\"\ncat > \"$d/message\"\n"
                      "[ -f \"$d/status\" ] && exit $(cat \"$d/status\")\nexit 0\n",
                      true);
    setenv("VELMORA_SENDMAIL", sendmail_.c_str(), 1);
    g_mime_init();
  }
  void TearDown() override {
    unsetenv("VELMORA_SENDMAIL");
    Folder::TearDown();
  }

  // The stored message, parsed.
  GMimeMessage* Parsed() {
    const std::string bytes = Read("message");
    GMimeStream* stream = g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size());
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    GMimeMessage* message = g_mime_parser_construct_message(parser, nullptr);
    g_object_unref(parser);
    g_object_unref(stream);
    return message;
  }
  static std::string Addresses(GMimeMessage* m, GMimeAddressType type) {
    char* text = internet_address_list_to_string(g_mime_message_get_addresses(m, type), nullptr, FALSE);
    std::string out = text ? text : "";
    g_free(text);
    return out;
  }
  static std::string Content(GMimePart* part) {
    GMimeStream* out = g_mime_stream_mem_new();
    g_mime_data_wrapper_write_to_stream(g_mime_part_get_content(part), out);
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out));
    std::string s(reinterpret_cast<const char*>(bytes->data), bytes->len);
    g_object_unref(out);
    return s;
  }

  std::string sendmail_;
};

TEST_F(Sendmail, MessageWithNonAsciiTextsAndAttachmentsArrivesWhole) {
  std::string binary;
  for (int i = 0; i < 3000; ++i) binary += static_cast<char>(i * 7 % 256);
  const std::string pdf = Write("in/form.pdf", binary);
  const std::string notes = Write("in/notes.txt", "plain notes\n");

  mapitest::Message m;
  // Windows-1252: "Grüße" and "Jürgen".
  m.Subject("Gr\xFC\xDF" "e aus M\xFCnchen").Text("Line one\r\nZeile zwei: \xE4\xF6\xFC\r\n")
      .From("J\xFCrgen Sender", "sender@example.org")
      .To(MAPI_TO, "Ann Example", "ann@example.org")
      .To(MAPI_TO, "", "SMTP:bob@example.org")
      .To(MAPI_CC, "Carl", "carl@example.org")
      .To(MAPI_BCC, "Dora", "dora@example.org")
      .Attach(rt::WindowsPath(pdf), "Signed form.pdf")
      .Attach(notes);
  m.m.flFlags = MAPI_RECEIPT_REQUESTED;
  ASSERT_EQ(MAPISendMail(0, 0, m.Get(), 0, 0), SUCCESS_SUCCESS);
  EXPECT_EQ(Read("args"), "-t\n-i\n");

  GMimeMessage* parsed = Parsed();
  ASSERT_NE(parsed, nullptr);
  EXPECT_STREQ(g_mime_message_get_subject(parsed), "Grüße aus München");
  EXPECT_EQ(Addresses(parsed, GMIME_ADDRESS_TYPE_FROM), "Jürgen Sender <sender@example.org>");
  EXPECT_EQ(Addresses(parsed, GMIME_ADDRESS_TYPE_TO), "Ann Example <ann@example.org>, bob@example.org");
  EXPECT_EQ(Addresses(parsed, GMIME_ADDRESS_TYPE_CC), "Carl <carl@example.org>");
  EXPECT_EQ(Addresses(parsed, GMIME_ADDRESS_TYPE_BCC), "Dora <dora@example.org>");
  const char* receipt = g_mime_object_get_header(GMIME_OBJECT(parsed), "Disposition-Notification-To");
  ASSERT_NE(receipt, nullptr);
  EXPECT_NE(std::string(receipt).find("sender@example.org"), std::string::npos);
  EXPECT_NE(g_mime_message_get_message_id(parsed), nullptr);
  // The headers on the wire are plain ASCII (encoded words).
  const std::string raw = Read("message");
  const std::string head = raw.substr(0, raw.find("\n\n"));
  for (char c : head) ASSERT_LT(static_cast<unsigned char>(c), 0x80) << head;

  GMimeObject* body = g_mime_message_get_mime_part(parsed);
  ASSERT_TRUE(GMIME_IS_MULTIPART(body));
  GMimeMultipart* mixed = GMIME_MULTIPART(body);
  ASSERT_EQ(g_mime_multipart_get_count(mixed), 3);
  GMimeObject* text = g_mime_multipart_get_part(mixed, 0);
  ASSERT_TRUE(GMIME_IS_TEXT_PART(text));
  char* note = g_mime_text_part_get_text(GMIME_TEXT_PART(text));
  // Line ends are the message's own (LF towards sendmail).
  EXPECT_EQ(std::string(note), "Line one\nZeile zwei: äöü\n");
  g_free(note);

  GMimePart* first = GMIME_PART(g_mime_multipart_get_part(mixed, 1));
  EXPECT_STREQ(g_mime_part_get_filename(first), "Signed form.pdf");
  EXPECT_EQ(g_mime_part_get_content_encoding(first), GMIME_CONTENT_ENCODING_BASE64);
  EXPECT_EQ(Content(first), binary);
  GMimePart* second = GMIME_PART(g_mime_multipart_get_part(mixed, 2));
  EXPECT_STREQ(g_mime_part_get_filename(second), "notes.txt");
  EXPECT_EQ(Content(second), "plain notes\n");
  g_object_unref(parsed);
}

TEST_F(Sendmail, NoSubjectNoTextNoReceipt) {
  mapitest::Message m;
  m.To(MAPI_TO, "", "ann@example.org");
  ASSERT_EQ(MAPISendMail(0, 0, m.Get(), 0, 0), SUCCESS_SUCCESS);
  GMimeMessage* parsed = Parsed();
  ASSERT_NE(parsed, nullptr);
  EXPECT_EQ(g_mime_object_get_header(GMIME_OBJECT(parsed), "Subject"), nullptr);
  EXPECT_EQ(g_mime_object_get_header(GMIME_OBJECT(parsed), "Disposition-Notification-To"), nullptr);
  EXPECT_TRUE(GMIME_IS_TEXT_PART(g_mime_message_get_mime_part(parsed)));
  g_object_unref(parsed);
}

TEST_F(Sendmail, FailingOrMissingSendmailIsAFailure) {
  mapitest::Message m;
  m.To(MAPI_TO, "", "ann@example.org").Subject("s");
  Write("status", "75");
  EXPECT_EQ(MAPISendMail(0, 0, m.Get(), 0, 0), MAPI_E_FAILURE);
  setenv("VELMORA_SENDMAIL", (dir_ / "bin/none").c_str(), 1);
  EXPECT_EQ(MAPISendMail(0, 0, m.Get(), 0, 0), MAPI_E_FAILURE);
  // A sendmail that stops reading before the message is in.
  setenv("VELMORA_SENDMAIL", Write("bin/early", "#!/bin/sh\nexit 0\n", true).c_str(), 1);
  m.Text(std::string(1 << 20, 'x'));
  EXPECT_EQ(MAPISendMail(0, 0, m.Get(), 0, 0), MAPI_E_FAILURE);
}

}  // namespace
