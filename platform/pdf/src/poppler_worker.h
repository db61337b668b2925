#pragma once
// Poppler in worker processes: the library's side.
//
// poppler runs only in worker processes (velmora-pdf-worker), never in the
// program: a document that crashes it, keeps it busy or makes it allocate
// without end ends the worker, and the caller gets a failure. Each worker
// parses the document once and then answers page text and page pictures for
// as long as it lives. A `PopplerPool` holds the workers of one state of one
// document: the renderer borrows several to draw pages in parallel, and
// page texts are read through them the same way.
#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace velmora::pdf::detail {

// The limits every worker runs under.
struct WorkerLimits {
  double seconds = 60;                  // for one request (a load, a page)
  int64_t memory = int64_t{1} << 30;    // address space of one worker
  int64_t pagePixels = 48'000'000;      // the most pixels of one page picture
  int64_t renderPixels = 80'000'000;    // the most pixels drawn at once, all workers
  // The most bytes of one page's content, decoded, and of its text: a page
  // beyond it is not given to poppler (its picture is blank, its text and
  // content empty).
  int64_t contentBytes = int64_t{64} << 20;
};
WorkerLimits GetWorkerLimits();
void SetWorkerLimits(const WorkerLimits& limits);  // for tests

// How many workers this process has started (for tests).
int WorkerStarts();

// The worker executable: beside the running program, else in the build tree.
std::string WorkerPath();

// How many workers share `pages` pages: one a processor, at most 8, and no
// more than the rounds of pages that many need (20 pages take 3 rounds of
// 8, which 7 workers also do): a worker more costs its start and parse and
// would not finish sooner.
int WorkersFor(int pages);

struct PixelPage {
  int width = 0, height = 0, stride = 0;
  double dpi = 0;  // drawn at
  std::vector<unsigned char> pixels;  // premultiplied ARGB32, native order
};

// One worker process with the document loaded.
class PopplerWorker {
 public:
  // Starts a worker and has it parse `bytes`; null when it cannot.
  static std::unique_ptr<PopplerWorker> Start(const std::string& bytes);
  ~PopplerWorker();
  PopplerWorker(const PopplerWorker&) = delete;
  PopplerWorker& operator=(const PopplerWorker&) = delete;

  // Each returns false when the request failed; `lost()` then tells
  // whether the worker crashed, hung or ran out of memory (and is gone).
  // `tooLarge` tells a text longer than the limit of contentBytes (which is
  // not sent, and the call fails).
  bool Text(int page, int options, std::string* utf8, bool* tooLarge = nullptr);
  // `blank`: the page's picture without its content (paper of its size).
  bool RenderFile(int page, double dpi, int format, const std::string& path, bool blank,
                  double* drawn);
  bool RenderPixels(int page, double dpi, PixelPage* out);
  bool lost() const { return fd_ < 0; }
  // Ends the process without waiting for it; the destructor waits.
  void Kill();

 private:
  PopplerWorker(pid_t pid, int fd) : pid_(pid), fd_(fd) {}
  bool Call(const std::string& request, std::string* reply);
  void Lose();
  void Reap();

  pid_t pid_;
  int fd_;
  bool reaped_ = false;
};

// The workers of one state of a document.
class PopplerPool {
 public:
  explicit PopplerPool(std::shared_ptr<const std::string> bytes) : bytes_(std::move(bytes)) {}
  ~PopplerPool();
  PopplerPool(const PopplerPool&) = delete;
  PopplerPool& operator=(const PopplerPool&) = delete;
  const std::shared_ptr<const std::string>& bytes() const { return bytes_; }

  // An idle worker, or a new one; null once a worker of this document was
  // lost (the document is not given another chance) or none could start.
  std::unique_ptr<PopplerWorker> Borrow();
  // Gives a worker back for reuse; a lost one marks the document broken.
  void Return(std::unique_ptr<PopplerWorker> worker);

  // Pixels of page pictures being drawn: waits until `pixels` more fit in
  // the limit (a page alone always fits).
  void Reserve(int64_t pixels);
  void Release(int64_t pixels);

  // The resolution a page was last drawn at, 0 when it was not.
  void SetDrawn(int page, double dpi);
  double Drawn(int page);

  // Whether a page's content (or text) is beyond the limit: 1 it is, 0 it
  // is not, -1 not known yet.
  void SetOversized(int page, bool oversized);
  int Oversized(int page);

  // Reads the texts of `pages` ahead in as many workers as there are
  // processors (at most 8), keeping them for TakeText while they fit in the
  // limit of contentBytes together; a page that fails or does not fit is
  // read again when asked for.
  void ReadTexts(const std::vector<int>& pages, int options);
  // The text read ahead for the page, which the pool then forgets.
  bool TakeText(int page, int options, std::string* utf8);

 private:
  std::shared_ptr<const std::string> bytes_;
  std::mutex mutex_;
  std::condition_variable room_;
  std::vector<std::unique_ptr<PopplerWorker>> idle_;
  bool broken_ = false;
  int64_t drawing_ = 0;
  std::map<int, double> drawn_;
  std::map<int, bool> oversized_;
  std::map<std::pair<int, int>, std::string> texts_;  // (page, options)
  int64_t textBytes_ = 0;
};

}  // namespace velmora::pdf::detail
