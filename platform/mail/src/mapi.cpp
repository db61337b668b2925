// The five Simple MAPI calls: buffers and the switch between providers.
#include "velmora/mapi/mapi.h"

#include <cstdlib>
#include <mutex>
#include <unordered_set>

namespace mapi {
Provider& DesktopProvider();

namespace {

std::mutex& Lock() {
  static std::mutex mu;
  return mu;
}
Provider*& Installed() {
  static Provider* provider = nullptr;
  return provider;
}
std::unordered_set<void*>& Buffers() {
  static std::unordered_set<void*> buffers;
  return buffers;
}

Provider& Current() {
  std::lock_guard l(Lock());
  return Installed() ? *Installed() : DesktopProvider();
}

}  // namespace

void SetProvider(Provider* provider) {
  std::lock_guard l(Lock());
  Installed() = provider;
}

void* AllocateBuffer(size_t size) {
  void* p = std::calloc(1, size ? size : 1);
  if (!p) return nullptr;
  std::lock_guard l(Lock());
  Buffers().insert(p);
  return p;
}

size_t OutstandingBuffers() {
  std::lock_guard l(Lock());
  return Buffers().size();
}

ULONG MAPIFreeBuffer(void* pv) {
  {
    std::lock_guard l(Lock());
    if (!pv || Buffers().erase(pv) == 0) return MAPI_E_FAILURE;
  }
  std::free(pv);
  return SUCCESS_SUCCESS;
}

ULONG MAPILogon(ULONG_PTR ulUIParam, const char* lpszProfileName, const char* lpszPassword, FLAGS flFlags,
                ULONG ulReserved, LHANDLE* lplhSession) {
  return Current().Logon(ulUIParam, lpszProfileName, lpszPassword, flFlags, ulReserved, lplhSession);
}

ULONG MAPILogoff(LHANDLE lhSession, ULONG_PTR ulUIParam, FLAGS flFlags, ULONG ulReserved) {
  return Current().Logoff(lhSession, ulUIParam, flFlags, ulReserved);
}

ULONG MAPISendMail(LHANDLE lhSession, ULONG_PTR ulUIParam, const MapiMessage* lpMessage, FLAGS flFlags,
                   ULONG ulReserved) {
  return Current().SendMail(lhSession, ulUIParam, lpMessage, flFlags, ulReserved);
}

ULONG MAPIAddress(LHANDLE lhSession, ULONG_PTR ulUIParam, const char* lpszCaption, ULONG nEditFields,
                  const char* lpszLabels, ULONG nRecips, MapiRecipDesc* lpRecips, FLAGS flFlags,
                  ULONG ulReserved, ULONG* lpnNewRecips, MapiRecipDesc** lppNewRecips) {
  return Current().Address(lhSession, ulUIParam, lpszCaption, nEditFields, lpszLabels, nRecips, lpRecips,
                           flFlags, ulReserved, lpnNewRecips, lppNewRecips);
}

}  // namespace mapi
