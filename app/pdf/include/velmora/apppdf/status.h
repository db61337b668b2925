#pragma once
// Where the PDF procedures show their progress texts. The window that runs
// one sets a handler on its thread (the form record window routes it to
// ?ACTIONSTRING, the Form Editor to zone 1 of its status bar); without a
// handler the texts go nowhere.
#include <functional>
#include <string_view>

namespace apppdf {

using StatusHandler = std::function<void(std::string_view text)>;

// The calling thread's handler; an empty one removes it.
void SetStatusHandler(StatusHandler handler);
// Shows the text through the calling thread's handler.
void ShowStatus(std::string_view text);

}  // namespace apppdf
