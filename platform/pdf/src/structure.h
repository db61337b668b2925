#pragma once
// What loading a document costs, checked before it is paid.
//
// Loading reads three structures whose objects point at each other by
// reference: the page tree (/Pages, /Kids), each page's annotations
// (/Annots) and the form's field tree (/AcroForm /Fields, /Kids, /Parent).
// A reference can point anywhere: at an array another node uses too, at an
// ancestor, at an array that holds the direct dictionary pointing at it. A
// walk that follows every reference (qpdf's among them: it copies a page
// listed twice, warns about every field it meets again, and names each
// field by climbing its /Parent chain) can then do work that grows with the
// square of the file, or without end, on a file of a few kilobytes.
//
// The check walks the three structures once, each indirect object at most
// once, counts the work the load's walks will do on them and refuses the
// file when that work is out of proportion to its number of objects, when
// the page tree is deeper than qpdf can walk on a thread's stack, or when
// the time of the load has run out. A file that passes is then walked by
// the load at a cost linear in its objects.
#include <qpdf/QPDF.hh>

#include <atomic>
#include <chrono>
#include <memory>

namespace velmora::pdf::detail {

// Pages nested deeper than this are not read: the load fails.
constexpr int kMaxPageTreeDepth = 256;

// The time of a load: the work of the thread that loads (its CPU time),
// and a longer limit on the wall clock for a busy machine or a slow disk.
// Shared with the waiting caller, which can also end the load early.
class LoadClock {
 public:
  LoadClock(double cpuSeconds, double wallSeconds);
  // Throws LoadRefused when the time is over or the load was abandoned;
  // called on the thread that loads.
  void Check() const;
  void Abandon() { abandoned_ = true; }
  double CpuSeconds() const { return cpu_; }
  std::chrono::steady_clock::time_point WallEnd() const { return end_; }

 private:
  double cpu_;
  std::chrono::steady_clock::time_point end_;
  std::atomic<bool> abandoned_{false};
};

// Why a load gave up on a document that qpdf could open.
struct LoadRefused {
  enum Reason { TooComplex, TooDeep, TimeOut } reason;
};

// Walks the document's page tree, annotations and field tree; throws
// LoadRefused when the load's walks would cost more than the file's size
// warrants, when a tree is too deep, or when `clock` runs out.
void CheckStructure(QPDF& q, const LoadClock& clock);

}  // namespace velmora::pdf::detail
