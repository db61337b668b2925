// Closes every window a test left open before the test waits for the
// windows' threads to end.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "velmora/ui/headless.h"
#include "velmora/ui/window.h"

namespace uitest {

// Lets the windows' threads run until `done` holds or a moment has passed.
inline void SettleHeadless(const std::function<bool()>& done) {
  ui::WaitUntil(done, std::chrono::milliseconds(2000));
}

// Closes every open window, the topmost of each thread first (one below a
// dialog takes no input until the dialog is gone), and whatever a close
// opens in turn, round by round. `close` closes a window that takes input;
// `settle` lets the windows' threads run until its condition holds or a
// moment has passed. A window that stays open is a failure of the test.
inline void CloseEveryWindow(
    const std::function<void(ui::Window&)>& close = [](ui::Window& w) { w.InputClose(); },
    const std::function<void(const std::function<bool()>&)>& settle = SettleHeadless) {
  for (int round = 0; round < 100; ++round) {
    const auto windows = ui::OpenWindows();
    if (windows.empty()) return;
    for (const auto& w : windows)
      if (w->TakesInput()) close(*w);
    settle([&] { return ui::OpenWindows().size() < windows.size(); });
  }
  ADD_FAILURE() << "windows stay open: " << ui::OpenWindows().size();
}

}  // namespace uitest
