// Programs started without a shell.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "velmora/runtime/process.h"

namespace {

rt::RunOptions Input(std::string bytes) {
  rt::RunOptions o;
  o.input = std::move(bytes);
  return o;
}

rt::RunOptions Env(std::vector<std::string> env) {
  rt::RunOptions o;
  o.env = std::move(env);
  return o;
}

rt::RunOptions Capture(rt::RunOptions o) {
  o.captureOutput = true;
  return o;
}

TEST(RunProgram, ArgumentsReachTheProgramAsTheyAre) {
  // printf prints its arguments back; a shell would expand or split these.
  const std::vector<std::string> tricky = {"a b", "$(echo no)", "'q'", "x;y", "*", ""};
  std::vector<std::string> argv = {"sh", "-c", "printf '%s|' \"$@\" >&2; [ \"$1\" = 'a b' ] && [ \"$2\" = '$(echo no)' ] && [ \"$4\" = 'x;y' ] && [ \"$5\" = '*' ] && [ -z \"$6\" ]", "sh"};
  argv.insert(argv.end(), tricky.begin(), tricky.end());
  rt::ProcessResult r = rt::RunProgram(argv);
  EXPECT_TRUE(r.Succeeded()) << r.exitCode;
}

TEST(RunProgram, ExitStatusSignalAndMissingProgram) {
  rt::ProcessResult r = rt::RunProgram({"sh", "-c", "exit 3"});
  EXPECT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_FALSE(r.Succeeded());

  r = rt::RunProgram({"sh", "-c", "kill -TERM $$"});
  EXPECT_EQ(r.signal, SIGTERM);
  EXPECT_FALSE(r.Succeeded());

  r = rt::RunProgram({"/nonexistent/velmora-no-such-program"});
  EXPECT_FALSE(r.started);
  EXPECT_EQ(r.error, ENOENT);
  EXPECT_FALSE(rt::RunProgram({}).started);
}

TEST(RunProgram, InputAndEnvironment) {
  rt::ProcessResult r = rt::RunProgram({"sh", "-c", "[ \"$(cat)\" = \"$(printf 'line 1\\nline 2')\" ]"},
                                       Input("line 1\nline 2\n"));
  EXPECT_TRUE(r.Succeeded());

  r = rt::RunProgram({"/bin/sh", "-c", "[ \"$ONLY\" = yes ] && [ -z \"$HOME\" ]"}, Env({"ONLY=yes"}));
  EXPECT_TRUE(r.Succeeded());
}

TEST(RunProgram, AProgramThatDoesNotReadItsInputDoesNotEndUs) {
  // 4 MB is more than a pipe holds: the write meets a closed pipe.
  rt::ProcessResult r = rt::RunProgram({"sh", "-c", "exit 0"}, Input(std::string(4 << 20, 'x')));
  EXPECT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.error, EPIPE);
}

TEST(RunProgram, ArgumentsAreDataOutputIsCapturedAndWaitsEnd) {
  const std::string risky = "a;b & c $(echo no) `echo no` \"q\" 'q' *";
  rt::ProcessResult r = rt::RunProgram({"printf", "%s|", risky, "two words"}, Capture(rt::RunOptions{}));
  EXPECT_TRUE(r.Succeeded());
  EXPECT_EQ(r.output, risky + "|two words|");

  // Input and output together: more than a pipe holds each way.
  const std::string big(1 << 20, 'y');
  r = rt::RunProgram({"cat"}, Capture(Input(big)));
  EXPECT_TRUE(r.Succeeded());
  EXPECT_EQ(r.output, big);

  rt::RunOptions brief;
  brief.waitMs = 50;
  r = rt::RunProgram({"sleep", "0.5"}, brief);
  EXPECT_TRUE(r.started);
  EXPECT_FALSE(r.finished);
  EXPECT_FALSE(r.Succeeded());
  // The program not waited for ends by itself; the test leaves nothing running.
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
}

}  // namespace
