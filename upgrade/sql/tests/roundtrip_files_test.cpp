// The program's nine data files on the private servers: each declaration
// is created through the open hook, takes a record, is read back and
// compared to a fixed point, and a forced comparison of a new run changes nothing.
#include <gtest/gtest.h>

#include <memory>

#include "roundtrip_fixture.h"
#include "velmora/data/dictionary.h"

namespace {

using rttest::Backend;
using rttest::RoundTrip;

// The program's declaration of `id` as a table of the SQL file driver.
std::unique_ptr<db::FileDecl> OnServer(data::FileId id, const std::string& name) {
  const db::FileDecl& d = data::Declaration(id);
  auto file = db::FileDecl::FromBlock(d.Label(), d.Prefix(), "ODBC", d.FieldBlock(), d.Keys(), d.Memos(),
                                      d.Attributes(), d.RecordLength());
  file->SetName(name);
  return file;
}

class RoundTripFiles : public RoundTrip {};

TEST_P(RoundTripFiles, EveryDataFileReadsBackToAFixedPoint) {
  for (int n = 0; n < data::kFileCount; ++n) {
    const auto id = static_cast<data::FileId>(n);
    const db::FileDecl& d = data::Declaration(id);
    SCOPED_TRACE(d.Label());
    Use("rtf_" + rt::Lower(d.Label()), d.Prefix(), d.Label(),
        [id](const std::string& name, int) { return OnServer(id, name); });
    ASSERT_EQ(Run(1), 0) << rt::ErrorText() << " " << rt::FileErrorText();
    EXPECT_EQ(StoredVersion(), "1");
    // The program can write to the table it opened.
    data_->ClearRecord();
    db::Add(*data_);
    EXPECT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
    db::Close(*data_);
    std::vector<std::vector<std::string>> count;
    ASSERT_TRUE(Direct("SELECT COUNT(*) FROM " + name_, &count));
    EXPECT_EQ(count, (std::vector<std::vector<std::string>>{{"1"}}));
    EXPECT_EQ(Compare(), std::vector<std::string>{});
    // The check's own comparison of a new run agrees.
    ASSERT_EQ(Run(1, {"/goindeep"}), 0) << rt::FileErrorText();
    EXPECT_TRUE(InLastRun("-- Start of RunSQLScripts 0 --"));
    EXPECT_FALSE(AnyDdl(ran_));
    db::Close(*data_);
    // Key names are database-wide on Firebird: the table goes before the next.
    ASSERT_TRUE(Direct("DROP TABLE " + name_));
  }
  EXPECT_TRUE(boxes_.empty()) << boxes_.front();
}

INSTANTIATE_TEST_SUITE_P(Servers, RoundTripFiles,
                         ::testing::Values(Backend{"MariaDB", "MYODBC 3", true},
                                           Backend{"Firebird", "FIREBIRD", false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
