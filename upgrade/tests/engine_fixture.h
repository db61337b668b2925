#pragma once
// A scratch folder that holds the program's folder (its store and INI),
// the per-user store and the data files; the debugger output, the stop
// box and the halt captured for the test.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "velmora/files/files.h"
#include "velmora/runtime/cmdline.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/paths.h"
#include "velmora/runtime/system.h"
#include "velmora/runtime/text.h"
#include "velmora/upgrade/registration.h"
#include "velmora/upgrade/settings.h"
#include "velmora/upgrade/store.h"

namespace enginetest {

class Engine : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/upgrade_test_XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    old_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
    std::filesystem::create_directories("data");
    std::filesystem::create_directories("prog");
    setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    CommandLine({});
    upg::ResetRegistration();
    rt::SetDebugSink([this](std::string_view line) { traces_.emplace_back(line); });
    rt::SetStopHandler([this](std::string_view text) {
      stops_.emplace_back(text);
      return endAtStop_;
    });
    rt::SetHaltHandler([this](int code, std::string_view) { halts_.push_back(code); });
  }
  void TearDown() override {
    upg::SetRuntimeOpen(nullptr);
    upg::ResetRegistration();
    rt::SetDebugSink(nullptr);
    rt::SetStopHandler(nullptr);
    rt::SetHaltHandler(nullptr);
    unsetenv("XDG_CONFIG_HOME");
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(dir_);
  }
  // The program lives in prog/ of the scratch folder; `args` follow it.
  void CommandLine(std::vector<std::string> args) {
    args.insert(args.begin(), rt::WindowsPath((dir_ / "prog" / "velmora").string()));
    rt::SetCommandLine(std::move(args));
  }
  // Trace lines without their "[RV3] " prefix.
  std::vector<std::string> Traced() const {
    std::vector<std::string> out;
    for (const std::string& t : traces_) out.push_back(t.substr(t.find("] ") + 2));
    return out;
  }
  bool Traced(std::string_view text) const {
    for (const std::string& t : traces_)
      if (t.find(text) != std::string::npos) return true;
    return false;
  }
  std::string WinIni() const { return (dir_ / "config" / "Velmora" / "WIN.INI").string(); }

  std::filesystem::path dir_, old_;
  std::vector<std::string> traces_, stops_;
  std::vector<int> halts_;
  bool endAtStop_ = false;
};

// A field of the record buffer by its label ("PRE:NAME"; a bare name takes
// the file's prefix): text fields set padded as their type pads, read
// clipped; numbers copied in and out as T.
inline const db::FieldInfo& FieldOf(const db::FileDecl& f, const std::string& label) {
  const std::string full = label.find(':') == std::string::npos ? f.Prefix() + ":" + label : label;
  return f.Fields()[static_cast<size_t>(f.FieldIndex(full))];
}
inline void PutText(db::FileDecl& f, const std::string& label, const std::string& v) {
  const db::FieldInfo& fi = FieldOf(f, label);
  uint8_t* p = f.Record() + fi.offset;
  std::memset(p, fi.type == db::Type::String ? ' ' : 0, fi.size);
  std::memcpy(p, v.data(), std::min<size_t>(v.size(), fi.size));
}
inline std::string GetText(const db::FileDecl& f, const std::string& label) {
  const db::FieldInfo& fi = FieldOf(f, label);
  std::string s(reinterpret_cast<const char*>(f.Record()) + fi.offset, fi.size);
  if (fi.type == db::Type::CString) s.resize(std::strlen(s.c_str()));
  return rt::Clip(s);
}
template <typename T>
void Put(db::FileDecl& f, const std::string& label, T v) {
  std::memcpy(f.Record() + FieldOf(f, label).offset, &v, sizeof v);
}
template <typename T>
T Get(const db::FileDecl& f, const std::string& label) {
  T v{};
  std::memcpy(&v, f.Record() + FieldOf(f, label).offset, sizeof v);
  return v;
}

}  // namespace enginetest
