// The recording provider.
#include "velmora/mapi/recorder.h"

#include <cstring>

#include "velmora/runtime/threads.h"

namespace mapi {
namespace {

std::optional<std::string> Text(const char* p) {
  if (!p) return std::nullopt;
  return std::string(p);
}

Recorder::Recipient Copy(const MapiRecipDesc& d) {
  return {d.ulReserved, d.ulRecipClass, Text(d.lpszName), Text(d.lpszAddress), d.ulEIDSize, d.lpEntryID != nullptr};
}

// A copy of a text inside a buffer that MAPIFreeBuffer releases with the
// array: the texts follow the descriptors.
char* Place(char*& cursor, const std::optional<std::string>& text) {
  if (!text) return nullptr;
  char* at = cursor;
  std::memcpy(at, text->c_str(), text->size() + 1);
  cursor += text->size() + 1;
  return at;
}

}  // namespace

void Recorder::SetResult(Kind kind, ULONG result) {
  std::lock_guard l(mu_);
  results_[kind] = result;
}

void Recorder::SetSession(LHANDLE session) {
  std::lock_guard l(mu_);
  session_ = session;
}

void Recorder::SetChosen(std::vector<Recipient> chosen, bool noBuffer) {
  std::lock_guard l(mu_);
  chosen_ = std::move(chosen);
  noBuffer_ = noBuffer;
}

std::vector<Recorder::Call> Recorder::Calls() const {
  std::lock_guard l(mu_);
  return calls_;
}

void Recorder::Clear() {
  std::lock_guard l(mu_);
  calls_.clear();
  results_.clear();
  chosen_.clear();
  noBuffer_ = false;
  session_ = 1;
}

// A call with the arguments every call has.
Recorder::Call Recorder::Begin(Kind kind, LHANDLE session, ULONG_PTR uiParam, FLAGS flags, ULONG reserved) {
  Call c;
  c.kind = kind;
  c.session = session;
  c.uiParam = uiParam;
  c.flags = flags;
  c.reserved = reserved;
  c.heldThreadLock = rt::HoldsThreadLock();
  return c;
}

ULONG Recorder::Result(Kind kind) const {
  auto it = results_.find(kind);
  return it == results_.end() ? SUCCESS_SUCCESS : it->second;
}

ULONG Recorder::Logon(ULONG_PTR ulUIParam, const char* lpszProfileName, const char* lpszPassword, FLAGS flFlags,
                      ULONG ulReserved, LHANDLE* lplhSession) {
  std::lock_guard l(mu_);
  Call c = Begin(Kind::Logon, 0, ulUIParam, flFlags, ulReserved);
  c.profile = Text(lpszProfileName);
  c.password = Text(lpszPassword);
  c.sessionOut = lplhSession != nullptr;
  calls_.push_back(c);
  ULONG r = Result(Kind::Logon);
  if (lplhSession) *lplhSession = r == SUCCESS_SUCCESS ? session_ : 0;
  return r;
}

ULONG Recorder::Logoff(LHANDLE lhSession, ULONG_PTR ulUIParam, FLAGS flFlags, ULONG ulReserved) {
  std::lock_guard l(mu_);
  calls_.push_back(Begin(Kind::Logoff, lhSession, ulUIParam, flFlags, ulReserved));
  return Result(Kind::Logoff);
}

ULONG Recorder::SendMail(LHANDLE lhSession, ULONG_PTR ulUIParam, const MapiMessage* m, FLAGS flFlags,
                         ULONG ulReserved) {
  std::lock_guard l(mu_);
  Call c = Begin(Kind::SendMail, lhSession, ulUIParam, flFlags, ulReserved);
  c.message = m != nullptr;
  if (m) {
    c.messageReserved = m->ulReserved;
    c.subject = Text(m->lpszSubject);
    c.noteText = Text(m->lpszNoteText);
    c.messageType = Text(m->lpszMessageType);
    c.dateReceived = Text(m->lpszDateReceived);
    c.conversationId = Text(m->lpszConversationID);
    c.messageFlags = m->flFlags;
    if (m->lpOriginator) c.originator = Copy(*m->lpOriginator);
    c.recipCount = m->nRecipCount;
    for (ULONG i = 0; m->lpRecips && i < m->nRecipCount; ++i) c.recips.push_back(Copy(m->lpRecips[i]));
    c.fileCount = m->nFileCount;
    for (ULONG i = 0; m->lpFiles && i < m->nFileCount; ++i) {
      const MapiFileDesc& f = m->lpFiles[i];
      c.files.push_back({f.ulReserved, f.flFlags, f.nPosition, Text(f.lpszPathName), Text(f.lpszFileName),
                         f.lpFileType != nullptr});
    }
  }
  calls_.push_back(c);
  return Result(Kind::SendMail);
}

ULONG Recorder::Address(LHANDLE lhSession, ULONG_PTR ulUIParam, const char* lpszCaption, ULONG nEditFields,
                        const char* lpszLabels, ULONG nRecips, MapiRecipDesc* lpRecips, FLAGS flFlags,
                        ULONG ulReserved, ULONG* lpnNewRecips, MapiRecipDesc** lppNewRecips) {
  std::lock_guard l(mu_);
  Call c = Begin(Kind::Address, lhSession, ulUIParam, flFlags, ulReserved);
  c.caption = Text(lpszCaption);
  c.editFields = nEditFields;
  c.labels = Text(lpszLabels);
  c.inRecipCount = nRecips;
  c.inRecips = lpRecips != nullptr;
  calls_.push_back(c);
  if (lpnNewRecips) *lpnNewRecips = 0;
  if (lppNewRecips) *lppNewRecips = nullptr;
  if (!lpnNewRecips || !lppNewRecips || noBuffer_) return Result(Kind::Address);
  size_t size = chosen_.size() * sizeof(MapiRecipDesc);
  for (const Recipient& r : chosen_) size += (r.name ? r.name->size() + 1 : 0) + (r.address ? r.address->size() + 1 : 0);
  auto* array = static_cast<MapiRecipDesc*>(AllocateBuffer(size));
  if (!array) return MAPI_E_INSUFFICIENT_MEMORY;
  char* cursor = reinterpret_cast<char*>(array + chosen_.size());
  for (size_t i = 0; i < chosen_.size(); ++i) {
    array[i] = MapiRecipDesc{};
    array[i].ulRecipClass = chosen_[i].recipClass;
    array[i].lpszName = Place(cursor, chosen_[i].name);
    array[i].lpszAddress = Place(cursor, chosen_[i].address);
  }
  *lpnNewRecips = static_cast<ULONG>(chosen_.size());
  *lppNewRecips = array;
  return Result(Kind::Address);
}

}  // namespace mapi
