// The round trip on the private servers, through the open hook as a host
// program registering SQL files runs it: a declared table is created, read
// back and compared to a fixed point, then altered by a newer declaration
// with its rows kept, and compared to a fixed point again.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>

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

namespace {

struct Backend {
  const char* name;
  const char* flavour;
  bool qualified;  // MySQL wants "database.table" names
};
void PrintTo(const Backend& b, std::ostream* os) { *os << b.name; }

// The declaration of a version: version 2 widens NAME and adds a column
// and an index.
std::unique_ptr<db::FileDecl> Orders(const std::string& name, int version) {
  db::DeclBuilder b("RtOrders", "RTO");
  b.Driver("ODBC").Name(name);
  b.Field(db::Type::Long, "ID").Field(db::Type::CString, "NAME", version >= 2 ? 31 : 21);
  if (version >= 2) b.Field(db::Type::Long, "QTY");
  b.Key("Id_Key", {1}, db::kKeyPrimary);
  if (version >= 2) b.Key("Name_Key", {2}, db::kKeyDup);
  return b.Build();
}

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
    // Firebird's index names hold for the whole database: no table of
    // another test keeps a key name of this one.
    Use("rt_syn", "SYN", "RtSyn", nullptr);
    Use("rt_orders", "RTO", "RtOrders", &Orders);
    rt::SetMessageHandler([this](std::string_view text, std::string_view, std::string_view, int, int) {
      boxes_.emplace_back(text);
      return rt::kButtonNo;
    });
  }

  // The table the test works on, its prefix, label and declarations.
  void Use(const std::string& table, const std::string& prefix, const std::string& label,
           std::function<std::unique_ptr<db::FileDecl>(const std::string&, int)> declare) {
    name_ = GetParam().qualified ? database_ + "." + table : table;
    table_ = table;
    prefix_ = prefix;
    label_ = label;
    declare_ = std::move(declare);
    // Nothing of an earlier run stays on the server.
    Direct("DROP TABLE " + name_);
    Direct("DELETE FROM RV3SYS WHERE DS_FIELD2 = '" + prefix_ + "'");
  }
  void TearDown() override {
    db::SetOpenHook(nullptr);
    if (data_ && db::IsOpen(*data_)) db::Close(*data_);
    if (rv3_ && db::IsOpen(*rv3_)) db::Close(*rv3_);
    upg::CurrentSQLFile() = nullptr;
    upg::ResetSqlCheck();
    // The tables go with their key names (database-wide on Firebird).
    Use("rt_syn", "SYN", "RtSyn", nullptr);
    Use("rt_orders", "RTO", "RtOrders", nullptr);
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
  std::unique_ptr<db::FileDecl> rv3_, data_;
  // The statements and the trace lines of the last open.
  std::vector<std::string> boxes_, ran_, lastRun_;
  bool InLastRun(std::string_view text) const {
    for (const std::string& t : lastRun_)
      if (t.find(text) != std::string::npos) return true;
    return false;
  }
};

TEST_P(RoundTrip, CreateReadBackAlterAndCompareToAFixedPoint) {
  // No system table yet: the first registration creates it.
  Direct("DROP TABLE RV3SYS");
  // Version 1: the table is created on open.
  ASSERT_EQ(Run(1), 0) << rt::ErrorText() << " " << rt::FileErrorText();
  std::vector<std::vector<std::string>> rows;
  ASSERT_TRUE(Direct("SELECT ID, NAME FROM " + name_, &rows)) << "the table was not created";
  EXPECT_TRUE(rows.empty());
  EXPECT_EQ(StoredVersion(), "1");
  // A row of the first version, written through the file.
  data_->ClearRecord();
  db::SetFieldText(data_->Fields()[0], data_->Record() + data_->Fields()[0].offset, "7");
  db::SetFieldText(data_->Fields()[1], data_->Record() + data_->Fields()[1].offset, "Seven");
  db::Add(*data_);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
  db::Close(*data_);

  // A fixed point: what the server holds is what is declared.
  EXPECT_EQ(Compare(), std::vector<std::string>{});

  // A new run compares it again (forced) and changes nothing.
  ASSERT_EQ(Run(1, {"/goindeep"}), 0) << rt::FileErrorText();
  EXPECT_TRUE(InLastRun("GoInDeep: 1 reason: commandline parameter."));
  EXPECT_TRUE(InLastRun("----------END - Total number of fields: 2----------"))
      << "the forced comparison read nothing";
  EXPECT_TRUE(InLastRun("-- Start of RunSQLScripts 0 --"));
  EXPECT_FALSE(AnyDdl(ran_));
  db::Close(*data_);

  // Version 2 widens NAME, adds a column and an index: the table is
  // altered, the row stays.
  ASSERT_EQ(Run(2), 0) << rt::ErrorText() << " " << rt::FileErrorText();
  EXPECT_EQ(std::count_if(ran_.begin(), ran_.end(),
                          [](const std::string& s) {
                            return s.rfind("Alter Table rt_orders ", 0) == 0 ||
                                   s.rfind("CREATE INDEX NAME_KEY ON rt_orders (NAME)", 0) == 0;
                          }),
            3)
      << "NAME widened, QTY added, NAME_KEY created";
  rows.clear();
  ASSERT_TRUE(Direct("SELECT ID, NAME, QTY FROM " + name_, &rows)) << "the table was not altered";
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0], "7");
  EXPECT_EQ(rows[0][1], "Seven");
  EXPECT_EQ(rows[0][2], "NULL");
  EXPECT_EQ(StoredVersion(), "2");
  db::Close(*data_);
  EXPECT_EQ(Compare(), std::vector<std::string>{});
  EXPECT_TRUE(boxes_.empty()) << boxes_.front();
}

// Every type, key kind and memo of the synthetic declaration: created and
// read back to a fixed point (MariaDB: on Firebird the quoted external
// name and the mixed-direction key do not come back as declared).
class RoundTripEveryType : public RoundTrip {};

TEST_P(RoundTripEveryType, EveryTypeKeyAndMemoReadBackToAFixedPoint) {
  Use("rt_syn", "SYN", "RtSyn", [](const std::string& name, int) {
    return sqltest::EveryType("RtSyn", "ODBC", name);
  });
  ASSERT_EQ(Run(1), 0) << rt::ErrorText() << " " << rt::FileErrorText();
  EXPECT_EQ(StoredVersion(), "1");
  db::Close(*data_);
  EXPECT_EQ(Compare(), std::vector<std::string>{});
  EXPECT_TRUE(boxes_.empty()) << boxes_.front();
}

INSTANTIATE_TEST_SUITE_P(Servers, RoundTrip,
                         ::testing::Values(Backend{"MariaDB", "MYODBC 3", true},
                                           Backend{"Firebird", "FIREBIRD", false}),
                         [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Servers, RoundTripEveryType,
                         ::testing::Values(Backend{"MariaDB", "MYODBC 3", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
