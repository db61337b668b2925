// The statements each dialect generates: new tables for the data files'
// declarations and a synthetic one, and comparisons with server columns
// and keys filled by hand, checked against golden texts.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "../../tests/engine_fixture.h"
#include "statement_fixture.h"
#include "velmora/data/dictionary.h"
#include "velmora/upgrade/openhook.h"

namespace {

using upg::Dialect;

struct NamedDialect {
  Dialect d;
  const char* name;
};
constexpr NamedDialect kDialects[] = {{Dialect::MsSql, "MSS"},     {Dialect::Oracle, "ORA"},
                                      {Dialect::Anywhere, "ASA"},  {Dialect::MySql, "MYODBC 3"},
                                      {Dialect::Firebird, "FIREBIRD"}};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Compares `actual` with the golden file; VELMORA_GOLDEN_OUT names a
// folder that receives the actual text for review.
void ExpectGolden(const std::string& name, const std::string& actual) {
  if (const char* out = std::getenv("VELMORA_GOLDEN_OUT")) std::ofstream(std::string(out) + "/" + name) << actual;
  EXPECT_EQ(actual, ReadFile(std::string(GOLDEN_DIR) + "/" + name)) << name;
}

class Statements : public enginetest::Engine {
 protected:
  void SetUp() override {
    Engine::SetUp();
    Reset();
  }
  void TearDown() override {
    Reset();
    Engine::TearDown();
  }
  static void Reset() {
    sqltest::ClearQueues();
    upg::SFDQ().clear();
    upg::SKDQ().clear();
    upg::ForcedTypes().clear();
    upg::IQ().clear();
    upg::ITQ().clear();
    upg::BFQ().clear();
    upg::BFILQ().clear();
    upg::TSQ().clear();
    upg::ISQ().clear();
    upg::ForgetUsedAlternates();
    upg::SqlCheck() = {};
    upg::OpenHookState().identityInsert = false;
  }
};

std::string Section(const std::string& title, const std::vector<std::string>& statements) {
  std::string out = "-- " + title + "\n";
  for (const std::string& s : statements) out += s + "\n";
  return out;
}

TEST_F(Statements, NewTablesOfEveryDeclarationInEveryDialect) {
  upg::ds_SetOption("dctmasterkeys", "1");
  std::string text;
  for (const NamedDialect& nd : kDialects) {
    for (int id = 0; id < data::kFileCount; ++id) {
      auto file = data::Declaration(static_cast<data::FileId>(id)).Clone();
      text += Section(std::string(nd.name) + " " + file->Label(), sqltest::CreateScript(*file, nd.d));
    }
    auto syn = sqltest::EveryType();
    text += Section(std::string(nd.name) + " Syn", sqltest::CreateScript(*syn, nd.d));
  }
  ExpectGolden("create.txt", text);
}

TEST_F(Statements, ComparisonsInEveryDialect) {
  upg::ds_SetOption("dctmasterkeys", "1");
  upg::ds_AlternateFieldName("CMP:RENAMED", "CMP:OLDNAME");
  std::string text;
  for (const NamedDialect& nd : kDialects) {
    upg::ForgetUsedAlternates();
    auto before = sqltest::CmpOld(), after = sqltest::CmpNew();
    text += Section(std::string(nd.name) + " changed", sqltest::CompareScript(*before, *after, nd.d));
    // The table as the statements leave it matches: nothing is queued.
    auto again = sqltest::CmpNew(), declared = sqltest::CmpNew();
    EXPECT_EQ(sqltest::CompareScript(*again, *declared, nd.d), std::vector<std::string>{}) << nd.name;
    auto syn = sqltest::EveryType(), synDeclared = sqltest::EveryType();
    EXPECT_EQ(sqltest::CompareScript(*syn, *synDeclared, nd.d), std::vector<std::string>{}) << nd.name;
  }
  ExpectGolden("compare.txt", text);
}

}  // namespace
