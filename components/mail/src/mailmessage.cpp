// The mail message class: filling the message and handing it to Simple MAPI.
#include "velmora/mail/mailmessage.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "velmora/runtime/paths.h"
#include "velmora/runtime/system.h"
#include "velmora/runtime/threads.h"
#include "velmora/win/version.h"

namespace mail {
namespace {

TextRef NewText(std::string_view text) { return std::make_shared<std::string>(text); }

// A NUL-terminated copy of at most `max` characters, as the fixed buffers
// of the MAPI calls hold them.
std::string Buffer(std::string_view text, size_t max) {
  std::string s(text.substr(0, std::min(text.size(), max)));
  if (size_t nul = s.find('\0'); nul != std::string::npos) s.resize(nul);
  return s;
}

char* Chars(const TextRef& text) { return text ? text->data() : nullptr; }

}  // namespace

MailMessage::~MailMessage() { MailMessage::Destroy(); }

mapi::ULONG_PTR MailMessage::UiParam() const {
  if (TARGETHANDLE != 0) return TARGETHANDLE;
  return reinterpret_cast<mapi::ULONG_PTR>(win::GetDesktopWindow());
}

void MailMessage::Create(std::optional<uint32_t> window) {
  if (window) TARGETHANDLE = *window;
  Reset();
}

void MailMessage::Destroy() {
  if (RECIPIENTS && ATTACHMENTS) ClearQueues();
  FROM.reset();
  SUBJECT.reset();
  RECIPIENTS.reset();
  TONAME.reset();
  USERNAME.reset();
  USERPASSWORD.reset();
  MESSAGETEXT.reset();
  ATTACHMENTS.reset();
}

void MailMessage::Reset() {
  Destroy();
  FROM = std::make_unique<rt::Queue<RecipientEntry>>();
  SUBJECT.reset();
  RECIPIENTS = std::make_unique<rt::Queue<RecipientEntry>>();
  TONAME.reset();
  USERNAME = NewText(std::string(200, '\0'));
  USERPASSWORD = NewText(std::string(200, '\0'));
  MESSAGETEXT.reset();
  ATTACHMENTS = std::make_unique<rt::Queue<AttachmentEntry>>();
}

void MailMessage::AddRecipient(std::string_view name, std::string_view address, rt::Byte type) {
  if (!RECIPIENTS) return;
  const std::string addr = rt::Clip(address.substr(0, std::min<size_t>(address.size(), 200)));
  const std::string clippedName = rt::Clip(name);
  RecipientEntry& e = RECIPIENTS->Buffer();
  e.NAME = NewText(clippedName.empty() ? addr : clippedName);
  e.ADDR = NewText(addr);
  e.TYPE = type;
  RECIPIENTS->Add();
}

void MailMessage::AddTo(std::string_view name, std::string_view address) { AddRecipient(name, address, mapi::MAPI_TO); }
void MailMessage::AddCc(std::string_view name, std::string_view address) { AddRecipient(name, address, mapi::MAPI_CC); }
void MailMessage::AddBcc(std::string_view name, std::string_view address) { AddRecipient(name, address, mapi::MAPI_BCC); }

void MailMessage::SetSubject(std::string_view text) { SUBJECT = NewText(rt::Clip(text)); }
void MailMessage::SetMessageText(std::string_view text) { MESSAGETEXT = NewText(rt::Clip(text)); }

void MailMessage::AddAttachment(std::string_view fileName) {
  // Host paths have no short form: the long form is the name itself.
  const std::string path = rt::Clip(fileName.substr(0, std::min<size_t>(fileName.size(), 516)));
  std::error_code ec;
  if (path.empty() || !std::filesystem::exists(rt::HostPath(path), ec)) {
    rt::Message("MS-Mail: Email attachment file " + rt::ShownPath(path) + " not found!", "Error", rt::kIconNone,
                rt::kButtonOk);
    return;
  }
  const size_t folderEnd = path.find_last_of("\\/");
  std::string shortName = folderEnd == std::string::npos ? path : path.substr(folderEnd + 1);
  shortName.resize(std::min<size_t>(shortName.size(), 256));
  if (!ATTACHMENTS) return;
  AttachmentEntry& e = ATTACHMENTS->Buffer();
  e.FILENAME = NewText(path);
  e.FILESHORTNAME = NewText(rt::Clip(shortName));
  e.FILETYPE = 0;
  e.FILECOPYNAME.reset();
  ATTACHMENTS->Add();
}

void MailMessage::ClearQueues() {
  ClearToRecipients();
  ClearCcRecipients();
  ClearBccRecipients();
  ClearAttachments();
}

void MailMessage::ClearRecipients(rt::Byte type) {
  if (!RECIPIENTS) return;
  for (long i = RECIPIENTS->Count(); i >= 1; --i) {
    RECIPIENTS->Get(i);
    if (RECIPIENTS->Buffer().TYPE != type) continue;
    RECIPIENTS->Buffer().NAME.reset();
    RECIPIENTS->Buffer().ADDR.reset();
    RECIPIENTS->Delete();
  }
  RECIPIENTS->ClearBuffer();
}

void MailMessage::ClearToRecipients() { ClearRecipients(mapi::MAPI_TO); }
void MailMessage::ClearCcRecipients() { ClearRecipients(mapi::MAPI_CC); }
void MailMessage::ClearBccRecipients() { ClearRecipients(mapi::MAPI_BCC); }

void MailMessage::ClearAttachments() {
  if (!ATTACHMENTS) return;
  ATTACHMENTS->Free();
  ATTACHMENTS->ClearBuffer();
}

ULONG MailMessage::Logon(std::string_view profile, std::string_view password) {
  const std::string p = Buffer(profile, 100), w = Buffer(password, 100);
  mapi::LHANDLE session = 0;
  ULONG result = mapi::MAPILogon(UiParam(), p.c_str(), w.c_str(), mapi::MAPI_LOGON_UI | mapi::MAPI_NEW_SESSION, 0,
                                 &session);
  SESSIONHANDLE = result == mapi::SUCCESS_SUCCESS ? static_cast<uint32_t>(session) : 0;
  return result;
}

ULONG MailMessage::Logoff() { return mapi::MAPILogoff(SESSIONHANDLE, UiParam(), 0, 0); }

void MailMessage::FillRecipDesc(mapi::MapiRecipDesc& d, int source) {
  const RecipientEntry& e = source == 0 ? FROM->Buffer() : RECIPIENTS->Buffer();
  d.ulReserved = 0;
  d.ulRecipClass = e.TYPE;
  d.lpszName = Chars(e.NAME);
  d.lpszAddress = Chars(e.ADDR);
  d.ulEIDSize = 0;
  d.lpEntryID = nullptr;
}

void MailMessage::FillFileDesc(mapi::MapiFileDesc& d) {
  const AttachmentEntry& e = ATTACHMENTS->Buffer();
  d.ulReserved = 0;
  d.flFlags = 0;
  d.nPosition = ~0u;  // -1: not placed in the note text
  d.lpszPathName = Chars(e.FILENAME);
  d.lpszFileName = Chars(e.FILESHORTNAME);
  d.lpFileType = nullptr;  // FILETYPE 0: no type
}

ULONG MailMessage::Send(rt::Byte showDialog, rt::Byte receipt) {
  // Without its queues there is no message to send.
  if (!FROM || !RECIPIENTS || !ATTACHMENTS) return mapi::MAPI_E_FAILURE;

  mapi::MapiRecipDesc originator{};
  mapi::MapiMessage message{};
  if (FROM->Count() > 0) {
    FROM->Get(1);
    FillRecipDesc(originator, 0);
    message.lpOriginator = &originator;
  }
  std::vector<mapi::MapiRecipDesc> recips(kMaxRecipients);
  ULONG recipCount = 0;
  for (long i = 1; i <= RECIPIENTS->Count() && recipCount < kMaxRecipients; ++i) {
    RECIPIENTS->Get(i);
    FillRecipDesc(recips[recipCount++], 1);
  }
  std::vector<mapi::MapiFileDesc> files(kMaxFiles);
  ULONG fileCount = 0;
  for (long i = 1; i <= ATTACHMENTS->Count() && fileCount < kMaxFiles; ++i) {
    ATTACHMENTS->Get(i);
    FillFileDesc(files[fileCount++]);
  }
  message.lpszSubject = Chars(SUBJECT);
  message.lpszNoteText = Chars(MESSAGETEXT);
  message.flFlags = receipt == 1 ? mapi::FLAGS{mapi::MAPI_RECEIPT_REQUESTED} : 0u;
  message.nRecipCount = recipCount;
  message.lpRecips = recips.data();
  message.nFileCount = fileCount;
  message.lpFiles = files.data();
  const mapi::FLAGS flags = mapi::MAPI_LOGON_UI | (showDialog != 0 ? mapi::FLAGS{mapi::MAPI_DIALOG} : 0u);

  struct {
    win::OSVERSIONINFOA info;
    uint8_t extended[8] = {};  // the extended structure's further fields
  } version;
  version.info.dwOSVersionInfoSize = 156;
  mapi::ULONG_PTR ui = UiParam();
  if (win::GetVersionExA(&version.info) && version.info.dwMajorVersion == 4 && version.info.dwMinorVersion == 10)
    ui = 0;

  // The hand-over blocks until the user is done with the mail system.
  const bool held = rt::HoldsThreadLock();
  if (held) rt::UnlockThread();
  ULONG result = mapi::MAPISendMail(0, ui, &message, flags, 0);
  if (held) rt::LockThread();
  if (result == mapi::SUCCESS_SUCCESS) AfterSend();
  return result;
}

ULONG MailMessage::AddressBook(std::string_view caption, RecipientList& list) {
  const std::string title = Buffer(caption, 100);
  ULONG count = 0;
  mapi::MapiRecipDesc* chosen = nullptr;
  ULONG result = mapi::MAPIAddress(SESSIONHANDLE, UiParam(), title.c_str(), 4, "", 0, nullptr, mapi::MAPI_LOGON_UI,
                                   0, &count, &chosen);
  // The chosen recipients' buffer is released on every path.
  struct Release {
    mapi::MapiRecipDesc*& p;
    ~Release() {
      if (p) mapi::MAPIFreeBuffer(p);
    }
  } release{chosen};
  if (result != mapi::SUCCESS_SUCCESS) return result;
  if (count == 0 || !chosen) return mapi::SUCCESS_SUCCESS;

  static constexpr const char* kTypes[] = {"ORIG", "TO", "CC", "BCC"};
  std::string type;
  for (ULONG i = 0; i < count; ++i) {
    const mapi::MapiRecipDesc& d = chosen[i];
    if (d.ulRecipClass <= mapi::MAPI_BCC) type = kTypes[d.ulRecipClass];
    RecipientListEntry& e = list.Buffer();
    e.NAME = rt::Clip(d.lpszName ? d.lpszName : "");
    e.ADDR = rt::Clip(d.lpszAddress ? d.lpszAddress : "");
    e.TYPE = type;
    const RecipientListEntry wanted = e;
    list.GetByKey(&RecipientListEntry::NAME, &RecipientListEntry::ADDR, &RecipientListEntry::TYPE);
    if (rt::ErrorCode() == 0) continue;
    list.Buffer() = wanted;
    list.Add();
  }
  return mapi::SUCCESS_SUCCESS;
}

void MailMessage::ContactList(std::string_view, RecipientList&) {}

std::string MailMessage::MapiErrorText(ULONG code) {
  static constexpr const char* kTexts[] = {
      "",                                   // 0
      "MS-Mail: User Abort",                // 1
      "MS-Mail: Failure",                   // 2
      "MS-Mail: Login Failure",             // 3
      "MS-Mail: Disk Full",                 // 4
      "MS-Mail: Insufficient Memory",       // 5
      "MS-Mail: Access Denied",             // 6
      nullptr,                              // 7
      "MS-Mail: Too Many MAPI Sessions",    // 8
      "MS-Mail: Too Many Files",            // 9
      "MS-Mail: Too Many Recipients",       // 10
      "MS-Mail: Attachment Not Found",      // 11
      "MS-Mail: Attachment Open Failure",   // 12
      "MS-Mail: Attachment Write Failure",  // 13
      "MS-Mail: Unknown Recipient",         // 14
      "MS-Mail: Bad Recipient",             // 15
      "MS-Mail: No Messages",               // 16
      "MS-Mail: Invalid Message",           // 17
      "MS-Mail: Text Too Large",            // 18
      "MS-Mail: Invalid Session",           // 19
      "MS-Mail: Type Not Supported",        // 20
      "MS-Mail: Ambig Recipient",           // 21
      "MS-Mail: Message In Use",            // 22
      "MS-Mail: Network Failure",           // 23
      "MS-Mail: Invalid Editfields",        // 24
      "MS-Mail: Invalid Recipients",        // 25
      "MS-Mail: Feature Not Supported",     // 26
  };
  std::string text;
  if (code < std::size(kTexts) && kTexts[code]) text = kTexts[code];
  else text = "MS-Mail: Unknown MAPI error " + std::to_string(code);
  text.resize(std::min<size_t>(text.size(), 255));
  return text;
}

void MailMessage::AfterSend() {}

}  // namespace mail
