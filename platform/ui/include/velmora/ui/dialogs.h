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
  std::string printer;
  int firstPage = -1;   // -1: not set
  int lastPage = -1;
  int copies = 1;
};

struct PrinterRequest {
  std::string title;
  bool setupOnly = false;  // the print set-up (no page range)
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
std::optional<PrinterChoice> PrinterDialog(const PrinterRequest& request);
// Shows a popup from the runtime's popup text; the chosen item number, 0
// when cancelled or when a greyed item or a rule was chosen.
int Popup(std::string_view text, int x = 0, int y = 0);

}  // namespace ui
