// Statements through a recording SQL driver, the script queues with their
// retry pass, the SQL error reports, and passwords kept out of the trace.
#include <map>
#include <memory>

#include "../../tests/engine_fixture.h"
#include "velmora/files/sql_driver.h"
#include "velmora/runtime/ini.h"
#include "velmora/runtime/text.h"
#include "velmora/upgrade/sql_exec.h"

namespace {

using enginetest::Engine;

const char* const kPasswords[] = {"Sesam0ffne", "tig3r;x", "hunt er2", "p@ss@word"};

// Records every statement; a statement fails (or warns) as often as its
// planned outcomes say, then succeeds. Result rows are served to NEXT.
class Recorder : public db::SqlDriver {
 public:
  void Open(db::FileDecl&, uint32_t) override { rt::ClearError(); }
  void Close(db::FileDecl&) override { rt::ClearError(); }
  void Execute(db::FileDecl& f, std::string_view statement) override {
    statements.emplace_back(statement);
    std::vector<std::string>& plan = outcomes[std::string(statement)];
    if (plan.empty()) return;
    std::string state = plan.front();
    plan.erase(plan.begin());
    rt::SetSqlFileError(rt::kDriverError, state, "server refused: " + std::string(statement),
                        f.Name());
  }
  void Next(db::FileDecl& f) override {
    if (row >= rows.size()) return rt::SetError(rt::kRecordNotAvailable);
    std::copy(rows[row].begin(), rows[row].end(), f.Record());
    ++row;
    rt::ClearError();
  }
  std::vector<std::string> statements;
  std::map<std::string, std::vector<std::string>> outcomes;
  std::vector<std::string> rows;
  size_t row = 0;
};

class SqlStatements : public Engine {
 protected:
  void SetUp() override {
    Engine::SetUp();
    Switches({"/debugrvfull"});
    db::RegisterSqlDriver("RECSQL", recorder_);
    db::Open(*file_);
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
    upg::CurrentSQLFile() = file_.get();
    upg::SQ().clear();
    upg::DQ().clear();
    upg::AQ().clear();
    rt::SetMessageHandler([this](std::string_view text, std::string_view caption,
                                 std::string_view, int buttons, int defaultButton) {
      boxes_.push_back({std::string(text), std::string(caption), buttons, defaultButton});
      return answer_;
    });
  }
  void TearDown() override {
    // Nothing any of these tests traced may hold a password.
    for (const std::string& line : traces_)
      for (const char* pwd : kPasswords) EXPECT_EQ(line.find(pwd), std::string::npos) << line;
    for (const Box& b : boxes_)
      for (const char* pwd : kPasswords) EXPECT_EQ(b.text.find(pwd), std::string::npos) << b.text;
    upg::CurrentSQLFile() = nullptr;
    db::Close(*file_);
    db::RegisterSqlDriver("RECSQL", nullptr);
    rt::SetMessageHandler(nullptr);
    upg::SetProgressRedisplay(nullptr);
    Engine::TearDown();
  }
  void Switches(std::vector<std::string> args) {
    CommandLine(std::move(args));
    upg::ResetSettings();
    upg::ReadSwitches();
  }
  struct Box {
    std::string text, caption;
    int buttons, defaultButton;
  };
  std::shared_ptr<Recorder> recorder_ = std::make_shared<Recorder>();
  std::unique_ptr<db::FileDecl> file_ = db::DeclBuilder("SQLSTMT", "SQL")
                                            .Driver("RECSQL")
                                            .Name("stmt")
                                            .Field(db::Type::String, "COL", 8)
                                            .Build();
  std::vector<Box> boxes_;
  int answer_ = rt::kButtonNo;
};

TEST_F(SqlStatements, ErrorLevelsAndTexts) {
  upg::SetTranslationIni("");
  rt::PutIni("Messages", "M27", "Datentyp unbekannt: ", upg::TranslationIniName());
  rt::PutIni("Messages", "M31", "Siehe Handbuch.", upg::TranslationIniName());
  const std::string rv = ": \r\n[RV3] ";
  struct Case {
    upg::SqlMessage m;
    std::string detail;
    int answer;
    std::string shown;  // the text traced and shown
    bool box;
    std::vector<int> halts;
  };
  const Case cases[] = {
      {upg::kM20, "FORMS", rt::kButtonNo, "RV3 Error: No connection string found for this file:" + rv + "FORMS", true, {}},
      {upg::kM21, "File: A, Zone: B", rt::kButtonNo, "RV3 Error: File not in Manageable Zone!" + rv + "File: A, Zone: B", false, {}},
      {upg::kM22, "42S02 no table", 0, "RV3 Error Creating / Opening RV3 System File:" + rv + "42S02 no table", false, {}},
      {upg::kM23, "FOR", 0, "RV3 Error getting IncomingVerionQ:" + rv + "FOR", false, {}},
      {upg::kM24, "23000 dup", 0, "RV3 Error occurred inserting RV3 System file:" + rv + "23000 dup", false, {}},
      {upg::kM25, "HY000 x", 0, "RV3 Error occurred updating RV3 System file:" + rv + "HY000 x", false, {}},
      {upg::kM27, "GUID", 0, "RV3 Datentyp unbekannt:" + rv + "GUID", false, {}},
      {upg::kM28, "ID2", rt::kButtonYes, "RV3 WARNING: This file already contains an AUTONUMBER field; Only 1 per file permitted! Field:" + rv + "ID2", true, {upg::kSqlErrorExitCode}},
      {upg::kM29, "TS1", rt::kButtonNo, "RV3 Unable to create TableSpace:" + rv + "TS1", true, {}},
      {upg::kM30, std::string(upg::kM31.text), rt::kButtonNo, "Siehe Handbuch.", true, {}},
      {upg::kM32, "", 0, "RV3 SQL WARNING ABOVE - take note!" + rv, false, {}},
      {upg::kM34, "[keys] Error: 1 - x", rt::kButtonNo, "RV3 Unable to interpret SQL structure:" + rv + "[keys] Error: 1 - x", true, {}},
      {upg::kM34Index, "t", 0, "RV3 RV3: Unable to interpret SQL structure:" + rv + "t", false, {}},
      {upg::kM35, "1 - x", rt::kButtonNo, "RV3 Could not configure your SQL Server as a Linked Server! RV3 cannot manage this file! Error:" + rv + "1 - x", true, {}},
      {upg::kM36, "1 - x", rt::kButtonNo, "RV3 Could not configure SQL Server for DATA ACCESS! RV3 cannot manage this file! Error:" + rv + "1 - x", true, {}},
      {upg::kM38, "COLX", 0, "RV3 Could not locate key field:" + rv + "COLX", false, {}},
      {upg::kM42, "[constraints] Error: 2 - y", rt::kButtonNo, "RV3 Unable to interpret SQL structure:" + rv + "[constraints] Error: 2 - y", true, {}},
  };
  for (const Case& c : cases) {
    boxes_.clear();
    halts_.clear();
    traces_.clear();
    answer_ = c.answer;
    upg::ReportSql(c.m, c.detail);
    SCOPED_TRACE(std::string(c.m.id));
    EXPECT_TRUE(Traced("ds_Error IN: m: " + std::string(c.m.text) + ", e: " + c.detail + ", t: " +
                       std::string(c.m.id) + ", l: " + std::to_string(c.m.level)));
    EXPECT_TRUE(Traced("[RV3] " + rt::Clip(c.shown))) << traces_.back();
    ASSERT_EQ(boxes_.size(), c.box ? 1u : 0u);
    if (c.box) {
      EXPECT_EQ(boxes_[0].text, c.shown + "\r\nWould you like to End the Program?");
      EXPECT_EQ(boxes_[0].caption, "RV3 Error");
      EXPECT_EQ(boxes_[0].buttons, rt::kButtonYes | rt::kButtonNo);
      EXPECT_EQ(boxes_[0].defaultButton, rt::kButtonNo);
    }
    EXPECT_EQ(halts_, c.halts);
  }
  // Level 2 always ends the program; levels other than 1 and 2 only trace.
  boxes_.clear();
  halts_.clear();
  upg::ds_Error(2, "M99", "d", "Fatal");
  EXPECT_EQ(halts_, std::vector<int>{upg::kSqlErrorExitCode});
  upg::ds_Error(6, "M33", " x", "");
  EXPECT_TRUE(boxes_.empty());
  EXPECT_EQ(halts_.size(), 1u);
}

TEST_F(SqlStatements, StatementOutcomes) {
  recorder_->outcomes["BAD"] = {"42S02"};
  recorder_->outcomes["WARN"] = {"01000"};
  EXPECT_EQ(upg::ExecuteSQLStatement("SELECT 1   ", 0), 0);
  EXPECT_EQ(upg::ExecuteSQLStatement("BAD", 0), 1);
  // The failure stays readable for the caller after its report.
  EXPECT_EQ(rt::FileErrorState(), "42S02");
  EXPECT_EQ(rt::FileErrorText(), "server refused: BAD");
  EXPECT_TRUE(Traced("[RV3] RV3 Error occurred executing SQL Statement:: \r\n[RV3] \r\n[RV3] \"BAD\"\r\n"
                     "[RV3] err: 42S02: server refused: BAD"));
  EXPECT_EQ(upg::ExecuteSQLStatement("WARN", 0), 3);
  EXPECT_TRUE(boxes_.empty());
  recorder_->outcomes["BAD"] = {"42S02"};
  EXPECT_EQ(upg::ExecuteSQLStatement("BAD", 1), 1);  // the caller's level
  EXPECT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(recorder_->statements, (std::vector<std::string>{"SELECT 1", "BAD", "WARN", "BAD"}));
  EXPECT_TRUE(Traced("About to execute statement: SELECT 1    :: l=0"));
  EXPECT_TRUE(Traced("Statement executed, err: 3"));

  // Result rows are read with NEXT into the file's record.
  recorder_->rows = {"ROW1    ", "ROW2    "};
  db::Next(*file_);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(file_->Record()), 8), "ROW1    ");
  db::Next(*file_);
  db::Next(*file_);
  EXPECT_EQ(rt::ErrorCode(), rt::kRecordNotAvailable);

  // Without an open statement file nothing runs, and that is an error.
  db::Close(*file_);
  EXPECT_EQ(upg::ExecuteSQLStatement("SELECT 2", 0), 1);
  upg::CurrentSQLFile() = nullptr;
  EXPECT_EQ(upg::ExecuteSQLStatement("SELECT 3", 0), 1);
  EXPECT_EQ(recorder_->statements.size(), 4u);
  db::Open(*file_);
}

