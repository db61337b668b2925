#pragma once
// The round trip harness: runs of a host program that registers SQL files
// on the private servers, opening a declared table through the open hook,
// with the statements of each step printed and the comparison to hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>
#include <tuple>

#include "../../../platform/sql/tests/test_servers.h"
#include "../../tests/engine_fixture.h"
#include "canned_server.h"
#include "statement_fixture.h"
#include "velmora/files/field_text.h"
#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"
#include "velmora/sql.h"
#include "velmora/upgrade/interpret.h"
#include "velmora/upgrade/openhook.h"
#include "velmora/upgrade/registration.h"
#include "velmora/upgrade/server_structure.h"
#include "velmora/upgrade/settings.h"
#include "velmora/upgrade/sql_check.h"
#include "velmora/upgrade/sql_entry.h"
#include "velmora/upgrade/sql_exec.h"
#include "velmora/upgrade/sql_statements.h"
#include "velmora/upgrade/sqlnames.h"
#include "velmora/upgrade/version_rows.h"
#include "velmora/runtime/text.h"

namespace rttest {

struct Backend {
  const char* name;
  const char* flavour;
  bool qualified;  // MySQL wants "database.table" names
};

class RoundTrip : public enginetest::Engine, public ::testing::WithParamInterface<Backend> {
 protected:
  void SetUp() override {
    Engine::SetUp();
    const char* env = std::getenv("VELMORA_SQL_SERVERS_ENV");
    auto servers = sqltest_env::Servers(env && *env ? env : VELMORA_SQL_SERVERS_ENV);
    ASSERT_FALSE(servers.empty()) << "the test servers are not running";
    password_ = sqltest_env::Password(servers, GetParam().flavour);
    owner_ = sqltest_env::Owner(servers, GetParam().flavour, password_);
    database_ = servers["MARIADB_DATABASE"];
    rt::SetMessageHandler([this](std::string_view text, std::string_view, std::string_view, int, int) {
      boxes_.emplace_back(text);
      return rt::kButtonNo;
    });
  }

  // The table the test works on, its prefix, label and declarations.
  void Use(const std::string& table, const std::string& prefix, const std::string& label,
           std::function<std::unique_ptr<db::FileDecl>(const std::string&, int)> declare) {
    Aim(table, prefix, label, std::move(declare));
    used_.emplace_back(table, prefix, label);
    // Nothing of an earlier run stays on the server.
    Direct("DROP TABLE " + name_);
    Direct("DELETE FROM RV3SYS WHERE DS_FIELD2 = '" + prefix_ + "'");
  }
  // Works on this table from now on (a table used before stays as it is).
  void Aim(const std::string& table, const std::string& prefix, const std::string& label,
           std::function<std::unique_ptr<db::FileDecl>(const std::string&, int)> declare) {
    name_ = GetParam().qualified ? database_ + "." + table : table;
    table_ = table;
    prefix_ = prefix;
    label_ = label;
    declare_ = std::move(declare);
  }
  void TearDown() override {
    db::SetOpenHook(nullptr);
    if (data_ && db::IsOpen(*data_)) db::Close(*data_);
    if (rv3_ && db::IsOpen(*rv3_)) db::Close(*rv3_);
    upg::CurrentSQLFile() = nullptr;
    upg::ResetSqlCheck();
    // The tables go with their key names (database-wide on Firebird).
    auto used = std::move(used_);
    for (const auto& [table, prefix, label] : used) Use(table, prefix, label, nullptr);
    for (const std::string& line : traces_) EXPECT_EQ(line.find(password_), std::string::npos) << line;
    velmora::sql::closeThreadConnections();
    rt::SetMessageHandler(nullptr);
    Engine::TearDown();
  }

  // A statement on a connection of the test's own, beside the engine.
  bool Direct(const std::string& statement, std::vector<std::vector<std::string>>* rows = nullptr) {
    std::string error;
    velmora::sql::Connection* c = velmora::sql::connectionFor("ODBC", owner_, GetParam().flavour, error);
    if (!c || !c->execute(statement)) return false;
    if (rows) {
      std::vector<velmora::sql::Value> row;
      while (c->fetch(row)) {
        rows->emplace_back();
        for (const auto& v : row) rows->back().push_back(v.value_or("NULL"));
      }
    }
    return true;
  }
  // The rows of a query on the test's own connection; a failing query fails the test.
  std::vector<std::vector<std::string>> Select(const std::string& statement) {
    std::vector<std::vector<std::string>> rows;
    EXPECT_TRUE(Direct(statement, &rows)) << statement;
    return rows;
  }

