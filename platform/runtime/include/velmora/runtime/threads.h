#pragma once
// Runtime threads: thread numbers, START, per-thread variables with start
// and exit hooks, the runtime lock and critical sections.
//
// The thread that starts the runtime is thread 1; every thread started with
// Start gets the lowest number not in use (from 2). Threads the runtime did
// not create have number 0.
//
// The runtime lock is one process-wide lock that a runtime thread holds
// while it runs the system's code: a started thread takes it before its
// start hook and releases it after its exit hook; UnlockThread and
// LockThread release and re-take it around blocking work (event loops,
// hand-overs to other programs).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace rt {

int ThreadNumber();

// The stack size the runtime records for a requested one: below 20000 bytes
// it is raised to 20000.
uint32_t RecordedStackSize(uint32_t requested);
// The recorded stack size of the calling thread; 0 for threads not started
// with Start.
uint32_t ThreadStackSize();

// Runs proc(args) on a new thread whose stack is at least the recorded size
// (and never below the system's and the sanitizers' safe minimum). Returns
// the new thread's number, 0 when the thread cannot be created.
int Start(std::function<void(std::vector<std::string>)> proc, uint32_t stackSize,
          std::vector<std::string> args = {});

// Hooks run on every runtime thread: onStart right after the thread's
// per-thread data exists, onExit just before it is discarded. Thread 1 runs
// them when the runtime starts and at the end of main.
void SetThreadHooks(std::function<void()> onStart, std::function<void()> onExit);

// Waits until every thread started with Start (other than the caller) has
// ended, including threads those threads start. Releases the runtime lock
// while it waits.
void WaitForThreads();

// Re-takes / releases the runtime lock for the calling thread. Taking a lock
// the thread holds, or releasing one it does not, does nothing.
void LockThread();
void UnlockThread();
bool HoldsThreadLock();

// A process-wide recursive lock. A thread that has to wait for it releases
// the runtime lock meanwhile, so a holder that needs the runtime lock can
// finish.
class CriticalSection {
 public:
  void Enter();
  void Leave();

  class Guard {
   public:
    explicit Guard(CriticalSection& cs) : cs_(cs) { cs_.Enter(); }
    ~Guard() { cs_.Leave(); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

   private:
    CriticalSection& cs_;
  };

 private:
  std::recursive_mutex mutex_;
};

namespace detail {
size_t NewThreadLocalId();
// The calling thread's value of variable `id`, made by make(init) on first use.
void* ThreadSlot(size_t id, void* (*make)(const void*), void (*destroy)(void*), const void* init);
}  // namespace detail

// A per-thread variable: every thread has its own copy, made from the
// initial value the first time the thread uses it and destroyed with the
// thread's per-thread data (after the exit hook, in reverse order of
// creation).
template <class T>
class ThreadLocal {
 public:
  ThreadLocal() : ThreadLocal(T{}) {}
  explicit ThreadLocal(T initial) : id_(detail::NewThreadLocalId()), initial_(std::move(initial)) {}
  ThreadLocal(const ThreadLocal&) = delete;
  ThreadLocal& operator=(const ThreadLocal&) = delete;

  T& Get() {
    return *static_cast<T*>(detail::ThreadSlot(
        id_, [](const void* init) -> void* { return new T(*static_cast<const T*>(init)); },
        [](void* p) { delete static_cast<T*>(p); }, &initial_));
  }
  T& operator*() { return Get(); }
  T* operator->() { return &Get(); }

 private:
  size_t id_;
  T initial_;
};

}  // namespace rt
