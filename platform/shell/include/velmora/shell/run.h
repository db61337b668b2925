#pragma once
// Runs another program with its arguments as they are: no shell reads
// them, so no character of an argument has a meaning of its own.
#include <string>
#include <vector>

namespace shell {

struct RunOptions {
  bool captureOutput = false;  // standard output into RunResult::output
  // Milliseconds to wait for the program to end; -1 waits until it ends.
  // A program still running then is left running (and reaped when it
  // ends).
  int waitMs = -1;
};

struct RunResult {
  int startError = 0;     // errno when the program could not start, else 0
  bool finished = false;  // it ended within the wait
  int exitCode = -1;      // its exit status when it finished normally
  int signal = 0;         // the signal that ended it, 0 when none
  std::string output;     // standard output, when captured
};

// argv[0] is the program: searched in PATH when it holds no "/". Standard
// input is empty; standard error is the caller's.
RunResult Run(const std::vector<std::string>& argv, const RunOptions& options = {});

}  // namespace shell
