#pragma once
// FilePicker: the file dialog with a title, masks and flags kept between
// calls, and the chosen name(s) kept after it.
#include <string>
#include <string_view>
#include <vector>

#include "velmora/ui/dialogs.h"

namespace cl {

struct FilePickerFlags {
  bool save = false;
  bool multiple = false;
  bool keepFolder = false;     // the current folder is restored afterwards
  bool clearOnCancel = false;  // a cancelled dialog empties FileName
};

class FilePicker {
 public:
  using Flags = FilePickerFlags;
  void Init(std::string_view title, Flags flags = {});
  // Masks in the runtime's form "Description|pattern|..."; added to those
  // already set.
  void AddMasks(std::string_view text);
  void AddMask(std::string_view description, std::string_view pattern);
  // Shows the dialog with FileName as the initial name. True when a name
  // was chosen: FileName then holds it (for several, the runtime's form
  // "folder|name|name") and Names every full path.
  bool Ask();

  std::string FileName;
  std::vector<std::string> Names;

 private:
  ui::FileRequest request_;
  bool clearOnCancel_ = false;
};

}  // namespace cl
