#pragma once
// A private desktop: XDG_CONFIG_HOME and XDG_DATA_HOME in a temporary
// folder with stand-in programs (scripts that write their arguments, one a
// line, to a file) registered as default applications. No real browser or
// mail program is reached: BROWSER names a program that does not exist.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace xdgtest {

// Base: the test fixture it extends (set up first, torn down last).
template <class Base = ::testing::Test>
class PrivateDesktopOn : public Base {
 protected:
  void SetUp() override {
    Base::SetUp();
    char tmpl[] = "/tmp/xdg_test_XXXXXX";
    root_ = mkdtemp(tmpl);
    std::filesystem::create_directories(root_ / "config");
    std::filesystem::create_directories(root_ / "data/applications");
    std::filesystem::create_directories(root_ / "data/mime");
    Keep("XDG_CONFIG_HOME", (root_ / "config").string());
    Keep("XDG_DATA_HOME", (root_ / "data").string());
    Keep("XDG_CONFIG_DIRS", (root_ / "config").string());
    Keep("XDG_DATA_DIRS", "/usr/share");
    Keep("BROWSER", (root_ / "no-browser").string());
    Keep("DISPLAY", ":99");
    Keep("XDG_CURRENT_DESKTOP", "");
    Keep("DESKTOP_SESSION", "");
    Keep("KDE_FULL_SESSION", "");
    Keep("GNOME_DESKTOP_SESSION_ID", "");
  }
  void TearDown() override {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->had) setenv(it->name.c_str(), it->value.c_str(), 1);
      else unsetenv(it->name.c_str());
    }
    std::filesystem::remove_all(root_);
    Base::TearDown();
  }

  // A stand-in program "<name>.desktop" whose script records its
  // arguments in the file Recorded(name) reads, made the default
  // application of each MIME type.
  void Register(const std::string& name, const std::vector<std::string>& mimeTypes) {
    std::filesystem::path script = root_ / (name + ".sh");
    {
      std::ofstream s(script);
      s << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" << (root_ / (name + ".args")).string()
        << ".tmp\"\nmv \"" << (root_ / (name + ".args")).string() << ".tmp\" \"" << (root_ / (name + ".args")).string()
        << "\"\n";
    }
    ::chmod(script.c_str(), 0755);
    std::ofstream d(root_ / "data/applications" / (name + ".desktop"));
    d << "[Desktop Entry]\nType=Application\nName=" << name << "\nExec=" << script.string() << " %u\n";
    std::ofstream m(root_ / "config/mimeapps.list", std::ios::app);
    if (!defaultsWritten_) m << "[Default Applications]\n";
    defaultsWritten_ = true;
    for (const std::string& t : mimeTypes) m << t << "=" << name << ".desktop\n";
  }
  std::string Script(const std::string& name) const { return (root_ / (name + ".sh")).string(); }

  // The arguments the stand-in received, once it has run (waits up to 30 s:
  // xdg-open is slow on a busy machine).
  std::vector<std::string> Recorded(const std::string& name) const {
    std::filesystem::path f = root_ / (name + ".args");
    for (int i = 0; i < 3000 && !std::filesystem::exists(f); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::vector<std::string> lines;
    std::ifstream in(f);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  bool Ran(const std::string& name) const { return std::filesystem::exists(root_ / (name + ".args")); }

  std::filesystem::path root_;

 private:
  struct Saved {
    std::string name, value;
    bool had;
  };
  void Keep(const std::string& name, const std::string& value) {
    const char* old = getenv(name.c_str());
    saved_.push_back({name, old ? old : "", old != nullptr});
    if (value.empty()) unsetenv(name.c_str());
    else setenv(name.c_str(), value.c_str(), 1);
  }
  std::vector<Saved> saved_;
  bool defaultsWritten_ = false;
};

using PrivateDesktop = PrivateDesktopOn<>;

}  // namespace xdgtest
