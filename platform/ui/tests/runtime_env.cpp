// The tests run as runtime thread 1, holding the runtime lock as the
// system's code does; other windows' threads are started with rt::Start.
#include <gtest/gtest.h>

#include "velmora/runtime/runtime.h"

namespace {

class RuntimeEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static char name[] = "ui_tests";
    static char* argv[] = {name, nullptr};
    ASSERT_TRUE(rt::StartRuntime(1, argv)) << rt::StartError();
  }
  void TearDown() override { rt::RunMain([] {}); }
};

[[maybe_unused]] auto* const g_environment = ::testing::AddGlobalTestEnvironment(new RuntimeEnvironment);

}  // namespace
