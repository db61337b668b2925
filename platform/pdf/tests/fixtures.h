#pragma once
// PDF files made for the tests with qpdf.
#include <string>
#include <vector>

namespace fixtures {

// A folder of this test process's own, made on first use.
std::string Dir();
std::string Path(const std::string& name);

// Two pages (MediaBox and resources inherited from the page tree; page 1
// has a CropBox offset, page 2 is rotated 90 degrees and has two content
// streams) with the fields, in tree order: "name" (text, max length 10,
// centred, value "John"), "notes" (multi-line, no /DA), "agree" (check box,
// on), "colour" (radio: Yes, No, and an Off-only button; value No), "pick"
// (combo: Red, Green, b/Blue; value Green), "secret" (hidden text), and
// "parent.a", "parent.b" (inheriting /FT, /Ff multi-line, /DA, /Q 2 and
// /MaxLen 5 from "parent"; "parent.b" on page 2 through a widget without
// /T). Returns the path.
std::string MakeForm(const std::string& name = "form.pdf");

// One page with fields as some producers write them: the radio group "pay"
// written as three fields of that one name, each its own widget, only the
// first listed in /AcroForm /Fields, their on states written as names that
// hold a UTF-16 string's escapes (/\376\377\000c\000a\000r\000d for "card"),
// the buttons card, check, cash at x 100, 300, 200 (y 700), value cash;
// then two text fields "note" (the first listed, value "shared text",
// at y 600 and 500), and "after" (text, listed). Returns the path.
std::string MakeSameNamedFields(const std::string& name = "same-named.pdf");
// The on-state name as that producer writes it for `text` (ASCII).
std::string EscapedState(const std::string& text);

// A copy of `source` encrypted with the given passwords (AES-256).
std::string MakeEncrypted(const std::string& source, const std::string& name,
                          const std::string& user, const std::string& owner);

// `source` rewritten with a classic cross-reference table and no object
// streams.
std::string MakePlain(const std::string& source, const std::string& name);

// `source` cut to `keep` of its bytes.
std::string MakeTruncated(const std::string& source, const std::string& name, double keep);
// `source` with the bytes from fraction `from` to `to` overwritten.
std::string MakeOverwritten(const std::string& source, const std::string& name, double from,
                            double to);

// The work a load may take, for the scope: none to see a load refused, more
// for a large form under the sanitizers on a busy machine.
struct LoadBound {
  explicit LoadBound(double seconds);
  ~LoadBound();
  LoadBound(const LoadBound&) = delete;
  LoadBound& operator=(const LoadBound&) = delete;
  double before;
};

// A loaded document, removed at the end of the scope.
struct Loaded {
  explicit Loaded(const std::string& path);
  ~Loaded();
  Loaded(const Loaded&) = delete;
  Loaded& operator=(const Loaded&) = delete;
  int id;
};

std::string WriteFile(const std::string& name, const std::string& bytes);

// A PDF file written object by object as the texts give them (object 1 is
// the catalog), with a cross-reference table: for shapes qpdf's writer
// would repair or could not walk.
std::string WriteObjects(const std::string& name, const std::vector<std::string>& objects);

// A file kept with the tests' sources (tests/data).
std::string DataFile(const std::string& name);

}  // namespace fixtures
