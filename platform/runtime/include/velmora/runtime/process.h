#pragma once
// Other programs started without a shell: the program and its arguments go
// to posix_spawnp one by one, so no text is ever read as a command line and
// nothing in an argument (blanks, quotes, ";", "$") has a meaning of its own.
#include <optional>
#include <string>
#include <vector>

namespace rt {

struct ProcessResult {
  bool started = false;  // false: the program could not be started
  int error = 0;         // errno of a failed start, or of a failed write of the input
  int exitCode = -1;     // the exit status when the program exited, else -1
  int signal = 0;        // the signal that ended it, 0 when it exited
  // True when the program ran and exited with status 0.
  bool Succeeded() const { return started && signal == 0 && exitCode == 0; }
};

// Runs argv[0] (searched in PATH when it holds no "/") with argv[1...] and
// waits until it ends. With `input` the program reads those bytes on its
// standard input, which is then closed; without, it shares ours. An
// environment in `env` ("NAME=value" entries) replaces ours for the program.
ProcessResult RunProgram(const std::vector<std::string>& argv,
                         const std::optional<std::string>& input = std::nullopt,
                         const std::optional<std::vector<std::string>>& env = std::nullopt);

}  // namespace rt
