// Starting other programs with posix_spawnp, feeding and reading them, and
// waiting for them.
#include "velmora/runtime/process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace rt {
namespace {

// The state and start time (clock ticks since boot) of a process, fields
// 3 and 22 of /proc/<pid>/stat; false when they cannot be read.
bool ReadStat(long pid, std::string& state, std::string& start) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(in, line)) return false;
  size_t paren = line.rfind(')');  // the program name may hold blanks and parentheses
  if (paren == std::string::npos) return false;
  std::istringstream fields(line.substr(paren + 1));
  if (!(fields >> state)) return false;
  std::string field;
  for (int i = 4; i <= 22 && fields >> field; ++i)
    if (i == 22) {
      start = field;
      return true;
    }
  return false;
}

std::vector<char*> Pointers(const std::vector<std::string>& texts) {
  std::vector<char*> out;
  out.reserve(texts.size() + 1);
  for (const std::string& t : texts) out.push_back(const_cast<char*>(t.c_str()));
  out.push_back(nullptr);
  return out;
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Writes the input and reads the output together, so a program that
// writes before it has read everything never blocks us both. A program
// that stops reading gives EPIPE, never a SIGPIPE that would end this
// process: the signal is blocked on this thread meanwhile and a pending one
// is taken back. Returns the errno of a failed write, else 0.
int Exchange(int in, const std::string* input, int out, std::string* output) {
  sigset_t pipeSet, old;
  sigemptyset(&pipeSet);
  sigaddset(&pipeSet, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSet, &old);
  int error = 0;
  size_t done = 0;
  if (in >= 0 && input->empty()) CloseFd(in);
  while (in >= 0 || out >= 0) {
    pollfd fds[2];
    nfds_t n = 0;
    if (in >= 0) fds[n++] = {in, POLLOUT, 0};
    if (out >= 0) fds[n++] = {out, POLLIN, 0};
    if (::poll(fds, n, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (nfds_t i = 0; i < n; ++i) {
      if (!fds[i].revents) continue;
      if (fds[i].fd == in) {
        ssize_t w = ::write(in, input->data() + done, input->size() - done);
        if (w < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (w < 0) {
          error = errno;
          CloseFd(in);
        } else if ((done += static_cast<size_t>(w)) == input->size()) {
          CloseFd(in);
        }
      } else {
        char buf[8192];
        ssize_t r = ::read(out, buf, sizeof buf);
        if (r > 0)
          output->append(buf, static_cast<size_t>(r));
        else if (r == 0 || errno != EINTR)
          CloseFd(out);
      }
    }
  }
  CloseFd(in);
  CloseFd(out);
  if (error == EPIPE) {
    const timespec none{0, 0};
    while (sigtimedwait(&pipeSet, nullptr, &none) > 0) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return error;
}

void Record(ProcessResult& r, int status) {
  r.finished = true;
  if (WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
}

// Waits for the child up to `ms` (-1: no limit); one still running then is
// reaped by a thread of its own when it ends.
void Wait(pid_t pid, int ms, ProcessResult& r) {
  int status = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    pid_t got = ::waitpid(pid, &status, ms < 0 ? 0 : WNOHANG);
    if (got == pid) return Record(r, status);
    if (got < 0 && errno != EINTR) {
      r.error = errno;
      return;
    }
    if (ms >= 0 && std::chrono::steady_clock::now() >= deadline) break;
    if (ms >= 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::thread([pid] {
    int s = 0;
    while (::waitpid(pid, &s, 0) < 0 && errno == EINTR) {
    }
  }).detach();
}

}  // namespace

ProcessResult RunProgram(const std::vector<std::string>& argv, const RunOptions& options) {
  ProcessResult result;
  if (argv.empty() || argv.front().empty()) {
    result.error = ENOENT;
    return result;
  }
  int inFds[2] = {-1, -1}, outFds[2] = {-1, -1};
  if ((options.input && pipe2(inFds, O_CLOEXEC) != 0) ||
      (options.captureOutput && pipe2(outFds, O_CLOEXEC) != 0)) {
    result.error = errno;
    for (int& fd : inFds) CloseFd(fd);
    return result;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (options.input)
    posix_spawn_file_actions_adddup2(&actions, inFds[0], STDIN_FILENO);
  else
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  if (options.captureOutput) posix_spawn_file_actions_adddup2(&actions, outFds[1], STDOUT_FILENO);
  std::vector<char*> args = Pointers(argv);
  std::vector<char*> envp = options.env ? Pointers(*options.env) : std::vector<char*>{};
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(),
                        options.env ? envp.data() : environ);
  posix_spawn_file_actions_destroy(&actions);
  CloseFd(inFds[0]);
  CloseFd(outFds[1]);
  if (rc != 0) {
    CloseFd(inFds[1]);
    CloseFd(outFds[0]);
    result.error = rc;
    return result;
  }
  result.started = true;
  // Our end of the input never blocks, so output is read while input waits.
  if (inFds[1] >= 0) fcntl(inFds[1], F_SETFL, fcntl(inFds[1], F_GETFL) | O_NONBLOCK);
  if (options.input || options.captureOutput)
    result.error = Exchange(inFds[1], options.input ? &*options.input : nullptr, outFds[0],
                            &result.output);
  Wait(pid, options.waitMs, result);
  return result;
}

std::string ThisProcessTag() {
  const long pid = static_cast<long>(::getpid());
  std::string state, start;
  ReadStat(pid, state, start);
  return std::to_string(pid) + "." + start;
}

bool ProcessAlive(std::string_view tag) {
  const size_t dot = tag.find('.');
  const std::string_view id = tag.substr(0, dot);
  long pid = 0;
  auto [end, ec] = std::from_chars(id.data(), id.data() + id.size(), pid);
  if (ec != std::errc() || end != id.data() + id.size() || pid <= 0) return false;
  if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM) return false;
  std::string state, start;
  // A process whose details cannot be read is taken as the one named.
  if (!ReadStat(pid, state, start)) return true;
  if (state == "Z" || state == "X") return false;  // ended, not yet reaped
  return dot == std::string_view::npos || tag.substr(dot + 1) == start;
}

}  // namespace rt
