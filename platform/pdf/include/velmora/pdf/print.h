#pragma once
// The printing backend behind iSEDPrintDocument. The library renders the
// pages; a backend sends them to a printer. The default backend prints
// through Qt's print support (it needs the program's QGuiApplication).
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace velmora::pdf {

// One rendered page: 32-bit pixels (0xAARRGGBB in native byte order).
struct PageImage {
  int width = 0;
  int height = 0;
  int stride = 0;
  std::vector<unsigned char> pixels;
  double widthPoints = 0;   // the page as shown, in points
  double heightPoints = 0;
};

struct PrintJob {
  std::string printer;  // UTF-8
  std::string title;    // UTF-8
  int firstPage = 1;
  int lastPage = 1;
  int pageScaling = 0;       // 0 actual size, 1 fit to the paper
  int autoRotateCenter = 0;  // nonzero: turn to the paper and centre
  // Renders one page (1-based) at the given resolution; empty on failure.
  std::function<PageImage(int page, double dpi)> renderPage;
};

class PrintBackend {
 public:
  virtual ~PrintBackend() = default;
  virtual bool Print(const PrintJob& job) = 0;
};

// Replaces the process's backend and returns the previous one; nullptr
// restores the Qt backend.
std::shared_ptr<PrintBackend> SetPrintBackend(std::shared_ptr<PrintBackend> backend);
std::shared_ptr<PrintBackend> MakeQtPrintBackend();

// A stand-in that prints nothing and records each job, rendering every page
// at 36 dpi to count the images (and the ones that are not blank).
class RecordingPrintBackend : public PrintBackend {
 public:
  struct Record {
    std::string printer;
    std::string title;
    int firstPage = 0;
    int lastPage = 0;
    int pageImages = 0;
    int nonBlankImages = 0;
  };
  bool Print(const PrintJob& job) override;
  std::vector<Record> Jobs() const;

 private:
  mutable std::mutex mutex_;
  std::vector<Record> jobs_;
};

}  // namespace velmora::pdf
