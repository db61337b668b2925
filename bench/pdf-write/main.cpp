// Writes a value into every field of forms of 100, 500 and 4 000 text
// fields the way the Form Editor saves an uneditable PDF (working copy of
// the stored PDF, load, WritePdfFields, appearances, flattening, save), and
// fills and flattens the same forms with the same values through pdftk and
// qpdf. Each pair is measured the same way: ours and qpdf's library in this
// process, ours and pdftk as whole processes (this program runs itself with
// --ours for its side).
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>
#include <qpdf/Constants.h>

#include "make_form.h"
#include "velmora/app/fileutil.h"
#include "velmora/apppdf/output.h"
#include "velmora/data/dictionary.h"
#include "velmora/editor/writepdf.h"
#include "velmora/pdf/pdf.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
constexpr int kRuns = 5;
constexpr int kSizes[] = {100, 500, 4000};

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

std::string Value(int i) { return "Value number " + std::to_string(i) + " filled in"; }

// A run's cost: wall seconds and CPU seconds (user and system, of every
// thread of this process, or of the command's processes).
struct Cost {
  double wall = -1, cpu = -1;
  void Keep(double w, double c) {
    wall = wall < 0 ? w : std::min(wall, w);
    cpu = cpu < 0 ? c : std::min(cpu, c);
  }
};

double ProcessCpu() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

double ChildrenCpu() {
  rusage u;
  getrusage(RUSAGE_CHILDREN, &u);
  return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6;
}

// Runs a command; its cost, negative when it failed.
Cost Command(const std::string& command) {
  const auto start = Clock::now();
  const double cpu = ChildrenCpu();
  Cost c;
  if (std::system(command.c_str()) == 0) c.Keep(Seconds(start), ChildrenCpu() - cpu);
  return c;
}

// Runs a step in this process; its cost, negative when it failed.
template <class F>
Cost Here(F&& step) {
  const auto start = Clock::now();
  const double cpu = ProcessCpu();
  Cost c;
  if (step()) c.Keep(Seconds(start), ProcessCpu() - cpu);
  return c;
}

// The best of kRuns runs of each of two sides, taking turns after a run of
// each that warms the caches and the heap, so that both meet the machine
// as it is; negative for a side that failed.
template <class A, class B>
std::pair<Cost, Cost> Alternate(A&& a, B&& b) {
  std::pair<Cost, Cost> best;
  bool aOk = a().wall >= 0, bOk = b().wall >= 0;
  for (int i = 0; i < kRuns; ++i) {
    if (aOk) {
      Cost c = a();
      if (c.wall < 0) aOk = false;
      else best.first.Keep(c.wall, c.cpu);
    }
    if (bOk) {
      Cost c = b();
      if (c.wall < 0) bOk = false;
      else best.second.Keep(c.wall, c.cpu);
    }
  }
  if (!aOk) best.first = Cost{};
  if (!bOk) best.second = Cost{};
  return best;
}

// How many of the values poppler finds drawn in a file.
int ValuesShown(const std::string& pdf, int n) {
  std::string text;
  if (FILE* p = popen(("pdftotext '" + pdf + "' - 2>/dev/null").c_str(), "r")) {
    char buffer[4096];
    for (size_t got; (got = fread(buffer, 1, sizeof buffer, p)) > 0;) text.append(buffer, got);
    pclose(p);
  }
  int shown = 0;
  for (int i = 1; i <= n; ++i) shown += text.find(Value(i) + "\n") != std::string::npos;
  return shown;
}

bool Have(const char* program) {
  return std::system(("command -v " + std::string(program) + " >/dev/null 2>&1").c_str()) == 0;
}

// The editor's queue: every field of the form with its value.
bool BuildQueue(const std::string& form, editor::FormControls& queue) {
  const int doc = iSEDLoadFromFile(form);
  if (!doc) return false;
  for (int i = 1, n = iSEDFormFieldCount(); i <= n; ++i) {
    queue.ClearBuffer();
    editor::FormControl& e = queue.Buffer();
    e.NAME = iSEDGetFormFieldTitle(i);
    e.CTLTYPE = editor::kEntry;
    e.VALUE = std::make_shared<editor::ValueBuffer>();
    e.VALUE->Write(Value(i));
    e.PDFFIELDNUMBER = static_cast<editor::Short>(i);
    e.PDFFIELDTYPE = editor::kPdfText;
    e.FORMPAGE = static_cast<editor::Short>(iSEDGetFormFieldPage(i));
    queue.Add();
  }
  iSEDRemoveDocument(doc);
  return true;
}

