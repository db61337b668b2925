#pragma once
// A scratch folder as the current folder, and a small data file
// declaration with setters for its record buffer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"

namespace fixture {

class ScratchFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/files_test_XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    old_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
    std::filesystem::create_directory("data");
  }
  void TearDown() override {
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(dir_);
  }
  std::filesystem::path dir_, old_;
};

// Fields: 1 ID LONG, 2 NAME STRING(12), 3 AMOUNT REAL, 4 PRICE DECIMAL(7,2),
// 5 DELTA SHORT, 6 CODE CSTRING(6); memo DATA (blob).
// Keys: 1 ID unique primary, 2 NAME dup no-case, 3 AMOUNT descending dup,
// 4 PRICE dup, 5 DELTA dup, 6 CODE optional unique.
inline std::unique_ptr<db::FileDecl> People(const std::string& prefix = "PEO",
                                            const std::string& name = ".\\data\\people.tps") {
  using db::Type;
  return db::DeclBuilder("People", prefix)
      .Driver("ISAM")
      .Name(name)
      .Attributes(db::kAttrCreate)
      .Field(Type::Long, "ID")
      .Field(Type::String, "NAME", 12)
      .Field(Type::Real, "AMOUNT")
      .Field(Type::Decimal, "PRICE", 7, 2)
      .Field(Type::Short, "DELTA")
      .Field(Type::CString, "CODE", 6)
      .Key("ID_Key", {1}, db::kKeyPrimary)
      .Key("Name_Key", {2}, db::kKeyDup | db::kKeyNoCase)
      .Key("Amount_Key", {-3}, db::kKeyDup)
      .Key("Price_Key", {4}, db::kKeyDup)
      .Key("Delta_Key", {5}, db::kKeyDup)
      .Key("Code_Key", {6}, db::kKeyOpt)
      .Memo("DATA", db::kMemoBinary, 0)
      .Build();
}

struct Person {
  Person(int32_t i, std::string n, double a = 0, const char* p = "0",
         int16_t d = 0, std::string c = {})
      : id(i), name(std::move(n)), amount(a), price(p), delta(d), code(std::move(c)) {}
  int32_t id;
  std::string name;
  double amount;
  const char* price;
  int16_t delta;
  std::string code;
};

inline void Fill(db::FileDecl& f, const Person& p) {
  f.ClearRecord();
  uint8_t* r = f.Record();
  const auto& fl = f.Fields();
  std::memcpy(r + fl[0].offset, &p.id, 4);
  std::memcpy(r + fl[1].offset, p.name.data(), std::min<size_t>(p.name.size(), 12));
  std::memcpy(r + fl[2].offset, &p.amount, 8);
  // DECIMAL(7,2): sign nibble then 7 digits of the value times 100.
  double v = std::strtod(p.price, nullptr);
  long cents = std::lround((v < 0 ? -v : v) * 100);
  uint8_t* d = r + fl[3].offset;
  std::string digits = std::to_string(cents);
  digits.insert(0, 7 - digits.size(), '0');
  std::string nib = std::string(1, v < 0 ? 0x0F : 0) + digits;
  for (int i = 0; i < 4; ++i) {
    auto n = [&](int j) { return nib[j] >= '0' ? nib[j] - '0' : nib[j]; };
    d[i] = static_cast<uint8_t>((n(2 * i) << 4) | n(2 * i + 1));
  }
  std::memcpy(r + fl[4].offset, &p.delta, 2);
  std::memcpy(r + fl[5].offset, p.code.data(), std::min<size_t>(p.code.size(), 5));
}

inline int32_t Id(const db::FileDecl& f) {
  int32_t v;
  std::memcpy(&v, f.Record() + f.Fields()[0].offset, 4);
  return v;
}

inline std::string Name(const db::FileDecl& f) {
  return std::string(reinterpret_cast<const char*>(f.Record() + f.Fields()[1].offset), 12);
}

inline void SetName(db::FileDecl& f, const std::string& n) {
  uint8_t* p = f.Record() + f.Fields()[1].offset;
  std::memset(p, ' ', 12);
  std::memcpy(p, n.data(), std::min<size_t>(n.size(), 12));
}

// Ids in the order of a full scan of `key` (0: record order), forward or back.
inline std::vector<int32_t> Scan(db::FileDecl& f, int key, bool forward = true) {
  std::vector<int32_t> ids;
  db::Set(f, key);
  EXPECT_EQ(rt::ErrorCode(), 0);
  while (true) {
    forward ? db::Next(f) : db::Previous(f);
    if (rt::ErrorCode()) break;
    ids.push_back(Id(f));
  }
  EXPECT_EQ(rt::ErrorCode(), rt::kRecordNotAvailable);
  return ids;
}

// A created, opened file holding `people`, added in that order.
inline std::unique_ptr<db::FileDecl> Filled(const std::vector<Person>& people) {
  auto f = People();
  db::Create(*f);
  EXPECT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
  db::Open(*f);
  EXPECT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
  for (const Person& p : people) {
    Fill(*f, p);
    db::Add(*f);
    EXPECT_EQ(rt::ErrorCode(), 0) << p.id << " " << rt::ErrorText();
  }
  return f;
}

}  // namespace fixture
