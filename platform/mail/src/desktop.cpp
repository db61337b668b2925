// The desktop's provider: the session table, the checks every message
// passes, and the choice between the composer and sendmail.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <mutex>

#include "outgoing.h"
#include "velmora/runtime/paths.h"
#include "velmora/runtime/text.h"

namespace mapi {
namespace detail {
namespace {

std::optional<std::string> Utf8(const char* text) {
  if (!text) return std::nullopt;
  return rt::ToUtf8(text);
}

// Header texts stay on one line: control characters become blanks.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return text;
}

// A plain address: one "@" with text on both sides and nothing that could
// end it, start another, or be read as an option by a program.
bool PlainAddress(const std::string& a) {
  size_t at = a.find('@');
  if (a.empty() || a.front() == '-' || at == 0 || at == std::string::npos || at + 1 == a.size() ||
      a.find('@', at + 1) != std::string::npos)
    return false;
  return std::none_of(a.begin(), a.end(), [](char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return u <= 0x20 || u == 0x7F || std::string_view(",;:<>()[]\"\\").find(c) != std::string_view::npos;
  });
}

ULONG TakeParty(const MapiRecipDesc& d, bool originator, Party& out) {
  if (!originator && (d.ulRecipClass < MAPI_TO || d.ulRecipClass > MAPI_BCC)) return MAPI_E_BAD_RECIPTYPE;
  std::string address = rt::Trim(Utf8(d.lpszAddress).value_or(""));
  if (address.size() >= 5 && rt::EqualNoCase(address.substr(0, 5), "SMTP:")) address = rt::Trim(address.substr(5));
  if (!PlainAddress(address)) return MAPI_E_INVALID_RECIPS;
  out.name = rt::Trim(OneLine(Utf8(d.lpszName).value_or("")));
  out.address = address;
  out.recipClass = originator ? MAPI_ORIG : d.ulRecipClass;
  return SUCCESS_SUCCESS;
}

}  // namespace

ULONG Prepare(const MapiMessage& m, bool needRecipients, Outgoing& out) {
  out = Outgoing{};
  if ((m.nRecipCount && !m.lpRecips) || (m.nFileCount && !m.lpFiles)) return MAPI_E_INVALID_MESSAGE;
  if (m.lpszSubject) out.subject = OneLine(*Utf8(m.lpszSubject));
  out.text = Utf8(m.lpszNoteText);
  out.receipt = (m.flFlags & MAPI_RECEIPT_REQUESTED) != 0;
  if (m.lpOriginator) {
    Party from;
    if (ULONG r = TakeParty(*m.lpOriginator, true, from)) return r;
    out.from = from;
  }
  for (ULONG i = 0; i < m.nRecipCount; ++i) {
    Party p;
    if (ULONG r = TakeParty(m.lpRecips[i], false, p)) return r;
    out.recipients.push_back(p);
  }
  if (needRecipients && out.recipients.empty()) return MAPI_E_INVALID_RECIPS;
  for (ULONG i = 0; i < m.nFileCount; ++i) {
    const MapiFileDesc& f = m.lpFiles[i];
    if (!f.lpszPathName) return MAPI_E_ATTACHMENT_NOT_FOUND;
    Attached a;
    a.path = rt::HostPath(f.lpszPathName);
    std::error_code ec;
    if (a.path.empty() || !std::filesystem::is_regular_file(a.path, ec)) return MAPI_E_ATTACHMENT_NOT_FOUND;
    if (::access(a.path.c_str(), R_OK) != 0) return MAPI_E_ATTACHMENT_OPEN_FAILURE;
    std::string name = f.lpszFileName ? rt::Trim(OneLine(*Utf8(f.lpszFileName))) : std::string();
    a.name = name.empty() ? std::filesystem::path(a.path).filename().string() : name;
    out.files.push_back(a);
  }
  return SUCCESS_SUCCESS;
}

namespace {

class Desktop : public Provider {
 public:
  ULONG Logon(ULONG_PTR, const char*, const char*, FLAGS flFlags, ULONG, LHANDLE* lplhSession) override {
    if (!lplhSession) return MAPI_E_FAILURE;
    std::lock_guard l(mu_);
    if (!(flFlags & MAPI_NEW_SESSION)) {
      for (auto& [handle, shared] : sessions_)
        if (shared) {
          *lplhSession = handle;
          return SUCCESS_SUCCESS;
        }
    }
    if (sessions_.size() >= kMaxSessions) return MAPI_E_TOO_MANY_SESSIONS;
    LHANDLE handle = next_++;
    if (next_ == 0) next_ = 1;
    sessions_[handle] = !(flFlags & MAPI_NEW_SESSION);
    *lplhSession = handle;
    return SUCCESS_SUCCESS;
  }

  ULONG Logoff(LHANDLE lhSession, ULONG_PTR, FLAGS, ULONG) override {
    std::lock_guard l(mu_);
    return sessions_.erase(lhSession) ? SUCCESS_SUCCESS : MAPI_E_INVALID_SESSION;
  }

  ULONG SendMail(LHANDLE lhSession, ULONG_PTR, const MapiMessage* lpMessage, FLAGS flFlags, ULONG) override {
    if (lhSession != 0) {
      std::lock_guard l(mu_);
      if (!sessions_.count(lhSession)) return MAPI_E_INVALID_SESSION;
    }
    if (!lpMessage) return MAPI_E_FAILURE;
    const bool dialog = (flFlags & MAPI_DIALOG) != 0;
    Outgoing out;
    if (ULONG r = Prepare(*lpMessage, !dialog, out)) return r;
    return dialog ? SendThroughComposer(out) : SendThroughSendmail(out);
  }

  ULONG Address(LHANDLE, ULONG_PTR, const char*, ULONG, const char*, ULONG, MapiRecipDesc*, FLAGS, ULONG,
                ULONG* lpnNewRecips, MapiRecipDesc** lppNewRecips) override {
    if (lpnNewRecips) *lpnNewRecips = 0;
    if (lppNewRecips) *lppNewRecips = nullptr;
    return MAPI_E_NOT_SUPPORTED;
  }

 private:
  static constexpr size_t kMaxSessions = 64;
  std::mutex mu_;
  std::map<LHANDLE, bool> sessions_;  // handle -> shared (opened without MAPI_NEW_SESSION)
  LHANDLE next_ = 1;
};

}  // namespace
}  // namespace detail

Provider& DesktopProvider() {
  static detail::Desktop desktop;
  return desktop;
}

}  // namespace mapi
