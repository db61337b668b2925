#pragma once
// What the editor's source files share and nothing outside them uses.
#include "velmora/editor/formeditor.h"
#include "velmora/ui/desc.h"

namespace editor {

// The editor's window: menus, three toolbar rows and the page picture.
ui::WindowDesc EditorWindow();

// Installs the client procedure that turns the page's mouse messages
// into the editor's events kMouseMoved and kMouseDown.
void InstallPageProc(FormEditor& editor);

}  // namespace editor
