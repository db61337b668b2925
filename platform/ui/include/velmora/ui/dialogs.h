#pragma once
// The common dialogs. Each call shows its dialog through the installed
// backend; a procedure thread waits for the answer without the runtime
// lock.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "velmora/runtime/system.h"
#include "velmora/ui/popup.h"
#include "velmora/ui/types.h"

namespace ui {

// Message box buttons (combine them) and the button a message box
// returns: the runtime's.
namespace button {
inline constexpr int Ok = rt::kButtonOk;
inline constexpr int Yes = rt::kButtonYes;
inline constexpr int No = rt::kButtonNo;
inline constexpr int Cancel = rt::kButtonCancel;
inline constexpr int Abort = rt::kButtonAbort;
inline constexpr int Retry = rt::kButtonRetry;
inline constexpr int Ignore = rt::kButtonIgnore;
}  // namespace button

// Message box icons: the runtime's.
namespace icon {
inline constexpr std::string_view None = rt::kIconNone;
inline constexpr std::string_view Question = rt::kIconQuestion;
inline constexpr std::string_view Exclamation = rt::kIconExclamation;
inline constexpr std::string_view Information = rt::kIconAsterisk;
inline constexpr std::string_view Hand = rt::kIconHand;
}  // namespace icon

struct MessageRequest {
  std::string text;     // "|" or a line feed breaks the line
  std::string caption;
  std::string icon;
  int buttons = button::Ok;
  int defaultButton = 0;  // 0: the first of the buttons
};

// The lines a message text shows ("|" and line feeds break them).
std::vector<std::string> MessageLines(std::string_view text);

struct FileMask {
  std::string description;  // "PDF Files"
  std::string pattern;      // "*.pdf"; ";" separates several
};

struct FileRequest {
  std::string title;
  std::vector<FileMask> masks;
  std::string fileName;     // initial name
  bool save = false;
  bool multiple = false;
  bool keepFolder = false;  // the current folder is restored afterwards
};

// Masks from the runtime's text "Description|pattern|Description|pattern";
// blanks around either part do not count ("Adobe PDF | *.pdf").
std::vector<FileMask> ParseFileMasks(std::string_view text);

struct PrinterChoice {
  PrinterChoice() = default;
  explicit PrinterChoice(std::string printerName, int first = -1, int last = -1, int copyCount = 1,
                         std::string toFile = {})
      : printer(std::move(printerName)), firstPage(first), lastPage(last), copies(copyCount), file(std::move(toFile)) {}
  std::string printer;  // "" when the user chose to print to a file
  int firstPage = -1;   // -1: not set
  int lastPage = -1;
  int copies = 1;
  // Printing to a file: the PDF file chosen for it, in the runtime's form
  // ("\\tmp\\form.pdf"); "" when printing on a printer.
  std::string file;
};

struct PrinterRequest {
  PrinterRequest() = default;
  PrinterRequest(std::string caption, bool setup = false, std::string first = {})
      : title(std::move(caption)), setupOnly(setup), printer(std::move(first)) {}
  std::string title;
  bool setupOnly = false;  // the print set-up: which printer prints
  std::string printer;     // the printer offered first ("" the desktop's default)
};

struct PopupRequest {
  std::vector<PopupItem> items;
  int x = 0, y = 0;  // screen position; the mouse when not given
};

// Makes the runtime's message box (rt::Message) show through the backend.
void InstallMessageHandler();
int Message(const MessageRequest& request);
int Message(std::string_view text, std::string_view caption = {}, std::string_view icon = {},
            int buttons = button::Ok, int defaultButton = 0);
// Every chosen name with its full path, in the runtime's Windows form
// (Windows-1252, backslashes: rt::WindowsPath) that file names have
// everywhere in the system, so callers take them as they are; empty when
// cancelled. The headless backend gives its scripted answers unchanged:
// tests script names in that form.
std::vector<std::string> FileDialog(const FileRequest& request);
// The runtime's form of the answer: one name, or for several the folder
// followed by each name, separated by "|"; "" when cancelled.
std::string FileDialogText(const std::vector<std::string>& names);
std::optional<long> ColorDialog(std::string_view title, long initial = 0);
std::optional<Font> FontDialog(std::string_view title, const Font& initial = {});
// The printer dialog, or the print set-up. The printer chosen in the set-up
// is offered first by later printer dialogs. Without any printer the user
// is told so: the set-up says only that; the printer dialog offers to
// print to a PDF file, and a file chosen then is the answer.
std::optional<PrinterChoice> PrinterDialog(const PrinterRequest& request);
// Shows a popup from the runtime's popup text; the chosen item number, 0
// when cancelled or when a greyed item or a rule was chosen.
int Popup(std::string_view text, int x = 0, int y = 0);

}  // namespace ui
