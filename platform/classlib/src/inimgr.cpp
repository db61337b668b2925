#include "velmora/classlib/inimgr.h"

#include <cstdlib>

#include "velmora/runtime/ini.h"

namespace cl {

void IniMgr::Setup(std::string fileName) { file_ = std::move(fileName); }
void IniMgr::Teardown() { file_.clear(); }

std::string IniMgr::Fetch(std::string_view section, std::string_view entry,
                          std::string_view defaultValue) const {
  return rt::GetIni(section, entry, defaultValue, file_);
}

void IniMgr::Update(std::string_view section, std::string_view entry, std::string_view value) {
  rt::PutIni(section, entry, value, file_);
}

bool IniMgr::FetchPosition(std::string_view procedure, WindowPosition& pos) const {
  const std::string x = Fetch(procedure, "XPos");
  if (x.empty()) return false;
  auto num = [&](std::string_view entry) { return std::atoi(Fetch(procedure, entry).c_str()); };
  pos.x = std::atoi(x.c_str());
  pos.y = num("YPos");
  pos.width = num("Width");
  pos.height = num("Height");
  pos.maximized = num("Maximize") != 0;
  return true;
}

void IniMgr::UpdatePosition(std::string_view procedure, const WindowPosition& pos) {
  Update(procedure, "XPos", std::to_string(pos.x));
  Update(procedure, "YPos", std::to_string(pos.y));
  Update(procedure, "Width", std::to_string(pos.width));
  Update(procedure, "Height", std::to_string(pos.height));
  Update(procedure, "Maximize", pos.maximized ? "1" : "0");
}

}  // namespace cl
