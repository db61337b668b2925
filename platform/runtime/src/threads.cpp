#include "velmora/runtime/threads.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <list>
#include <memory>
#include <set>

#include "threads_internal.h"

namespace rt {
namespace {

constexpr uint32_t kMinStack = 20000;
#if defined(__SANITIZE_ADDRESS__)
constexpr size_t kSafeStack = 1024 * 1024;  // sanitizers need far deeper stacks
#else
constexpr size_t kSafeStack = 256 * 1024;
#endif

// One thread's per-thread variables, in order of creation.
struct ThreadData {
  struct Slot {
    size_t id;
    void* value;
    void (*destroy)(void*);
  };
  std::vector<Slot> slots;

  ~ThreadData() { Clear(); }
  void Clear() {
    while (!slots.empty()) {
      Slot s = slots.back();
      slots.pop_back();
      s.destroy(s.value);
    }
  }
};

thread_local int t_number = 0;
thread_local uint32_t t_stack = 0;
thread_local bool t_locked = false;
thread_local ThreadData* t_data = nullptr;

std::mutex g_runtimeLock;

struct Hooks {
  std::mutex mutex;
  std::function<void()> onStart, onExit;
} g_hooks;

struct ThreadRecord {
  pthread_t handle{};
  bool finished = false;
  std::function<void(std::vector<std::string>)> proc;
  std::vector<std::string> args;
  int number = 0;
  uint32_t stack = 0;
};

struct Registry {
  std::mutex mutex;
  std::condition_variable changed;
  std::list<std::unique_ptr<ThreadRecord>> threads;  // started and not yet joined
  std::set<int> inUse;
} g_registry;

std::atomic<size_t> g_nextLocalId{0};

void RunHook(bool start) {
  std::function<void()> hook;
  {
    std::lock_guard<std::mutex> guard(g_hooks.mutex);
    hook = start ? g_hooks.onStart : g_hooks.onExit;
  }
  if (hook) hook();
}

int TakeNumber() {
  int n = 2;
  while (g_registry.inUse.count(n)) ++n;
  g_registry.inUse.insert(n);
  return n;
}

// Per-thread data of threads the runtime did not create.
ThreadData& FallbackData() {
  thread_local ThreadData data;
  return data;
}

void* Trampoline(void* arg) {
  ThreadRecord* rec = static_cast<ThreadRecord*>(arg);
  t_number = rec->number;
  t_stack = rec->stack;
  {
    ThreadData data;
    t_data = &data;
    LockThread();
    RunHook(true);
    try {
      rec->proc(std::move(rec->args));
    } catch (const std::exception& e) {
      std::fprintf(stderr, "velmora: thread %d ended by an exception: %s\n", rec->number, e.what());
    } catch (...) {
      std::fprintf(stderr, "velmora: thread %d ended by an exception\n", rec->number);
    }
    RunHook(false);
    data.Clear();
    t_data = nullptr;
    UnlockThread();
  }
  std::lock_guard<std::mutex> guard(g_registry.mutex);
  rec->finished = true;
  g_registry.inUse.erase(rec->number);
  g_registry.changed.notify_all();
  return nullptr;
}

// Joins threads that have ended; the registry mutex must not be held.
void ReapFinished() {
  std::list<std::unique_ptr<ThreadRecord>> done;
  {
    std::lock_guard<std::mutex> guard(g_registry.mutex);
    for (auto it = g_registry.threads.begin(); it != g_registry.threads.end();) {
      if ((*it)->finished) done.splice(done.end(), g_registry.threads, it++);
      else ++it;
    }
  }
  for (auto& rec : done) pthread_join(rec->handle, nullptr);
}

}  // namespace

int ThreadNumber() { return t_number; }

uint32_t RecordedStackSize(uint32_t requested) { return std::max(requested, kMinStack); }
uint32_t ThreadStackSize() { return t_stack; }

int Start(std::function<void(std::vector<std::string>)> proc, uint32_t stackSize,
          std::vector<std::string> args) {
  ReapFinished();
  auto rec = std::make_unique<ThreadRecord>();
  rec->proc = std::move(proc);
  rec->args = std::move(args);
  rec->stack = RecordedStackSize(stackSize);
  size_t real = std::max<size_t>({rec->stack, static_cast<size_t>(PTHREAD_STACK_MIN), kSafeStack});

  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) return 0;
  int rc = pthread_attr_setstacksize(&attr, real);
  std::lock_guard<std::mutex> guard(g_registry.mutex);
  rec->number = TakeNumber();
  if (rc == 0) rc = pthread_create(&rec->handle, &attr, Trampoline, rec.get());
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    g_registry.inUse.erase(rec->number);
    return 0;
  }
  int number = rec->number;
  g_registry.threads.push_back(std::move(rec));
  return number;
}

void SetThreadHooks(std::function<void()> onStart, std::function<void()> onExit) {
  std::lock_guard<std::mutex> guard(g_hooks.mutex);
  g_hooks.onStart = std::move(onStart);
  g_hooks.onExit = std::move(onExit);
}

// Only ended threads are taken off the list, so concurrent waiters each
// wait for every thread still running.
void WaitForThreads() {
  bool relock = HoldsThreadLock();
  UnlockThread();
  pthread_t self = pthread_self();
  auto others = [&](bool unfinishedOnly) {
    for (const auto& rec : g_registry.threads)
      if (!pthread_equal(rec->handle, self) && (!unfinishedOnly || !rec->finished)) return true;
    return false;
  };
  std::unique_lock<std::mutex> lock(g_registry.mutex);
  while (others(false)) {
    g_registry.changed.wait(lock, [&] { return !others(true); });
    lock.unlock();
    ReapFinished();
    lock.lock();
  }
  lock.unlock();
  if (relock) LockThread();
}

void LockThread() {
  if (t_locked) return;
  g_runtimeLock.lock();
  t_locked = true;
}

void UnlockThread() {
  if (!t_locked) return;
  t_locked = false;
  g_runtimeLock.unlock();
}

bool HoldsThreadLock() { return t_locked; }

void CriticalSection::Enter() {
  if (mutex_.try_lock()) return;
  bool relock = HoldsThreadLock();
  UnlockThread();
  mutex_.lock();
  if (relock) LockThread();
}

void CriticalSection::Leave() { mutex_.unlock(); }

namespace detail {

size_t NewThreadLocalId() { return g_nextLocalId++; }

void* ThreadSlot(size_t id, void* (*make)(const void*), void (*destroy)(void*), const void* init) {
  ThreadData& data = t_data ? *t_data : FallbackData();
  for (const ThreadData::Slot& s : data.slots)
    if (s.id == id) return s.value;
  void* value = make(init);
  data.slots.push_back({id, value, destroy});
  return value;
}

ThreadData& MainData() {
  static ThreadData data;  // outlives the thread's own thread_locals
  return data;
}

void PrepareMainThread() {
  t_number = 1;
  t_data = &MainData();
  LockThread();
}

void RunMainStartHook() { RunHook(true); }

void AbandonMainThread() {
  MainData().Clear();
  t_data = nullptr;
  t_number = 0;
  UnlockThread();
}

void EndMainThread() {
  RunHook(false);
  if (t_data) t_data->Clear();
  UnlockThread();
}

}  // namespace detail
}  // namespace rt
