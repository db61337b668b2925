#include "velmora/runtime/system.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "velmora/runtime/text.h"

namespace rt {
namespace {

// Handlers are copied out under the lock and called without it, so a
// handler may call back into the runtime.
template <class F>
struct Slot {
  std::mutex mutex;
  F value;
  void Set(F f) {
    std::lock_guard<std::mutex> guard(mutex);
    value = std::move(f);
  }
  F Get() {
    std::lock_guard<std::mutex> guard(mutex);
    return value;
  }
};

Slot<MessageHandler> g_message;
Slot<StopHandler> g_stop;
Slot<HaltHandler> g_halt;
Slot<DebugSink> g_debug;

struct ExitProcs {
  std::mutex mutex;
  std::vector<std::function<void()>> procs;
} g_exit;

// The first button offered, in the order of the bits.
int FirstButton(int buttons) {
  for (int b = kButtonOk; b <= kButtonIgnore; b <<= 1)
    if (buttons & b) return b;
  return kButtonOk;
}

}  // namespace

void SetMessageHandler(MessageHandler handler) { g_message.Set(std::move(handler)); }

int Message(std::string_view text, std::string_view caption, std::string_view icon, int buttons,
            int defaultButton) {
  if ((buttons & 0x7F) == 0) buttons = kButtonOk;
  if ((defaultButton & buttons) == 0 || (defaultButton & (defaultButton - 1)) != 0)
    defaultButton = FirstButton(buttons);
  std::string shown(text);
  for (char& c : shown)
    if (c == '|') c = '\n';
  MessageHandler handler = g_message.Get();
  if (handler) return handler(shown, caption, icon, buttons, defaultButton);
  std::fprintf(stderr, "%s: %s\n", ToUtf8(caption).c_str(), ToUtf8(shown).c_str());
  return defaultButton;
}

void SetStopHandler(StopHandler handler) { g_stop.Set(std::move(handler)); }

void Stop(std::string_view text, int exitCode) {
  StopHandler handler = g_stop.Get();
  bool end;
  if (handler) {
    end = handler(text);
  } else {
    std::fprintf(stderr, "%s\n", ToUtf8(text).c_str());
    end = false;
  }
  if (end) Halt(exitCode);
}

void SetHaltHandler(HaltHandler handler) { g_halt.Set(std::move(handler)); }

void Halt(int code, std::string_view message) {
  HaltHandler handler = g_halt.Get();
  if (handler) return handler(code, message);
  if (!message.empty()) Message(message, "", kIconHand, kButtonOk, kButtonOk);
  RunExitProcs();
  std::fflush(nullptr);
  // Other threads may still run; static objects are not torn down under them.
  std::_Exit(code);
}

void AddExitProc(std::function<void()> proc) {
  std::lock_guard<std::mutex> guard(g_exit.mutex);
  g_exit.procs.push_back(std::move(proc));
}

// Each procedure is taken off the list before it runs, so none runs twice.
void RunExitProcs() {
  for (;;) {
    std::function<void()> proc;
    {
      std::lock_guard<std::mutex> guard(g_exit.mutex);
      if (g_exit.procs.empty()) break;
      proc = std::move(g_exit.procs.back());
      g_exit.procs.pop_back();
    }
    proc();
  }
}

void SetDebugSink(DebugSink sink) { g_debug.Set(std::move(sink)); }

void OutputDebugString(std::string_view text) {
  DebugSink sink = g_debug.Get();
  if (sink) sink(text);
  if (std::getenv("VELMORA_DEBUG")) {
    std::string line = ToUtf8(text);
    if (line.empty() || line.back() != '\n') line += '\n';
    std::fputs(line.c_str(), stderr);
  }
}

}  // namespace rt
