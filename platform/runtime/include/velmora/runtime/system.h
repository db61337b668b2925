#pragma once
// The runtime's system services: the stop box, halt, exit procedures,
// debugger output and the message box. Each interactive piece sits behind
// a replaceable handler so the window layer can install the real dialogs
// and tests can script the answers. Handlers run on the calling thread,
// which still holds the runtime lock if it held it; a handler that waits
// for another thread releases it (UnlockThread/LockThread).
#include <functional>
#include <string>
#include <string_view>

namespace rt {

// Message box buttons (bit values, combined with |) and the button pressed.
enum : int {
  kButtonOk = 1,
  kButtonYes = 2,
  kButtonNo = 4,
  kButtonCancel = 8,
  kButtonAbort = 16,
  kButtonRetry = 32,
  kButtonIgnore = 64,
};

// Message box icons.
inline constexpr std::string_view kIconNone = "";
inline constexpr std::string_view kIconAsterisk = "ICON:Asterisk";
inline constexpr std::string_view kIconExclamation = "ICON:Exclamation";
inline constexpr std::string_view kIconHand = "ICON:Hand";
inline constexpr std::string_view kIconQuestion = "ICON:Question";

// The message box handler gets the text with every "|" turned into a line
// break and returns the button pressed (one of the bits offered).
using MessageHandler = std::function<int(std::string_view text, std::string_view caption,
                                         std::string_view icon, int buttons, int defaultButton)>;
// Installs a handler; an empty one restores the default, which writes the
// message to stderr and answers with the default button.
void SetMessageHandler(MessageHandler handler);
// Shows a modal message box and returns the button pressed. `buttons` 0
// means Ok; a default button that is not offered means the first one offered.
int Message(std::string_view text, std::string_view caption = {},
            std::string_view icon = kIconNone, int buttons = kButtonOk, int defaultButton = 0);

// The stop box: shows the text with the question whether to end the
// program; the handler returns true to end it. The default handler writes
// the text to stderr and continues.
using StopHandler = std::function<bool(std::string_view)>;
void SetStopHandler(StopHandler handler);
// Asks; when the answer is to end the program, halts with `exitCode`.
void Stop(std::string_view text, int exitCode = 0);

// Halt ends the program: the default handler shows a non-empty message in
// the message box, runs the exit procedures and ends the process with the
// code. A replaced handler (tests) may return, and then Halt returns.
using HaltHandler = std::function<void(int code, std::string_view message)>;
void SetHaltHandler(HaltHandler handler);
void Halt(int code, std::string_view message = {});

// Exit procedures run once each, in reverse order of registration, when
// RunExitProcs is called (the end of the program or a halt). Procedures
// added while they run are run as well.
void AddExitProc(std::function<void()> proc);
void RunExitProcs();

// Debugger output. Every text goes to the sink (none by default) and, when
// the environment variable VELMORA_DEBUG is set, to stderr as a line.
using DebugSink = std::function<void(std::string_view)>;
void SetDebugSink(DebugSink sink);
void OutputDebugString(std::string_view text);

}  // namespace rt
