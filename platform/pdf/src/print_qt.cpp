// The default print backend: pages painted on a QPrinter (CUPS).
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPrinter>

#include <algorithm>

#include "print_qt.h"

namespace velmora::pdf {
namespace {

class QtPrintBackend : public PrintBackend {
 public:
  bool Print(const PrintJob& job) override {
    // Painting needs the program's application object.
    if (!QGuiApplication::instance()) return false;
    QPrinter printer(QPrinter::HighResolution);
    printer.setPrinterName(QString::fromStdString(job.printer));
    if (!printer.isValid() || printer.printerName().isEmpty()) return false;
    return detail::PaintJob(printer, job);
  }
};

}  // namespace

namespace detail {

bool PaintJob(QPrinter& printer, const PrintJob& job) {
  printer.setDocName(QString::fromStdString(job.title));
  printer.setFullPage(true);
  QPainter painter;
  if (!painter.begin(&printer)) return false;
  const double dpi = std::min(printer.resolution(), 300);
  const QRectF paper = printer.pageLayout().fullRectPixels(printer.resolution());
  for (int p = job.firstPage; p <= job.lastPage; ++p) {
    if (p > job.firstPage && !printer.newPage()) break;
    PageImage page = job.renderPage(p, dpi);
    if (page.width <= 0) continue;
    QImage image(page.pixels.data(), page.width, page.height, page.stride,
                 QImage::Format_ARGB32);
    painter.save();
    double w = page.widthPoints / 72.0 * printer.resolution();
    double h = page.heightPoints / 72.0 * printer.resolution();
    bool turn = job.autoRotateCenter && (w > h) != (paper.width() > paper.height());
    if (turn) std::swap(w, h);
    if (job.pageScaling) {
      double s = std::min(paper.width() / w, paper.height() / h);
      w *= s;
      h *= s;
    }
    QRectF target(0, 0, w, h);
    if (job.autoRotateCenter) target.moveCenter(paper.center());
    if (turn) {
      painter.translate(target.center());
      painter.rotate(-90);  // landscape pages turn as printers turn them
      painter.translate(-target.center());
      QRectF turned(0, 0, h, w);
      turned.moveCenter(target.center());
      target = turned;
    }
    painter.drawImage(target, image);
    painter.restore();
  }
  return painter.end();
}

}  // namespace detail

std::shared_ptr<PrintBackend> MakeQtPrintBackend() {
  return std::make_shared<QtPrintBackend>();
}

}  // namespace velmora::pdf
