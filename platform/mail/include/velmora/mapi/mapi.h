#pragma once
// Simple MAPI on Linux: the five calls a program makes to hand a message to
// the user's mail system.
//
// A message is one MapiMessage: subject and note text, an optional
// originator, an array of recipients (each with its class: originator, To,
// Cc or Bcc, a display name and an address) and an array of attached files
// (a path to read, and the name the recipient sees). Texts are the
// runtime's Windows-1252 bytes, NUL-terminated; null pointers mean "none".
// File paths may be in the system's Windows form or in host form.
//
// What stands behind the calls is a provider. The desktop's provider (the
// default) sends with MAPI_DIALOG through the desktop's own mail composer
// (xdg-email: the user sees the message and sends it from there) and
// without it as a MIME message handed to the system's sendmail interface
// ("/usr/sbin/sendmail -t -i", or the program named by VELMORA_SENDMAIL).
// It has no address book (MAPIAddress gives MAPI_E_NOT_SUPPORTED). A
// recording provider (recorder.h) stands in for it in tests.
//
// Every call returns SUCCESS_SUCCESS (0) or one of the MAPI result codes
// below; a failure is never reported as success.
#include <cstddef>
#include <cstdint>

namespace mapi {

using ULONG = uint32_t;
using FLAGS = ULONG;
using ULONG_PTR = uintptr_t;
using LHANDLE = ULONG_PTR;

// Result codes.
enum : ULONG {
  SUCCESS_SUCCESS = 0,
  MAPI_USER_ABORT = 1,
  MAPI_E_FAILURE = 2,
  MAPI_E_LOGIN_FAILURE = 3,
  MAPI_E_DISK_FULL = 4,
  MAPI_E_INSUFFICIENT_MEMORY = 5,
  MAPI_E_ACCESS_DENIED = 6,
  MAPI_E_TOO_MANY_SESSIONS = 8,
  MAPI_E_TOO_MANY_FILES = 9,
  MAPI_E_TOO_MANY_RECIPIENTS = 10,
  MAPI_E_ATTACHMENT_NOT_FOUND = 11,
  MAPI_E_ATTACHMENT_OPEN_FAILURE = 12,
  MAPI_E_ATTACHMENT_WRITE_FAILURE = 13,
  MAPI_E_UNKNOWN_RECIPIENT = 14,
  MAPI_E_BAD_RECIPTYPE = 15,
  MAPI_E_NO_MESSAGES = 16,
  MAPI_E_INVALID_MESSAGE = 17,
  MAPI_E_TEXT_TOO_LARGE = 18,
  MAPI_E_INVALID_SESSION = 19,
  MAPI_E_TYPE_NOT_SUPPORTED = 20,
  MAPI_E_AMBIGUOUS_RECIPIENT = 21,
  MAPI_E_MESSAGE_IN_USE = 22,
  MAPI_E_NETWORK_FAILURE = 23,
  MAPI_E_INVALID_EDITFIELDS = 24,
  MAPI_E_INVALID_RECIPS = 25,
  MAPI_E_NOT_SUPPORTED = 26,
};

// Call flags.
enum : FLAGS {
  MAPI_LOGON_UI = 0x1,
  MAPI_NEW_SESSION = 0x2,
  MAPI_DIALOG = 0x8,
};

// Message flags.
enum : FLAGS {
  MAPI_UNREAD = 0x1,
  MAPI_RECEIPT_REQUESTED = 0x2,
  MAPI_SENT = 0x4,
};

// Recipient classes.
enum : ULONG { MAPI_ORIG = 0, MAPI_TO = 1, MAPI_CC = 2, MAPI_BCC = 3 };

struct MapiRecipDesc {
  ULONG ulReserved = 0;
  ULONG ulRecipClass = 0;
  char* lpszName = nullptr;
  char* lpszAddress = nullptr;  // "SMTP:" in front of it is allowed
  ULONG ulEIDSize = 0;
  void* lpEntryID = nullptr;
};

struct MapiFileDesc {
  ULONG ulReserved = 0;
  ULONG flFlags = 0;
  ULONG nPosition = 0;            // ~0u: not placed in the note text
  char* lpszPathName = nullptr;   // the file to read
  char* lpszFileName = nullptr;   // the name the recipient sees; null: the path's
  void* lpFileType = nullptr;
};

struct MapiMessage {
  ULONG ulReserved = 0;
  char* lpszSubject = nullptr;
  char* lpszNoteText = nullptr;
  char* lpszMessageType = nullptr;
  char* lpszDateReceived = nullptr;
  char* lpszConversationID = nullptr;
  FLAGS flFlags = 0;
  MapiRecipDesc* lpOriginator = nullptr;
  ULONG nRecipCount = 0;
  MapiRecipDesc* lpRecips = nullptr;
  ULONG nFileCount = 0;
  MapiFileDesc* lpFiles = nullptr;
};

// Opens a session and stores its handle (never 0) in *lplhSession. Without
// MAPI_NEW_SESSION an open shared session is handed out again. Profiles and
// passwords have no meaning here and are not checked. MAPI_E_FAILURE for a
// null lplhSession; MAPI_E_TOO_MANY_SESSIONS when the table is full.
ULONG MAPILogon(ULONG_PTR ulUIParam, const char* lpszProfileName, const char* lpszPassword,
                FLAGS flFlags, ULONG ulReserved, LHANDLE* lplhSession);

// Ends a session; MAPI_E_INVALID_SESSION for a handle that is not open.
ULONG MAPILogoff(LHANDLE lhSession, ULONG_PTR ulUIParam, FLAGS flFlags, ULONG ulReserved);

// Sends the message (see above). Session 0 logs on for this call alone; any
// other handle must be open. MAPI_RECEIPT_REQUESTED asks for a read receipt
// (a Disposition-Notification-To header). Checks before anything is handed
// over: every attached file exists (MAPI_E_ATTACHMENT_NOT_FOUND) and can be
// read (MAPI_E_ATTACHMENT_OPEN_FAILURE); every recipient has a usable
// address (MAPI_E_INVALID_RECIPS) and a known class (MAPI_E_BAD_RECIPTYPE);
// without MAPI_DIALOG there is at least one recipient (MAPI_E_INVALID_RECIPS).
ULONG MAPISendMail(LHANDLE lhSession, ULONG_PTR ulUIParam, const MapiMessage* lpMessage, FLAGS flFlags,
                   ULONG ulReserved);

// The address book: the chosen recipients come back in an array that the
// caller releases with MAPIFreeBuffer. The desktop has none to show:
// MAPI_E_NOT_SUPPORTED, nothing chosen.
ULONG MAPIAddress(LHANDLE lhSession, ULONG_PTR ulUIParam, const char* lpszCaption, ULONG nEditFields,
                  const char* lpszLabels, ULONG nRecips, MapiRecipDesc* lpRecips, FLAGS flFlags,
                  ULONG ulReserved, ULONG* lpnNewRecips, MapiRecipDesc** lppNewRecips);

// Releases a buffer handed out by these calls; MAPI_E_FAILURE for a pointer
// that is not one (freed already, or never handed out).
ULONG MAPIFreeBuffer(void* pv);

// ---- providers

class Provider {
 public:
  virtual ~Provider() = default;
  virtual ULONG Logon(ULONG_PTR ulUIParam, const char* lpszProfileName, const char* lpszPassword,
                      FLAGS flFlags, ULONG ulReserved, LHANDLE* lplhSession) = 0;
  virtual ULONG Logoff(LHANDLE lhSession, ULONG_PTR ulUIParam, FLAGS flFlags, ULONG ulReserved) = 0;
  virtual ULONG SendMail(LHANDLE lhSession, ULONG_PTR ulUIParam, const MapiMessage* lpMessage,
                         FLAGS flFlags, ULONG ulReserved) = 0;
  virtual ULONG Address(LHANDLE lhSession, ULONG_PTR ulUIParam, const char* lpszCaption,
                        ULONG nEditFields, const char* lpszLabels, ULONG nRecips,
                        MapiRecipDesc* lpRecips, FLAGS flFlags, ULONG ulReserved,
                        ULONG* lpnNewRecips, MapiRecipDesc** lppNewRecips) = 0;
};

// Installs the provider behind the calls (nullptr: the desktop's). The
// caller keeps it alive while it is installed.
void SetProvider(Provider* provider);

// A buffer of `size` zero bytes that MAPIFreeBuffer releases (providers
// hand their results out in these); nullptr when memory is short.
void* AllocateBuffer(size_t size);
// Buffers handed out and not yet released.
size_t OutstandingBuffers();

}  // namespace mapi
