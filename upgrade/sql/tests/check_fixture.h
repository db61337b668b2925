#pragma once
// The SQL check on the canned server: tables that can be missing or broken
// on OPEN, the SQL Server and SQL Anywhere statement files registered, and
// the check run as the open hook runs it.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "../../tests/engine_fixture.h"
#include "canned_server.h"
#include "velmora/files/files.h"
#include "velmora/runtime/system.h"
#include "velmora/upgrade/openhook.h"
#include "velmora/upgrade/renamecheck.h"
#include "velmora/upgrade/sql_entry.h"
#include "velmora/upgrade/sql_exec.h"
#include "velmora/upgrade/sqlnames.h"
#include "velmora/upgrade/version_rows.h"

namespace sqltest {

inline constexpr const char* kPassword = "Zq7secret";
inline const std::string kOwner = std::string("srv,salesdb,sa,") + kPassword;
inline const std::string kAsaOwner = std::string("salesdb,sa,") + kPassword;
inline const std::string kOraOwner = std::string("scott,") + kPassword;

// The canned server whose tables can be missing or broken on OPEN.
class CheckServer : public sqltest::CannedServer {
 public:
  void Open(db::FileDecl& f, uint32_t mode) override {
    opened.push_back(f.Name());
    auto it = openErrors.find(f.Name());
    if (it == openErrors.end()) return CannedServer::Open(f, mode);
    if (it->second == rt::kDriverError)
      rt::SetSqlFileError(rt::kDriverError, "42S02", "no such table", f.Name());
    else
      rt::SetError(it->second);
  }
  std::map<std::string, int> openErrors;
  std::vector<std::string> opened;
};

class SqlCheckTest : public enginetest::Engine {
 protected:
  void SetUp() override {
    Engine::SetUp();
    CommandLine({"/debugrvall"});
    // A new process: the server's case rule is not known yet.
    upg::ServerCaseKnown() = 0;
    upg::ServerCaseSensitive() = 0;
    upg::ResetSqlCheck();
    upg::OldFileNames().clear();
    db::RegisterSqlDriver("MSSQL", server_);
    db::RegisterSqlDriver("SQLANYWHERE", server_);
    db::RegisterSqlDriver("ORACLE", server_);
    rv3_->SetOwner(kOwner);
    asaRv3_->SetOwner(kAsaOwner);
    oraRv3_->SetOwner(kOraOwner);
    upg::ds_AddDriver("MSS", *rv3_, 0, nullptr);
    upg::ds_AddDriver("ASA", *asaRv3_, 0, nullptr);
    upg::ds_AddDriver("ORA", *oraRv3_, 0, nullptr);
    rt::SetMessageHandler([this](std::string_view text, std::string_view, std::string_view, int,
                                 int) {
      messages_.emplace_back(text);
      return rt::kButtonNo;
    });
  }
  void TearDown() override {
    for (db::FileDecl* f : {rv3_.get(), asaRv3_.get(), oraRv3_.get()})
      if (db::IsOpen(*f)) db::Close(*f);
    upg::CurrentSQLFile() = nullptr;
    upg::ResetSqlCheck();
    upg::OldFileNames().clear();
    upg::ServerCaseKnown() = 0;
    upg::ServerCaseSensitive() = 0;
    rt::SetMessageHandler(nullptr);
    db::RegisterSqlDriver("MSSQL", nullptr);
    db::RegisterSqlDriver("SQLANYWHERE", nullptr);
    db::RegisterSqlDriver("ORACLE", nullptr);
    // No password of a connection string ever reaches a trace line.
    for (const std::string& t : traces_) EXPECT_EQ(t.find(kPassword), std::string::npos) << t;
    Engine::TearDown();
  }

  static std::unique_ptr<db::FileDecl> DataFile(const std::string& name,
                                                const std::string& driver = "MSSQL",
                                                const std::string& label = "Orders") {
    db::DeclBuilder b(label, "ORD");
    b.Driver(driver).Name(name);
    b.Field(db::Type::Long, "ID").Field(db::Type::CString, "NAME", 20);
    b.Key("ID_KEY", {1}, 0);
    return b.Build();
  }

  // Registers the file's version row as the registration does.
  void Register(db::FileDecl& file, rt::Short version, const std::string& owner = kOwner) {
    file.SetOwner(owner);
    upg::LoadVersionInfoQueues(file, version, file.Label(), "ORD");
  }

  // Runs the check as the open hook does.
  void Check(db::FileDecl& file, const std::string& code = "MSS") {
    upg::OpenHookState().connectionString = file.Owner();
    upg::CurrentSQLFile() = code == "ASA" ? asaRv3_.get() : code == "ORA" ? oraRv3_.get() : rv3_.get();
    server_->statements.clear();
    server_->opened.clear();
    upg::CheckSQLFile(file, code);
  }

  bool Ran(std::string_view fragment) const {
    for (const std::string& s : server_->statements)
      if (s.find(fragment) != std::string::npos) return true;
    return false;
  }

  std::shared_ptr<CheckServer> server_ = std::make_shared<CheckServer>();
  std::unique_ptr<db::FileDecl> rv3_ = sqltest::StatementFile("MSSQL");
  std::unique_ptr<db::FileDecl> asaRv3_ = sqltest::StatementFile("SQLANYWHERE");
  std::unique_ptr<db::FileDecl> oraRv3_ = sqltest::StatementFile("ORACLE");
  std::vector<std::string> messages_;
};

}  // namespace sqltest
