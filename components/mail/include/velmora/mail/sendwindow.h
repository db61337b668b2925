#pragma once
// The "Send Message" window of the mail component: a list of recipients
// edited in place, a subject, a note text and up to seven attachments shown
// on buttons; it fills a MailMessage from its controls and sends it.
#include <string>

#include "velmora/classlib/window.h"
#include "velmora/mail/mailmessage.h"
#include "velmora/runtime/queue.h"
#include "velmora/runtime/text.h"
#include "velmora/ui/desc.h"
#include "velmora/ui/queue_rows.h"

namespace mail {

// The window's controls.
enum SendMessageControl : int {
  kEmailLookupFiles = 1,
  kPrompt2 = 2,
  kPanel1 = 3,
  kAttach1 = 4,  // ?ATTACH1 ... ?ATTACH7 are 4 to 10
  kAttach7 = 10,
  kMapiToButton = 11,
  kLookupTo = 12,
  kInsert = 13,
  kChange = 14,
  kDelete = 15,
  kEmailTo = 16,
  kEmailSubjectPrompt = 17,
  kEmailSubject = 18,
  kEmailMessageText = 19,
  kEmailSend = 20,
  kExit = 21,
  kEditName = 6001,  // made at run time over the list's columns
  kEditAddress = 6002,
  kEditType = 6003,
};

// The most attachments the window shows.
inline constexpr int kMaxShownAttachments = 7;

// The window as it is described.
ui::WindowDesc SendMessageWindowDesc();

struct AttachmentRow {
  rt::String<516> EMAILATTACHMENTS;  // full path of a file
};

class SendMessageWindow : public cl::ProcedureWindow {
 public:
  SendMessageWindow(MailMessage& message, rt::Byte showDialog, rt::Byte receipt);

  int Setup() override;
  int DispatchEvent() override;
  int OnAccepted() override;
  int OnNewSelection() override;
  int OnFieldEvent() override;

  // Row edit modes.
  enum Mode { kNoEdit = 0, kInserting = 1, kChanging = 2, kDeleting = 3 };

 private:
  void ShowAttachment(const std::string& path);
  void RemoveAttachment(int button);
  void AddAttachment(const std::string& path);
  void ChooseAttachments();
  void OpenAddressBook();
  void SendMessage();
  void EditKey(int key);
  void EditFieldKey(int control, int key);
  void BeginEdit(int column);
  void CompleteRow();
  void CancelRow();
  void CloseEdit();
  void Highlight(int control);

  MailMessage& message_;
  rt::Byte showDialog_;
  rt::Byte receipt_;
  RecipientList recipients_;
  ui::QueueRows<RecipientListEntry> rows_;
  RecipientListEntry saved_;
  rt::Queue<AttachmentRow> attachments_;
  rt::Byte shown_ = 0;  // attachments shown on the buttons
  rt::String<255> subject_;
  rt::String<16384> text_;
  int mode_ = kNoEdit;
  int lastControl_ = 0;
  long savedColor_ = -1;
  bool highlighted_ = false;
};

}  // namespace mail
