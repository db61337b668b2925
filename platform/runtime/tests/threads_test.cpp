#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "velmora/runtime/runtime.h"
#include "velmora/runtime/system.h"
#include "velmora/runtime/threads.h"

using namespace rt;

namespace {

std::mutex g_logMutex;
std::vector<std::string> g_log;

void Log(const std::string& what) {
  std::lock_guard<std::mutex> guard(g_logMutex);
  g_log.push_back(what + ":" + std::to_string(ThreadNumber()));
}

// Logs when a thread's copy is destroyed with its per-thread data.
struct Tracker {
  bool used = false;
  ~Tracker() {
    if (used) Log("destroy");
  }
};

char g_argv0[] = "runtime_tests";
char* g_argv[] = {g_argv0, nullptr};

size_t Index(const std::string& entry) {
  std::lock_guard<std::mutex> guard(g_logMutex);
  for (size_t i = 0; i < g_log.size(); ++i)
    if (g_log[i] == entry) return i;
  return std::string::npos;
}

}  // namespace

TEST(RuntimeThreads, NumbersHooksAndPerThreadData) {
  static ThreadLocal<Tracker> tracker;
  static ThreadLocal<int> counter(10);
  g_log.clear();
  SetThreadHooks([] { Log("start"); }, [] { Log("exit"); });

  ASSERT_TRUE(StartRuntime(1, g_argv));
  EXPECT_EQ(ThreadNumber(), 1);
  std::map<int, std::vector<std::string>> argsSeen;
  std::mutex argsMutex;
  int code = RunMain([&] {
    tracker->used = true;
    for (int i = 0; i < 2; ++i) {
      int n = Start(
          [&](std::vector<std::string> args) {
            Log("proc");
            tracker->used = true;
            EXPECT_EQ(counter.Get(), 10);  // every thread starts from the initial value
            counter.Get() += ThreadNumber();
            std::lock_guard<std::mutex> guard(argsMutex);
            argsSeen[ThreadNumber()] = args;
          },
          25000, {"a", std::to_string(i)});
      EXPECT_EQ(n, i + 2);
    }
    counter.Get() = 99;
    WaitForThreads();
    EXPECT_EQ(counter.Get(), 99);
  });
  EXPECT_EQ(code, 0);
  SetThreadHooks(nullptr, nullptr);

  for (int n : {2, 3}) {
    std::string s = ":" + std::to_string(n);
    size_t start = Index("start" + s), proc = Index("proc" + s), exit = Index("exit" + s),
           destroy = Index("destroy" + s);
    ASSERT_NE(destroy, std::string::npos) << n;
    EXPECT_LT(start, proc);
    EXPECT_LT(proc, exit);
    EXPECT_LT(exit, destroy);
    EXPECT_EQ(argsSeen[n], (std::vector<std::string>{"a", std::to_string(n - 2)}));
  }
  EXPECT_EQ(Index("start:1"), 0u);  // thread 1's hooks at start-up and the end of main
  EXPECT_LT(Index("exit:1"), Index("destroy:1"));
  EXPECT_GT(Index("exit:1"), Index("destroy:3"));
}

TEST(RuntimeThreads, StackSizeRule) {
  EXPECT_EQ(RecordedStackSize(0), 20000u);
  EXPECT_EQ(RecordedStackSize(19999), 20000u);
  EXPECT_EQ(RecordedStackSize(25000), 25000u);

  struct Seen { uint32_t recorded; size_t real; };
  auto run = [](uint32_t requested) {
    Seen seen{};
    Start(
        [&seen](std::vector<std::string>) {
          seen.recorded = ThreadStackSize();
          pthread_attr_t attr;
          pthread_getattr_np(pthread_self(), &attr);
          pthread_attr_getstacksize(&attr, &seen.real);
          pthread_attr_destroy(&attr);
        },
        requested);
    WaitForThreads();
    return seen;
  };
  Seen small = run(0);
  EXPECT_EQ(small.recorded, 20000u);
  EXPECT_GE(small.real, 256u * 1024);  // the real stack keeps a safe floor
  Seen big = run(8u * 1024 * 1024);
  EXPECT_EQ(big.recorded, 8u * 1024 * 1024);
  EXPECT_GE(big.real, 8u * 1024 * 1024);
  EXPECT_EQ(ThreadStackSize(), 0u);
}

TEST(RuntimeThreads, RuntimeLockHoldsStartedThreadsBack) {
  std::atomic<bool> ran{false};
  LockThread();
  LockThread();  // taking it twice is harmless
  EXPECT_TRUE(HoldsThreadLock());
  Start([&](std::vector<std::string>) { ran = true; }, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(ran);  // it needs the lock to run system code
  UnlockThread();
  EXPECT_FALSE(HoldsThreadLock());
  WaitForThreads();
  EXPECT_TRUE(ran);
}

TEST(RuntimeThreads, CriticalSectionIsRecursiveAndFreesTheRuntimeLock) {
  static CriticalSection cs;
  std::atomic<int> inside{0};
  LockThread();
  cs.Enter();
  cs.Enter();
  Start(
      [&](std::vector<std::string>) {
        CriticalSection::Guard guard(cs);  // waits without the runtime lock
        EXPECT_TRUE(HoldsThreadLock());
        ++inside;
      },
      0);
  UnlockThread();  // the thread runs until it waits for the section
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  LockThread();  // would never return if the waiting thread kept the lock
  EXPECT_EQ(inside, 0);
  cs.Leave();
  cs.Leave();
  WaitForThreads();  // releases the runtime lock while it waits
  EXPECT_EQ(inside, 1);
  EXPECT_TRUE(HoldsThreadLock());
  UnlockThread();
}

TEST(RuntimeThreads, NumbersOfEndedThreadsAreReused) {
  int first = Start([](std::vector<std::string>) {}, 0);
  WaitForThreads();
  int again = Start([](std::vector<std::string>) {}, 0);
  WaitForThreads();
  EXPECT_EQ(first, again);
  EXPECT_GE(first, 2);
}

TEST(RuntimeRuntime, FailedStartAndMainWrapper) {
  int initialised = 0;
  std::vector<Module> bad = {{"Good", [&] { ++initialised; return ThreadNumber() == 1; }},
                             {"Broken", [] { return false; }},
                             {"Later", [&] { ++initialised; return true; }}};
  EXPECT_FALSE(StartRuntime(1, g_argv, bad));
  EXPECT_NE(StartError().find("Broken"), std::string::npos);
  EXPECT_EQ(initialised, 1);
  EXPECT_EQ(ThreadNumber(), 0);  // thread 1 is not set up
  EXPECT_FALSE(HoldsThreadLock());
  EXPECT_FALSE(StartRuntime(1, g_argv, {{"Throws", []() -> bool { throw std::runtime_error("no disk"); }}}));
  EXPECT_NE(StartError().find("no disk"), std::string::npos);

  std::vector<std::string> order;
  ASSERT_TRUE(StartRuntime(1, g_argv, {{"Good", [&] { ++initialised; return true; }}}));
  EXPECT_FALSE(StartRuntime(1, g_argv));  // already running
  AddExitProc([&] { order.push_back("first"); });
  AddExitProc([&] { order.push_back("second"); });
  int code = RunMain([] { throw std::runtime_error("boom"); });
  EXPECT_EQ(code, 1);
  EXPECT_EQ(order, (std::vector<std::string>{"second", "first"}));
  RunExitProcs();  // once only
  EXPECT_EQ(order.size(), 2u);
  EXPECT_FALSE(HoldsThreadLock());
}
