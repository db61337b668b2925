// The load's structure check: the page tree, the annotations and the field
// tree walked once, with the work of the load's own walks counted.
#include "structure.h"

#include <qpdf/QPDFObjectHandle.hh>

#include <time.h>

#include <map>
#include <set>
#include <vector>

#include "fields.h"

namespace velmora::pdf::detail {
namespace {

// The work a file may make the load do: so much per object it holds, and
// a floor that no small file reaches. A well-formed form costs two to four
// units an object (a field listed, its widget on a page, its name).
constexpr long long kCostPerObject = 16;
constexpr long long kCostFloor = 100000;

class Walk {
 public:
  Walk(QPDF& q, const LoadClock& clock) : clock_(clock) {
    budget_ = kCostFloor + kCostPerObject * static_cast<long long>(q.getXRefTable().size());
  }

  void Pages(QPDFObjectHandle root) {
    if (!root.isDictionary()) return;
    std::set<QPDFObjGen> nodes, pages;
    std::vector<std::pair<QPDFObjectHandle, int>> stack{{root, 0}};
    while (!stack.empty()) {
      auto [node, depth] = stack.back();
      stack.pop_back();
      // qpdf gives up on a pages node met twice; nothing more to count.
      if (node.isIndirect() && !nodes.insert(node.getObjGen()).second) continue;
      if (depth > kMaxPageTreeDepth) throw LoadRefused{LoadRefused::TooDeep};
      auto kids = node.getKey("/Kids");
      if (!kids.isArray()) continue;
      Spend(1 + kids.getArrayNItems());
      for (auto& kid : kids.aitems()) {
        if (!kid.isDictionary()) continue;
        if (kid.hasKey("/Kids")) {
          stack.emplace_back(kid, depth + 1);
          continue;
        }
        // A page: its annotations are gone through once for every place
        // it is listed, and a page listed again is copied whole.
        auto annots = kid.getKey("/Annots");
        if (annots.isArray()) Spend(annots.getArrayNItems());
        if (kid.isIndirect() && !pages.insert(kid.getObjGen()).second) Spend(DirectSize(kid));
      }
    }
  }

  // The field tree from /Fields down, level by level, as the load meets it:
  // every indirect field once, the arrays of kids of each, and the climb
  // to the top that names it.
  void Fields(QPDFObjectHandle fields) {
    if (!fields.isArray()) return;
    Spend(fields.getArrayNItems());
    std::set<QPDFObjGen> seen;
    std::vector<QPDFObjectHandle> level;
    auto meet = [&](QPDFObjectHandle f, std::vector<QPDFObjectHandle>& into) {
      if (f.isDictionary() && f.isIndirect() && seen.insert(f.getObjGen()).second)
        into.push_back(f);
    };
    for (auto& f : fields.aitems()) meet(f, level);
    for (int depth = 0; !level.empty(); ++depth) {
      if (depth > kMaxFieldDepth) throw LoadRefused{LoadRefused::TooDeep};
      std::vector<QPDFObjectHandle> next;
      for (auto& node : level) {
        if (node.hasKey("/T")) {
          int climb = Climb(node);
          if (climb > kMaxFieldDepth) throw LoadRefused{LoadRefused::TooDeep};
          Spend(climb);
        }
        auto kids = node.getKey("/Kids");
        if (!kids.isArray()) continue;
        Spend(kids.getArrayNItems());
        for (auto& kid : kids.aitems()) meet(kid, next);
      }
      level.swap(next);
    }
  }

 private:
  void Spend(long long units) {
    cost_ += units;
    if (cost_ > budget_) throw LoadRefused{LoadRefused::TooComplex};
    if ((checks_ += units) >= 1024) {
      checks_ = 0;
      clock_.Check();
    }
  }

  // The direct objects inside an object (a page copied, with its own
  // arrays and dictionaries), not crossing into indirect ones.
  long long DirectSize(QPDFObjectHandle object) {
    long long size = 0;
    std::vector<QPDFObjectHandle> stack{object};
    bool top = true;
    while (!stack.empty()) {
      auto o = stack.back();
      stack.pop_back();
      if (!top && o.isIndirect()) continue;
      top = false;
      Spend(1);
      ++size;
      if (o.isArray()) {
        for (auto& item : o.aitems()) stack.push_back(item);
      } else if (o.isDictionary()) {
        for (auto& [key, value] : o.ditems()) stack.push_back(value);
      }
    }
    return size;
  }

  // The number of nodes from `node` up its /Parent chain to the top (a
  // cycle ends it), more than kMaxFieldDepth standing for any deeper one.
  // Each node's length is kept, so every chain is climbed once.
  int Climb(QPDFObjectHandle node) {
    constexpr int kDeeper = kMaxFieldDepth + 1;
    std::vector<QPDFObjectHandle> path;
    std::set<QPDFObjGen> onPath;
    int above = 0;
    for (auto n = node; n.isDictionary(); n = n.getKey("/Parent")) {
      if (n.isIndirect()) {
        auto known = lengths_.find(n.getObjGen());
        if (known != lengths_.end()) {
          above = known->second;
          break;
        }
        if (!onPath.insert(n.getObjGen()).second) break;  // a cycle
      }
      path.push_back(n);
      if (static_cast<int>(path.size()) > kDeeper) {
        above = kDeeper;  // the nodes met are all deeper than the limit
        break;
      }
    }
    int length = above;
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
      length = std::min(length + 1, kDeeper);
      if (it->isIndirect()) lengths_[it->getObjGen()] = length;
    }
    return length;
  }

  const LoadClock& clock_;
  long long budget_ = 0, cost_ = 0, checks_ = 0;
  std::map<QPDFObjGen, int> lengths_;
};

}  // namespace

LoadClock::LoadClock(double cpuSeconds, double wallSeconds)
    : cpu_(cpuSeconds),
      end_(std::chrono::steady_clock::now() +
           std::chrono::duration_cast<std::chrono::steady_clock::duration>(
               std::chrono::duration<double>(wallSeconds))) {}

void LoadClock::Check() const {
  timespec used{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &used);
  if (abandoned_ || used.tv_sec + used.tv_nsec / 1e9 >= cpu_ ||
      std::chrono::steady_clock::now() >= end_)
    throw LoadRefused{LoadRefused::TimeOut};
}

void CheckStructure(QPDF& q, const LoadClock& clock) {
  clock.Check();
  Walk walk(q, clock);
  auto root = q.getRoot();
  walk.Pages(root.getKey("/Pages"));
  auto af = root.getKey("/AcroForm");
  if (af.isDictionary()) walk.Fields(af.getKey("/Fields"));
  clock.Check();
}

}  // namespace velmora::pdf::detail
