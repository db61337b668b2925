#pragma once
// The interface between the window model and what shows it. The model is
// the truth: it tells the backend what changed (under the model's lock, so
// a backend only records or queues the change and never waits), and the
// backend feeds user input back through the Window::Input... calls.
// Dialogs are asked for without the model's lock.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "velmora/ui/dialogs.h"
#include "velmora/ui/types.h"

namespace ui {

class Window;

// Pixels per dialog unit come from the average character width (cx, one
// horizontal unit is cx/4) and height (cy, one vertical unit is cy/8) of a font.
struct DialogBase {
  double cx = 6;
  double cy = 13;
};

class Backend {
 public:
  virtual ~Backend() = default;

  // Change notifications (called with the model locked).
  virtual void WindowOpened(Window&) {}
  virtual void WindowClosed(Window&) {}
  virtual void ControlCreated(Window&, int /*control*/) {}
  virtual void ControlDestroyed(Window&, int /*control*/) {}
  virtual void PropertyChanged(Window&, int /*control*/, Prop, int /*index*/) {}
  virtual void Invalidated(Window&) {}
  virtual void CursorChanged(const std::string& /*name*/) {}
  virtual void MouseCaptured(Window*) {}  // nullptr: released
  virtual void ArrangeChildren(StdAction /*Tile, Cascade or Arrange*/) {}
  virtual void Beep() {}

  // Screen and fonts.
  virtual int DpiX() const = 0;
  virtual int DpiY() const = 0;
  virtual DialogBase Metrics(const Font& font) const = 0;
  // Natural size in pixels of a picture's bytes; nullopt when the backend
  // cannot read it (the model reads JPEG itself).
  virtual std::optional<std::pair<int, int>> PictureSize(const std::vector<uint8_t>&) const {
    return std::nullopt;
  }
  // A picture about to be shown, at width x height pixels when both are
  // positive: the backend may decode it ahead (called without the lock).
  virtual void PrefetchPicture(std::vector<uint8_t> /*bytes*/, int /*width*/, int /*height*/) {}

  // Clipboard text.
  virtual std::string ClipboardText() const = 0;
  virtual void SetClipboardText(const std::string& text) = 0;

  // Dialogs (called without the model's lock).
  virtual int Message(const MessageRequest&) = 0;
  virtual std::vector<std::string> FileDialog(const FileRequest&) = 0;
  virtual std::optional<long> ColorDialog(const std::string& title, long initial) = 0;
  virtual std::optional<Font> FontDialog(const std::string& title, const Font& initial) = 0;
  virtual std::optional<PrinterChoice> PrinterDialog(const PrinterRequest&) = 0;
  // The printers the desktop offers (called without the model's lock).
  virtual std::vector<std::string> Printers() = 0;
  virtual int Popup(const PopupRequest&) = 0;
};

// The installed backend; the headless backend until another is installed.
Backend& CurrentBackend();
// Installs a backend (nullptr: back to the built-in headless one). The
// caller keeps it alive while it is installed.
void SetBackend(Backend* backend);

// Screen resolution in dots per inch.
int ScreenDpiX();
int ScreenDpiY();

// Folders searched for the pictures, icons and cursors the windows name.
void AddResourceFolder(const std::string& folder);
// The path of a named picture: the name itself when it exists, else the
// first resource folder holding it (a leading "~" is dropped; the name's
// case does not matter); "" when not found.
std::string FindResource(const std::string& name);

}  // namespace ui
