// Poppler in worker processes: starting them, talking to them under a
// time limit, and ending them when they crash, hang or run out of memory.
#include "poppler_worker.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "worker_protocol.h"

extern char** environ;

namespace velmora::pdf::detail {

using worker::Op;
using worker::Reader;
using worker::Writer;

namespace {

std::atomic<int> gStarts{0};
std::mutex gLimitsMutex;
WorkerLimits gLimits;

using Clock = std::chrono::steady_clock;

// Waits until the descriptor is ready for `events` or the deadline passes.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, events, 0};
    int n = ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 1'000'000)));
    if (n < 0 && errno == EINTR) continue;
    return n > 0 && (p.revents & events);
  }
}

bool SendAll(int fd, const char* p, size_t n, Clock::time_point deadline) {
  while (n > 0) {
    if (!WaitFor(fd, POLLOUT, deadline)) return false;
    ssize_t put = ::send(fd, p, n, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (put < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (put <= 0) return false;
    p += put, n -= static_cast<size_t>(put);
  }
  return true;
}

bool ReceiveAll(int fd, char* p, size_t n, Clock::time_point deadline) {
  while (n > 0) {
    if (!WaitFor(fd, POLLIN, deadline)) return false;
    ssize_t got = ::recv(fd, p, n, MSG_DONTWAIT);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (got <= 0) return false;  // the worker is gone
    p += got, n -= static_cast<size_t>(got);
  }
  return true;
}

}  // namespace

WorkerLimits GetWorkerLimits() {
  std::lock_guard<std::mutex> g(gLimitsMutex);
  return gLimits;
}

void SetWorkerLimits(const WorkerLimits& limits) {
  std::lock_guard<std::mutex> g(gLimitsMutex);
  gLimits = limits;
}

int WorkerStarts() { return gStarts; }

std::string WorkerPath() {
  std::error_code ec;
  auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    auto beside = self.parent_path() / "velmora-pdf-worker";
    if (::access(beside.c_str(), X_OK) == 0) return beside.string();
  }
  return VELMORA_PDF_WORKER;
}

int WorkersFor(int pages) {
  if (pages < 1) return 1;
  const int most = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1,
                              std::min(pages, 8));
  const int rounds = (pages + most - 1) / most;
  return (pages + rounds - 1) / rounds;
}

std::unique_ptr<PopplerWorker> PopplerWorker::Start(const std::string& bytes) {
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return nullptr;
  // The worker's end becomes its descriptor 3, which must not be 3 already
  // (dup2 onto itself would leave it closed at exec).
  if (fds[1] == 3) {
    int moved = ::fcntl(fds[1], F_DUPFD_CLOEXEC, 10);
    ::close(fds[1]);
    if (moved < 0) {
      ::close(fds[0]);
      return nullptr;
    }
    fds[1] = moved;
  }
  const std::string path = WorkerPath();
  const std::string memory = std::to_string(GetWorkerLimits().memory);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
  char* argv[] = {const_cast<char*>(path.c_str()), const_cast<char*>(memory.c_str()), nullptr};
  pid_t pid = 0;
  int rc = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (rc != 0) {
    ::close(fds[0]);
    return nullptr;
  }
  ++gStarts;
  std::unique_ptr<PopplerWorker> w(new PopplerWorker(pid, fds[0]));
  std::string reply;
  if (!w->Call(Writer().Byte(static_cast<uint8_t>(Op::kLoad)).Text(bytes).bytes(), &reply))
    return nullptr;
  return w;
}

PopplerWorker::~PopplerWorker() {
  Kill();
  Reap();
}

void PopplerWorker::Kill() {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
  ::kill(pid_, SIGKILL);
}

void PopplerWorker::Reap() {
  if (reaped_) return;
  reaped_ = true;
  while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
  }
}

void PopplerWorker::Lose() {
  Kill();
  Reap();
}

// A worker's exit returns its heap to the system, which takes a while: the
// workers end together, and are waited for after.
PopplerPool::~PopplerPool() {
  for (auto& w : idle_) w->Kill();
  idle_.clear();
}

bool PopplerWorker::Call(const std::string& request, std::string* reply) {
  if (fd_ < 0) return false;
  const auto deadline =
      Clock::now() + std::chrono::duration_cast<Clock::duration>(
                         std::chrono::duration<double>(GetWorkerLimits().seconds));
  uint32_t n = static_cast<uint32_t>(request.size());
  bool ok = request.size() <= UINT32_MAX &&
            SendAll(fd_, reinterpret_cast<const char*>(&n), sizeof n, deadline) &&
            SendAll(fd_, request.data(), request.size(), deadline) &&
            ReceiveAll(fd_, reinterpret_cast<char*>(&n), sizeof n, deadline);
  if (ok) {
    reply->resize(n);
    ok = ReceiveAll(fd_, reply->data(), n, deadline);
  }
  if (!ok) {
    Lose();  // crashed, out of memory, or past its time: it goes
    return false;
  }
  return !reply->empty() && (*reply)[0] == 1;
}

bool PopplerWorker::Text(int page, int options, std::string* utf8, bool* tooLarge) {
  std::string reply;
  Writer w;
  w.Byte(static_cast<uint8_t>(Op::kText)).Int(page).Int(options).Int(GetWorkerLimits().contentBytes);
  if (!Call(w.bytes(), &reply)) return false;
  Reader in(reply);
  in.Byte();
  const bool large = in.Byte() != 0;
  *utf8 = in.Text();
  if (tooLarge) *tooLarge = large;
  return in.ok() && !large;
}

