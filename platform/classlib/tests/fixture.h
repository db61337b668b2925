#pragma once
// A fresh temporary folder as the current folder, and a message box that
// records what it was asked to show.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "velmora/runtime/system.h"

namespace cltest {

struct Shown {
  std::string text, caption;
};

class TempFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (std::filesystem::temp_directory_path() / "classlib_test_XXXXXX").string();
    dir_ = mkdtemp(tmpl.data());
    old_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
    std::filesystem::create_directory("data");
    rt::SetMessageHandler([this](std::string_view text, std::string_view caption,
                                 std::string_view, int, int def) {
      shown_.push_back({std::string(text), std::string(caption)});
      return def;
    });
  }
  void TearDown() override {
    rt::SetMessageHandler(nullptr);
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(dir_);
  }
  std::filesystem::path dir_, old_;
  std::vector<Shown> shown_;
};

}  // namespace cltest
