#pragma once
// The headless backend: the model alone, at 96 dots per inch. Dialogs
// answer from a script that tests fill; what was asked is recorded.
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "velmora/ui/backend.h"
#include "velmora/ui/window.h"

namespace ui {

class HeadlessBackend : public Backend {
 public:
  // One asked dialog.
  struct Asked {
    enum Kind { Message, File, Color, Font, Printer, Popup } kind;
    MessageRequest message;      // Message
    FileRequest file;            // File
    std::string title;           // Color, Font, Printer
    std::vector<PopupItem> popup;  // Popup
    PrinterRequest printer;        // Printer
  };

  // Answers, used in order per kind. Without one: a message box returns
  // its default button; every other dialog is cancelled.
  void AnswerMessage(int button);
  void AnswerFile(std::vector<std::string> names);  // empty: cancelled
  void AnswerColor(std::optional<long> color);
  void AnswerFont(std::optional<ui::Font> font);
  void AnswerPrinter(std::optional<PrinterChoice> choice);
  void AnswerPopup(int item);
  // The printers the desktop has ("Printer" alone until set; Reset puts
  // that back).
  void SetPrinters(std::vector<std::string> printers);
  // Forgets unused answers and the record of what was asked.
  void Reset();
  std::vector<Asked> AskedDialogs() const;

  int DpiX() const override { return 96; }
  int DpiY() const override { return 96; }
  // Average character 6 by 13 pixels at 8 points, in proportion to the size.
  DialogBase Metrics(const ui::Font& font) const override;
  std::string ClipboardText() const override;
  void SetClipboardText(const std::string& text) override;
  void Beep() override;
  int Beeps() const;
  void ArrangeChildren(StdAction action) override;
  std::vector<StdAction> Arrangements() const;

  int Message(const MessageRequest&) override;
  std::vector<std::string> FileDialog(const FileRequest&) override;
  std::optional<long> ColorDialog(const std::string& title, long initial) override;
  std::optional<ui::Font> FontDialog(const std::string& title, const ui::Font& initial) override;
  std::optional<PrinterChoice> PrinterDialog(const PrinterRequest&) override;
  std::vector<std::string> Printers() override;
  int Popup(const PopupRequest&) override;

 private:
  std::vector<std::string> printerNames_{"Printer"};
  mutable std::mutex mu_;
  std::deque<int> messages_;
  std::deque<std::vector<std::string>> files_;
  std::deque<std::optional<long>> colors_;
  std::deque<std::optional<ui::Font>> fonts_;
  std::deque<std::optional<PrinterChoice>> printers_;
  std::deque<int> popups_;
  std::vector<Asked> asked_;
  std::string clipboard_;
  int beeps_ = 0;
  std::vector<StdAction> arrangements_;
};

// The built-in headless backend (installed until another one is).
HeadlessBackend& Headless();

// The default button of a message box: the one asked for when it is among
// the buttons, else the first of them.
int DefaultButton(int buttons, int defaultButton);

// Waits, without the runtime lock, until a window with this caption is
// open (any thread); nullptr after the timeout.
std::shared_ptr<Window> WaitForWindow(std::string_view caption,
                                      std::chrono::milliseconds timeout = std::chrono::seconds(5));
// Waits, without the runtime lock, until `predicate` holds, polling;
// false after the timeout.
bool WaitUntil(const std::function<bool()>& predicate,
               std::chrono::milliseconds timeout = std::chrono::seconds(5));

}  // namespace ui
