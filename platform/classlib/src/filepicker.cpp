#include "velmora/classlib/filepicker.h"

namespace cl {

void FilePicker::Init(std::string_view title, Flags flags) {
  request_ = {};
  request_.title = std::string(title);
  request_.save = flags.save;
  request_.multiple = flags.multiple;
  request_.keepFolder = flags.keepFolder;
  clearOnCancel_ = flags.clearOnCancel;
}

void FilePicker::AddMasks(std::string_view text) {
  for (ui::FileMask& m : ui::ParseFileMasks(text)) request_.masks.push_back(std::move(m));
}

void FilePicker::AddMask(std::string_view description, std::string_view pattern) {
  request_.masks.push_back({std::string(description), std::string(pattern)});
}

bool FilePicker::Ask() {
  request_.fileName = FileName;
  std::vector<std::string> names = ui::FileDialog(request_);
  if (names.empty()) {
    if (clearOnCancel_) FileName.clear();
    return false;
  }
  Names = std::move(names);
  FileName = ui::FileDialogText(Names);
  return true;
}

}  // namespace cl
