// The class library's own opens go through the replaceable open.
#include "fixture.h"
#include "velmora/classlib/openroutines.h"
#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"

namespace {

std::unique_ptr<db::FileDecl> Log(std::string name = ".\\data\\errors.tps") {
  return db::DeclBuilder("ErrorLog", "LOG").Driver("ISAM").Name(std::move(name))
      .Attributes(db::kAttrCreate).Field(db::Type::Long, "ID").Build();
}

class OpenRoutines : public cltest::TempFolder {
 protected:
  void SetUp() override {
    TempFolder::SetUp();
    errors_.Setup();
    db::SetOpenHook([this](db::FileDecl& f, uint32_t mode) {
      modes_.push_back(mode);
      db::Open(f, mode);
    });
  }
  void TearDown() override {
    db::SetOpenHook({});
    errors_.Teardown();
    TempFolder::TearDown();
  }
  cl::ErrorReporter errors_;
  std::vector<uint32_t> modes_;
};

TEST_F(OpenRoutines, ErrorLogIsCreatedAndOpenedShared) {
  auto file = Log();
  cl::ErrorLogFile log(*file);
  EXPECT_EQ(log.OpenLog(), 0);
  EXPECT_TRUE(db::IsOpen(*file));
  EXPECT_EQ(modes_, std::vector<uint32_t>{0x42});
  EXPECT_EQ(log.OpenLog(), 0);  // in use: not opened again
  EXPECT_EQ(modes_.size(), 1u);
  EXPECT_EQ(log.UseCount(), 1);
  db::Close(*file);

  auto nowhere = Log(".\\no\\such\\folder\\errors.tps");
  cl::ErrorLogFile broken(*nowhere);
  EXPECT_EQ(broken.OpenLog(), 5);
  EXPECT_EQ(broken.UseCount(), 0);
}

TEST_F(OpenRoutines, SharedFileAndOpenServerAcceptAnOpenInstance) {
  auto file = Log();
  db::Create(*file);
  cl::SharedFileOpenTracker shared(*file);
  EXPECT_EQ(shared.OpenOnce(0x22), 0);
  EXPECT_EQ(shared.OpenOnce(0x22), 0);
  EXPECT_EQ(modes_, std::vector<uint32_t>{0x22});
  EXPECT_EQ(shared.UseCount(), 2);

  cl::SharedFileOpenTracker again(*file);  // the instance is already open
  EXPECT_EQ(again.OpenOnce(0x42), 0);
  EXPECT_EQ(again.UseCount(), 1);

  cl::IFileOpenServer server;
  EXPECT_EQ(server.OpenOnce(*file, 0x42), 0);
  auto missing = Log(".\\data\\missing.tps");
  EXPECT_EQ(server.OpenOnce(*missing, 0x42), rt::kFileNotFound);
  db::Close(*file);
}

TEST_F(OpenRoutines, ViewOpensDenyWriteAndReportsOnlyRealFailures) {
  struct View : cl::ViewManager {
    using ViewManager::ViewManager;
    void SetOrder() override { steps.push_back("order"); }
    void SetFilter() override { steps.push_back("filter"); }
    std::vector<std::string> steps;
  };
  auto missing = Log(".\\data\\missing.tps");
  View bad(*missing, &errors_);
  bad.OpenView();
  EXPECT_FALSE(bad.IsOpen());
  EXPECT_EQ(shown_.size(), 1u);
  EXPECT_EQ(bad.steps, (std::vector<std::string>{"order", "filter"}));

  auto file = Log();
  db::Create(*file);
  View good(*file, &errors_);
  good.OpenView();
  EXPECT_TRUE(good.IsOpen());
  EXPECT_EQ(modes_.back(), 0x22u);
  View same(*file, &errors_);  // already open: accepted without a message
  same.OpenView();
  EXPECT_EQ(shown_.size(), 1u);
  db::Close(*file);
}

}  // namespace
