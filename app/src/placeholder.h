#pragma once
// A plain window inside the frame with a caption, for the procedures whose
// own windows are not built yet.
#include <functional>
#include <string>

namespace app {

// Runs the window on the calling thread until it closes: the procedure
// name is on the error manager's stack meanwhile, and the window's
// position is restored and saved under it. `closed` runs after the window
// has closed.
void RunPlainWindow(const std::string& procedure, const std::string& caption,
                    const std::function<void()>& closed = {});

}  // namespace app
