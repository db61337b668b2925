// Statements on the current SQL server, the upgrade's script queues and
// the SQL back-ends' error reports.
#include "velmora/upgrade/sql_exec.h"

#include <mutex>

#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/system.h"
#include "velmora/runtime/text.h"
#include "velmora/upgrade/settings.h"

namespace upg {
namespace {

struct SqlState {
  db::FileDecl* file = nullptr;
  std::vector<ScriptRow> sq;
  std::vector<KeyScriptRow> dq, aq;
  rt::Long total = 0, percent = 0;
  std::function<void()> redisplay;
};

SqlState& S() {
  static SqlState s;
  return s;
}

std::string Cut(std::string text, size_t most) {
  if (text.size() > most) text.resize(most);
  return text;
}

// After a row of a queue: the percentage and the wait window.
void Progress(size_t row) {
  if (FlagOn(Flag::S)) return;
  SqlState& s = S();
  s.percent = s.total > 0 ? static_cast<rt::Long>(static_cast<int64_t>(row) * 100 / s.total) : 0;
  if (s.redisplay) s.redisplay();
}

// Runs every row of DQ or AQ. A drop that fails does not count (what it
// drops may not be there); a key that cannot be added back is lost unless
// the user is told and the upgrade fails: `failures` then says so.
void RunKeyQueue(std::vector<KeyScriptRow>& q, bool* failures = nullptr) {
  for (size_t i = 0; i < q.size(); ++i) {
    rt::Long rc = ExecuteSQLStatement(q[i].sql, 0);
    if (failures && rc == 1) {
      ReportSql(kM30, kM31.text);
      *failures = true;
    } else if (failures && rc == 3) {
      ReportSql(kM32, "");
    }
    Progress(i + 1);
  }
}

}  // namespace

db::FileDecl*& CurrentSQLFile() { return S().file; }
std::vector<ScriptRow>& SQ() { return S().sq; }
std::vector<KeyScriptRow>& DQ() { return S().dq; }
std::vector<KeyScriptRow>& AQ() { return S().aq; }
rt::Long& ProgressTotal() { return S().total; }
rt::Long& ProgressPercent() { return S().percent; }
void SetProgressRedisplay(std::function<void()> redisplay) { S().redisplay = std::move(redisplay); }

void ds_Error(rt::Long level, std::string_view id, std::string_view detail,
              std::string_view defaultText) {
  std::string safeDetail = MaskPasswords(detail);
  Trace(Flag::A, "ds_Error IN: m: " + std::string(defaultText) + ", e: " + safeDetail +
                     ", t: " + std::string(id) + ", l: " + std::to_string(level));
  std::string text = ReadMessage(MessageDef{id, "Messages", defaultText});
  std::string shown =
      id != kM30.id
          ? "RV3 " + rt::Clip(text) + ": " + "\r\n" + "[RV3] " + rt::Clip(safeDetail)
          : ReadMessage(MessageDef{kM31.id, "Messages", kM31.text});
  shown = Cut(std::move(shown), 512);
  Trace(Flag::B, shown);
  if (level == 1) {
    int answer = rt::Message(shown + "\r\nWould you like to End the Program?", "RV3 Error",
                             rt::kIconExclamation, rt::kButtonYes | rt::kButtonNo, rt::kButtonNo);
    if (answer == rt::kButtonYes) rt::Halt(kSqlErrorExitCode);
  } else if (level == 2) {
    rt::Halt(kSqlErrorExitCode, shown + "\r\nEnding Program!");
  }
}

void ReportSql(const SqlMessage& m, std::string_view detail) {
  ds_Error(m.level, m.id, detail, m.text);
}

rt::Long ExecuteSQLStatement(std::string_view statement, rt::Long level) {
  Trace(Flag::A, "About to execute statement: " + MaskPasswords(statement) +
                     " :: l=" + std::to_string(level));
  rt::Long result = 0;
  db::FileDecl* file = CurrentSQLFile();
  std::string err;
  if (!file || !db::IsOpen(*file)) {
    // No server to run it on: the statement did not run.
    result = 1;
    err = std::to_string(rt::kFileNotOpen) + ": " + std::string(rt::DefaultErrorText(rt::kFileNotOpen));
  } else {
    db::SetProperty(*file, db::Prop::Sql, rt::Clip(statement));
    if (rt::ErrorCode() == rt::kDriverError) {
      result = 1;
      std::string state = rt::FileErrorState();
      err = Cut(state + ": " + rt::Clip(rt::FileErrorText()), 3000);
      if (state == "01000") result = 3;
    }
  }
  if (result != 0) {
    // The caller reads the server's state and text after the report.
    rt::ErrorSnapshot error = rt::SaveError();
    std::string back =
        file && db::IsOpen(*file) ? Cut(db::GetProperty(*file, db::Prop::Sql), 30000)
                                  : std::string(statement);
    ds_Error(level, kM26.id,
             "\r\n[RV3] \"" + back + "\"\r\n[RV3] err: " + err, kM26.text);
    rt::RestoreError(error);
  }
  Trace(Flag::A, "Statement executed, err: " + std::to_string(result));
  return result;
}

rt::Long RunSQLScripts() {
  SqlState& s = S();
  Trace(Flag::A, "-- Start of RunSQLScripts " + std::to_string(s.sq.size()) + " --");
  bool retryNeeded = false;
  rt::Long result = 0;
  RunKeyQueue(s.dq);
  size_t row = 0;
  for (ScriptRow& r : s.sq) {
    ++row;
    rt::Long rc = ExecuteSQLStatement(r.sql, 0);
    r.retry = rc == 0 ? 0 : 1;
    if (rc != 0) {
      retryNeeded = true;
    } else {
      Progress(row);
    }
  }
  if (retryNeeded) {
    // Every retried statement counts: one that fails again fails the
    // scripts, whatever the statements retried after it do.
    bool failed = false;
    row = 0;
    for (ScriptRow& r : s.sq) {
      ++row;
      if (r.retry != 1) continue;
      rt::Long rc = ExecuteSQLStatement(r.sql, 0);
      if (rc == 1) {
        ReportSql(kM30, kM31.text);
        failed = true;
      } else if (rc == 3) {
        ReportSql(kM32, "");
      }
      Progress(row);
    }
    result = failed ? 1 : 0;
  }
  bool lostKey = false;
  RunKeyQueue(s.aq, &lostKey);
  if (lostKey) result = 1;
  Trace(Flag::A, "-- End of RunSQLScripts  --");
  return result;
}

}  // namespace upg
