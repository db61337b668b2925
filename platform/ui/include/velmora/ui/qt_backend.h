#pragma once
// The Qt 6 Widgets backend. It mirrors the window model on the GUI thread
// (the thread that made the QApplication): model changes arrive as queued
// work and are read back from the model; user input goes into the model
// through Window::Input..., which queues the event to the owning thread.
// Dialogs asked for by other threads are shown on the GUI thread while the
// asking thread waits. Nothing on the GUI thread waits for a procedure
// thread.
#include <functional>
#include <memory>

#include "velmora/ui/backend.h"

class QWidget;

namespace ui {

class QtBackend : public Backend {
 public:
  // Construct on the GUI thread once the QApplication exists.
  QtBackend();
  ~QtBackend() override;

  void WindowOpened(Window&) override;
  void WindowClosed(Window&) override;
  void ControlCreated(Window&, int control) override;
  void ControlDestroyed(Window&, int control) override;
  void PropertyChanged(Window&, int control, Prop, int index) override;
  void Invalidated(Window&) override;
  void CursorChanged(const std::string& name) override;
  void MouseCaptured(Window* window) override;
  void ArrangeChildren(StdAction action) override;
  void Beep() override;

  int DpiX() const override;
  int DpiY() const override;
  DialogBase Metrics(const Font& font) const override;
  std::optional<std::pair<int, int>> PictureSize(const std::vector<uint8_t>& bytes) const override;
  void PrefetchPicture(std::vector<uint8_t> bytes, int width, int height) override;

  std::string ClipboardText() const override;
  void SetClipboardText(const std::string& text) override;

  int Message(const MessageRequest&) override;
  std::vector<std::string> FileDialog(const FileRequest&) override;
  std::optional<long> ColorDialog(const std::string& title, long initial) override;
  std::optional<Font> FontDialog(const std::string& title, const Font& initial) override;
  std::optional<PrinterChoice> PrinterDialog(const PrinterRequest&) override;
  std::vector<std::string> Printers() override;
  int Popup(const PopupRequest&) override;

  // GUI thread: the top-level widget of a window and the widget of one of
  // its controls; nullptr while they are not shown.
  QWidget* WindowWidget(long handle) const;
  QWidget* ControlWidget(long handle, int control) const;
  QWidget* ClientWidget(long handle) const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// GUI thread: runs Qt's events, without the runtime lock, until `done`
// holds (true) or `ms` milliseconds have passed (false). For code that
// drives the GUI thread itself, such as tests.
bool ProcessEventsUntil(const std::function<bool()>& done, int ms = 5000);

}  // namespace ui