  // A new run of the host program: its registration, then the open of the
  // declaration of `version` through the hook. Returns the open's error.
  int Run(int version, std::vector<std::string> args = {}) {
    if (data_ && db::IsOpen(*data_)) db::Close(*data_);
    if (rv3_ && db::IsOpen(*rv3_)) db::Close(*rv3_);
    upg::CurrentSQLFile() = nullptr;
    upg::ResetSqlCheck();
    upg::ResetRegistration();
    // A new process has not asked the server for its case rule yet.
    upg::ServerCaseKnown() = 0;
    upg::ServerCaseSensitive() = 0;
    args.push_back("/debugrvfull");
    CommandLine(args);
    upg::ResetSettings();
    upg::ReadSwitches();
    upg::ds_SetOption("odbcflavour", GetParam().flavour);
    // The declaration is master of the columns and keys: declared keys
    // are created, undeclared ones dropped.
    upg::ds_SetOption("dctmasterfields", "1");
    upg::ds_SetOption("dctmasterkeys", "1");
    rv3_ = sqltest::StatementFile("ODBC");
    rv3_->SetOwner(owner_);
    upg::ds_AddDriver("ODB", *rv3_, 0, nullptr);
    // What a new process has not used yet.
    upg::ForgetUsedAlternates();
    if (register_) register_(version);
    data_ = declare_(name_, version);
    data_->SetOwner(owner_);
    upg::ds_UsingFile(*data_, static_cast<rt::Short>(version), prefix_, label_);
    upg::InstallOpenHook();
    traces_.clear();
    db::HookedOpen(*data_, db::kReadWrite | db::kDenyNone);
    int error = rt::ErrorCode();
    ran_ = PrintStatements("open of version " + std::to_string(version));
    return error;
  }

  // The statements the engine ran since the last call, into the test log.
  std::vector<std::string> PrintStatements(const std::string& step) {
    std::vector<std::string> out;
    const std::string marker = "About to execute statement: ";
    for (const std::string& line : traces_) {
      if (std::getenv("ROUNDTRIP_TRACE")) std::cout << "    | " << line << "\n";
      size_t at = line.find(marker);
      if (at != std::string::npos) out.push_back(line.substr(at + marker.size()));
    }
    std::cout << "---- " << GetParam().name << ": " << step << " (" << out.size() << " statements)\n";
    for (const std::string& s : out) std::cout << "  " << s << "\n";
    lastRun_ = traces_;
    traces_.clear();
    return out;
  }

  // Reads the table back and compares it with the declaration as the
  // check does; the statements it would run.
  std::vector<std::string> Compare() {
    upg::CurrentSQLFile() = rv3_.get();
    upg::OpenHookState().connectionString = owner_;
    upg::SqlCheckState& sc = upg::SqlCheck();
    sc.fileName = name_;
    sc.tableLabel = label_;
    size_t dot = name_.find('.');
    sc.tableName = dot == std::string::npos ? name_ : name_.substr(dot + 1);
    upg::SQLTableName() = sc.tableName;
    sc.dctFieldsMaster = 1;
    sc.dctKeysMaster = 1;
    upg::SQ().clear();
    upg::DQ().clear();
    upg::AQ().clear();
    upg::OpenRV3SQLFile("ODB");
    EXPECT_EQ(upg::LoadServerStructure("ODB"), 0);
    upg::FindServerCase("ODB", upg::DialectOf("ODB", upg::ODBCFlavour()));
    upg::ds_InterpretStructure(*data_);
    upg::ds_SetSQLNames("ODB");
    upg::PrintSQLStructure();
    upg::CompareFields("ODB");
    upg::CompareKeys("ODB");
    std::vector<std::string> queued;
    for (const upg::KeyScriptRow& r : upg::DQ()) queued.push_back(r.sql);
    for (const upg::ScriptRow& r : upg::SQ()) queued.push_back(r.sql);
    for (const upg::KeyScriptRow& r : upg::AQ()) queued.push_back(r.sql);
    std::cout << "---- " << GetParam().name << ": comparison queued " << queued.size() << "\n";
    for (const std::string& s : queued) std::cout << "  " << s << "\n";
    if (db::IsOpen(*rv3_)) db::Close(*rv3_);
    if (std::getenv("ROUNDTRIP_TRACE"))
      for (const std::string& line : traces_) std::cout << "    | " << line << "\n";
    traces_.clear();
    return queued;
  }

  // The version the system table holds for the file.
  std::string StoredVersion() {
    std::vector<std::vector<std::string>> rows;
    if (!Direct("SELECT DS_FIELD3 FROM RV3SYS WHERE DS_FIELD2 = '" + prefix_ + "'", &rows) ||
        rows.size() != 1)
      return "none";
    return rows[0][0];
  }

  static bool AnyDdl(const std::vector<std::string>& statements) {
    for (const std::string& s : statements) {
      std::string u = rt::Upper(s);
      for (const char* word : {"CREATE ", "ALTER ", "DROP "})
        if (u.rfind(word, 0) == 0) return true;
    }
    return false;
  }

  std::string password_, owner_, name_, database_, table_, prefix_, label_;
  std::function<std::unique_ptr<db::FileDecl>(const std::string&, int)> declare_;
  // What the host program registers beside its files in a run of `version`
  // (alternate field names, more drivers and options).
  std::function<void(int version)> register_;
  std::unique_ptr<db::FileDecl> rv3_, data_;
  // The statements and the trace lines of the last open.
  std::vector<std::string> boxes_, ran_, lastRun_;
  // The tables the test used: (table, prefix, label).
  std::vector<std::tuple<std::string, std::string, std::string>> used_;
  bool InLastRun(std::string_view text) const {
    for (const std::string& t : lastRun_)
      if (t.find(text) != std::string::npos) return true;
    return false;
  }
};

}  // namespace rttest
