#pragma once
// A message as the desktop's provider hands it over: checked, in UTF-8,
// with host paths.
#include <optional>
#include <string>
#include <vector>

#include "velmora/mapi/mapi.h"

namespace mapi::detail {

struct Party {
  std::string name;     // display name, may be empty
  std::string address;  // a plain address "local@domain"
  ULONG recipClass = MAPI_TO;
};

struct Attached {
  std::string path;  // host path of a readable file
  std::string name;  // the name the recipient sees
};

struct Outgoing {
  std::optional<std::string> subject;  // none: no subject
  std::optional<std::string> text;     // none: no note text
  std::optional<Party> from;
  std::vector<Party> recipients;
  std::vector<Attached> files;
  bool receipt = false;
};

// Checks and converts the caller's message; SUCCESS_SUCCESS or the code
// that refuses it (see MAPISendMail).
ULONG Prepare(const MapiMessage& message, bool needRecipients, Outgoing& out);

// The two hand-overs.
ULONG SendThroughComposer(const Outgoing& message);
ULONG SendThroughSendmail(const Outgoing& message);

// The MIME message that goes to sendmail, as bytes with LF line ends.
std::string MimeMessage(const Outgoing& message);

}  // namespace mapi::detail
