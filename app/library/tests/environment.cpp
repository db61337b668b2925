// The record-window tests run on runtime thread 1, with the program's
// thread hooks.
#include <gtest/gtest.h>

#include "velmora/app/program.h"
#include "velmora/runtime/runtime.h"
#include "velmora/runtime/threads.h"

namespace {

class RuntimeEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    rt::SetThreadHooks(&app::ThreadStartHook, &app::ProgramExitHook);
    static char name[] = "forms_tests";
    static char* argv[] = {name, nullptr};
    ASSERT_TRUE(rt::StartRuntime(1, argv)) << rt::StartError();
  }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new RuntimeEnvironment);

}  // namespace
