// A message built with GMime and handed to the system's sendmail interface.
#include <fcntl.h>
#include <gmime/gmime.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <mutex>

#include "outgoing.h"
#include "velmora/runtime/process.h"

namespace mapi::detail {
namespace {

void InitMime() {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
}

std::string HostName() {
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0 || !host[0]) return "localhost";
  return host;
}

// Without an originator a receipt goes back to the local user.
std::string LocalUser() {
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_name) return pw->pw_name;
  if (const char* user = std::getenv("USER")) return user;
  return "root";
}

GMimeAddressType AddressType(ULONG recipClass) {
  switch (recipClass) {
    case MAPI_CC: return GMIME_ADDRESS_TYPE_CC;
    case MAPI_BCC: return GMIME_ADDRESS_TYPE_BCC;
    default: return GMIME_ADDRESS_TYPE_TO;
  }
}

template <class T>
struct Unref {
  void operator()(T* p) const { g_object_unref(p); }
};
template <class T>
using Ref = std::unique_ptr<T, Unref<T>>;

GMimeObject* TextPart(const std::string& text) {
  GMimeTextPart* part = g_mime_text_part_new_with_subtype("plain");
  g_mime_text_part_set_text(part, text.c_str());
  GMimePart* p = GMIME_PART(part);
  g_mime_part_set_content_encoding(p, g_mime_part_get_best_content_encoding(p, GMIME_ENCODING_CONSTRAINT_7BIT));
  return GMIME_OBJECT(part);
}

// nullptr when the file cannot be opened.
GMimeObject* FilePart(const Attached& a) {
  GError* error = nullptr;
  GMimeStream* stream = g_mime_stream_fs_open(a.path.c_str(), O_RDONLY, 0, &error);
  if (!stream) {
    if (error) g_error_free(error);
    return nullptr;
  }
  GMimePart* part = g_mime_part_new_with_type("application", "octet-stream");
  Ref<GMimeDataWrapper> content(g_mime_data_wrapper_new_with_stream(stream, GMIME_CONTENT_ENCODING_DEFAULT));
  g_object_unref(stream);
  g_mime_part_set_content(part, content.get());
  g_mime_part_set_filename(part, a.name.c_str());
  g_mime_part_set_content_encoding(part, GMIME_CONTENT_ENCODING_BASE64);
  return GMIME_OBJECT(part);
}

}  // namespace

std::string MimeMessage(const Outgoing& m) {
  InitMime();
  Ref<GMimeMessage> message(g_mime_message_new(TRUE));
  GMimeObject* top = GMIME_OBJECT(message.get());
  if (m.from) g_mime_message_add_mailbox(message.get(), GMIME_ADDRESS_TYPE_FROM, m.from->name.c_str(), m.from->address.c_str());
  for (const Party& p : m.recipients)
    g_mime_message_add_mailbox(message.get(), AddressType(p.recipClass), p.name.c_str(), p.address.c_str());
  if (m.subject) g_mime_message_set_subject(message.get(), m.subject->c_str(), "utf-8");
  GDateTime* now = g_date_time_new_now_local();
  g_mime_message_set_date(message.get(), now);
  g_date_time_unref(now);
  char* id = g_mime_utils_generate_message_id(HostName().c_str());
  g_mime_message_set_message_id(message.get(), id);
  g_free(id);
  if (m.receipt) {
    std::string to;
    if (m.from) {
      InternetAddress* a = internet_address_mailbox_new(m.from->name.c_str(), m.from->address.c_str());
      char* text = internet_address_to_string(a, nullptr, TRUE);
      to = text;
      g_free(text);
      g_object_unref(a);
    } else {
      to = LocalUser();
    }
    g_mime_object_set_header(top, "Disposition-Notification-To", to.c_str(), "utf-8");
  }

  GMimeObject* body = TextPart(m.text.value_or(""));
  if (m.files.empty()) {
    g_mime_message_set_mime_part(message.get(), body);
    g_object_unref(body);
  } else {
    GMimeMultipart* mixed = g_mime_multipart_new_with_subtype("mixed");
    g_mime_multipart_add(mixed, body);
    g_object_unref(body);
    for (const Attached& a : m.files) {
      GMimeObject* part = FilePart(a);
      if (!part) {
        g_object_unref(mixed);
        return {};
      }
      g_mime_multipart_add(mixed, part);
      g_object_unref(part);
    }
    g_mime_message_set_mime_part(message.get(), GMIME_OBJECT(mixed));
    g_object_unref(mixed);
  }

  Ref<GMimeStream> out(g_mime_stream_mem_new());
  if (g_mime_object_write_to_stream(top, nullptr, out.get()) < 0) return {};
  GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out.get()));
  return std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
}

ULONG SendThroughSendmail(const Outgoing& m) {
  std::string bytes = MimeMessage(m);
  if (bytes.empty()) return MAPI_E_ATTACHMENT_OPEN_FAILURE;
  const char* configured = std::getenv("VELMORA_SENDMAIL");
  std::string program = configured && *configured ? configured : "/usr/sbin/sendmail";
  rt::RunOptions o;
  o.input = std::move(bytes);
  rt::ProcessResult r = rt::RunProgram({program, "-t", "-i"}, o);
  return r.Succeeded() && r.error == 0 ? SUCCESS_SUCCESS : MAPI_E_FAILURE;
}

}  // namespace mapi::detail
