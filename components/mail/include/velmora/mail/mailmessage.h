#pragma once
// MailMessage: one outgoing message (originator, recipients of class To, Cc
// and Bcc, subject, note text, attached files) handed to the user's mail
// system through Simple MAPI.
//
// The class's operations sit in an ordered table of virtual slots (the
// declaration order below: Create 0 ... AfterSend 9); a window derives from
// the class and overrides single slots, and the class always calls its own
// operations through the table. The object owns every text and queue it
// references and frees them in Destroy.
//
// Texts are the runtime's Windows-1252 bytes. A text reference is a shared
// heap text, null when there is none; the MAPI descriptors of a send point
// straight into these texts.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "velmora/mapi/mapi.h"
#include "velmora/runtime/queue.h"
#include "velmora/runtime/text.h"
#include "velmora/runtime/types.h"

namespace mail {

using mapi::ULONG;
using TextRef = std::shared_ptr<std::string>;

// Entries of FROM and RECIPIENTS.
struct RecipientEntry {
  TextRef NAME;   // display name
  TextRef ADDR;   // address
  rt::Byte TYPE = 0;  // 0 originator, 1 To, 2 Cc, 3 Bcc
};

// Entries of ATTACHMENTS.
struct AttachmentEntry {
  TextRef FILENAME;       // full path
  TextRef FILESHORTNAME;  // name with extension, without folder
  rt::Byte FILETYPE = 0;
  TextRef FILECOPYNAME;   // never set
};

// The recipient list of the address book and the "Send Message" window.
struct RecipientListEntry {
  rt::CString<101> NAME;
  rt::CString<101> ADDR;
  rt::CString<11> TYPE;  // "ORIG", "TO", "CC" or "BCC"
};
using RecipientList = rt::Queue<RecipientListEntry>;

// The most recipients and attached files one send passes on.
inline constexpr int kMaxRecipients = 50;
inline constexpr int kMaxFiles = 10;

class MailMessage {
 public:
  MailMessage() = default;
  virtual ~MailMessage();
  MailMessage(const MailMessage&) = delete;
  MailMessage& operator=(const MailMessage&) = delete;

  // ---- the slots, in order
  // 0: keeps the window handle when one is given, then Reset.
  virtual void Create(std::optional<uint32_t> window = std::nullopt);
  // 1: frees every queue and text; harmless when called again.
  virtual void Destroy();
  // 2: MAPILogon with a new session; SESSIONHANDLE is 0 after a failure.
  virtual ULONG Logon(std::string_view profile, std::string_view password);
  // 3: MAPILogoff of SESSIONHANDLE, which keeps its value.
  virtual ULONG Logoff();
  // 4: hands the message to the mail system (with the mail system's own
  // compose window when showDialog is not 0; receipt 1 asks for a read
  // receipt). The runtime lock is released for the hand-over. AfterSend
  // runs after a success. MAPI_E_FAILURE when the queues do not exist.
  virtual ULONG Send(rt::Byte showDialog, rt::Byte receipt);
  // 5: the mail system's address book; the recipients chosen there are
  // added to `list` (each one once).
  virtual ULONG AddressBook(std::string_view caption, RecipientList& list);
  // 6: a hook for a derived class; does nothing.
  virtual void ContactList(std::string_view caption, RecipientList& list);
  // 7: the user's text for a MAPI result code.
  virtual std::string MapiErrorText(ULONG code);
  // 8: runs the "Send Message" window on this object.
  virtual void SendWindow(rt::Byte showDialog, rt::Byte receipt);
  // 9: a hook called after a successful send; does nothing.
  virtual void AfterSend();

  // ---- operations that are not slots
  // Destroy, then new empty queues and texts.
  void Reset();
  void AddTo(std::string_view name, std::string_view address);
  void AddCc(std::string_view name, std::string_view address);
  void AddBcc(std::string_view name, std::string_view address);
  void SetSubject(std::string_view text);
  void SetMessageText(std::string_view text);
  // Adds the file when it exists; otherwise says so in a message box.
  void AddAttachment(std::string_view fileName);
  void ClearQueues();
  void ClearToRecipients();
  void ClearCcRecipients();
  void ClearBccRecipients();
  void ClearAttachments();
  // Fill one descriptor from the current entry of FROM (source 0) or
  // RECIPIENTS (source 1), or of ATTACHMENTS.
  void FillRecipDesc(mapi::MapiRecipDesc& descriptor, int source);
  void FillFileDesc(mapi::MapiFileDesc& descriptor);

  // ---- members, in their declared order
  uint32_t SESSIONHANDLE = 0;
  std::unique_ptr<rt::Queue<RecipientEntry>> FROM;
  TextRef SUBJECT;
  std::unique_ptr<rt::Queue<RecipientEntry>> RECIPIENTS;
  TextRef TONAME;
  TextRef USERNAME;
  TextRef USERPASSWORD;
  TextRef MESSAGETEXT;
  rt::Byte MESSAGETYPE = 0;
  std::unique_ptr<rt::Queue<AttachmentEntry>> ATTACHMENTS;
  uint32_t TARGETHANDLE = 0;

 private:
  // TARGETHANDLE, or the desktop's handle when it is 0.
  mapi::ULONG_PTR UiParam() const;
  void AddRecipient(std::string_view name, std::string_view address, rt::Byte type);
  void ClearRecipients(rt::Byte type);
};

}  // namespace mail
