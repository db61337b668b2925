#pragma once
// A catalogue reader under test: the canned server behind the statement
// file, the check's names set for one table, every trace flag on, and the
// queues and error boxes readable as short texts.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "../../tests/engine_fixture.h"
#include "canned_server.h"
#include "velmora/files/files.h"
#include "velmora/upgrade/server_structure.h"
#include "velmora/upgrade/sql_check.h"
#include "velmora/upgrade/sql_exec.h"

namespace sqltest {

class CatalogueReader : public enginetest::Engine {
 protected:
  void SetUp() override {
    Engine::SetUp();
    CommandLine({"/debugrvfull"});
    upg::ResetSettings();
    upg::ReadSwitches();
    db::RegisterSqlDriver("CANNED", server_);
    db::Open(*file_);
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
    upg::CurrentSQLFile() = file_.get();
    upg::SFDQ().clear();
    upg::SKDQ().clear();
    upg::TIQ().clear();
    upg::SqlCheck() = {};
    rt::SetMessageHandler([this](std::string_view text, std::string_view, std::string_view, int,
                                 int) {
      boxes_.emplace_back(text);
      return rt::kButtonNo;
    });
  }
  void TearDown() override {
    rt::SetMessageHandler(nullptr);
    upg::CurrentSQLFile() = nullptr;
    db::Close(*file_);
    db::RegisterSqlDriver("CANNED", nullptr);
    upg::ResetSettings();
    Engine::TearDown();
  }

  // A new server with nothing planned behind the statement file (for the
  // next case of a table).
  void FreshServer() {
    db::Close(*file_);
    server_ = std::make_shared<CannedServer>();
    db::RegisterSqlDriver("CANNED", server_);
    db::Open(*file_);
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
    boxes_.clear();
    traces_.clear();
  }
  // Rows of an earlier table, which the reader must not keep.
  static void LeaveStaleRows() {
    upg::SFDQ().emplace_back().name = "OLD";
    upg::SKDQ().emplace_back().keyName = "OLDKEY";
    upg::TIQ().push_back({"OLDKEY"});
  }
  // SFDQ rows as "NAME|AltName|type|autonum nullable dependant".
  static std::vector<std::string> Columns() {
    std::vector<std::string> out;
    for (const upg::ServerColumn& c : upg::SFDQ())
      out.push_back(c.name + "|" + c.altName + "|" + c.type + "|" + std::to_string(c.autoNum) +
                    " " + std::to_string(c.nullable) + " " + std::to_string(c.dependant));
    return out;
  }
  // SKDQ rows as "KEYNAME|KeyFileName|att|fields|n1 n2 ..|index".
  static std::vector<std::string> Keys() {
    std::vector<std::string> out;
    for (const upg::ServerKey& k : upg::SKDQ()) {
      std::string nums;
      for (rt::Long i = 0; i < k.numFields && i < 20; ++i)
        nums += (i ? " " : "") + std::to_string(k.fieldNums[i]);
      out.push_back(k.keyName + "|" + k.keyFileName + "|" + k.att + "|" + k.fields + "|" + nums +
                    "|" + std::to_string(k.index));
    }
    return out;
  }
  // The M34/M42 text a failed catalogue query shows with `detail`.
  static std::string Shown(std::string_view detail) {
    return "RV3 Unable to interpret SQL structure:: \r\n[RV3] " + std::string(detail) +
           "\r\nWould you like to End the Program?";
  }

  std::shared_ptr<CannedServer> server_ = std::make_shared<CannedServer>();
  std::unique_ptr<db::FileDecl> file_ = StatementFile("CANNED");
  std::vector<std::string> boxes_;
};

}  // namespace sqltest
