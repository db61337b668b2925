// Starting other programs with posix_spawnp and waiting for them.
#include "velmora/runtime/process.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace rt {
namespace {

std::vector<char*> Pointers(const std::vector<std::string>& texts) {
  std::vector<char*> out;
  out.reserve(texts.size() + 1);
  for (const std::string& t : texts) out.push_back(const_cast<char*>(t.c_str()));
  out.push_back(nullptr);
  return out;
}

// Writes everything; a program that stops reading gives EPIPE, never a
// SIGPIPE that would end this process: the signal is blocked on this thread
// while writing and a pending one is taken back.
int WriteAll(int fd, const std::string& bytes) {
  sigset_t pipeSet, old;
  sigemptyset(&pipeSet);
  sigaddset(&pipeSet, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSet, &old);
  int error = 0;
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = errno;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (error == EPIPE) {
    const timespec none{0, 0};
    while (sigtimedwait(&pipeSet, nullptr, &none) > 0) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return error;
}

}  // namespace

ProcessResult RunProgram(const std::vector<std::string>& argv, const std::optional<std::string>& input,
                         const std::optional<std::vector<std::string>>& env) {
  ProcessResult result;
  if (argv.empty() || argv.front().empty()) {
    result.error = ENOENT;
    return result;
  }
  int pipeFds[2] = {-1, -1};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (input) {
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
      result.error = errno;
      posix_spawn_file_actions_destroy(&actions);
      return result;
    }
    posix_spawn_file_actions_adddup2(&actions, pipeFds[0], STDIN_FILENO);
  }
  std::vector<char*> args = Pointers(argv);
  std::vector<char*> envp = env ? Pointers(*env) : std::vector<char*>{};
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env ? envp.data() : environ);
  posix_spawn_file_actions_destroy(&actions);
  if (input) ::close(pipeFds[0]);
  if (rc != 0) {
    if (input) ::close(pipeFds[1]);
    result.error = rc;
    return result;
  }
  result.started = true;
  if (input) {
    result.error = WriteAll(pipeFds[1], *input);
    ::close(pipeFds[1]);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      result.error = errno;
      return result;
    }
  }
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

}  // namespace rt
