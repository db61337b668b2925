#pragma once
// PDF files for the import tests, made with qpdf.
#include <string>

namespace forms {

// Three pages, MediaBox [0 0 612 792]:
//  1: CropBox [36 72 576 756], text "Hello Page One";
//  2: rotated 90 degrees, no CropBox;
//  3: about 20000 characters of text in 200 lines.
// Fields, in tree order (all widgets on page 1 unless said):
//  1 "name"   text, MaxLen 10, centred, value "John", tip "Your name",
//             Rect [108 600 252 620]
//  2 "notes"  multi-line text, MaxLen 10, Rect [36 400 236 500]
//  3 "agree"  check box, on state "Yes", Rect [100 300 115 315]
//  4 "colour" radio group, kids with on states Yes, Off (no on state), No,
//             Rects [300 300 315 315], [330 ...], [360 300 375 315]
//  5 "pick"   combo box: Red, Green, Blue; Rect [100 250 200 270]
//  6 "secret" hidden text field, Rect [100 200 200 220]
//  7 "parent.a" text inheriting /FT, /MaxLen 5 and /Q 2 from "parent",
//             Rect [300 200 400 240]
//  8 "back"   text on page 2, Rect [72 72 172 92]
//  9 "lost"   text whose widget is on no page
std::string MakeForm(const std::string& path);

// One page with the radio group "size" of three buttons (on states s, m,
// l; value m) whose /AcroForm /Fields lists only the first button, and whose
// /Kids holds only that one: the others are reached through the page.
std::string MakePartialRadio(const std::string& path);

// One page with a text field `depth` levels down the field tree.
std::string MakeDeepField(const std::string& path, int depth);

// The text poppler finds on the pages of a PDF file, every run of blanks
// as one ("(pdftotext failed on <file>)" when poppler cannot read it).
std::string PdfText(const std::string& file);

// A copy of `source` encrypted with the given passwords.
void Encrypt(const std::string& source, const std::string& path, const std::string& user,
             const std::string& owner);

}  // namespace forms
