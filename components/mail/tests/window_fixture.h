#pragma once
// Runs the Send Message window of a MailMessage on a runtime thread of its
// own, with the recording provider behind it and the headless dialogs
// answering from a script.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>

#include "velmora/mail/mailmessage.h"
#include "velmora/mail/sendwindow.h"
#include "velmora/mapi/recorder.h"
#include "velmora/runtime/threads.h"
#include "velmora/ui/dialogs.h"
#include "velmora/ui/events.h"
#include "velmora/ui/headless.h"
#include "velmora/ui/window.h"

namespace mailtest {

class SendWindowFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/mail_window_XXXXXX";
    dir_ = mkdtemp(tmpl);
    ui::InstallMessageHandler();
    ui::Headless().Reset();
    mapi::SetProvider(&recorder_);
    message_.Create(11);
  }
  void TearDown() override {
    if (window_ && window_->IsOpen()) window_->InputAccept(mail::kExit);
    rt::WaitForThreads();
    mapi::SetProvider(nullptr);
    ui::Headless().Reset();
    std::filesystem::remove_all(dir_);
  }

  // Starts the window and waits until it has taken its opening event.
  std::shared_ptr<ui::Window> Run(rt::Byte showDialog = 0, rt::Byte receipt = 0) {
    done_ = false;
    rt::Start(
        [this, showDialog, receipt](std::vector<std::string>) {
          message_.SendWindow(showDialog, receipt);
          done_ = true;
        },
        20000);
    window_ = ui::WaitForWindow("Send Message");
    if (window_) ui::WaitUntil([&] { return window_->PendingEvents() == 0; });
    return window_;
  }
  // Waits until the window has handled every queued event, and the events
  // those posted in turn: all events queued before a marker are handled
  // once the marker has been taken from the queue.
  void Settle() {
    for (int round = 0; round < 4 && !done_; ++round) {
      window_->Post(ui::ev::User + 99);
      ui::WaitUntil([&] { return done_ || window_->PendingEvents() == 0; });
    }
  }
  std::string File(const std::string& name, const std::string& bytes = "x") {
    const auto p = dir_ / name;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p) << bytes;
    return p.string();
  }
  std::vector<ui::HeadlessBackend::Asked> Asked(ui::HeadlessBackend::Asked::Kind kind) const {
    std::vector<ui::HeadlessBackend::Asked> out;
    for (auto& a : ui::Headless().AskedDialogs())
      if (a.kind == kind) out.push_back(a);
    return out;
  }
  std::vector<std::string> Messages() const {
    std::vector<std::string> out;
    for (auto& a : Asked(ui::HeadlessBackend::Asked::Message))
      out.push_back(a.message.caption + ": " + a.message.text);
    return out;
  }
  std::string Cell(long row, int column) const { return window_->CellText(mail::kEmailTo, row, column); }

  std::filesystem::path dir_;
  mapi::Recorder recorder_;
  mail::MailMessage message_;
  std::shared_ptr<ui::Window> window_;
  std::atomic<bool> done_{false};
};

}  // namespace mailtest
