#include "velmora/runtime/ini.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <vector>

#include "velmora/runtime/text.h"

namespace rt {
namespace {

std::mutex g_mutex;

std::string Strip(std::string_view s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(" \t");
  return std::string(s.substr(b, e - b + 1));
}

struct IniFile {
  std::vector<std::string> lines;  // without line ends
  std::string eol = "\n";
  bool finalEol = true;

  static std::optional<IniFile> Load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::stringstream ss;
    ss << in.rdbuf();
    std::string all = ss.str();
    IniFile f;
    if (all.find("\r\n") != std::string::npos) f.eol = "\r\n";
    f.finalEol = all.empty() || all.back() == '\n';
    size_t p = 0;
    while (p < all.size()) {
      size_t n = all.find('\n', p);
      std::string line = all.substr(p, n == std::string::npos ? std::string::npos : n - p);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      f.lines.push_back(std::move(line));
      if (n == std::string::npos) break;
      p = n + 1;
    }
    return f;
  }

  // Writes a temporary file beside the target and renames it over, so a
  // failed write never leaves a half-written file.
  bool Save(const std::string& path) const {
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) {
      text += lines[i];
      if (i + 1 < lines.size() || finalEol) text += eol;
    }
    std::string tmp = path + ".tmp" + std::to_string(getpid());
    {
      std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
      if (!out) return false;
      out << text;
      out.flush();
      if (!out) {
        std::remove(tmp.c_str());
        return false;
      }
    }
    std::error_code ec;
    std::filesystem::rename(tmp, path, ec);
    if (ec) std::remove(tmp.c_str());
    return !ec;
  }

  // The section's name when the line is a section header.
  static std::optional<std::string> SectionOf(const std::string& line) {
    std::string s = Strip(line);
    if (s.size() < 2 || s[0] != '[') return std::nullopt;
    size_t close = s.find(']');
    if (close == std::string::npos) return std::nullopt;
    return Strip(std::string_view(s).substr(1, close - 1));
  }

  // The key's name when the line is a key line.
  static std::optional<std::string> KeyOf(const std::string& line) {
    std::string s = Strip(line);
    if (s.empty() || s[0] == ';') return std::nullopt;
    size_t eq = s.find('=');
    if (eq == std::string::npos) return std::nullopt;
    return Strip(std::string_view(s).substr(0, eq));
  }

  // Header line of the first matching section, or npos.
  size_t FindSection(std::string_view name) const {
    for (size_t i = 0; i < lines.size(); ++i) {
      auto s = SectionOf(lines[i]);
      if (s && EqualNoCase(*s, Strip(name))) return i;
    }
    return std::string::npos;
  }

  // One past the section's last line.
  size_t SectionEnd(size_t header) const {
    size_t i = header + 1;
    while (i < lines.size() && !SectionOf(lines[i])) ++i;
    return i;
  }

  size_t FindKey(size_t header, std::string_view key) const {
    size_t end = SectionEnd(header);
    for (size_t i = header + 1; i < end; ++i) {
      auto k = KeyOf(lines[i]);
      if (k && EqualNoCase(*k, Strip(key))) return i;
    }
    return std::string::npos;
  }
};

// A line break inside a name or value would split the line and could
// forge other keys or sections; it is written as a blank.
std::string OneLine(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c == '\r' || c == '\n') c = ' ';
  return out;
}

std::string ConfigFolder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && *xdg) return std::string(xdg) + "/Velmora";
  const char* home = std::getenv("HOME");
  return std::string(home ? home : ".") + "/.config/Velmora";
}

}  // namespace

std::string IniPath(std::string_view file) {
  if (Trim(file).empty()) return ConfigFolder() + "/WIN.INI";
  std::string path = ToUtf8(Clip(file));
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

std::string GetIni(std::string_view section, std::string_view key, std::string_view def,
                   std::string_view file) {
  std::lock_guard<std::mutex> guard(g_mutex);
  auto f = IniFile::Load(IniPath(file));
  if (!f) return std::string(def);
  size_t header = f->FindSection(section);
  if (header == std::string::npos) return std::string(def);
  size_t line = f->FindKey(header, key);
  if (line == std::string::npos) return std::string(def);
  const std::string& text = f->lines[line];
  std::string value = Strip(std::string_view(text).substr(text.find('=') + 1));
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
    value = value.substr(1, value.size() - 2);
  return value;
}

bool PutIni(std::string_view section, std::string_view key, std::string_view value,
            std::string_view file) {
  std::lock_guard<std::mutex> guard(g_mutex);
  std::string path = IniPath(file);
  IniFile f = IniFile::Load(path).value_or(IniFile{});
  std::string entry = Strip(OneLine(key)) + "=" + OneLine(value);
  size_t header = f.FindSection(section);
  if (header == std::string::npos) {
    f.lines.push_back("[" + Strip(OneLine(section)) + "]");
    f.lines.push_back(entry);
    f.finalEol = true;
  } else if (size_t line = f.FindKey(header, key); line != std::string::npos) {
    const std::string& old = f.lines[line];
    f.lines[line] = old.substr(0, old.find('=') + 1) + OneLine(value);  // keeps the key's spelling
  } else {
    // After the section's last non-blank line, so blank separators stay below it.
    size_t at = f.SectionEnd(header);
    while (at > header + 1 && Strip(f.lines[at - 1]).empty()) --at;
    f.lines.insert(f.lines.begin() + static_cast<long>(at), entry);
    if (at == f.lines.size() - 1) f.finalEol = true;
  }
  if (Trim(file).empty()) {
    std::error_code ec;
    std::filesystem::create_directories(ConfigFolder(), ec);
  }
  return f.Save(path);
}

bool DeleteIni(std::string_view section, std::string_view key, std::string_view file) {
  std::lock_guard<std::mutex> guard(g_mutex);
  std::string path = IniPath(file);
  auto f = IniFile::Load(path);
  if (!f) return true;
  size_t header = f->FindSection(section);
  if (header == std::string::npos) return true;
  if (Trim(key).empty()) {
    f->lines.erase(f->lines.begin() + static_cast<long>(header),
                   f->lines.begin() + static_cast<long>(f->SectionEnd(header)));
  } else {
    size_t line = f->FindKey(header, key);
    if (line == std::string::npos) return true;
    f->lines.erase(f->lines.begin() + static_cast<long>(line));
  }
  return f->Save(path);
}

}  // namespace rt
