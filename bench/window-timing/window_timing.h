#pragma once
// Timing a window's step in the benchmarks: from the command until the
// window has no event left and its thread is idle (the runtime lock is the
// caller's again), and until Qt has shown what changed.
#include <QCoreApplication>

#include <chrono>
#include <memory>

#include "velmora/runtime/threads.h"
#include "velmora/ui/headless.h"
#include "velmora/ui/qt_backend.h"
#include "velmora/ui/window.h"

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

// Without Qt: the window model alone.
inline bool& Headless() {
  static bool headless = false;
  return headless;
}

// The milliseconds until the window had handled every event.
inline double UntilIdle(Clock::time_point from, const std::shared_ptr<ui::Window>& w) {
  if (Headless()) {
    ui::WaitUntil([&] { return w->PendingEvents() == 0; }, std::chrono::seconds(60));
    rt::LockThread();
  } else {
    ui::ProcessEventsUntil([&] { return w->PendingEvents() == 0; }, 60000);
  }
  return Ms(from, Clock::now());
}

// The milliseconds until Qt has shown it: the window mirror's queued work
// and the painting it asked for.
inline double Mirror(Clock::time_point from) {
  if (Headless()) return Ms(from, Clock::now());
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  QCoreApplication::sendPostedEvents();
  return Ms(from, Clock::now());
}

}  // namespace bench
