#pragma once
// Other programs started without a shell: the program and its arguments go
// to posix_spawnp one by one, so no text is ever read as a command line and
// nothing in an argument (blanks, quotes, ";", "$") has a meaning of its own.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rt {

struct RunOptions {
  // Bytes the program reads on its standard input, which is then closed;
  // without, it reads an empty standard input.
  std::optional<std::string> input;
  // "NAME=value" entries that replace our environment for the program.
  std::optional<std::vector<std::string>> env;
  // Standard output into ProcessResult::output (standard error stays ours).
  bool captureOutput = false;
  // Milliseconds to wait for the program to end; -1 waits until it ends. A
  // program still running then is left running and reaped when it ends.
  int waitMs = -1;
};

struct ProcessResult {
  bool started = false;   // false: the program could not be started
  int error = 0;          // errno of a failed start, or of a failed write of the input
  bool finished = false;  // it ended within the wait
  int exitCode = -1;      // the exit status when the program exited, else -1
  int signal = 0;         // the signal that ended it, 0 when it exited
  std::string output;     // standard output, when captured
  // True when the program ran and exited with status 0.
  bool Succeeded() const { return started && finished && signal == 0 && exitCode == 0; }
};

// Runs argv[0] (searched in PATH when it holds no "/") with argv[1...].
ProcessResult RunProgram(const std::vector<std::string>& argv, const RunOptions& options = {});

// The processes of this machine, for files a process leaves behind while
// it works on them. A tag names a process: its id and its start time
// ("4711.123456"), so a later process that gets the same id is another.
std::string ThisProcessTag();
// True while the process of a tag, or of a bare process id ("4711"), runs.
// A tag that names no process ("" or not a number) is never alive.
bool ProcessAlive(std::string_view tag);

}  // namespace rt
