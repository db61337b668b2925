#pragma once
// The program's data files as an earlier release wrote them: the previous
// declarations (the version store holds them at a lower version than the
// program declares now) and data files written through them with real
// content: a form with its stored PDF, its pages with their pictures, text
// and content, page controls, filled forms and field values.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "velmora/data/dictionary.h"
#include "velmora/files/decl.h"

namespace previous {

// A previous declaration: the file, the version and prefix it was
// registered under.
struct Previous {
  data::FileId id;
  int version;
  std::string prefix, label;
  std::unique_ptr<db::FileDecl> decl;
};
std::vector<Previous> Declarations();

// One record as written: field label (without prefix) -> value as text,
// and the memos by label (without prefix).
struct Record {
  std::map<std::string, std::string> fields;
  std::map<std::string, std::vector<uint8_t>> memos;
};
using Content = std::map<data::FileId, std::vector<Record>>;

// Registers the previous declarations with the engine (as the earlier
// release did at its start) and writes their data files in the current
// folder's data\ folder. `pdf` is a real PDF; its pages are rendered for
// the page pictures. Returns what was written.
Content WriteFiles(const std::string& pdfPath);

// A two-page PDF written by hand, with text on each page.
std::string WritePdf(const std::string& path);

// Writes and reads a field by label (prefix included) as text.
void SetField(db::FileDecl& f, const std::string& label, const std::string& value);
std::string FieldText(const db::FileDecl& f, const std::string& label);

}  // namespace previous
