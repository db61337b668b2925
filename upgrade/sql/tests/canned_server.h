#pragma once
// A stand-in SQL server for the back-ends' tests: it records every
// statement, answers a statement that contains a planned text with canned
// result rows (written into the statement file's DS_FIELDn texts), and fails
// a planned statement with a server state and text.
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "velmora/files/decl.h"
#include "velmora/files/sql_driver.h"
#include "velmora/runtime/errors.h"

namespace sqltest {

class CannedServer : public db::SqlDriver {
 public:
  using Row = std::vector<std::string>;

  // Statements containing `fragment` (first planned match wins) get `rows`.
  void Answer(std::string fragment, std::vector<Row> rows) {
    answers_.push_back({std::move(fragment), std::move(rows)});
  }
  // Statements containing `fragment` fail with `state` and `text`.
  void Fail(std::string fragment, std::string state, std::string text) {
    failures_.push_back({std::move(fragment), std::move(state), std::move(text)});
  }

  void Open(db::FileDecl&, uint32_t) override { rt::ClearError(); }
  void Close(db::FileDecl&) override { rt::ClearError(); }
  void Execute(db::FileDecl& f, std::string_view statement) override {
    statements.emplace_back(statement);
    pending_.clear();
    next_ = 0;
    for (const Failure& x : failures_)
      if (statement.find(x.fragment) != std::string_view::npos)
        return rt::SetSqlFileError(rt::kDriverError, x.state, x.text, f.Name());
    for (const Answer_& a : answers_)
      if (statement.find(a.fragment) != std::string_view::npos) {
        pending_ = a.rows;
        break;
      }
    rt::ClearError();
  }
  void Next(db::FileDecl& f) override {
    if (next_ >= pending_.size()) return rt::SetError(rt::kRecordNotAvailable);
    f.ClearRecord();
    const Row& row = pending_[next_++];
    size_t column = 0;
    for (const db::FieldInfo& field : f.Fields()) {
      if (column == row.size()) break;
      if (field.type != db::Type::String && field.type != db::Type::CString) continue;
      uint8_t* p = f.Record() + field.offset;
      size_t n = std::min<size_t>(row[column].size(), field.size - (field.type == db::Type::CString));
      std::memcpy(p, row[column].data(), n);
      if (field.type == db::Type::CString) p[n] = 0;
      ++column;
    }
    rt::ClearError();
  }

  // The version the server reports (724Ah); none when empty.
  std::string ServerVersion(db::FileDecl& f) override {
    return version.empty() ? db::SqlDriver::ServerVersion(f) : version;
  }

  std::vector<std::string> statements;
  std::string version;

 private:
  struct Answer_ {
    std::string fragment;
    std::vector<Row> rows;
  };
  struct Failure {
    std::string fragment, state, text;
  };
  std::vector<Answer_> answers_;
  std::vector<Failure> failures_;
  std::vector<Row> pending_;
  size_t next_ = 0;
};

// The statement file every back-end routine runs its statements through:
// the engine system table's 40 text columns.
inline std::unique_ptr<db::FileDecl> StatementFile(const std::string& driver) {
  db::DeclBuilder b("RV3SYS", "RV3");
  b.Driver(driver).Name("RV3SYS");
  for (int i = 1; i <= 40; ++i) b.Field(db::Type::CString, "DS_FIELD" + std::to_string(i), 256);
  return b.Build();
}

}  // namespace sqltest
