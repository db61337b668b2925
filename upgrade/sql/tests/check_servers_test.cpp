// The check on open and the version rows on the real MariaDB and Firebird
// servers: the engine creates its system table, writes and reads a file's
// version row, refuses a newer stored version unless "/downgrade" is given,
// and renames an old table to the file's new name keeping its rows.
#include <gtest/gtest.h>

#include <memory>

#include "../../tests/engine_fixture.h"
#include "canned_server.h"
#include "engine_servers.h"
#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"
#include "velmora/sql.h"
#include "velmora/upgrade/conversion.h"
#include "velmora/upgrade/insert_lists.h"
#include "velmora/upgrade/openhook.h"
#include "velmora/upgrade/registration.h"
#include "velmora/upgrade/renamecheck.h"
#include "velmora/upgrade/sql_check.h"
#include "velmora/upgrade/sql_entry.h"
#include "velmora/upgrade/sql_exec.h"
#include "velmora/upgrade/version_rows.h"

namespace {

struct Backend {
  const char* name;
  const char* flavour;
  const char* schema;  // the "db." part MySQL wants in a file's name
  const char* systemTable;
  const char* dataTable;
  rt::Byte datePicture;  // after a missing table was looked for by select
};
void PrintTo(const Backend& b, std::ostream* os) { *os << b.name; }

class CheckServers : public enginetest::Engine, public ::testing::WithParamInterface<Backend> {
 protected:
  void SetUp() override {
    Engine::SetUp();
    CommandLine({"/debugrvall"});
    ASSERT_NO_FATAL_FAILURE(sqltest::UseTestServer(GetParam().flavour, password_, owner_));
    upg::ResetSqlCheck();
    upg::OldFileNames().clear();
    upg::OpenHookState() = upg::HookState{};
    rv3_->SetName(GetParam().systemTable);
    rv3_->SetOwner(owner_);
    upg::ds_AddDriver("ODB", *rv3_, 0, nullptr);
    rt::SetMessageHandler([this](std::string_view text, std::string_view, std::string_view, int, int) {
      boxes_.emplace_back(text);
      return rt::kButtonNo;
    });
    std::string error;
    server_ = velmora::sql::connectionFor("ODBC", owner_, GetParam().flavour, error);
    ASSERT_NE(server_, nullptr) << error;
    Drop(GetParam().systemTable);
    Drop(GetParam().dataTable);
  }
  void TearDown() override {
    for (const std::string& line : traces_) EXPECT_EQ(line.find(password_), std::string::npos) << line;
    for (db::FileDecl* f : {rv3_.get(), file_.get()})
      if (db::IsOpen(*f)) db::Close(*f);
    if (server_) {
      Drop(GetParam().systemTable);
      Drop(GetParam().dataTable);
    }
    upg::CurrentSQLFile() = nullptr;
    upg::OpenHookState() = upg::HookState{};
    upg::ResetSqlCheck();
    upg::OldFileNames().clear();
    velmora::sql::closeThreadConnections();
    rt::SetMessageHandler(nullptr);
    Engine::TearDown();
  }

  std::string Qualified(const std::string& table) const { return GetParam().schema + table; }
  void Drop(const std::string& table) { server_->execute("DROP TABLE " + table); }
  void Run(const std::string& statement) {
    ASSERT_TRUE(server_->execute(statement)) << statement << ": " << server_->error();
  }
  // The rows of a SELECT as texts (NULL as "<null>").
  std::vector<std::vector<std::string>> Rows(const std::string& statement) {
    std::vector<std::vector<std::string>> out;
    if (!server_->execute(statement)) {
      ADD_FAILURE() << statement << ": " << server_->error();
      return out;
    }
    std::vector<velmora::sql::Value> row;
    while (server_->fetch(row)) {
      out.emplace_back();
      for (const auto& v : row) out.back().push_back(v ? *v : "<null>");
    }
    return out;
  }

  std::unique_ptr<db::FileDecl> DataFile() const {
    db::DeclBuilder b("Orders", "ORD");
    b.Driver("ODBC").Name(Qualified(GetParam().dataTable));
    b.Field(db::Type::Long, "ID").Field(db::Type::CString, "NAME", 20);
    b.Key("ID_KEY", {1}, 0);
    return b.Build();
  }
  // Registers the file's version row as the registration does.
  void Register(rt::Short version) {
    file_->SetOwner(owner_);
    upg::LoadVersionInfoQueues(*file_, version, file_->Label(), "ORD");
  }
  std::vector<std::vector<std::string>> VersionRows() {
    return Rows("SELECT DS_FIELD1, DS_FIELD2, DS_FIELD3 FROM " + std::string(GetParam().systemTable));
  }

