// Behaviour across processes: access modes and a process killed mid-batch.
#include <signal.h>
#include <sys/wait.h>

#include "fixture.h"

using namespace db;
using fixture::Fill;

namespace {

class FilesProcess : public fixture::ScratchFolder {};

// Forks a child that runs `body` with a pipe to write to and one to read
// from; the child never returns into the test.
template <class Body>
pid_t Child(int (&toParent)[2], int (&toChild)[2], Body body) {
  EXPECT_EQ(::pipe(toParent), 0);
  EXPECT_EQ(::pipe(toChild), 0);
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(toParent[0]);
    ::close(toChild[1]);
    body(toParent[1], toChild[0]);
    ::_exit(0);
  }
  ::close(toParent[1]);
  ::close(toChild[0]);
  return pid;
}

char Await(int fd) {
  char c = 0;
  return ::read(fd, &c, 1) == 1 ? c : 0;
}

void Tell(int fd, char c) { EXPECT_EQ(::write(fd, &c, 1), 1); }

}  // namespace

TEST_F(FilesProcess, AccessModesHoldAgainstAnotherProcess) {
  Close(*fixture::Filled({{1, "x"}}));
  struct Case { uint32_t child, parent; int expected; };
  const Case cases[] = {
      {kReadWrite | kDenyAll, kReadOnly | kDenyNone, rt::kAccessDenied},
      {kReadWrite | kDenyWrite, kReadWrite | kDenyNone, rt::kAccessDenied},
      {kReadWrite | kDenyWrite, kReadOnly | kDenyNone, 0},
      {kReadWrite | kDenyNone, kReadWrite | kDenyAll, rt::kAccessDenied},
      {kReadWrite | kDenyNone, kReadWrite | kDenyNone, 0},
  };
  for (const Case& c : cases) {
    int up[2], down[2];
    pid_t pid = Child(up, down, [&](int out, int in) {
      auto f = fixture::People();
      Open(*f, c.child);
      Tell(out, rt::ErrorCode() == 0 ? 'o' : 'x');
      Await(in);
      Close(*f);
    });
    ASSERT_EQ(Await(up[0]), 'o');
    auto f = fixture::People();
    Open(*f, c.parent);
    EXPECT_EQ(rt::ErrorCode(), c.expected) << std::hex << c.child << " " << c.parent;
    if (IsOpen(*f)) Close(*f);
    Copy(*f, ".\\data\\copy.tps");  // open in the child: refused
    EXPECT_EQ(rt::ErrorCode(), rt::kAccessDenied);
    Tell(down[1], 'q');
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(up[0]);
    ::close(down[1]);
    Open(*f, kReadWrite | kDenyAll);  // free again once the child is gone
    EXPECT_EQ(rt::ErrorCode(), 0);
    Close(*f);
  }
}

TEST_F(FilesProcess, KillDuringStreamKeepsCompletedBatches) {
  constexpr int kBatch = 100;
  Close(*fixture::Filled({}));
  int total = 0;
  for (int round = 0; round < 3; ++round) {
    int up[2], down[2];
    pid_t pid = Child(up, down, [&](int out, int) {
      auto f = fixture::People();
      Open(*f);
      if (rt::ErrorCode()) ::_exit(1);
      int id = static_cast<int>(Records(*f));
      while (true) {
        Stream(*f);
        for (int i = 0; i < kBatch; ++i) {
          ++id;
          Fill(*f, {id, "batch", id * 0.5, "1.00", static_cast<int16_t>(i)});
          Add(*f);
        }
        Flush(*f);
        if (rt::ErrorCode()) ::_exit(2);
        Tell(out, 'b');
      }
    });
    int reported = 0;
    while (reported < 3 + round * 2 && Await(up[0]) == 'b') ++reported;
    ::usleep(static_cast<useconds_t>(1000 * (round * 7 % 5)));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended on its own: " << status;
    ::close(up[0]);
    ::close(down[1]);

    auto f = fixture::People();
    Open(*f);
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
    int now = static_cast<int>(Records(*f));
    EXPECT_EQ(now % kBatch, 0);
    EXPECT_GE(now, total + reported * kBatch);
    std::vector<int32_t> ids = fixture::Scan(*f, 1);
    ASSERT_EQ(static_cast<int>(ids.size()), now);
    for (int i = 0; i < now; ++i) ASSERT_EQ(ids[static_cast<size_t>(i)], i + 1);
    EXPECT_EQ(fixture::Scan(*f, 5).size(), ids.size());  // every key holds them all
    total = now;
    Close(*f);
  }
}