// The data files opened as the editor has them, in the current folder.
data::Dictionary& OpenData() {
  data::GlobalErrors().Setup();
  data::CreateFileManagers();
  data::StartRelationManagers();
  data::Dictionary& d = data::ThisThread();
  d.Access(data::FileId::Forms)->Open();
  return d;
}

void CloseData(data::Dictionary& d) {
  d.Access(data::FileId::Forms)->Close();
  data::StopDictionary();
}

// The form's PDF in the Forms record buffer, as the editor finds it.
void StoreForm(data::Dictionary& d, const std::string& form) {
  d.Access(data::FileId::Forms)->PrimeRecord();
  app::FileToBlob(d.File(data::FileId::Forms), d.File(data::FileId::Forms).MemoIndex("FOR:PDFDATA"), form);
}

// The editor's write path, from the stored PDF to the uneditable file;
// `flattening` gets the seconds that FlattenAll took.
std::string WriteUneditable(data::Dictionary& d, const editor::FormControls& queue, const std::string& out,
                            double* flattening = nullptr) {
  std::string failure;
  apppdf::WorkFolder folder;
  apppdf::FormDocument pdf;
  if (pdf.Load(folder.File("__wpdf.pdf")) && pdf.SetNeedAppearances()) {
    failure = editor::WritePdfFields(queue, d.FOR.ID, 96, 96);
    if (!failure.empty()) pdf.Fail(failure);
  }
  pdf.UpdateAppearances();
  const auto start = Clock::now();
  pdf.FlattenAll();
  if (flattening) *flattening = Seconds(start);
  pdf.Save(out);
  return pdf.Ok() ? failure : pdf.Failure();
}

// Our side as its own process, in `dir` (which holds form.pdf and data/).
int Ours(const fs::path& dir, const std::string& out) {
  fs::current_path(dir);
  setenv("TMPDIR", dir.c_str(), 1);
  const std::string form = (dir / "form.pdf").string();
  editor::FormControls queue;
  if (!BuildQueue(form, queue)) return 2;
  data::Dictionary& d = OpenData();
  StoreForm(d, form);
  const std::string failure = WriteUneditable(d, queue, out);
  CloseData(d);
  if (!failure.empty()) std::fprintf(stderr, "failed: %s\n", failure.c_str());
  return failure.empty() ? 0 : 1;
}

// What `qpdf --generate-appearances --flatten-annotations=all` does, through
// qpdf's library.
bool QpdfHere(const std::string& filled, const std::string& out) {
  QPDF q;
  q.processFile(filled.c_str());
  QPDFAcroFormDocumentHelper(q).generateAppearancesIfNeeded();
  QPDFPageDocumentHelper(q).flattenAnnotations(0, an_invisible | an_hidden);
  QPDFWriter w(q, out.c_str());
  w.write();
  return true;
}

