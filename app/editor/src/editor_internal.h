#pragma once
// What the editor's source files share and nothing outside them uses.
#include <string>
#include <vector>

#include "velmora/data/dictionary.h"
#include "velmora/editor/formeditor.h"
#include "velmora/ui/desc.h"

namespace editor {

// The editor's window: menus, three toolbar rows and the page picture.
ui::WindowDesc EditorWindow();

// Installs the client procedure that turns the page's mouse messages
// into the editor's events kMouseMoved and kMouseDown.
void InstallPageProc(FormEditor& editor);

// The file chosen in the open-file dialog with this title and mask text
// ("Adobe PDF | *.pdf"), keeping the current folder, as the dialog gives it
// (the runtime's Windows form); "" when cancelled.
std::string ChooseFile(std::string_view title, std::string_view masks);

// The option values of field `field` of form `form` (its FieldValues rows
// in value order): a choice's choices, a check box's on-state names, a
// radio group's export values. The FieldValues buffer and position are
// kept.
std::vector<std::string> OptionValues(data::Dictionary& d, Long form, Short field);

}  // namespace editor
