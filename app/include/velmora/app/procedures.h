#pragma once
// The procedures the application frame starts, each on a thread of its
// own. Until their windows are built, each opens a plain window inside the
// frame with its caption.
#include <string_view>

namespace app {

void ShowAll();                          // "Forms"
void FormEditor(std::string_view mode);  // "Form Editor"; "3": an empty editor
void ShowFormsTree();                    // "Prepare Forms"
void ShowFilledFormsTree();              // "Filled Documents"
void ApplicationSetup();                 // "Application Setup"
void ViewManual();                       // "Getting Started"; tells the frame when it closes
void AboutWindow();                      // "About Velmora"

}  // namespace app
