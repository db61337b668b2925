#pragma once
// A private temporary folder with small helpers for writing files and
// stand-in programs into it.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <unistd.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "velmora/mapi/mapi.h"

namespace mapitest {

class Folder : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/mapi_test_XXXXXX";
    dir_ = mkdtemp(tmpl);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Write(const std::string& name, const std::string& bytes, bool executable = false) {
    const std::filesystem::path p = dir_ / name;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
    if (executable) chmod(p.c_str(), 0755);
    return p.string();
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(dir_ / name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::filesystem::path dir_;
};

// One message built from plain values; the descriptors point into it.
struct Message {
  std::vector<std::string> texts;
  std::vector<mapi::MapiRecipDesc> recips;
  std::vector<mapi::MapiFileDesc> files;
  mapi::MapiRecipDesc originator;
  mapi::MapiMessage m;

  Message() { texts.reserve(64); }
  char* T(const std::string& s) {
    texts.push_back(s);
    return texts.back().data();
  }
  Message& Subject(const std::string& s) { m.lpszSubject = T(s); return *this; }
  Message& Text(const std::string& s) { m.lpszNoteText = T(s); return *this; }
  Message& From(const std::string& name, const std::string& addr) {
    originator = {0, mapi::MAPI_ORIG, T(name), T(addr), 0, nullptr};
    m.lpOriginator = &originator;
    return *this;
  }
  Message& To(mapi::ULONG cls, const std::string& name, const std::string& addr) {
    recips.push_back({0, cls, T(name), T(addr), 0, nullptr});
    return *this;
  }
  Message& Attach(const std::string& path, const char* name = nullptr) {
    files.push_back({0, 0, ~0u, T(path), name ? T(name) : nullptr, nullptr});
    return *this;
  }
  const mapi::MapiMessage* Get() {
    m.nRecipCount = static_cast<mapi::ULONG>(recips.size());
    m.lpRecips = recips.empty() ? nullptr : recips.data();
    m.nFileCount = static_cast<mapi::ULONG>(files.size());
    m.lpFiles = files.empty() ? nullptr : files.data();
    return &m;
  }
};

}  // namespace mapitest
