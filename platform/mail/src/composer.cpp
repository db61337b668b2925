// A message shown in the desktop's mail composer through xdg-email.
#include "outgoing.h"
#include "velmora/runtime/process.h"

namespace mapi::detail {

// xdg-email's exit status: 0 done, 1 bad arguments, 2 a file is missing,
// 3 no mail program, 4 the mail program failed, 5 a file cannot be read.
ULONG SendThroughComposer(const Outgoing& m) {
  std::vector<std::string> argv = {"xdg-email", "--utf8"};
  // xdg-email refuses empty values: a text that is empty is left out.
  if (m.subject && !m.subject->empty()) argv.insert(argv.end(), {"--subject", *m.subject});
  // xdg-email ends every line with CR LF itself.
  std::string body = m.text.value_or("");
  for (size_t at; (at = body.find("\r\n")) != std::string::npos;) body.erase(at, 1);
  if (!body.empty()) argv.insert(argv.end(), {"--body", body});
  for (const Party& p : m.recipients) {
    if (p.recipClass == MAPI_CC) argv.insert(argv.end(), {"--cc", p.address});
    if (p.recipClass == MAPI_BCC) argv.insert(argv.end(), {"--bcc", p.address});
  }
  for (const Attached& a : m.files) argv.insert(argv.end(), {"--attach", a.path});
  // To addresses last, as plain arguments (each holds an "@" and never
  // starts with "-", so none reads as an option).
  for (const Party& p : m.recipients)
    if (p.recipClass == MAPI_TO) argv.push_back(p.address);

  rt::ProcessResult r = rt::RunProgram(argv);
  if (!r.started || r.signal) return MAPI_E_FAILURE;
  switch (r.exitCode) {
    case 0: return SUCCESS_SUCCESS;
    case 2: return MAPI_E_ATTACHMENT_NOT_FOUND;
    case 5: return MAPI_E_ATTACHMENT_OPEN_FAILURE;
    default: return MAPI_E_FAILURE;
  }
}

}  // namespace mapi::detail
