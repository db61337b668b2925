#pragma once
// Runs the application frame on a runtime thread of its own, with the
// procedures it starts written down.
#include <stdlib.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "fixture.h"
#include "velmora/app/frame.h"
#include "velmora/app/program.h"
#include "velmora/data/dictionary.h"
#include "velmora/runtime/cmdline.h"
#include "velmora/runtime/paths.h"
#include "velmora/runtime/threads.h"
#include "velmora/ui/dialogs.h"
#include "velmora/ui/headless.h"
#include "velmora/ui/window.h"

namespace apptest {

struct Started {
  std::string name;
  uint32_t stack = 0;
  std::vector<std::string> args;
  int thread = 0;
  bool operator==(const Started&) const = default;
};

class FrameFixture : public cltest::TempFolder {
 protected:
  void SetUp() override {
    TempFolder::SetUp();
    setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    // The program's folder (and so the engine's version store) is the test's.
    rt::SetCommandLine({rt::WindowsPath((dir_ / "app_tests").string())});
    app::StartWindowLayer();
    ui::InstallMessageHandler();
    ui::Headless().Reset();
    data::GlobalErrors().Setup();
    app::INIMgr().Setup("Quintrel.INI");
    app::FrameThread() = 0;
    app::SetProcedureStarter([this](std::string_view name, app::ProcedureBody body, uint32_t stack,
                                    std::vector<std::string> args) {
      std::lock_guard l(mu_);
      Started s{std::string(name), stack, args, 0};
      s.thread = rt::Start(std::move(body), stack, std::move(args));
      started_.push_back(s);
      return s.thread;
    });
  }
  void TearDown() override {
    CloseFrame();
    app::SetProcedureStarter(nullptr);
    app::INIMgr().Teardown();
    ui::Headless().Reset();
    unsetenv("XDG_CONFIG_HOME");
    TempFolder::TearDown();
  }

  // Starts Main on a new thread and waits for its window; `during` learns
  // whether the thread's PageControls file is open once the frame has
  // returned.
  std::shared_ptr<ui::Window> StartFrame() {
    frameThread_ = rt::Start(
        [this](std::vector<std::string>) {
          pages_ = data::ThisThread().Access(data::FileId::PageControls);
          app::Main();
          pagesOpenAfter_ = pages_->IsOpen();
          pages_ = nullptr;
        },
        app::kProcedureStack);
    return ui::WaitForWindow("Velmora");
  }
  // Closes the frame (and with it every child) and waits for the threads.
  void CloseFrame() {
    if (auto frame = ui::Frame()) frame->InputClose();
    rt::WaitForThreads();
  }

  std::vector<std::shared_ptr<ui::Window>> Windows(const std::string& caption) const {
    std::vector<std::shared_ptr<ui::Window>> found;
    for (auto& w : ui::OpenWindows())
      if (w->Get(0, ui::Prop::Text) == caption) found.push_back(w);
    return found;
  }
  // Waits until `count` windows with the caption are open.
  bool WaitForWindows(const std::string& caption, size_t count) const {
    return ui::WaitUntil([&] { return Windows(caption).size() >= count; });
  }
  std::vector<Started> Starts() {
    std::lock_guard l(mu_);
    return started_;
  }

  int frameThread_ = 0;
  cl::FileManager* pages_ = nullptr;  // the frame thread's, while it runs
  std::atomic<bool> pagesOpenAfter_{true};

 private:
  std::mutex mu_;
  std::vector<Started> started_;
};

}  // namespace apptest
