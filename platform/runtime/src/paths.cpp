#include "velmora/runtime/paths.h"

#include "velmora/runtime/text.h"

namespace rt {

std::string HostPath(std::string_view windowsName) {
  std::string s(windowsName);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  for (char& c : s)
    if (c == '\\') c = '/';
  while (s.size() > 2 && s.compare(0, 2, "./") == 0) s.erase(0, 2);
  return ToUtf8(s);
}

std::string ShownPath(std::string_view windowsName) {
  std::string s(windowsName);
  for (char& c : s)
    if (c == '\\') c = '/';
  return s;
}

std::string WindowsPath(std::string_view hostPath) {
  std::string s = FromUtf8(hostPath);
  for (char& c : s)
    if (c == '/') c = '\\';
  return s;
}

}  // namespace rt
