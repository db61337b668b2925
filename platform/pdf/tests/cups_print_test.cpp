// Printing a filled form through a private print server: a cupsd of the
// test's own (configuration, spool and output in a temporary folder,
// listening on a loopback port) with a queue that writes each job's PDF to
// a file, reached by the program's Qt print backend through CUPS_SERVER.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/prctl.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-image.h>
#include <poppler/cpp/poppler-page-renderer.h>
#include <poppler/cpp/poppler-page.h>

#include <QGuiApplication>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "fixtures.h"
#include "velmora/pdf/pdf.h"
#include "velmora/pdf/print.h"
#include "velmora/runtime/process.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

int FreeLoopbackPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  close(fd);
  return port;
}

bool Answers(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  close(fd);
  return ok;
}

// Dark pixels of page 1 at 36 dpi, row by row.
std::vector<bool> Ink(const std::string& pdf, int& pages) {
  std::unique_ptr<poppler::document> doc(poppler::document::load_from_file(pdf));
  pages = doc ? doc->pages() : 0;
  if (!doc || pages == 0) return {};
  std::unique_ptr<poppler::page> page(doc->create_page(0));
  poppler::page_renderer renderer;
  renderer.set_image_format(poppler::image::format_gray8);
  poppler::image image = renderer.render_page(page.get(), 36, 36);
  std::vector<bool> ink;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      ink.push_back(static_cast<unsigned char>(image.const_data()[y * image.bytes_per_row() + x]) < 128);
  return ink;
}

class CupsPrint : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/velmora_cups_XXXXXX";
    dir_ = mkdtemp(tmpl);
    for (const char* d : {"spool", "tmp", "cache", "state", "out", "ppd"}) fs::create_directories(dir_ / d);
    // Filters and the file device run as the server's own user.
    chmod((dir_ / "out").c_str(), 01777);
    chmod((dir_ / "tmp").c_str(), 01777);
    port_ = FreeLoopbackPort();
    ASSERT_NE(port_, 0);
    const std::string server = "127.0.0.1:" + std::to_string(port_);
    std::ofstream(dir_ / "cupsd.conf") << "Listen " << server
                                       << "\nLogLevel debug\nWebInterface No\nBrowsing No\n"
                                          "DefaultAuthType None\n<Location />\n  Order allow,deny\n  Allow all\n"
                                          "</Location>\n<Policy default>\n  <Limit All>\n    Order deny,allow\n"
                                          "    Allow all\n  </Limit>\n</Policy>\n";
    std::ofstream(dir_ / "cups-files.conf")
        << "ServerRoot " << dir_.string() << "\nRequestRoot " << (dir_ / "spool").string() << "\nTempDir "
        << (dir_ / "tmp").string() << "\nCacheDir " << (dir_ / "cache").string() << "\nStateDir "
        << (dir_ / "state").string() << "\nErrorLog " << (dir_ / "error_log").string() << "\nAccessLog "
        << (dir_ / "access_log").string() << "\nPageLog " << (dir_ / "page_log").string()
        << "\nFileDevice Yes\nServerBin /usr/lib/cups\nDataDir /usr/share/cups\nSystemGroup root\n";
    // The PDF printer's description with a filter that passes the job's
    // PDF through unchanged, so the file holds what the program printed.
    std::string ppd = ReadAll("/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd");
    ASSERT_FALSE(ppd.empty()) << "the PDF printer's description is missing";
    ppd += "\n*cupsFilter: \"application/pdf 0 gziptoany\"\n";
    std::ofstream(dir_ / "velmora.ppd") << ppd;

    const std::string conf = (dir_ / "cupsd.conf").string(), files = (dir_ / "cups-files.conf").string();
    cupsd_ = fork();
    ASSERT_GE(cupsd_, 0);
    if (cupsd_ == 0) {
      // The server ends with the test process, however that ends, and
      // keeps its output in its log.
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      int null = open("/dev/null", O_RDWR);
      dup2(null, 0), dup2(null, 1), dup2(null, 2);
      execl("/usr/sbin/cupsd", "cupsd", "-f", "-c", conf.c_str(), "-s", files.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 100 && !Answers(port_); ++i) std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(Answers(port_)) << "cupsd did not answer (is /usr/sbin/cupsd installed?):\n"
                                << ReadAll(dir_ / "error_log");
    setenv("CUPS_SERVER", server.c_str(), 1);
    // The print client keeps, per thread, the server it was first asked
    // for; when an earlier test of this process loaded it, it is told anew.
    if (void* cups = dlopen("libcups.so.2", RTLD_NOW | RTLD_NOLOAD)) {
      if (auto set = reinterpret_cast<void (*)(const char*)>(dlsym(cups, "cupsSetServer"))) set(server.c_str());
      dlclose(cups);
    }
    rt::ProcessResult r = rt::RunProgram({"lpadmin", "-h", server, "-p", "VelmoraPDF", "-E", "-v",
                                          "file://" + (dir_ / "out/printed.pdf").string(), "-P",
                                          (dir_ / "velmora.ppd").string()});
    ASSERT_TRUE(r.Succeeded()) << "lpadmin failed:\n" << ReadAll(dir_ / "error_log");
  }
  void TearDown() override {
    if (cupsd_ > 0) {
      kill(cupsd_, SIGTERM);
      waitpid(cupsd_, nullptr, 0);
    }
    unsetenv("CUPS_SERVER");
    fs::remove_all(dir_);
  }

  // Prints pages 1 to 2 of the selected document, waits for the queue's
  // file and moves it to `name`.
  std::string PrintTo(const std::string& name) {
    int printed = 0;
    printed = iSEDPrintDocument("VelmoraPDF", 1, 2, iSEDPrintOptions(0, 0, "Filled form"));
    EXPECT_EQ(printed, 1);
    const fs::path out = dir_ / "out/printed.pdf";
    for (int i = 0; i < 300; ++i) {
      std::error_code ec;
      if (fs::exists(out, ec)) {
        std::string bytes = ReadAll(out);
        if (bytes.find("%%EOF", bytes.size() > 64 ? bytes.size() - 64 : 0) != std::string::npos) {
          fs::rename(out, dir_ / name);
          return (dir_ / name).string();
        }
      }
      std::this_thread::sleep_for(100ms);
    }
    ADD_FAILURE() << "no printed file:\n" << ReadAll(dir_ / "error_log");
    return {};
  }

  fs::path dir_;
  int port_ = 0;
  pid_t cupsd_ = 0;
};

