// Fills 200 text fields of a 20-page form, updates their appearances and
// flattens them through the library, then does the same flattening with
// `qpdf --generate-appearances --flatten-annotations=all` on the filled file.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "make_form.h"
#include "velmora/pdf/pdf.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

std::string Value(int i) { return "Value number " + std::to_string(i) + " filled in"; }

}  // namespace

int main() {
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("velmora-pdf-fill-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string form = (dir / "form.pdf").string();
  const std::string filled = (dir / "filled.pdf").string();
  const std::string ours = (dir / "ours.pdf").string();
  const std::string theirs = (dir / "qpdf.pdf").string();
  MakeBenchForm(form, BenchFields::Text);

  // The filled file both sides flatten: values set, no appearances.
  int doc = iSEDLoadFromFile(form);
  if (!doc) return std::fprintf(stderr, "cannot load %s\n", form.c_str()), 1;
  for (int i = 1; i <= iSEDFormFieldCount(); ++i) iSEDSetFormFieldValue(i, Value(i));
  iSEDSetNeedAppearances(1);
  iSEDSaveToFile(filled);
  iSEDRemoveDocument(doc);

  auto start = std::chrono::steady_clock::now();
  doc = iSEDLoadFromFile(form);
  int n = iSEDFormFieldCount();
  for (int i = 1; i <= n; ++i) iSEDSetFormFieldValue(i, Value(i));
  for (int i = 1; i <= n; ++i) iSEDUpdateAppearanceStream(i);
  for (int i = 1; i <= n; ++i) iSEDFlattenFormField(1);
  int left = iSEDFormFieldCount();
  iSEDSaveToFile(ours);
  iSEDRemoveDocument(doc);
  double oursTime = Seconds(start);

  start = std::chrono::steady_clock::now();
  std::string command = "qpdf --generate-appearances --flatten-annotations=all '" + filled +
                        "' '" + theirs + "'";
  int rc = std::system(command.c_str());
  double qpdfTime = Seconds(start);

  std::printf("fields: %d, left after flattening: %d\n", n, left);
  std::printf("library (load, 200 values, appearances, flatten, save): %.3f s\n", oursTime);
  std::printf("qpdf --generate-appearances --flatten-annotations=all: %.3f s%s\n", qpdfTime,
              rc == 0 ? "" : " (failed)");
  std::printf("ours over qpdf: ratio %.2f\n", qpdfTime > 0 ? oursTime / qpdfTime : 0.0);
  fs::remove_all(dir);
  return rc == 0 && n == kFormPages * kFormFieldsPerPage && left == 0 ? 0 : 1;
}