TEST_F(SqlStatements, ScriptsRunInOrderWithOneRetry) {
  upg::DQ() = {{"K1", "DROP K1"}};
  upg::SQ() = {{"ALTER A", 0}, {"ALTER B", 0}, {"ALTER C", 0}};
  upg::AQ() = {{"K1", "ADD K1"}};
  recorder_->outcomes["DROP K1"] = {"42000", "42000"};  // drops may fail
  recorder_->outcomes["ALTER A"] = {"42000"};             // fails once
  recorder_->outcomes["ALTER C"] = {"01000"};             // warns once
  std::vector<rt::Long> percents;
  upg::ProgressTotal() = 4;
  upg::SetProgressRedisplay([&] { percents.push_back(upg::ProgressPercent()); });
  EXPECT_EQ(upg::RunSQLScripts(), 0);
  EXPECT_EQ(recorder_->statements,
            (std::vector<std::string>{"DROP K1", "ALTER A", "ALTER B", "ALTER C", "ALTER A",
                                      "ALTER C", "ADD K1"}));
  EXPECT_TRUE(boxes_.empty());  // a statement that succeeds on retry leaves no message
  EXPECT_EQ(upg::SQ()[0].retry, 1);
  EXPECT_EQ(upg::SQ()[1].retry, 0);
  EXPECT_EQ(upg::SQ()[2].retry, 1);
  EXPECT_EQ(percents, (std::vector<rt::Long>{25, 50, 25, 75, 25}));
  EXPECT_TRUE(Traced("-- Start of RunSQLScripts 3 --"));
  EXPECT_TRUE(Traced("-- End of RunSQLScripts  --"));

  // Silent upgrading leaves the wait window alone.
  percents.clear();
  Switches({"/debugrvfull", "/silentupgrading"});
  EXPECT_EQ(upg::RunSQLScripts(), 0);
  EXPECT_TRUE(percents.empty());
}

