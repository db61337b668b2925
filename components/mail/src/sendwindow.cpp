// The "Send Message" window.
#include "velmora/mail/sendwindow.h"

#include <algorithm>
#include <mutex>

#include "velmora/ui/backend.h"
#include "velmora/ui/dialogs.h"
#include "velmora/ui/events.h"
#include "velmora/ui/keys.h"
#include "velmora/ui/queue_rows.h"

namespace mail {
namespace {

constexpr long kLightYellow = 255 | (255 << 8) | (128 << 16);
constexpr long kCyan = 0 | (255 << 8) | (255 << 16);
constexpr long kYellow = 255 | (255 << 8);

// The attachment buttons by their use names: the k-th button is always
// found by its own name, never by counting past the seventh.
constexpr const char* kAttachUse[kMaxShownAttachments] = {"?ATTACH1", "?ATTACH2", "?ATTACH3", "?ATTACH4",
                                                          "?ATTACH5", "?ATTACH6", "?ATTACH7"};

ui::ControlDesc Control(ui::ControlType type, std::string use, int number, int x, int y, int w, int h,
                        std::string text = {}, std::string tip = {}, std::string icon = {}) {
  ui::ControlDesc d;
  d.type = type;
  d.use = std::move(use);
  d.number = number;
  d.x = x, d.y = y, d.width = w, d.height = h;
  d.text = std::move(text);
  d.tip = std::move(tip);
  d.icon = std::move(icon);
  return d;
}

void UseOwnPictures() {
  static std::once_flag once;
  std::call_once(once, [] { ui::AddResourceFolder(VELMORA_MAIL_RESOURCES); });
}

bool Highlighted(ui::Window& w, int control) {
  switch (static_cast<ui::ControlType>(w.GetLong(control, ui::Prop::Type))) {
    case ui::ControlType::Entry: case ui::ControlType::Check: case ui::ControlType::Combo:
    case ui::ControlType::Spin: case ui::ControlType::Text: case ui::ControlType::Radio:
    case ui::ControlType::DropList: case ui::ControlType::DropCombo:
      return true;
    case ui::ControlType::List: return w.GetLong(control, ui::Prop::Drop) > 0;
    default: return false;
  }
}

const char* TypeText(int recipClass) {
  switch (recipClass) {
    case 0: return "ORIG";
    case 1: return "TO";
    case 2: return "CC";
    case 3: return "BCC";
    default: return "";
  }
}

}  // namespace

// Prompts are given the size of their text.
ui::WindowDesc SendMessageWindowDesc() {
  using ui::ControlType;
  ui::WindowDesc d;
  d.caption = "Send Message";
  d.width = 529;
  d.height = 308;
  d.font = {"MS Sans Serif", 8, 0, -1};
  d.controls.push_back(Control(ControlType::Button, "?EMAILLOOKUPFILES", kEmailLookupFiles, 18, 4, 56, 38,
                               "Attachments", "Select files to send with email.  A maxium of 7 can be sent",
                               "FILE.ICO"));
  d.controls.push_back(Control(ControlType::Prompt, "?PROMPT2", kPrompt2, 94, 6, 14, 10, "To:"));
  d.controls.push_back(Control(ControlType::Panel, "?PANEL1", kPanel1, 94, 98, 430, 2));
  const int ys[kMaxShownAttachments] = {51, 88, 125, 162, 199, 236, 272};
  for (int k = 0; k < kMaxShownAttachments; ++k) {
    ui::ControlDesc b = Control(ControlType::Button, kAttachUse[k], kAttach1 + k, 6, ys[k], 78, k < 5 ? 38 : 37,
                                "Attachment " + std::to_string(k + 1), {}, "CLIP07.ICO");
    b.hidden = true;
    b.alerts = {ui::key::MouseRight};
    d.controls.push_back(b);
  }
  d.controls.push_back(Control(ControlType::Button, "?MAPITOBUTTON", kMapiToButton, 111, 68, 65, 24, "&Address Book",
                               "Select the recipients for this message from your email system.", "TO2.ICO"));
  d.controls.push_back(Control(ControlType::Button, "?LOOKUPTO", kLookupTo, 183, 68, 59, 24, "&Contact List",
                               "Select the recipients for this message from your contacts.", "TO2.ICO"));
  d.controls.push_back(Control(ControlType::Button, "?INSERT", kInsert, 443, 68, 25, 24, {}, "Add a new Recipient",
                               "NEW1.ICO"));
  d.controls.push_back(Control(ControlType::Button, "?CHANGE", kChange, 472, 68, 25, 24, {},
                               "Edit the Highlighted Recipient", "EDIT1.ICO"));
  d.controls.push_back(Control(ControlType::Button, "?DELETE", kDelete, 501, 68, 25, 24, {},
                               "Delete the Highlighted recipient", "DELETE1.ICO"));
  ui::ControlDesc list = Control(ControlType::List, "?EMAILTO", kEmailTo, 111, 7, 414, 57);
  list.format = "135L(2)|M~Name~136L(2)|M~Address~20L(2)|M~Type~";
  list.alerts = {ui::key::Insert, ui::key::Enter, ui::key::Delete, ui::key::MouseLeft2};
  d.controls.push_back(list);
  d.controls.push_back(Control(ControlType::Prompt, "?EMAILSUBJECT:PROMPT", kEmailSubjectPrompt, 94, 104, 34, 10,
                               "&Subject:"));
  d.controls.push_back(Control(ControlType::Entry, "?EMAILSUBJECT", kEmailSubject, 130, 104, 392, 10, {},
                               "The subject of the email"));
  d.controls.push_back(Control(ControlType::Text, "?EMAILMESSAGETEXT", kEmailMessageText, 94, 119, 428, 161, {},
                               "The email message text"));
  d.controls.push_back(Control(ControlType::Button, "?EMAILSEND", kEmailSend, 420, 285, 50, 18, "   &Send",
                               "Send email now", "SEND2.ICO"));
  d.controls.push_back(Control(ControlType::Button, "?EXIT", kExit, 474, 285, 50, 18, "&Close", "Close this window",
                               "exit5.ico"));
  return d;
}

SendMessageWindow::SendMessageWindow(MailMessage& message, rt::Byte showDialog, rt::Byte receipt)
    : ProcedureWindow("SendMessage"),
      message_(message),
      showDialog_(showDialog),
      receipt_(receipt),
      rows_(recipients_, &RecipientListEntry::NAME, &RecipientListEntry::ADDR, &RecipientListEntry::TYPE) {}

int SendMessageWindow::Setup() {
  UseOwnPictures();
  ProcedureWindow::Setup();
  Load(SendMessageWindowDesc());
  ui::Window& w = Win();
  w.SetRows(kEmailTo, &rows_);
  w.Bind(kEmailSubject, ui::UseVar::Of(subject_));
  w.Bind(kEmailMessageText, ui::UseVar::Of(text_));
  Open();

  // 1. subject and note text of the object
  subject_ = message_.SUBJECT ? *message_.SUBJECT : std::string();
  text_ = message_.MESSAGETEXT ? *message_.MESSAGETEXT : std::string();
  // 2. its attachments
  if (message_.ATTACHMENTS)
    for (long i = 1; i <= message_.ATTACHMENTS->Count(); ++i) {
      const AttachmentEntry& e = message_.ATTACHMENTS->At(i);
      if (e.FILENAME) AddAttachment(*e.FILENAME);
    }
  // 3. its recipients
  if (message_.RECIPIENTS)
    for (long i = 1; i <= message_.RECIPIENTS->Count(); ++i) {
      const RecipientEntry& e = message_.RECIPIENTS->At(i);
      recipients_->NAME = e.NAME ? *e.NAME : std::string();
      recipients_->ADDR = e.ADDR ? *e.ADDR : std::string();
      recipients_->TYPE = TypeText(e.TYPE);
      recipients_.Add();
    }
  // 4. the edit controls over the list's columns
  const std::string font = w.Get(kEmailTo, ui::Prop::FontName);
  const long size = w.GetLong(kEmailTo, ui::Prop::FontSize);
  const int edits[] = {kEditName, kEditAddress, kEditType};
  w.CreateControl(ui::ControlType::Entry, kEditName);
  w.CreateControl(ui::ControlType::Entry, kEditAddress);
  w.CreateControl(ui::ControlType::DropList, kEditType);
  w.Set(kEditName, ui::Prop::Picture, "@s100");
  w.Set(kEditAddress, ui::Prop::Picture, "@s100");
  w.Set(kEditType, ui::Prop::From, "TO|CC|BCC");
  w.Set(kEditType, ui::Prop::Format, "20L@s10@");
  w.Set(kEditType, ui::Prop::Drop, 5L);
  w.Bind(kEditName, ui::UseVar::Of(recipients_->NAME));
  w.Bind(kEditAddress, ui::UseVar::Of(recipients_->ADDR));
  w.Bind(kEditType, ui::UseVar::Of(recipients_->TYPE));
  for (int e : edits) {
    if (!font.empty()) w.Set(e, ui::Prop::FontName, font);
    if (size > 0) w.Set(e, ui::Prop::FontSize, size);
    for (int k : {ui::key::Enter, ui::key::Tab, ui::key::Esc, ui::key::Ctrl | ui::key::Enter,
                  ui::key::Shift | ui::key::Tab})
      w.Alert(e, k);
  }
  w.Alert(0, ui::key::Esc);
  w.Display();
  return cl::kBenign;
}

// ---- highlighting: the control an event concerns shows a light background

void SendMessageWindow::Highlight(int control) {
  ui::Window& w = Win();
  if (control == lastControl_) return;
  if (highlighted_ && w.Exists(lastControl_)) w.Set(lastControl_, ui::Prop::Color, savedColor_);
  highlighted_ = false;
  lastControl_ = control;
  if (!Highlighted(w, control)) return;
  savedColor_ = w.GetLong(control, ui::Prop::Color);
  if (w.Get(control, ui::Prop::Color).empty()) savedColor_ = -1;
  w.Set(control, ui::Prop::Color, w.GetLong(0, ui::Prop::Color) == kYellow ? kCyan : kLightYellow);
  highlighted_ = true;
}

int SendMessageWindow::DispatchEvent() {
  ui::Window& w = Win();
  if (ui::IsFieldEvent(w.EventNo()) && w.Field() != 0) Highlight(w.Field());
  return ProcedureWindow::DispatchEvent();
}

// ---- buttons

int SendMessageWindow::OnAccepted() {
  ui::Window& w = Win();
  const int control = w.Field();
  switch (control) {
    case kMapiToButton: OpenAddressBook(); break;
    case kLookupTo:
      message_.ContactList("Test Address Book", recipients_);
      w.Display(kEmailTo);
      w.Select(kEmailTo);
      break;
    case kInsert: w.Post(ui::ev::AlertKey, kEmailTo, ui::key::Insert); break;
    case kChange: w.Post(ui::ev::AlertKey, kEmailTo, ui::key::Enter); break;
    case kDelete:
      w.Post(ui::ev::AlertKey, kEmailTo, ui::key::Delete);
      w.Select(kEmailTo);
      break;
    case kEmailLookupFiles: ChooseAttachments(); break;
    case kEmailSend: SendMessage(); break;
    case kExit: w.Post(ui::ev::CloseWindow); break;
    default:
      if (control >= kAttach1 && control <= kAttach7) w.Select(kEmailMessageText);
      break;
  }
  return cl::kBenign;
}

void SendMessageWindow::OpenAddressBook() {
  ui::Window& w = Win();
  const ULONG result = message_.AddressBook("Test Address Book", recipients_);
  if (result != mapi::SUCCESS_SUCCESS && result != mapi::MAPI_USER_ABORT)
    ui::Message(message_.MapiErrorText(result), "Error", ui::icon::None, ui::button::Ok);
  w.Display(kEmailTo);
  w.Select(kEmailTo);
}

// ---- attachments

void SendMessageWindow::AddAttachment(const std::string& path) {
  attachments_->EMAILATTACHMENTS = path;
  attachments_.Add();
  ShowAttachment(path);
}

void SendMessageWindow::ShowAttachment(const std::string& path) {
  if (shown_ >= kMaxShownAttachments) return;
  ui::Window& w = Win();
  const int button = w.Number(kAttachUse[shown_]);
  ++shown_;
  const std::string lower = rt::Lower(rt::Clip(path));
  std::string text = lower;
  if (lower.size() >= 16) {
    const size_t sep = lower.find_last_of("\\/");
    text = sep == std::string::npos ? lower : lower.substr(sep + 1);
    if (text.size() > 16) text = text.substr(0, 17) + "...";
  }
  w.Set(button, ui::Prop::Tip, lower);
  w.Set(button, ui::Prop::Text, text);
  w.Unhide(button);
}

void SendMessageWindow::RemoveAttachment(int k) {
  ui::Window& w = Win();
  if (k < 1 || k > shown_) return;
  attachments_.Get(k);
  if (rt::ErrorCode() == 0) attachments_.Delete();
  for (int j = k; j < shown_; ++j) {
    const int to = w.Number(kAttachUse[j - 1]), from = w.Number(kAttachUse[j]);
    w.Set(to, ui::Prop::Text, w.Get(from, ui::Prop::Text));
    w.Set(to, ui::Prop::Tip, w.Get(from, ui::Prop::Tip));
  }
  w.Hide(w.Number(kAttachUse[shown_ - 1]));
  --shown_;
  w.Select(kEmailMessageText);
}

void SendMessageWindow::ChooseAttachments() {
  ui::Window& w = Win();
  if (attachments_.Count() >= kMaxShownAttachments) {
    ui::Message("Unable to attach any more files at this time the max of 7 has been reached.", "Note..",
                ui::icon::Information, ui::button::Ok);
    w.Select(kEmailMessageText);
    return;
  }
  ui::FileRequest request;
  request.title = "Choose File to Attach";
  request.masks = ui::ParseFileMasks("All|*.*|Text|*.txt|Zip|*.zip");
  request.multiple = true;
  // Every chosen name is taken whole, however long the selection is.
  const std::vector<std::string> names = ui::FileDialog(request);
  for (const std::string& name : names) {
    if (attachments_.Count() >= kMaxShownAttachments) {
      ui::Message("Unable to attach any more files at this time.  The max of 7 has been reached.", "Note..",
                  ui::icon::Information, ui::button::Ok);
      break;
    }
    AddAttachment(name);
  }
  w.Select(kEmailMessageText);
}

// ---- sending

void SendMessageWindow::SendMessage() {
  ui::Window& w = Win();
  if (recipients_.Count() == 0) return;
  w.Update();
  message_.Reset();
  message_.SetSubject(subject_.View());
  message_.SetMessageText(text_.View());
  for (long i = 1; i <= attachments_.Count(); ++i) message_.AddAttachment(attachments_.At(i).EMAILATTACHMENTS.View());
  for (long i = 1; i <= recipients_.Count(); ++i) {
    const RecipientListEntry& r = recipients_.At(i);
    const std::string type = rt::Clip(r.TYPE.View());
    if (type == "TO") message_.AddTo(r.NAME.View(), r.ADDR.View());
    else if (type == "CC") message_.AddCc(r.NAME.View(), r.ADDR.View());
    else if (type == "BCC") message_.AddBcc(r.NAME.View(), r.ADDR.View());
  }
  const ULONG result = message_.Send(showDialog_, receipt_);
  if (result != mapi::SUCCESS_SUCCESS && result != mapi::MAPI_USER_ABORT) {
    // The composed message stays as the user left it.
    std::string text = "Send Mail Error: " + message_.MapiErrorText(result);
    // a failure of the hand-over itself: no mail program took the message
    if (result == mapi::MAPI_E_FAILURE)
      text += "||No mail program took the message. Install a mail program and make it the desktop's program for "
              "e-mail, or set up this computer's sendmail to send mail.";
    ui::Message(text, "Error", ui::icon::None, ui::button::Ok);
    return;
  }
  attachments_.Free();
  recipients_.Free();
  w.Post(ui::ev::CloseWindow);
}

// ---- the recipient list edited in place

int SendMessageWindow::OnNewSelection() {
  if (Win().Field() == kEmailTo && (mode_ == kInserting || mode_ == kChanging)) CompleteRow();
  return cl::kBenign;
}

int SendMessageWindow::OnFieldEvent() {
  ui::Window& w = Win();
  if (w.EventNo() != ui::ev::AlertKey) return cl::kBenign;
  const int control = w.Field(), key = w.Keycode();
  if (control == kEditName || control == kEditAddress || control == kEditType) {
    EditFieldKey(control, key);
  } else if (key == ui::key::Esc) {
    if (mode_ != kNoEdit) CancelRow();
    else w.Post(ui::ev::CloseWindow);
  } else if (control == kEmailTo) {
    EditKey(key);
  } else if (control >= kAttach1 && control <= kAttach7 && key == ui::key::MouseRight) {
    if (ui::Popup("Remove this attachment|Close Popup") == 1) {
      for (int k = 1; k <= kMaxShownAttachments; ++k)
        if (w.Number(kAttachUse[k - 1]) == control) RemoveAttachment(k);
    }
  }
  return cl::kBenign;
}

void SendMessageWindow::EditKey(int key) {
  ui::Window& w = Win();
  const long selected = std::clamp(w.GetLong(kEmailTo, ui::Prop::Selected), 0L, recipients_.Count());
  if (mode_ != kNoEdit) return;
  if (key == ui::key::Enter || key == ui::key::MouseLeft2) {
    if (recipients_.Count() == 0) return;
    mode_ = kChanging;
    recipients_.Get(selected > 0 ? selected : 1);
  } else if (key == ui::key::Insert) {
    mode_ = kInserting;
    recipients_.ClearBuffer();
    recipients_->TYPE = "TO";
    recipients_.AddAt(selected > 0 ? selected + 1 : recipients_.Count() + 1);
  } else if (key == ui::key::Delete) {
    if (recipients_.Count() == 0) return;
    recipients_.Get(selected > 0 ? selected : 1);
    recipients_.Delete();
    w.Display(kEmailTo);
    w.Set(kEmailTo, ui::Prop::Selected, std::min(std::max(selected, 1L), recipients_.Count()));
    return;
  } else {
    return;
  }
  saved_ = recipients_.Buffer();
  w.Display(kEmailTo);
  w.Set(kEmailTo, ui::Prop::Selected, recipients_.Position());
  BeginEdit(1);
}

void SendMessageWindow::BeginEdit(int column) {
  ui::Window& w = Win();
  // The edit controls lie over the row's cells: columns of 135, 136 and
  // the rest of the list's width, rows 10 units high under the heading.
  const ui::Window::Rect list = w.Position(kEmailTo);
  const long row = std::max(1L, recipients_.Position());
  const long y = list.y + 10 + (row - 1) * 10;
  w.SetPosition(kEditName, list.x, y, 135, 10);
  w.SetPosition(kEditAddress, list.x + 135, y, 136, 10);
  w.SetPosition(kEditType, list.x + 271, y, list.width - 271, 10);
  for (int e : {kEditName, kEditAddress, kEditType}) {
    w.Display(e);
    w.Unhide(e);
  }
  w.Select(column == 1 ? kEditName : column == 2 ? kEditAddress : kEditType);
}

void SendMessageWindow::EditFieldKey(int control, int key) {
  ui::Window& w = Win();
  if (mode_ != kInserting && mode_ != kChanging) return;
  w.Update(control);
  const bool forward = key == ui::key::Enter || key == ui::key::Tab;
  const bool back = key == (ui::key::Shift | ui::key::Tab);
  if (key == ui::key::Esc) return CancelRow();
  if (key == (ui::key::Ctrl | ui::key::Enter)) {
    w.Update();
    if (rt::Clip(recipients_->ADDR.View()).empty()) {
      ui::CurrentBackend().Beep();
      return;
    }
    if (rt::Clip(recipients_->NAME.View()).empty()) recipients_->NAME = recipients_->ADDR.View();
    return CompleteRow();
  }
  if (control == kEditName) {
    if (forward) w.Select(kEditAddress);
    else if (back) w.Select(kEditType);
  } else if (control == kEditAddress) {
    if (back) return w.Select(kEditName);
    if (!forward) return;
    if (rt::Clip(recipients_->ADDR.View()).empty()) {
      ui::CurrentBackend().Beep();
      return;
    }
    if (rt::Clip(recipients_->NAME.View()).empty()) {
      recipients_->NAME = recipients_->ADDR.View();
      w.Display(kEditName);
    }
    w.Select(kEditType);
  } else if (control == kEditType) {
    if (back) return w.Select(kEditAddress);
    if (rt::Clip(recipients_->TYPE.View()).empty()) {
      ui::CurrentBackend().Beep();
      return;
    }
    CompleteRow();
  }
}

void SendMessageWindow::CompleteRow() {
  ui::Window& w = Win();
  w.Update(kEditName);
  w.Update(kEditAddress);
  w.Update(kEditType);
  if (mode_ == kInserting && rt::Clip(recipients_->NAME.View()).empty()) recipients_.Delete();
  else recipients_.Put();
  CloseEdit();
}

void SendMessageWindow::CancelRow() {
  if (mode_ == kChanging) {
    recipients_.Buffer() = saved_;
    recipients_.Put();
  } else if (mode_ == kInserting) {
    recipients_.Delete();
  }
  CloseEdit();
}

void SendMessageWindow::CloseEdit() {
  ui::Window& w = Win();
  for (int e : {kEditName, kEditAddress, kEditType}) w.Hide(e);
  mode_ = kNoEdit;
  w.Display(kEmailTo);
  w.Select(kEmailTo);
}

void MailMessage::SendWindow(rt::Byte showDialog, rt::Byte receipt) {
  SendMessageWindow window(*this, showDialog, receipt);
  window.RunWindow();
}

}  // namespace mail
