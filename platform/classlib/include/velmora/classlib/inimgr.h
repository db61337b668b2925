#pragma once
// IniMgr: the settings manager over an INI file. Values are read and
// written by section and entry; window positions are kept under the
// procedure's name.
#include <string>
#include <string_view>

namespace cl {

struct WindowPosition {
  int x = 0, y = 0, width = 0, height = 0;
  bool maximized = false;
};

class IniMgr {
 public:
  // The INI file, relative to the current folder unless it has a folder.
  void Setup(std::string fileName);
  void Teardown();
  const std::string& FileName() const { return file_; }

  std::string Fetch(std::string_view section, std::string_view entry,
                    std::string_view defaultValue = {}) const;
  void Update(std::string_view section, std::string_view entry, std::string_view value);

  // False (and `pos` unchanged) when nothing was saved for the procedure.
  bool FetchPosition(std::string_view procedure, WindowPosition& pos) const;
  void UpdatePosition(std::string_view procedure, const WindowPosition& pos);

 private:
  std::string file_;
};

}  // namespace cl