TEST_F(CupsPrint, AFilledFormComesOutOfThePdfQueueWithItsValues) {
  int argc = 1;
  char name[] = "pdf_tests";
  char* argv[] = {name, nullptr};
  QGuiApplication app(argc, argv);
  auto previous = velmora::pdf::SetPrintBackend(nullptr);  // the program's own, through Qt

  const std::string form = fixtures::MakeForm("cups-form.pdf");
  std::string blank, filled;
  {
    fixtures::Loaded doc(form);
    ASSERT_NE(doc.id, 0);
    blank = PrintTo("blank.pdf");
  }
  {
    fixtures::Loaded doc(form);
    ASSERT_EQ(iSEDSetFormFieldValue(2, "PRINTED VALUE\nSECOND LINE OF INK"), 1);
    ASSERT_EQ(iSEDUpdateAppearanceStream(2), 1);
    ASSERT_EQ(iSEDFlattenFormField(2), 1);
    filled = PrintTo("filled.pdf");
  }
  velmora::pdf::SetPrintBackend(previous);
  ASSERT_FALSE(blank.empty());
  ASSERT_FALSE(filled.empty());

  int blankPages = 0, filledPages = 0;
  const std::vector<bool> a = Ink(blank, blankPages), b = Ink(filled, filledPages);
  EXPECT_EQ(blankPages, 2);
  EXPECT_EQ(filledPages, 2);
  ASSERT_EQ(a.size(), b.size());
  size_t added = 0, lost = 0, inkA = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    inkA += a[i];
    added += !a[i] && b[i];
    lost += a[i] && !b[i];
  }
  EXPECT_GT(inkA, 0u) << "the printed form is blank";
  // The value is on paper: new ink where it was written, and the rest of
  // the page as it was.
  EXPECT_GT(added, 40u);
  EXPECT_LT(added, a.size() / 10);
  EXPECT_LE(lost, added / 10 + 5);
}

}  // namespace
