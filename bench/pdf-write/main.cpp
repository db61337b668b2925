// Writes 200 values into a 20-page form the way the Form Editor saves an
// uneditable PDF (working copy of the stored PDF, load, WritePdfFields,
// appearances, flattening, save), and fills and flattens the same form with
// the same values through pdftk and qpdf.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "make_form.h"
#include "velmora/app/fileutil.h"
#include "velmora/apppdf/output.h"
#include "velmora/data/dictionary.h"
#include "velmora/editor/writepdf.h"
#include "velmora/pdf/pdf.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRuns = 3;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

std::string Value(int i) { return "Value number " + std::to_string(i) + " filled in"; }

// Best of kRuns runs of a step; negative when a run failed.
template <class F>
double Best(F&& step) {
  double best = -1;
  for (int i = 0; i < kRuns; ++i) {
    const auto start = Clock::now();
    if (!step()) return -1;
    const double t = Seconds(start);
    best = best < 0 ? t : std::min(best, t);
  }
  return best;
}

// How many of the values poppler finds drawn in a file.
int ValuesShown(const std::string& pdf, int n) {
  std::string text;
  if (FILE* p = popen(("pdftotext '" + pdf + "' -").c_str(), "r")) {
    char buffer[4096];
    for (size_t got; (got = fread(buffer, 1, sizeof buffer, p)) > 0;) text.append(buffer, got);
    pclose(p);
  }
  int shown = 0;
  for (int i = 1; i <= n; ++i) shown += text.find(Value(i) + "\n") != std::string::npos;
  return shown;
}

void Ratio(const char* peer, double ours, double theirs) {
  std::printf("ours over %s: ratio %.2f\n", peer, theirs > 0 && ours > 0 ? ours / theirs : 0.0);
}

}  // namespace

int main() {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("velmora-pdf-write-" + std::to_string(getpid()));
  fs::create_directories(dir / "data");
  const fs::path old = fs::current_path();
  fs::current_path(dir);
  setenv("TMPDIR", dir.c_str(), 1);
  const std::string form = (dir / "form.pdf").string();
  const std::string ours = (dir / "ours.pdf").string();
  const std::string filled = (dir / "filled.pdf").string();
  const std::string values = (dir / "values.xfdf").string();
  MakeBenchForm(form, BenchFields::Text);

  // The editor's queue: every field of the form with its value.
  editor::FormControls queue;
  std::string xfdf =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xfdf xmlns=\"http://ns.adobe.com/xfdf/\" "
      "xml:space=\"preserve\"><fields>\n";
  int doc = iSEDLoadFromFile(form);
  if (!doc) return std::fprintf(stderr, "cannot load %s\n", form.c_str()), 1;
  const int n = iSEDFormFieldCount();
  for (int i = 1; i <= n; ++i) {
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
    xfdf += "<field name=\"" + iSEDGetFormFieldTitle(i) + "\"><value>" + Value(i) + "</value></field>\n";
    // qpdf cannot fill a form: it flattens the form with the values set
    iSEDSetFormFieldValue(i, Value(i));
  }
  iSEDSetNeedAppearances(1);
  iSEDSaveToFile(filled);
  iSEDRemoveDocument(doc);
  std::ofstream(values) << xfdf << "</fields></xfdf>\n";

  // The form as the editor finds it: its PDF stored in the Forms record.
  data::GlobalErrors().Setup();
  data::CreateFileManagers();
  data::StartRelationManagers();
  data::Dictionary& d = data::ThisThread();
  d.Access(data::FileId::Forms)->Open();
  d.Access(data::FileId::Forms)->PrimeRecord();
  app::FileToBlob(d.File(data::FileId::Forms), d.File(data::FileId::Forms).MemoIndex("FOR:PDFDATA"), form);

  int left = -1;
  std::string failure;
  const double oursTime = Best([&] {
    apppdf::WorkFolder folder;
    apppdf::FormDocument pdf;
    if (pdf.Load(folder.File("__wpdf.pdf")) && pdf.SetNeedAppearances()) {
      failure = editor::WritePdfFields(queue, d.FOR.ID, 96, 96);
      if (!failure.empty()) pdf.Fail(failure);
    }
    pdf.UpdateAppearances();
    pdf.FlattenAll();
    left = iSEDFormFieldCount();
    pdf.Save(ours);
    failure = pdf.Failure();
    return pdf.Ok();
  });
  d.Access(data::FileId::Forms)->Close();
  data::StopDictionary();

  const std::string pdftk = "pdftk '" + form + "' fill_form '" + values + "' output '" +
                            (dir / "pdftk.pdf").string() + "' flatten";
  const double pdftkTime = Best([&] { return std::system(pdftk.c_str()) == 0; });
  const std::string qpdf = "qpdf --generate-appearances --flatten-annotations=all '" + filled + "' '" +
                           (dir / "qpdf.pdf").string() + "'";
  const double qpdfTime = Best([&] { return std::system(qpdf.c_str()) == 0; });

  const int shown = ValuesShown(ours, n), shownPdftk = ValuesShown((dir / "pdftk.pdf").string(), n),
            shownQpdf = ValuesShown((dir / "qpdf.pdf").string(), n);
  std::printf("fields: %d with values, left after flattening: %d%s%s\n", n, left,
              failure.empty() ? "" : ", failed: ", failure.c_str());
  std::printf("values drawn: ours %d, pdftk %d, qpdf %d\n", shown, shownPdftk, shownQpdf);
  std::printf("ours (working copy, load, WritePdfFields, appearances, flatten, save), best of %d: %.3f s\n",
              kRuns, oursTime);
  std::printf("pdftk fill_form ... flatten, best of %d: %.3f s%s\n", kRuns, pdftkTime,
              pdftkTime < 0 ? " (failed)" : "");
  std::printf("qpdf --generate-appearances --flatten-annotations=all, best of %d: %.3f s%s\n", kRuns,
              qpdfTime, qpdfTime < 0 ? " (failed)" : "");
  Ratio("pdftk", oursTime, pdftkTime);
  Ratio("qpdf", oursTime, qpdfTime);
  fs::current_path(old);
  fs::remove_all(dir);
  return oursTime > 0 && pdftkTime > 0 && qpdfTime > 0 && n == kFormPages * kFormFieldsPerPage && left == 0 && shown == n ? 0
                                                                                                          : 1;
}
