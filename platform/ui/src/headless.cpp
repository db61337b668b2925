#include "velmora/ui/headless.h"

#include <thread>

#include "unlocked.h"

namespace ui {

void HeadlessBackend::AnswerMessage(int button) { std::lock_guard l(mu_); messages_.push_back(button); }
void HeadlessBackend::AnswerFile(std::vector<std::string> names) { std::lock_guard l(mu_); files_.push_back(std::move(names)); }
void HeadlessBackend::AnswerColor(std::optional<long> color) { std::lock_guard l(mu_); colors_.push_back(color); }
void HeadlessBackend::AnswerFont(std::optional<ui::Font> font) { std::lock_guard l(mu_); fonts_.push_back(std::move(font)); }
void HeadlessBackend::AnswerPrinter(std::optional<PrinterChoice> choice) {
  std::lock_guard l(mu_);
  printers_.push_back(std::move(choice));
}
void HeadlessBackend::AnswerPopup(int item) { std::lock_guard l(mu_); popups_.push_back(item); }
void HeadlessBackend::SetPrinters(std::vector<std::string> printers) {
  std::lock_guard l(mu_);
  printerNames_ = std::move(printers);
}
std::vector<std::string> HeadlessBackend::Printers() {
  std::lock_guard l(mu_);
  return printerNames_;
}

void HeadlessBackend::Reset() {
  std::lock_guard l(mu_);
  messages_.clear();
  files_.clear();
  colors_.clear();
  fonts_.clear();
  printers_.clear();
  popups_.clear();
  asked_.clear();
  arrangements_.clear();
  printerNames_ = {"Printer"};
  beeps_ = 0;
}

std::vector<HeadlessBackend::Asked> HeadlessBackend::AskedDialogs() const {
  std::lock_guard l(mu_);
  return asked_;
}

DialogBase HeadlessBackend::Metrics(const ui::Font& font) const {
  double size = font.size > 0 ? font.size : 8;
  return DialogBase{6.0 * size / 8.0, 13.0 * size / 8.0};
}

std::string HeadlessBackend::ClipboardText() const { std::lock_guard l(mu_); return clipboard_; }
void HeadlessBackend::SetClipboardText(const std::string& text) { std::lock_guard l(mu_); clipboard_ = text; }
void HeadlessBackend::Beep() { std::lock_guard l(mu_); ++beeps_; }
int HeadlessBackend::Beeps() const { std::lock_guard l(mu_); return beeps_; }
void HeadlessBackend::ArrangeChildren(StdAction action) { std::lock_guard l(mu_); arrangements_.push_back(action); }
std::vector<StdAction> HeadlessBackend::Arrangements() const { std::lock_guard l(mu_); return arrangements_; }

namespace {
template <class T>
std::optional<T> Next(std::deque<T>& answers) {
  if (answers.empty()) return std::nullopt;
  T v = std::move(answers.front());
  answers.pop_front();
  return v;
}
}  // namespace

int DefaultButton(int buttons, int defaultButton) {
  if (defaultButton && (buttons & defaultButton)) return defaultButton;
  for (int b = 1; b <= 64; b <<= 1)
    if (buttons & b) return b;
  return button::Ok;
}

int HeadlessBackend::Message(const MessageRequest& r) {
  std::lock_guard l(mu_);
  Asked a{Asked::Message, r, {}, {}, {}, {}};
  asked_.push_back(std::move(a));
  auto answer = Next(messages_);
  return answer ? *answer : DefaultButton(r.buttons, r.defaultButton);
}

std::vector<std::string> HeadlessBackend::FileDialog(const FileRequest& r) {
  std::lock_guard l(mu_);
  asked_.push_back(Asked{Asked::File, {}, r, r.title, {}, {}});
  auto answer = Next(files_);
  if (!answer) return {};
  if (!r.multiple && answer->size() > 1) answer->resize(1);
  return *answer;
}

std::optional<long> HeadlessBackend::ColorDialog(const std::string& title, long) {
  std::lock_guard l(mu_);
  asked_.push_back(Asked{Asked::Color, {}, {}, title, {}, {}});
  auto answer = Next(colors_);
  return answer ? *answer : std::nullopt;
}

std::optional<ui::Font> HeadlessBackend::FontDialog(const std::string& title, const ui::Font&) {
  std::lock_guard l(mu_);
  asked_.push_back(Asked{Asked::Font, {}, {}, title, {}, {}});
  auto answer = Next(fonts_);
  return answer ? *answer : std::nullopt;
}

std::optional<PrinterChoice> HeadlessBackend::PrinterDialog(const PrinterRequest& r) {
  std::lock_guard l(mu_);
  asked_.push_back(Asked{Asked::Printer, {}, {}, r.title, {}, r});
  auto answer = Next(printers_);
  return answer ? *answer : std::nullopt;
}

int HeadlessBackend::Popup(const PopupRequest& r) {
  std::lock_guard l(mu_);
  asked_.push_back(Asked{Asked::Popup, {}, {}, {}, r.items, {}});
  auto answer = Next(popups_);
  return answer ? *answer : 0;
}

HeadlessBackend& Headless() {
  static HeadlessBackend backend;
  return backend;
}

bool WaitUntil(const std::function<bool()>& predicate, std::chrono::milliseconds timeout) {
  detail::Unlocked unlocked;
  auto end = std::chrono::steady_clock::now() + timeout;
  while (!predicate()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

std::shared_ptr<Window> WaitForWindow(std::string_view caption, std::chrono::milliseconds timeout) {
  std::shared_ptr<Window> found;
  WaitUntil(
      [&] {
        for (auto& w : OpenWindows())
          if (w->Get(0, Prop::Text) == caption) {
            found = w;
            return true;
          }
        return false;
      },
      timeout);
  return found;
}

}  // namespace ui
