#pragma once
// The rich-text control: a text control of a window bound to it shows a
// rich-text (RTF) document. The RTF is converted to HTML by unrtf, started
// without a shell; the control keeps the HTML for the view (Prop::Html)
// and the document's plain text as its screen text, so every backend can
// read what it shows.
#include <string>
#include <string_view>

#include "velmora/ui/window.h"

namespace ui {

class RichTextControl {
 public:
  virtual ~RichTextControl() = default;

  // Binds the control to text control `control` of the window, which shows
  // rich text from now on and cannot be typed into.
  void Init(Window& window, int control);
  // Reads an RTF file (Windows or host form) and shows it. False when it
  // could not be read or converted; the control is then empty.
  bool Load(std::string_view fileName);
  // Takes each event of the window before the window's own handling. The
  // view draws and scrolls itself, so no event needs work of its own here.
  void TakeEvent() {}
  // Releases the control (the text control keeps what it shows).
  void Kill();

  // The document's title: the default one after Init and Load.
  const std::string& Title() const { return title_; }
  virtual std::string DefaultTitle() const { return "Untitled"; }

  // The HTML (UTF-8) and plain text (Windows-1252) of an RTF document;
  // false, leaving both alone, when unrtf could not read it.
  static bool Convert(const std::string& hostPath, std::string& html, std::string& text);

 private:
  Window* window_ = nullptr;
  int control_ = 0;
  std::string title_;
};

}  // namespace ui