  std::unique_ptr<db::FileDecl> rv3_ = sqltest::StatementFile("ODBC");
  std::unique_ptr<db::FileDecl> file_ = DataFile();
  velmora::sql::Connection* server_ = nullptr;
  std::string password_, owner_;
  std::vector<std::string> boxes_;
};

TEST_P(CheckServers, TheSystemTableIsCreatedAndTheVersionRowWrittenAndReadBack) {
  Register(3);
  ASSERT_EQ(upg::VCQ().size(), 1u);
  EXPECT_EQ(upg::VCQ()[0].oldVersion, 0);
  EXPECT_EQ(upg::VCQ()[0].goInDeep, 1);
  EXPECT_TRUE(VersionRows().empty()) << "the table exists on the server and is empty";
  EXPECT_FALSE(db::IsOpen(*rv3_));

  // After the table was brought up to date the file's row is written.
  upg::CurrentSQLFile() = rv3_.get();
  upg::OpenHookState().connectionString = owner_;
  upg::SqlCheck().fileName = file_->Name();
  ASSERT_EQ(upg::OpenRV3SQLFile("ODB"), 0) << rt::FileErrorText();
  upg::FilePrefix() = "ORD";
  upg::WriteSystemRow("ODB");
  using Rows_ = std::vector<std::vector<std::string>>;
  EXPECT_EQ(VersionRows(), (Rows_{{Qualified(GetParam().dataTable), "ORD", "3"}}));
  db::Close(*rv3_);

  // The next registration reads it back: nothing to compare.
  upg::ResetSqlCheck();
  Register(3);
  ASSERT_EQ(upg::VCQ().size(), 1u);
  EXPECT_EQ(upg::VCQ()[0].oldVersion, 3);
  EXPECT_EQ(upg::VCQ()[0].goInDeep, 0);
  EXPECT_TRUE(boxes_.empty());
  EXPECT_TRUE(halts_.empty());
}

TEST_P(CheckServers, ANewerStoredVersionIsRefusedUnlessDowngradeIsGiven) {
  Register(3);  // creates the system table
  Run("INSERT INTO " + std::string(GetParam().systemTable) +
      " (DS_FIELD1, DS_FIELD2, DS_FIELD3) VALUES ('" + Qualified(GetParam().dataTable) +
      "', 'ORD', '7')");
  upg::ResetSqlCheck();
  Register(3);
  EXPECT_TRUE(upg::VCQ().empty());
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0], upg::DowngradeError(Qualified(GetParam().dataTable)));
  EXPECT_EQ(halts_, std::vector<int>{upg::kSqlErrorExitCode});

  CommandLine({"/debugrvall", "/downgrade"});
  upg::ResetSqlCheck();
  Register(3);
  ASSERT_EQ(stops_.size(), 1u);
  EXPECT_EQ(stops_[0], upg::DowngradeWarning(Qualified(GetParam().dataTable)));
  ASSERT_EQ(upg::VCQ().size(), 1u);
  EXPECT_EQ(upg::VCQ()[0].oldVersion, 7);
  EXPECT_EQ(upg::VCQ()[0].goInDeep, 1);
  EXPECT_EQ(halts_.size(), 1u);
}

// A missing table is looked for by select before it is created; on
// Firebird the INSERT lists then write dates in 10 characters. A table
// that opens is found without a select and keeps the 12-character dates.
TEST_P(CheckServers, AMissingTableIsLookedForBySelectThenCreated) {
  const std::string name = Qualified(GetParam().dataTable);
  Register(3);
  upg::OpenHookState().connectionString = owner_;
  upg::CurrentSQLFile() = rv3_.get();
  upg::CheckSQLFile(*file_, "ODB");
  EXPECT_TRUE(Traced("Table NOT found: " + name + " - attempting verify via select..."));
  EXPECT_TRUE(Traced("Table NOT found: " + name + ", BUT WITH ERR 90: "));
  EXPECT_EQ(upg::DatePicture(), GetParam().datePicture);
  EXPECT_TRUE(Rows("SELECT ID, NAME FROM " + name).empty()) << "created";
  EXPECT_EQ(upg::OpenHookState().managedFiles, std::vector<std::string>{name});

  traces_.clear();
  upg::ResetSqlCheck();
  Register(3);
  upg::OpenHookState().connectionString = owner_;
  upg::CurrentSQLFile() = rv3_.get();
  upg::CheckSQLFile(*file_, "ODB");
  EXPECT_TRUE(Traced("Table FOUND: " + name));
  EXPECT_FALSE(Traced("attempting verify via select"));
  EXPECT_EQ(upg::DatePicture(), 12);
  EXPECT_TRUE(boxes_.empty());
}

