// Writes the PDF files the tests make, and the inputs the tests keep in
// their data folder, into a folder: the fuzz targets' seed corpus.
#include <filesystem>
#include <fstream>
#include <iostream>

#include "../../../app/pdf/tests/forms.h"
#include "../tests/fixtures.h"

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  if (argc != 2) {
    std::cerr << "usage: velmora-fuzz-seeds <folder>\n";
    return 2;
  }
  const fs::path out = argv[1];
  fs::create_directories(out);
  const std::string form = fixtures::MakeForm("form.pdf");
  const std::string made[] = {
      form,
      fixtures::MakePlain(form, "plain.pdf"),
      fixtures::MakeEncrypted(form, "owner.pdf", "", "owner"),
      fixtures::MakeTruncated(form, "truncated.pdf", 0.6),
      fixtures::MakeOverwritten(form, "overwritten.pdf", 0.4, 0.45),
  };
  for (const auto& path : made)
    fs::copy_file(path, out / fs::path(path).filename(), fs::copy_options::overwrite_existing);
  for (const auto& kept : fs::directory_iterator(VELMORA_PDF_TEST_DATA))
    fs::copy_file(kept.path(), out / kept.path().filename(), fs::copy_options::overwrite_existing);
  forms::MakeForm((out / "import-form.pdf").string());
  forms::Encrypt((out / "import-form.pdf").string(), (out / "import-owner.pdf").string(), "",
                 "owner");
  // FDF files: fields with kids, escapes, hex and UTF-16 strings, a list
  std::ofstream(out / "fields.fdf", std::ios::binary)
      << "%FDF-1.2\n1 0 obj\n<< /FDF << /Fields [ << /T (name) /V (J\\(o\\)hn \\101) >> "
         "<< /T (person) /Kids [ << /T <6669727374> /V <FEFF004D00FC> >> ] >> "
         "<< /T (pick) /V [ (Red) /Bl#75e ] >> 2 0 R ] >> >>\nendobj\n"
         "2 0 obj\n<< /T (agree) /V /Yes >>\nendobj\ntrailer\n<< /Root 1 0 R >>\n%%EOF\n";
  return 0;
}