void Ratio(int fields, const char* peer, const Cost& ours, const Cost& theirs) {
  if (theirs.wall > 0 && ours.wall > 0)
    std::printf("%d fields: ours over %s: ratio %.2f (CPU), %.2f (wall)\n", fields, peer,
                ours.cpu / theirs.cpu, ours.wall / theirs.wall);
  else
    std::printf("%d fields: ours over %s: no ratio (%s)\n", fields, peer,
                ours.wall > 0 ? "the peer failed or is not installed" : "ours failed");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--ours") == 0) return Ours(argv[2], argv[3]);

  const fs::path root = fs::temp_directory_path() / ("velmora-pdf-write-" + std::to_string(getpid()));
  const std::string self = fs::canonical("/proc/self/exe").string();
  const bool pdftk = Have("pdftk");
  fs::create_directories(root / "data");
  fs::current_path(root);
  setenv("TMPDIR", root.c_str(), 1);
  data::Dictionary& d = OpenData();
  // The sizes to measure: the arguments, else 100, 500 and 4 000 fields.
  std::vector<int> sizes(std::begin(kSizes), std::end(kSizes));
  if (argc > 1) {
    sizes.clear();
    for (int i = 1; i < argc; ++i) sizes.push_back(std::max(kFormFieldsPerPage, std::atoi(argv[i])));
  }
  bool ok = true;
  for (int fields : sizes) {
    const fs::path dir = root / std::to_string(fields);
    fs::create_directories(dir / "data");
    const std::string form = (dir / "form.pdf").string(), ours = (dir / "ours.pdf").string(),
                      filled = (dir / "filled.pdf").string(), values = (dir / "values.xfdf").string();
    MakeBenchForm(form, BenchFields::Text, fields / kFormFieldsPerPage);

    // qpdf cannot fill a form: it flattens the form with the values set;
    // pdftk fills it from an XFDF file.
    std::string xfdf =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xfdf xmlns=\"http://ns.adobe.com/xfdf/\" "
        "xml:space=\"preserve\"><fields>\n";
    const int doc = iSEDLoadFromFile(form);
    if (!doc) return std::fprintf(stderr, "cannot load %s\n", form.c_str()), 1;
    const int n = iSEDFormFieldCount();
    for (int i = 1; i <= n; ++i) {
      xfdf += "<field name=\"" + iSEDGetFormFieldTitle(i) + "\"><value>" + Value(i) + "</value></field>\n";
      iSEDSetFormFieldValue(i, Value(i));
    }
    iSEDSetNeedAppearances(1);
    iSEDSaveToFile(filled);
    iSEDRemoveDocument(doc);
    std::ofstream(values) << xfdf << "</fields></xfdf>\n";

    // In this process: ours and qpdf's library.
    editor::FormControls queue;
    BuildQueue(form, queue);
    StoreForm(d, form);
    std::string failure;
    double flattening = -1;
    const std::string qpdfOut = (dir / "qpdf.pdf").string();
    const auto [oursHere, qpdfHere] = Alternate(
        [&] {
          return Here([&] {
            double t = 0;
            failure = WriteUneditable(d, queue, ours, &t);
            flattening = flattening < 0 ? t : std::min(flattening, t);
            return failure.empty();
          });
        },
        [&] { return Here([&] { return QpdfHere(filled, qpdfOut); }); });
    // As whole processes: ours and pdftk.
    const std::string pdftkOut = (dir / "pdftk.pdf").string();
    const auto [oursProcess, pdftkTime] = Alternate(
        [&] { return Command("'" + self + "' --ours '" + dir.string() + "' '" + ours + "'"); },
        [&] {
          return pdftk ? Command("pdftk '" + form + "' fill_form '" + values + "' output '" + pdftkOut +
                                 "' flatten")
                       : Cost{};
        });
    const int shown = ValuesShown(ours, n);
    std::printf("%d fields on %d pages: values drawn: ours %d, qpdf %d, pdftk %d%s%s\n", n,
                fields / kFormFieldsPerPage, shown, ValuesShown(qpdfOut, n),
                pdftk ? ValuesShown(pdftkOut, n) : 0, failure.empty() ? "" : ", ours failed: ",
                failure.c_str());
    std::printf("%d fields: in this process, best of %d: ours (working copy, load, WritePdfFields, "
                "appearances, flatten, save) %.3f s CPU, %.3f s wall; qpdf's library (generate "
                "appearances, flatten annotations, write) %.3f s CPU, %.3f s wall\n",
                n, kRuns, oursHere.cpu, oursHere.wall, qpdfHere.cpu, qpdfHere.wall);
    std::printf("%d fields: FlattenAll, best of %d: %.3f s, %.1f us a field\n", n, kRuns, flattening,
                flattening * 1e6 / n);
    if (pdftk)
      std::printf("%d fields: as processes, best of %d: ours %.3f s CPU, %.3f s wall; pdftk fill_form "
                  "... flatten %.3f s CPU, %.3f s wall\n",
                  n, kRuns, oursProcess.cpu, oursProcess.wall, pdftkTime.cpu, pdftkTime.wall);
    else
      std::printf("%d fields: as processes, best of %d: ours %.3f s CPU, %.3f s wall; pdftk is not "
                  "installed (package pdftk-java)\n", n, kRuns, oursProcess.cpu, oursProcess.wall);
    Ratio(n, "qpdf", oursHere, qpdfHere);
    Ratio(n, "pdftk", oursProcess, pdftkTime);
    ok = ok && oursHere.wall > 0 && qpdfHere.wall > 0 && oursProcess.wall > 0 && (!pdftk || pdftkTime.wall > 0) &&
         n == fields && shown == n;
  }
  CloseData(d);
  fs::current_path(fs::temp_directory_path());
  fs::remove_all(root);
  return ok ? 0 : 1;
}