// The system table opened as a file of its own: created when missing,
// then closed again (Firebird), or left for the open with the hook's
// owner and no result or statement of an earlier use (MySQL).
TEST_P(CheckServers, TheSystemTableOpenedAsAFileIsCreatedWhenMissing) {
  rv3_->SetName(Qualified(GetParam().systemTable));
  auto system = sqltest::StatementFile("ODBC");
  system->SetName(rv3_->Name());
  const bool mySql = GetParam().schema[0] != 0;
  // The MySQL path gives the file the hook's owner.
  system->SetOwner(mySql ? "" : owner_);
  upg::OpenHookState().connectionString = owner_;
  upg::CurrentSQLFile() = rv3_.get();
  upg::CheckSQLFile(*system, "ODB");
  EXPECT_TRUE(Traced("RV3 returning - RV3 System table detected..."));
  EXPECT_TRUE(VersionRows().empty()) << "the system table exists";
  EXPECT_FALSE(db::IsOpen(*system));
  EXPECT_EQ(system->Owner(), owner_);
  db::Open(*system);
  EXPECT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
  EXPECT_EQ(db::GetProperty(*system, db::Prop::Statement), "");
  db::Close(*system);
  EXPECT_FALSE(Traced("M22"));
  EXPECT_TRUE(halts_.empty());
}

// MySQL: the system table takes the database of the data file's name; a
// data file without one ends the program.
using MySqlSystemTable = CheckServers;

TEST_P(MySqlSystemTable, TakesTheDataFilesDatabaseOrEndsTheProgram) {
  Register(3);
  EXPECT_EQ(rv3_->Name(), "velmora_test.xcs_sys");
  EXPECT_TRUE(Traced("RV3 SQL File name set to: velmora_test.xcs_sys"));
  EXPECT_EQ(Rows("SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA = "
                 "'velmora_test' AND TABLE_NAME = 'xcs_sys'"),
            std::vector<std::vector<std::string>>{{"xcs_sys"}});
  EXPECT_TRUE(halts_.empty());

  upg::ResetSqlCheck();
  rv3_->SetName("xcs_sys");
  file_->SetName("xcs_orders");
  Register(3);
  EXPECT_TRUE(Traced("MySQL requires db.tablename format in your full path name! Ending Program. xcs_orders"));
  EXPECT_EQ(halts_, std::vector<int>{upg::kSqlErrorExitCode});
}

INSTANTIATE_TEST_SUITE_P(Servers, MySqlSystemTable,
                         ::testing::Values(Backend{"MariaDB", "MYODBC 3", "velmora_test.", "xcs_sys",
                                                   "xcs_orders", 12}),
                         [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Servers, CheckServers,
                         ::testing::Values(Backend{"MariaDB", "MYODBC 3", "velmora_test.", "xcs_sys",
                                                   "xcs_orders", 12},
                                           Backend{"Firebird", "FIREBIRD", "", "XCS_SYS",
                                                   "XCS_ORDERS", 10}),
                         [](const auto& info) { return std::string(info.param.name); });

// The rename check on MariaDB (Firebird cannot rename a table): the open
// finds no table of the new name, the old one gets it and keeps its rows.
using RenameOnServer = CheckServers;

TEST_P(RenameOnServer, AnOldTableIsRenamedAndKeepsItsRows) {
  Drop("xcs_oldorders");
  Run("CREATE TABLE xcs_oldorders (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(20))");
  Run("INSERT INTO xcs_oldorders VALUES (1, 'first'), (2, 'second')");
  upg::OldFileNames().push_back({"", Qualified("xcs_orders"), "", Qualified("xcs_oldorders")});
  Register(3);
  upg::OpenHookState().connectionString = owner_;
  upg::CurrentSQLFile() = rv3_.get();
  upg::CheckSQLFile(*file_, "ODB");
  EXPECT_TRUE(Traced("Rename Successful: From velmora_test.xcs_oldorders to velmora_test.xcs_orders"));
  EXPECT_EQ(upg::OpenHookState().managedFiles, std::vector<std::string>{Qualified("xcs_orders")});
  EXPECT_FALSE(upg::OpenHookState().conversionDetected);
  using Rows_ = std::vector<std::vector<std::string>>;
  EXPECT_EQ(Rows("SELECT ID, NAME FROM xcs_orders ORDER BY ID"), (Rows_{{"1", "first"}, {"2", "second"}}));
  EXPECT_TRUE(Rows("SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_NAME = 'xcs_oldorders'")
                  .empty());
  Drop("xcs_oldorders");
}

INSTANTIATE_TEST_SUITE_P(Servers, RenameOnServer,
                         ::testing::Values(Backend{"MariaDB", "MYODBC 3", "velmora_test.", "xcs_sys",
                                                   "xcs_orders", 12}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
