#include "velmora/runtime/cmdline.h"

#include <unistd.h>

#include <mutex>
#include <optional>

#include "velmora/runtime/text.h"

namespace rt {
namespace {

std::mutex g_mutex;
std::vector<std::string> g_args;

// The value of the first argument holding the switch: the text after "=",
// or the argument itself when it has no "=".
std::optional<std::string> FindSwitch(std::string_view name, SwitchCase match) {
  if (!name.empty() && name.back() == '=') name.remove_suffix(1);
  if (name.empty()) return std::nullopt;
  std::lock_guard<std::mutex> guard(g_mutex);
  for (size_t i = 1; i < g_args.size(); ++i) {
    std::string_view arg = g_args[i];
    if (arg.size() < name.size()) continue;
    std::string_view head = arg.substr(0, name.size());
    if (match == SwitchCase::Exact ? head != name : !EqualNoCase(head, name)) continue;
    if (arg.size() == name.size()) return std::string(arg);
    if (arg[name.size()] == '=') return std::string(arg.substr(name.size() + 1));
  }
  return std::nullopt;
}

}  // namespace

void SetCommandLine(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.emplace_back(argv[i] ? argv[i] : "");
  // The program's own path as the system's code takes it apart: absolute,
  // in Windows form (the folder ends at the last '\').
  char exe[4096];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  std::string path = n > 0 ? std::string(exe, static_cast<size_t>(n)) : (args.empty() ? "" : args[0]);
  for (char& c : path)
    if (c == '/') c = '\\';
  if (args.empty()) args.emplace_back();
  args[0] = FromUtf8(path);
  SetCommandLine(std::move(args));
}

void SetCommandLine(std::vector<std::string> args) {
  std::lock_guard<std::mutex> guard(g_mutex);
  g_args = std::move(args);
}

bool HasSwitch(std::string_view name, SwitchCase match) {
  return FindSwitch(name, match).has_value();
}

std::string Command(std::string_view switchName, int position, SwitchCase match) {
  if (switchName.empty()) {
    std::lock_guard<std::mutex> guard(g_mutex);
    if (position < 0 || static_cast<size_t>(position) >= g_args.size()) return {};
    return g_args[static_cast<size_t>(position)];
  }
  return FindSwitch(switchName, match).value_or(std::string{});
}

}  // namespace rt
