// Printing through the backend.
#include <gtest/gtest.h>

#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-image.h>
#include <poppler/cpp/poppler-page-renderer.h>
#include <poppler/cpp/poppler-page.h>
#include <qpdf/QPDF.hh>

#include <QGuiApplication>
#include <QPrinter>
#include <memory>

#include "print_qt.h"

#include "fixtures.h"
#include "velmora/pdf/pdf.h"
#include "velmora/pdf/print.h"

namespace {

using velmora::pdf::RecordingPrintBackend;
using velmora::pdf::SetPrintBackend;

class PdfPrint : public ::testing::Test {
 protected:
  void SetUp() override {
    recorder_ = std::make_shared<RecordingPrintBackend>();
    previous_ = SetPrintBackend(recorder_);
    id_ = iSEDLoadFromFile(fixtures::MakeForm("print.pdf"));
  }
  void TearDown() override {
    iSEDRemoveDocument(id_);
    SetPrintBackend(previous_);
  }
  std::shared_ptr<RecordingPrintBackend> recorder_;
  std::shared_ptr<velmora::pdf::PrintBackend> previous_;
  int id_ = 0;
};

TEST_F(PdfPrint, PrintsThePageRangeWithTheOptionsTitle) {
  ASSERT_NE(id_, 0);
  int options = iSEDPrintOptions(0, 0, "Filled \xE9");
  ASSERT_NE(options, 0);
  ASSERT_EQ(iSEDPrintDocument("Office", 1, iSEDPageCount(), options), 1);
  auto jobs = recorder_->Jobs();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].printer, "Office");
  EXPECT_EQ(jobs[0].title, "Filled \xC3\xA9");  // UTF-8 past the edge
  EXPECT_EQ(jobs[0].firstPage, 1);
  EXPECT_EQ(jobs[0].lastPage, 2);
  EXPECT_EQ(jobs[0].pageImages, 2);
  EXPECT_EQ(jobs[0].nonBlankImages, 2);
}

TEST_F(PdfPrint, PrintsChangesNotYetSaved) {
  iSEDSetFormFieldValue(1, "Printed");
  iSEDFlattenFormField(1);
  int options = iSEDPrintOptions(0, 0, "t");
  ASSERT_EQ(iSEDPrintDocument("p", 2, 2, options), 1);
  EXPECT_EQ(recorder_->Jobs().at(0).pageImages, 1);
}

TEST_F(PdfPrint, RefusesBadRangesOptionsAndMissingDocument) {
  int options = iSEDPrintOptions(0, 0, "t");
  EXPECT_EQ(iSEDPrintDocument("p", 0, 1, options), 0);
  EXPECT_EQ(iSEDPrintDocument("p", 2, 1, options), 0);
  EXPECT_EQ(iSEDPrintDocument("p", 1, 3, options), 0);
  EXPECT_EQ(iSEDPrintDocument("p", 1, 1, 0), 0);
  iSEDRemoveDocument(id_);
  id_ = 0;
  EXPECT_EQ(iSEDPrintDocument("p", 1, 1, options), 0);
  EXPECT_TRUE(recorder_->Jobs().empty());
}

TEST_F(PdfPrint, QtBackendFailsForAPrinterThatIsNotThere) {
  SetPrintBackend(nullptr);  // the program's default
  int options = iSEDPrintOptions(0, 0, "t");
  // Without the program's application object nothing is printed.
  EXPECT_EQ(iSEDPrintDocument("no such printer", 1, 1, options), 0);
  int argc = 1;
  char name[] = "pdf_tests";
  char* argv[] = {name, nullptr};
  QGuiApplication app(argc, argv);
  EXPECT_EQ(iSEDPrintDocument("no such printer", 1, 1, options), 0);
}

// The Qt backend's painting, on a printer that writes a PDF file.
class PdfFileBackend : public velmora::pdf::PrintBackend {
 public:
  explicit PdfFileBackend(std::string path) : path_(std::move(path)) {}
  bool Print(const velmora::pdf::PrintJob& job) override {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(path_));
    return velmora::pdf::detail::PaintJob(printer, job);
  }

 private:
  std::string path_;
};

TEST_F(PdfPrint, QtPaintingPutsEveryPageOnPaper) {
  int argc = 1;
  char name[] = "pdf_tests";
  char* argv[] = {name, nullptr};
  QGuiApplication app(argc, argv);
  auto out = fixtures::Path("printed.pdf");
  SetPrintBackend(std::make_shared<PdfFileBackend>(out));
  ASSERT_EQ(iSEDPrintDocument("file", 1, 2, iSEDPrintOptions(1, 1, "t")), 1);
  QPDF q;
  q.processFile(out.c_str());
  EXPECT_EQ(q.getAllPages().size(), 2u);
  std::unique_ptr<poppler::document> doc(poppler::document::load_from_file(out));
  ASSERT_TRUE(doc);
  for (int p = 0; p < 2; ++p) {
    std::unique_ptr<poppler::page> page(doc->create_page(p));
    poppler::page_renderer renderer;
    renderer.set_image_format(poppler::image::format_gray8);
    auto image = renderer.render_page(page.get(), 18, 18);
    ASSERT_TRUE(image.is_valid());
    int dark = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        dark += static_cast<unsigned char>(image.const_data()[y * image.bytes_per_row() + x]) < 128;
    EXPECT_GT(dark, 0) << "page " << p + 1 << " is blank";
  }
}

}  // namespace
