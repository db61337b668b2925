// The user's journey through the headless window layer; its second run is
// this program started again on the first run's folder.
#include "journey.h"

namespace {

using journey::Journey;

class JourneyHeadless : public Journey {
 protected:
  void SetUp() override { Begin(driver_); }
  void TearDown() override { End(); }
  journey::HeadlessDriver driver_;
};

// Only registered in the second run: it opens the data set again and
// writes the two files.
class JourneyAgainHeadless : public JourneyHeadless {
 public:
  void TestBody() override { OpenAgainAndWrite(); }
};

[[maybe_unused]] const bool kRegistered = [] {
  if (getenv(journey::kAgain))
    testing::RegisterTest("JourneyAgainHeadless", "SameFolder", nullptr, nullptr, __FILE__, __LINE__,
                          []() -> JourneyHeadless* { return new JourneyAgainHeadless; });
  return true;
}();

TEST_F(JourneyHeadless, DesignFillRestartAndWrite) {
  DesignAndFill();
  ASSERT_FALSE(HasFailure());
  const rt::ProcessResult again = RunAgain("JourneyAgainHeadless.SameFolder");
  ASSERT_TRUE(again.Succeeded()) << "the second run:\n" << again.output;
  EXPECT_NE(again.output.find("[  PASSED  ] 1 test"), std::string::npos) << again.output;
  journey::CheckWritten(dir_, placed_);
}

}  // namespace
