// bench_stress: writers under load. N processes share two data files
// (which the first of them to open creates) and each runs M operations
// through the class library's file managers, as the program's windows do:
// auto-numbered adds of a parent, auto-numbered adds of a child under it
// (with a blob of 6 to 27 KB), changes and deletes, closing and opening
// the files again every 25 operations. Prints the operations run, the
// operations that failed (with their first error) and the longest time one
// operation waited.
//
// Usage: bench_stress [processes] [operations]   (default 8 and 2000; runs
// in a scratch folder under /tmp)
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "velmora/classlib/filemanager.h"
#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"

namespace {

#pragma pack(push, 1)
struct Parent {
  int32_t id;
  char name[40];
  int32_t writer;
};
struct Child {
  int32_t parent;
  int16_t no;
  char text[60];
};
#pragma pack(pop)

constexpr uint32_t kOpt = db::kKeyNoCase | db::kKeyOpt;

std::unique_ptr<db::FileDecl> ParentDecl() {
  return db::DeclBuilder("Parent", "PAR")
      .Driver("ISAM")
      .Name(".\\data\\parent.tps")
      .Attributes(db::kAttrCreate)
      .Field(db::Type::Long, "ID")
      .Field(db::Type::CString, "NAME", 40)
      .Field(db::Type::Long, "WRITER")
      .Key("ID_Key", {1}, kOpt | db::kKeyPrimary)
      .Key("Writer_Key", {3}, kOpt | db::kKeyDup)
      .Build();
}

std::unique_ptr<db::FileDecl> ChildDecl() {
  return db::DeclBuilder("Child", "CHI")
      .Driver("ISAM")
      .Name(".\\data\\child.tps")
      .Attributes(db::kAttrCreate)
      .Field(db::Type::Long, "PARENT")
      .Field(db::Type::Short, "NO")
      .Field(db::Type::CString, "TEXT", 60)
      .Key("Parent_Key", {1, 2}, kOpt)
      .Memo("NOTE", db::kMemoBinary, 0)
      .Build();
}

// One file with its record buffer and its manager, set up as the
// program's managers are (created on first open, lock recovery 10 s).
template <class Rec>
struct Managed {
  Managed(std::unique_ptr<db::FileDecl> d, int autoKey, int autoComponent) : decl(std::move(d)) {
    decl->BindRecord(reinterpret_cast<uint8_t*>(&rec));
    decl->ClearRecord();
    fm.SetFile(decl.get());
    fm.SetLabel(decl->Label());
    fm.SetCreate(true);
    fm.SetLockRecover(10);
    fm.Setup();
    for (size_t k = 0; k < decl->Keys().size(); ++k)
      fm.AddKey(static_cast<int>(k) + 1, decl->Keys()[k].label,
                static_cast<int>(k) + 1 == autoKey ? autoComponent : 0);
  }
  ~Managed() { fm.Teardown(); }
  Rec rec{};
  std::unique_ptr<db::FileDecl> decl;
  cl::FileManager fm;
};

double Now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// What one writer reports to the bench through its pipe.
struct Report {
  long operations = 0, failures = 0;
  double longest = 0;
  char firstError[200] = {};
};

Report Writer(int me, int operations) {
  Report r;
  Managed<Parent> parents(ParentDecl(), 1, 1);
  Managed<Child> children(ChildDecl(), 1, 2);
  auto failed = [&](const char* what) {
    if (++r.failures == 1)
      std::snprintf(r.firstError, sizeof r.firstError, "%s: %d %s", what, rt::ErrorCode(),
                    rt::FileErrorText().c_str());
  };
  if (parents.fm.TryOpen() != cl::kBenign || children.fm.TryOpen() != cl::kBenign) {
    failed("open");
    return r;
  }
  std::vector<int32_t> mine;  // parents this writer added
  for (int i = 0; i < operations; ++i) {
    const double start = Now();
    bool ok = true;
    const char* what = "";
    if (i % 25 == 24) {  // a window closes and another opens
      parents.fm.Close();
      children.fm.Close();
      if (parents.fm.TryOpen() != cl::kBenign || children.fm.TryOpen() != cl::kBenign) {
        failed("open");
        continue;
      }
    }
    switch (i % 10) {
      case 0: case 1: case 2: case 3: case 4:  // a new parent
        what = "add parent";
        parents.decl->ClearRecord();
        std::snprintf(parents.rec.name, sizeof parents.rec.name, "writer %d op %d", me, i);
        parents.rec.writer = me;
        ok = parents.fm.TryInsert() == cl::kBenign;
        if (ok) mine.push_back(parents.rec.id);
        break;
      case 5: case 6: case 7:  // a child of the last parent, numbered within it
        if (mine.empty()) continue;
        what = "add child";
        children.decl->ClearRecord();
        children.rec.parent = mine.back();
        std::snprintf(children.rec.text, sizeof children.rec.text, "child of %d", mine.back());
        children.decl->Memos()[0].data.assign(static_cast<size_t>(200 + i % 700) * 30, static_cast<uint8_t>(i));
        ok = children.fm.TryInsert() == cl::kBenign;
        break;
      case 8:  // a change of one of this writer's parents
        if (mine.empty()) continue;
        what = "change parent";
        parents.rec.id = mine[static_cast<size_t>(i) % mine.size()];
        ok = parents.fm.TryFetch(1) == cl::kBenign;
        if (ok) {
          std::snprintf(parents.rec.name, sizeof parents.rec.name, "changed by %d at %d", me, i);
          ok = parents.fm.TryUpdate() == cl::kBenign;
        }
        break;
      default:  // a delete of one of this writer's parents
        if (mine.size() < 2) continue;
        what = "delete parent";
        parents.rec.id = mine.front();
        ok = parents.fm.TryFetch(1) == cl::kBenign && parents.fm.TryDelete() == cl::kBenign;
        if (ok) mine.erase(mine.begin());
        break;
    }
    r.longest = std::max(r.longest, Now() - start);
    ++r.operations;
    if (!ok) failed(what);
  }
  parents.fm.Close();
  children.fm.Close();
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  const int processes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 8;
  const int operations = argc > 2 ? std::max(1, std::atoi(argv[2])) : 2000;
  char tmpl[] = "/tmp/bench_stress_XXXXXX";
  const std::filesystem::path dir = ::mkdtemp(tmpl);
  std::filesystem::current_path(dir);
  std::filesystem::create_directory("data");

  std::vector<std::pair<pid_t, int>> writers;
  const double start = Now();
  for (int p = 0; p < processes; ++p) {
    int fds[2];
    if (::pipe(fds) != 0) return 1;
    pid_t pid = ::fork();
    if (pid == 0) {
      ::close(fds[0]);
      Report r = Writer(p + 1, operations);
      ssize_t n = ::write(fds[1], &r, sizeof r);
      ::_exit(n == static_cast<ssize_t>(sizeof r) ? 0 : 1);
    }
    ::close(fds[1]);
    writers.emplace_back(pid, fds[0]);
  }
  long total = 0, failures = 0;
  double longest = 0;
  for (auto& [pid, fd] : writers) {
    Report r;
    ssize_t n = ::read(fd, &r, sizeof r);
    ::close(fd);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (n != static_cast<ssize_t>(sizeof r) || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "bench_stress: writer %d ended without its report\n", static_cast<int>(pid));
      ++failures;
      continue;
    }
    total += r.operations;
    failures += r.failures;
    longest = std::max(longest, r.longest);
    if (r.failures) std::fprintf(stderr, "writer %d: %ld failed, first %s\n", static_cast<int>(pid), r.failures, r.firstError);
  }
  const double seconds = Now() - start;

  // Every parent once: the stored numbers are unique (the key says so) and
  // the files still open with their declarations.
  Managed<Parent> check(ParentDecl(), 1, 1);
  const bool opens = check.fm.TryOpen() == cl::kBenign;
  const uint32_t stored = opens ? db::Records(*check.decl) : 0;
  check.fm.Close();

  std::printf("processes %d, operations %d each\n", processes, operations);
  std::printf("operations %ld in %.1f s, failures %ld, longest wait %.0f ms\n", total, seconds, failures,
              longest * 1000);
  std::printf("parents stored %u%s\n", stored, opens ? "" : " (the file did not open)");
  std::filesystem::current_path("/");
  std::filesystem::remove_all(dir);
  return failures == 0 && opens ? 0 : 1;
}
