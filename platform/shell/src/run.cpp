// Starting programs through posix_spawn with an argument vector.
#include "velmora/shell/run.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

extern char** environ;

namespace shell {
namespace {

void Record(RunResult& r, int status) {
  r.finished = true;
  if (WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
}

// Waits for the child up to `ms` (-1: no limit).
void Wait(pid_t pid, int ms, RunResult& r) {
  int status = 0;
  if (ms < 0) {
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    Record(r, status);
    return;
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    pid_t got = ::waitpid(pid, &status, WNOHANG);
    if (got == pid) {
      Record(r, status);
      return;
    }
    if (got < 0 && errno != EINTR) return;
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // still running: someone must reap it when it ends
  std::thread([pid] {
    int s = 0;
    while (::waitpid(pid, &s, 0) < 0 && errno == EINTR) {
    }
  }).detach();
}

}  // namespace

RunResult Run(const std::vector<std::string>& argv, const RunOptions& options) {
  RunResult r;
  if (argv.empty() || argv[0].empty()) {
    r.startError = ENOENT;
    return r;
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  int out[2] = {-1, -1};
  if (options.captureOutput && ::pipe2(out, O_CLOEXEC) != 0) {
    r.startError = errno;
    return r;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (options.captureOutput) posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  pid_t pid = 0;
  int rc = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (options.captureOutput) ::close(out[1]);
  if (rc != 0) {
    if (options.captureOutput) ::close(out[0]);
    r.startError = rc;
    return r;
  }
  if (options.captureOutput) {
    char buf[8192];
    for (;;) {
      ssize_t n = ::read(out[0], buf, sizeof buf);
      if (n > 0) {
        r.output.append(buf, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        break;
      }
    }
    ::close(out[0]);
  }
  Wait(pid, options.waitMs, r);
  return r;
}

}  // namespace shell
