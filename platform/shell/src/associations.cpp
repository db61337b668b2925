// Looks up the desktop's associations in the XDG folders.
#include "velmora/shell/associations.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <vector>


namespace shell {
namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::vector<std::string> SplitFolders(const std::string& text, char separator = ':') {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= text.size()) {
    size_t at = text.find(separator, start);
    std::string part = text.substr(start, at == std::string::npos ? std::string::npos : at - start);
    if (!part.empty()) out.push_back(part);
    if (at == std::string::npos) break;
    start = at + 1;
  }
  return out;
}

// $XDG_DATA_HOME, then each of $XDG_DATA_DIRS, with their defaults.
std::vector<std::string> DataFolders() {
  std::vector<std::string> folders;
  std::string home = Env("XDG_DATA_HOME");
  if (home.empty() && !Env("HOME").empty()) home = Env("HOME") + "/.local/share";
  if (!home.empty()) folders.push_back(home);
  std::string dirs = Env("XDG_DATA_DIRS");
  for (const std::string& d : SplitFolders(dirs.empty() ? "/usr/local/share:/usr/share" : dirs))
    folders.push_back(d);
  return folders;
}

std::string Trim(std::string s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
  size_t i = 0;
  while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
  return s.substr(i);
}

// The desktop entries a section of a mimeapps.list (or mimeinfo.cache)
// names for a MIME type, in order.
std::vector<std::string> Entries(const std::string& file, std::string_view section, std::string_view mimeType) {
  std::ifstream in(file);
  std::string line;
  bool inSection = false;
  while (std::getline(in, line)) {
    line = Trim(line);
    if (!line.empty() && line[0] == '[') {
      inSection = line == section;
      continue;
    }
    size_t eq = line.find('=');
    if (!inSection || eq == std::string::npos || Trim(line.substr(0, eq)) != mimeType) continue;
    std::vector<std::string> ids;
    for (const std::string& id : SplitFolders(line.substr(eq + 1), ';'))
      if (!Trim(id).empty()) ids.push_back(Trim(id));
    return ids;
  }
  return {};
}

}  // namespace

std::string MimeTypeOfExtension(std::string_view extension) {
  if (extension.empty()) return {};
  const std::string wanted = "*." + Lower(extension);
  std::string best;
  int bestWeight = -1;
  for (const std::string& folder : DataFolders()) {
    std::ifstream in(folder + "/mime/globs2");
    std::string line;
    // weight:type:glob[:flags]; the first folder that knows it wins
    while (std::getline(in, line)) {
      if (line.empty() || line[0] == '#') continue;
      size_t a = line.find(':');
      size_t b = a == std::string::npos ? a : line.find(':', a + 1);
      if (b == std::string::npos) continue;
      size_t c = line.find(':', b + 1);
      std::string glob = line.substr(b + 1, c == std::string::npos ? std::string::npos : c - b - 1);
      bool caseSensitive = c != std::string::npos && line.find("cs", c) != std::string::npos;
      if ((caseSensitive ? glob : Lower(glob)) != wanted) continue;
      int weight = std::atoi(line.substr(0, a).c_str());
      if (weight > bestWeight) {
        bestWeight = weight;
        best = line.substr(a + 1, b - a - 1);
      }
    }
    if (!best.empty()) return best;
  }
  return best;
}

std::string DefaultApplication(std::string_view mimeType) {
  if (mimeType.empty()) return {};
  // the mimeapps.list files in the order of the XDG specification: the
  // user's configuration, the system's, then the data folders
  std::vector<std::string> lists;
  std::string configHome = Env("XDG_CONFIG_HOME");
  if (configHome.empty() && !Env("HOME").empty()) configHome = Env("HOME") + "/.config";
  std::vector<std::string> configs;
  if (!configHome.empty()) configs.push_back(configHome);
  for (const std::string& d : SplitFolders(Env("XDG_CONFIG_DIRS").empty() ? "/etc/xdg" : Env("XDG_CONFIG_DIRS")))
    configs.push_back(d);
  const std::string desktop = Lower(Env("XDG_CURRENT_DESKTOP"));
  for (const std::string& c : configs) {
    for (const std::string& d : SplitFolders(desktop)) lists.push_back(c + "/" + d + "-mimeapps.list");
    lists.push_back(c + "/mimeapps.list");
  }
  const std::vector<std::string> data = DataFolders();
  for (const std::string& d : data) lists.push_back(d + "/applications/mimeapps.list");

  auto installed = [&](const std::string& id) { return !DesktopEntryCommand(id).empty(); };
  for (const char* section : {"[Default Applications]", "[Added Associations]"})
    for (const std::string& list : lists)
      for (const std::string& id : Entries(list, section, mimeType))
        if (installed(id)) return id;
  for (const std::string& d : data)
    for (const std::string& id : Entries(d + "/applications/mimeinfo.cache", "[MIME Cache]", mimeType))
      if (installed(id)) return id;
  return {};
}

std::string DesktopEntryCommand(std::string_view desktopId) {
  if (desktopId.empty() || desktopId.find('/') != std::string_view::npos) return {};
  // "vendor-app.desktop" may also live at applications/vendor/app.desktop
  std::vector<std::string> names{std::string(desktopId)};
  for (size_t dash = desktopId.find('-'); dash != std::string_view::npos;
       dash = desktopId.find('-', dash + 1)) {
    std::string n(desktopId);
    n[dash] = '/';
    names.push_back(n);
  }
  for (const std::string& folder : DataFolders()) {
    for (const std::string& name : names) {
      std::ifstream in(folder + "/applications/" + name);
      if (!in) continue;
      std::string line;
      bool inEntry = false;
      while (std::getline(in, line)) {
        line = Trim(line);
        if (!line.empty() && line[0] == '[') {
          inEntry = line == "[Desktop Entry]";
          continue;
        }
        if (inEntry && line.rfind("Exec", 0) == 0) {
          size_t eq = line.find('=');
          if (eq != std::string::npos && Trim(line.substr(4, eq - 4)).empty())
            return Trim(line.substr(eq + 1));
        }
      }
      return {};
    }
  }
  return {};
}

std::string OpenCommand(std::string_view mimeType) {
  return DesktopEntryCommand(DefaultApplication(mimeType));
}

}  // namespace shell
