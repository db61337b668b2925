#include "forms.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

#include "velmora/runtime/process.h"

namespace forms {
namespace {

using H = QPDFObjectHandle;

H Stream(QPDF& q, const std::string& content, const std::string& dict = "") {
  H s = q.newStream(content);
  if (!dict.empty())
    for (auto& [k, v] : H::parse(dict).getDictAsMap()) s.getDict().replaceKey(k, v);
  return s;
}

// Normal appearances: the on state (when given) and Off.
H OnOff(QPDF& q, const std::string& on) {
  const std::string form = "<< /Type /XObject /Subtype /Form /BBox [0 0 15 15] >>";
  H n = H::newDictionary();
  if (!on.empty()) n.replaceKey("/" + on, Stream(q, "0 g 2 2 11 11 re f", form));
  n.replaceKey("/Off", Stream(q, "", form));
  H ap = H::newDictionary();
  ap.replaceKey("/N", n);
  return ap;
}

std::string LongText() {
  std::string s = "BT /F1 2 Tf 40 740 Td 2.4 TL\n";
  for (int line = 0; line < 200; ++line)
    s += "(" + std::string(100, static_cast<char>('a' + line % 26)) + ") '\n";
  return s + "ET";
}

}  // namespace

std::string MakeForm(const std::string& path) {
  QPDF q;
  q.emptyPDF();
  H root = q.getRoot();
  H pages = root.getKey("/Pages");
  H font = q.makeIndirectObject(H::parse(
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"));
  H resources = H::parse("<< /Font << >> >>");
  resources.getKey("/Font").replaceKey("/F1", font);
  pages.replaceKey("/MediaBox", H::parse("[0 0 612 792]"));
  pages.replaceKey("/Resources", resources);

  H p1 = q.makeIndirectObject(H::parse("<< /Type /Page /CropBox [36 72 576 756] >>"));
  p1.replaceKey("/Contents", Stream(q, "BT /F1 24 Tf 72 700 Td (Hello Page One) Tj ET"));
  H p2 = q.makeIndirectObject(H::parse("<< /Type /Page /Rotate 90 >>"));
  p2.replaceKey("/Contents", Stream(q, "BT /F1 24 Tf 72 500 Td (Second Page) Tj ET"));
  H p3 = q.makeIndirectObject(H::parse("<< /Type /Page >>"));
  p3.replaceKey("/Contents", Stream(q, LongText()));
  H kids = H::newArray();
  for (H p : {p1, p2, p3}) {
    p.replaceKey("/Parent", pages);
    kids.appendItem(p);
  }
  pages.replaceKey("/Kids", kids);
  pages.replaceKey("/Count", H::newInteger(3));

  H fields = H::newArray();
  H annots1 = H::newArray(), annots2 = H::newArray();
  auto widget = [&](const std::string& dict, H page, H* annots) {
    H w = H::parse(dict);
    w.replaceKey("/Type", H::newName("/Annot"));
    w.replaceKey("/Subtype", H::newName("/Widget"));
    if (!page.isNull()) w.replaceKey("/P", page);
    w = q.makeIndirectObject(w);
    if (annots) annots->appendItem(w);
    return w;
  };

  fields.appendItem(
      widget("<< /FT /Tx /T (name) /TU (Your name) /MaxLen 10 /Q 1 "
             "/DA (/Helv 12 Tf 0 g) /V (John) /Rect [108 600 252 620] /F 4 >>",
             p1, &annots1));
  fields.appendItem(
      widget("<< /FT /Tx /T (notes) /Ff 4096 /MaxLen 10 /Rect [36 400 236 500] "
             "/F 4 >>",
             p1, &annots1));
  H agree = widget("<< /FT /Btn /T (agree) /V /Off /AS /Off /Rect [100 300 115 315] /F 4 >>", p1,
                   &annots1);
  agree.replaceKey("/AP", OnOff(q, "Yes"));
  fields.appendItem(agree);

  H colour = q.makeIndirectObject(H::parse("<< /FT /Btn /T (colour) /Ff 49152 /V /Off >>"));
  H colourKids = H::newArray();
  int x = 300;
  for (std::string on : {"Yes", "", "No"}) {
    H w = widget("<< /F 4 /AS /Off >>", p1, &annots1);
    w.replaceKey("/Rect",
                 H::parse("[" + std::to_string(x) + " 300 " + std::to_string(x + 15) + " 315]"));
    w.replaceKey("/AP", OnOff(q, on));
    w.replaceKey("/Parent", colour);
    colourKids.appendItem(w);
    x += 30;
  }
  colour.replaceKey("/Kids", colourKids);
  fields.appendItem(colour);

  fields.appendItem(
      widget("<< /FT /Ch /T (pick) /Ff 131072 /Opt [(Red) (Green) (Blue)] "
             "/V (Green) /Rect [100 250 200 270] /F 4 >>",
             p1, &annots1));
  fields.appendItem(widget("<< /FT /Tx /T (secret) /Rect [100 200 200 220] /F 6 >>", p1, &annots1));

  H parent = q.makeIndirectObject(H::parse("<< /FT /Tx /T (parent) /Q 2 /MaxLen 5 >>"));
  H a = widget("<< /T (a) /Rect [300 200 400 240] /F 4 >>", p1, &annots1);
  a.replaceKey("/Parent", parent);
  H parentKids = H::newArray();
  parentKids.appendItem(a);
  parent.replaceKey("/Kids", parentKids);
  fields.appendItem(parent);

  fields.appendItem(widget("<< /FT /Tx /T (back) /Rect [72 72 172 92] /F 4 >>", p2, &annots2));
  fields.appendItem(
      widget("<< /FT /Tx /T (lost) /Rect [10 10 50 30] /F 4 >>", H::newNull(), nullptr));

  p1.replaceKey("/Annots", annots1);
  p2.replaceKey("/Annots", annots2);
  H af = q.makeIndirectObject(H::newDictionary());
  af.replaceKey("/Fields", fields);
  af.replaceKey("/DA", H::newString("/Helv 0 Tf 0 g"));
  H dr = H::parse("<< /Font << >> >>");
  dr.getKey("/Font").replaceKey("/Helv", font);
  af.replaceKey("/DR", dr);
  root.replaceKey("/AcroForm", af);

  q.getTrailer().replaceKey(
      "/Info", q.makeIndirectObject(H::parse(
                   "<< /Author (Ann Author) /Title (Tax form) /Subject (Tests) "
                   "/Creator (form maker) /Producer (qpdf) /CreationDate (D:20240102030405Z) "
                   "/ModDate (D:20240607080910Z) >>")));

  QPDFWriter w(q, path.c_str());
  w.setMinimumPDFVersion("1.6");
  w.write();
  return path;
}

namespace {

// A document of one page with the given widgets on it and fields listed.
void WriteOnePage(QPDF& q, H page, H annots, H fields, const std::string& path) {
  page.replaceKey("/Annots", annots);
  H af = q.makeIndirectObject(H::newDictionary());
  af.replaceKey("/Fields", fields);
  af.replaceKey("/DA", H::newString("/Helv 0 Tf 0 g"));
  q.getRoot().replaceKey("/AcroForm", af);
  QPDFWriter w(q, path.c_str());
  w.write();
}

H OnePage(QPDF& q) {
  q.emptyPDF();
  H pages = q.getRoot().getKey("/Pages");
  H page = q.makeIndirectObject(H::parse("<< /Type /Page /MediaBox [0 0 612 792] >>"));
  page.replaceKey("/Parent", pages);
  H kids = H::newArray();
  kids.appendItem(page);
  pages.replaceKey("/Kids", kids);
  pages.replaceKey("/Count", H::newInteger(1));
  return page;
}

H Widget(QPDF& q, H page, H annots, const std::string& dict) {
  H w = q.makeIndirectObject(H::parse(dict));
  w.replaceKey("/Type", H::newName("/Annot"));
  w.replaceKey("/Subtype", H::newName("/Widget"));
  w.replaceKey("/P", page);
  annots.appendItem(w);
  return w;
}

}  // namespace

std::string MakePartialRadio(const std::string& path) {
  QPDF q;
  H page = OnePage(q);
  H annots = H::newArray(), fields = H::newArray();
  H group = q.makeIndirectObject(H::parse("<< /FT /Btn /T (size) /Ff 49152 /V /m >>"));
  int x = 100;
  for (std::string on : {"s", "m", "l"}) {
    H w = Widget(q, page, annots, "<< /F 4 >>");
    w.replaceKey("/Rect", H::parse("[" + std::to_string(x) + " 300 " + std::to_string(x + 15) +
                                   " 315]"));
    w.replaceKey("/AP", OnOff(q, on));
    w.replaceKey("/AS", H::newName(on == "m" ? "/m" : "/Off"));
    w.replaceKey("/Parent", group);
    if (on == "s") {
      H kids = H::newArray();
      kids.appendItem(w);
      group.replaceKey("/Kids", kids);
      fields.appendItem(w);
    }
    x += 30;
  }
  WriteOnePage(q, page, annots, fields, path);
  return path;
}

std::string MakeDeepField(const std::string& path, int depth) {
  QPDF q;
  H page = OnePage(q);
  H annots = H::newArray(), fields = H::newArray();
  H parent = q.makeIndirectObject(H::parse("<< /T (n) >>"));
  fields.appendItem(parent);
  for (int i = 1; i <= depth; ++i) {
    H node = i < depth ? q.makeIndirectObject(H::parse("<< /T (n) >>"))
                       : Widget(q, page, annots, "<< /FT /Tx /Rect [100 600 200 620] /F 4 >>");
    node.replaceKey("/Parent", parent);
    H kids = H::newArray();
    kids.appendItem(node);
    parent.replaceKey("/Kids", kids);
    parent = node;
  }
  WriteOnePage(q, page, annots, fields, path);
  return path;
}

void Encrypt(const std::string& source, const std::string& path, const std::string& user,
             const std::string& owner) {
  QPDF q;
  q.processFile(source.c_str());
  QPDFWriter w(q, path.c_str());
  w.setR6EncryptionParameters(user.c_str(), owner.c_str(), true, true, true, true, true, true,
                              qpdf_r3p_full, true);
  w.write();
}

std::string PdfText(const std::string& file) {
  rt::RunOptions o;
  o.captureOutput = true;
  rt::ProcessResult r = rt::RunProgram({"pdftotext", "-layout", file, "-"}, o);
  // This file also serves the fuzz seeds, which have no test framework: a
  // failed run gives a text no expectation of the callers can find.
  if (!r.Succeeded()) return "(pdftotext failed on " + file + ")";
  std::string text;
  for (char c : r.output)
    if (c != ' ' || text.empty() || text.back() != ' ') text += c;
  return text;
}

}  // namespace forms