bool PopplerWorker::RenderFile(int page, double dpi, int format, const std::string& path,
                               bool blank, double* drawn) {
  std::string reply;
  Writer w;
  w.Byte(static_cast<uint8_t>(Op::kRenderFile)).Int(page).Real(dpi);
  w.Int(GetWorkerLimits().pagePixels).Int(format).Int(blank ? 1 : 0).Text(path);
  if (!Call(w.bytes(), &reply)) return false;
  Reader in(reply);
  in.Byte();
  *drawn = in.Real();
  return in.ok();
}

bool PopplerWorker::RenderPixels(int page, double dpi, PixelPage* out) {
  std::string reply;
  Writer w;
  w.Byte(static_cast<uint8_t>(Op::kRenderPixels)).Int(page).Real(dpi);
  w.Int(GetWorkerLimits().pagePixels);
  if (!Call(w.bytes(), &reply)) return false;
  Reader in(reply);
  in.Byte();
  out->dpi = in.Real();
  out->width = static_cast<int>(in.Int());
  out->height = static_cast<int>(in.Int());
  out->stride = static_cast<int>(in.Int());
  std::string pixels = in.Text();
  if (!in.ok() || out->width <= 0 || out->height <= 0 || out->stride < 4 * out->width ||
      pixels.size() != static_cast<size_t>(out->stride) * out->height)
    return false;
  out->pixels.assign(pixels.begin(), pixels.end());
  return true;
}

std::unique_ptr<PopplerWorker> PopplerPool::Borrow() {
  {
    std::lock_guard<std::mutex> g(mutex_);
    if (broken_) return nullptr;
    if (!idle_.empty()) {
      auto w = std::move(idle_.back());
      idle_.pop_back();
      return w;
    }
  }
  auto w = PopplerWorker::Start(*bytes_);
  if (!w) {
    std::lock_guard<std::mutex> g(mutex_);
    broken_ = true;
  }
  return w;
}

void PopplerPool::Return(std::unique_ptr<PopplerWorker> worker) {
  if (!worker) return;
  std::lock_guard<std::mutex> g(mutex_);
  if (worker->lost())
    broken_ = true;
  else
    idle_.push_back(std::move(worker));
}

void PopplerPool::Reserve(int64_t pixels) {
  const int64_t limit = GetWorkerLimits().renderPixels;
  std::unique_lock<std::mutex> l(mutex_);
  room_.wait(l, [&] { return drawing_ == 0 || drawing_ + pixels <= limit; });
  drawing_ += pixels;
}

void PopplerPool::Release(int64_t pixels) {
  {
    std::lock_guard<std::mutex> g(mutex_);
    drawing_ -= pixels;
  }
  room_.notify_all();
}

void PopplerPool::SetDrawn(int page, double dpi) {
  std::lock_guard<std::mutex> g(mutex_);
  drawn_[page] = dpi;
}

double PopplerPool::Drawn(int page) {
  std::lock_guard<std::mutex> g(mutex_);
  auto it = drawn_.find(page);
  return it == drawn_.end() ? 0 : it->second;
}

void PopplerPool::SetOversized(int page, bool oversized) {
  std::lock_guard<std::mutex> g(mutex_);
  oversized_[page] = oversized;
}

int PopplerPool::Oversized(int page) {
  std::lock_guard<std::mutex> g(mutex_);
  auto it = oversized_.find(page);
  return it == oversized_.end() ? -1 : it->second ? 1 : 0;
}

void PopplerPool::ReadTexts(const std::vector<int>& pages, int options) {
  if (pages.empty()) return;
  const int64_t budget = GetWorkerLimits().contentBytes;
  const int threads = WorkersFor(static_cast<int>(pages.size()));
  std::atomic<size_t> next{0};
  auto work = [&] {
    auto worker = Borrow();
    if (!worker) return;
    for (size_t i = next++; i < pages.size(); i = next++) {
      std::string text;
      bool tooLarge = false;
      const bool ok = worker->Text(pages[i], options, &text, &tooLarge);
      if (tooLarge) SetOversized(pages[i], true);
      if (!ok) {
        if (worker->lost()) break;
        continue;
      }
      std::lock_guard<std::mutex> g(mutex_);
      if (textBytes_ + static_cast<int64_t>(text.size()) > budget) continue;
      textBytes_ += static_cast<int64_t>(text.size());
      texts_[{pages[i], options}] = std::move(text);
    }
    Return(std::move(worker));
  };
  std::vector<std::thread> helpers;
  for (int i = 1; i < threads; ++i) helpers.emplace_back(work);
  work();
  for (auto& t : helpers) t.join();
}

bool PopplerPool::TakeText(int page, int options, std::string* utf8) {
  std::lock_guard<std::mutex> g(mutex_);
  auto it = texts_.find({page, options});
  if (it == texts_.end()) return false;
  *utf8 = std::move(it->second);
  textBytes_ -= static_cast<int64_t>(utf8->size());
  texts_.erase(it);
  return true;
}

}  // namespace velmora::pdf::detail