TEST_F(SqlStatements, AStatementThatFailsTwiceFailsTheScripts) {
  // The failure is not the last retried statement: the scripts still fail.
  upg::SQ() = {{"ALTER A", 0}, {"ALTER B", 0}, {"ALTER C", 0}};
  recorder_->outcomes["ALTER A"] = {"42000", "42000"};
  recorder_->outcomes["ALTER B"] = {"01000", "01000"};
  recorder_->outcomes["ALTER C"] = {"42000"};
  EXPECT_EQ(upg::RunSQLScripts(), 1);
  ASSERT_EQ(boxes_.size(), 1u);  // M30 for A; B's second warning only traces M32
  EXPECT_EQ(boxes_[0].text,
            "Please review the Support & Debugging section of your documentation.\r\n"
            "Would you like to End the Program?");
  EXPECT_TRUE(Traced("[RV3] RV3 SQL WARNING ABOVE - take note!: \r\n[RV3]"));
  EXPECT_EQ(recorder_->statements.size(), 6u);
}

TEST_F(SqlStatements, PasswordsAreMaskedInEveryForm) {
  const std::string m = "****************";
  struct Case {
    const char* code;
    std::string owner, masked;
  };
  const Case cases[] = {
      {"MSS", "srv,db,user,Sesam0ffne", "srv,db,user," + m},
      {"MSS", "Server=s;UID=u;PWD=Sesam0ffne;Database=d", "Server=s;UID=u;PWD=" + m + ";Database=d"},
      {"ORA", "scott,tig3r;x", "scott," + m},
      {"ORA", "scott/p@ss@word@orcl", "scott/" + m + "@orcl"},
      {"ASA", "db,user,hunt er2", "db,user," + m},
      {"ODB", "DSN=x;pwd = Sesam0ffne ;X=1", "DSN=x;PWD=" + m + ";X=1"},
      {"ODB", "DSN=x;Password=\"tig3r;x\";UID=u", "DSN=x;PASSWORD=" + m + ";UID=u"},
      {"ODB", "DSN=x;password='hunt er2'", "DSN=x;PASSWORD=" + m},
      {"ODB", "DSN=x;PWD={tig3r;x};UID=u", "DSN=x;PWD=" + m + ";UID=u"},
      {"ODB", "UID=u;PWD=Sesam0ffne;Password=hunt er2", "UID=u;PWD=" + m + ";PASSWORD=" + m},
      {"ODB", "dsn,user,Sesam0ffne", "dsn,user," + m},
      {"TPS", "Sesam0ffne", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(upg::ds_EncryptOwner(c.code, c.owner), c.masked) << c.owner;

  // Statements and the server's echo of them are traced masked too.
  const std::string link = "EXEC sp_link @rmtpassword = 'hunt er2', @useself='False'";
  recorder_->outcomes[link] = {"42000"};
  EXPECT_EQ(upg::ExecuteSQLStatement(link, 0), 1);
  EXPECT_EQ(recorder_->statements.back(), link);  // the server gets it as it is
  EXPECT_TRUE(Traced("@rmtPASSWORD=" + m + ", @useself='False'"));
}

}  // namespace
