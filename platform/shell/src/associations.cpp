// Looks up the desktop's associations in the XDG folders.
#include "velmora/shell/associations.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "velmora/shell/run.h"

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

// $XDG_DATA_HOME, then each of $XDG_DATA_DIRS, with their defaults.
std::vector<std::string> DataFolders() {
  std::vector<std::string> folders;
  std::string home = Env("XDG_DATA_HOME");
  if (home.empty() && !Env("HOME").empty()) home = Env("HOME") + "/.local/share";
  if (!home.empty()) folders.push_back(home);
  std::string dirs = Env("XDG_DATA_DIRS");
  if (dirs.empty()) dirs = "/usr/local/share:/usr/share";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t colon = dirs.find(':', start);
    std::string d = dirs.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    if (!d.empty()) folders.push_back(d);
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  return folders;
}

std::string Trim(std::string s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
  size_t i = 0;
  while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
  return s.substr(i);
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
  RunOptions o;
  o.captureOutput = true;
  o.waitMs = -1;
  RunResult r = Run({"xdg-mime", "query", "default", std::string(mimeType)}, o);
  if (r.startError || r.exitCode != 0) return {};
  std::string id = Trim(r.output);
  // xdg-mime may list several; the first is the default
  size_t cut = id.find_first_of(";\n");
  if (cut != std::string::npos) id = Trim(id.substr(0, cut));
  return id;
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
