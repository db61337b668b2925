#include "fixtures.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>
#include <unistd.h>

#include "document.h"
#include "velmora/pdf/pdf.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fixtures {
namespace {

using H = QPDFObjectHandle;

H Parse(const std::string& s) { return H::parse(s); }

H Stream(QPDF& q, const std::string& content, const std::string& dict = "") {
  H s = q.newStream(content);
  if (!dict.empty())
    for (auto& [k, v] : Parse(dict).getDictAsMap()) s.getDict().replaceKey(k, v);
  return s;
}

H OnOff(QPDF& q, const std::string& on) {
  H n = H::newDictionary();
  std::string form = "<< /Type /XObject /Subtype /Form /BBox [0 0 15 15] >>";
  if (!on.empty()) n.replaceKey("/" + on, Stream(q, "0 g 2 2 11 11 re f", form));
  n.replaceKey("/Off", Stream(q, "", form));
  H ap = H::newDictionary();
  ap.replaceKey("/N", n);
  return ap;
}

}  // namespace

// Made on first use and removed when the test process ends.
struct TestDir {
  std::string path;
  ~TestDir() {
    std::error_code ec;
    if (!path.empty()) std::filesystem::remove_all(path, ec);
  }
};

std::string Dir() {
  static TestDir dir;
  if (dir.path.empty()) {
    auto p = std::filesystem::temp_directory_path() /
             ("velmora-pdf-tests-" + std::to_string(getpid()));
    std::filesystem::create_directories(p);
    dir.path = p.string();
  }
  return dir.path;
}

LoadBound::LoadBound(double seconds) : before(velmora::pdf::detail::LoadSeconds()) {
  velmora::pdf::detail::SetLoadSeconds(seconds);
}
LoadBound::~LoadBound() { velmora::pdf::detail::SetLoadSeconds(before); }

Loaded::Loaded(const std::string& path) : id(iSEDLoadFromFile(path)) {}
Loaded::~Loaded() {
  if (id) iSEDRemoveDocument(id);
}

std::string Path(const std::string& name) { return Dir() + "/" + name; }

std::string WriteFile(const std::string& name, const std::string& bytes) {
  std::ofstream(Path(name), std::ios::binary) << bytes;
  return Path(name);
}

std::string WriteObjects(const std::string& name, const std::vector<std::string>& objects) {
  std::string out = "%PDF-1.7\n";
  std::vector<size_t> offsets;
  for (size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(out.size());
    out += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const size_t xref = out.size();
  out += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  char entry[32];
  for (size_t at : offsets) {
    std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", at);
    out += entry;
  }
  out += "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
         " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return WriteFile(name, out);
}

std::string DataFile(const std::string& name) { return std::string(VELMORA_PDF_TEST_DATA) + "/" + name; }

std::string MakeForm(const std::string& name) {
  QPDF q;
  q.emptyPDF();
  H root = q.getRoot();
  H pages = root.getKey("/Pages");
  H font = q.makeIndirectObject(
      Parse("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"));
  H resources = H::newDictionary();
  resources.replaceKey("/Font", H::newDictionary());
  resources.getKey("/Font").replaceKey("/F1", font);

  H p1 = q.makeIndirectObject(Parse("<< /Type /Page /CropBox [18 36 594 756] >>"));
  p1.replaceKey("/Contents", Stream(q, "BT /F1 24 Tf 72 700 Td (Hello Page One) Tj ET"));
  H p2 = q.makeIndirectObject(Parse("<< /Type /Page /Rotate 90 >>"));
  H contents = H::newArray();
  contents.appendItem(Stream(q, "0 0 1 rg 72 72 200 100 re f"));
  contents.appendItem(Stream(q, "BT /F1 24 Tf 72 500 Td (Second Page) Tj ET"));
  p2.replaceKey("/Contents", contents);
  for (H p : {p1, p2}) p.replaceKey("/Parent", pages);
  H kids = H::newArray();
  kids.appendItem(p1);
  kids.appendItem(p2);
  pages.replaceKey("/Kids", kids);
  pages.replaceKey("/Count", H::newInteger(2));
  pages.replaceKey("/MediaBox", Parse("[0 0 612 792]"));
  pages.replaceKey("/Resources", resources);

  H fields = H::newArray();
  H annots1 = H::newArray(), annots2 = H::newArray();
  auto widget = [&](H dict, H page, H annots) {
    dict.replaceKey("/Type", H::newName("/Annot"));
    dict.replaceKey("/Subtype", H::newName("/Widget"));
    dict.replaceKey("/P", page);
    H w = q.makeIndirectObject(dict);
    annots.appendItem(w);
    return w;
  };
  auto top = [&](H field) { fields.appendItem(field); };

  top(widget(Parse("<< /FT /Tx /T (name) /TU (Your name) /MaxLen 10 /Q 1 "
                   "/DA (/Helv 12 Tf 0 0 1 rg) /V (John) /Rect [100 650 300 670] /F 4 >>"),
             p1, annots1));
  top(widget(Parse("<< /FT /Tx /T (notes) /Ff 4096 /Rect [100 500 300 600] /F 4 >>"), p1,
             annots1));
  H agree = Parse("<< /FT /Btn /T (agree) /V /Yes /AS /Yes /Rect [100 450 115 465] /F 4 >>");
  agree.replaceKey("/AP", OnOff(q, "Yes"));
  top(widget(agree, p1, annots1));

  H colour = q.makeIndirectObject(Parse("<< /FT /Btn /T (colour) /Ff 49152 /V /No >>"));
  H colourKids = H::newArray();
  int x = 100;
  for (std::string on : {"Yes", "No", ""}) {
    H w = Parse("<< /Rect [0 400 15 415] /F 4 >>");
    w.replaceKey("/Rect", Parse("[" + std::to_string(x) + " 400 " + std::to_string(x + 15) +
                                " 415]"));
    w.replaceKey("/AP", OnOff(q, on));
    w.replaceKey("/AS", H::newName(on == "No" ? "/No" : "/Off"));
    w.replaceKey("/Parent", colour);
    colourKids.appendItem(widget(w, p1, annots1));
    x += 30;
  }
  colour.replaceKey("/Kids", colourKids);
  top(colour);

  top(widget(Parse("<< /FT /Ch /T (pick) /Ff 131072 /Opt [(Red) (Green) [(b) (Blue)]] "
                   "/V (Green) /Rect [100 350 200 370] /F 4 >>"),
             p1, annots1));
  top(widget(Parse("<< /FT /Tx /T (secret) /Rect [100 300 200 320] /F 6 >>"), p1, annots1));

  H parent = q.makeIndirectObject(
      Parse("<< /FT /Tx /T (parent) /Ff 4096 /DA (/Helv 9 Tf 0 g) /Q 2 /MaxLen 5 >>"));
  H a = widget(Parse("<< /T (a) /Rect [300 200 400 240] /F 4 >>"), p1, annots1);
  a.replaceKey("/Parent", parent);
  H b = q.makeIndirectObject(Parse("<< /T (b) >>"));
  b.replaceKey("/Parent", parent);
  H bw = widget(Parse("<< /Rect [50 60 150 100] /F 4 >>"), p2, annots2);
  bw.replaceKey("/Parent", b);
  H bKids = H::newArray();
  bKids.appendItem(bw);
  b.replaceKey("/Kids", bKids);
  H parentKids = q.makeIndirectObject(H::newArray());
  parentKids.appendItem(a);
  parentKids.appendItem(b);
  parent.replaceKey("/Kids", parentKids);
  top(parent);

  p1.replaceKey("/Annots", annots1);
  p2.replaceKey("/Annots", annots2);
  H af = q.makeIndirectObject(H::newDictionary());
  af.replaceKey("/Fields", fields);
  af.replaceKey("/DA", H::newString("/Helv 0 Tf 0 g"));
  H dr = Parse("<< /Font << >> >>");
  dr.getKey("/Font").replaceKey("/Helv", font);
  af.replaceKey("/DR", dr);
  root.replaceKey("/AcroForm", af);

  H info = q.makeIndirectObject(
      Parse("<< /Author (Ann Author) /Subject (Tests) /Creator (fixture maker) "
            "/Producer (qpdf) /CreationDate (D:20240102030405Z) /ModDate (D:20240607080910Z) >>"));
  info.replaceKey("/Title", H::newUnicodeString("Caf\xC3\xA9 form"));
  q.getTrailer().replaceKey("/Info", info);

  std::string path = Path(name);
  QPDFWriter w(q, path.c_str());
  w.setObjectStreamMode(qpdf_o_generate);
  w.setMinimumPDFVersion("1.6");
  w.write();
  return path;
}

std::string EscapedState(const std::string& text) {
  std::string name = "\\376\\377";
  for (char c : text) name += std::string("\\000") + c;
  return name;
}

std::string MakeSameNamedFields(const std::string& name) {
  QPDF q;
  q.emptyPDF();
  H pages = q.getRoot().getKey("/Pages");
  H page = q.makeIndirectObject(Parse("<< /Type /Page /MediaBox [0 0 612 792] >>"));
  page.replaceKey("/Parent", pages);
  pages.replaceKey("/Kids", H::newArray({page}));
  pages.replaceKey("/Count", H::newInteger(1));
  H annots = H::newArray(), fields = H::newArray();
  auto widget = [&](const std::string& dict, int x, int y, int w, int h) {
    H d = Parse(dict);
    d.replaceKey("/Type", H::newName("/Annot"));
    d.replaceKey("/Subtype", H::newName("/Widget"));
    d.replaceKey("/P", page);
    d.replaceKey("/F", H::newInteger(4));
    d.replaceKey("/Rect", Parse("[" + std::to_string(x) + " " + std::to_string(y) + " " +
                                std::to_string(x + w) + " " + std::to_string(y + h) + "]"));
    H o = q.makeIndirectObject(d);
    annots.appendItem(o);
    return o;
  };
  const std::string cash = "/" + EscapedState("cash");
  const struct {
    const char* state;
    int x;
  } buttons[] = {{"card", 100}, {"check", 300}, {"cash", 200}};
  for (const auto& b : buttons) {
    H w = widget("<< /FT /Btn /Ff 49152 /T (pay) >>", b.x, 700, 15, 15);
    const std::string state = EscapedState(b.state);
    w.replaceKey("/AP", OnOff(q, state));
    w.replaceKey("/AS", H::newName(state == cash.substr(1) ? cash : "/Off"));
    w.replaceKey("/V", H::newName(cash));
    if (fields.getArrayNItems() == 0) fields.appendItem(w);
  }
  fields.appendItem(widget("<< /FT /Tx /T (note) /V (shared text) /DA (/Helv 10 Tf 0 g) >>", 100,
                           600, 200, 20));
  widget("<< /FT /Tx /T (note) /DA (/Helv 10 Tf 0 g) >>", 100, 500, 200, 20);
  fields.appendItem(widget("<< /FT /Tx /T (after) /DA (/Helv 10 Tf 0 g) >>", 100, 400, 200, 20));
  page.replaceKey("/Annots", annots);
  H af = q.makeIndirectObject(H::newDictionary());
  af.replaceKey("/Fields", fields);
  af.replaceKey("/DA", H::newString("/Helv 0 Tf 0 g"));
  H font = q.makeIndirectObject(
      Parse("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"));
  H dr = Parse("<< /Font << >> >>");
  dr.getKey("/Font").replaceKey("/Helv", font);
  af.replaceKey("/DR", dr);
  q.getRoot().replaceKey("/AcroForm", af);
  std::string path = Path(name);
  QPDFWriter w(q, path.c_str());
  w.setQDFMode(true);
  w.write();
  return path;
}

std::string MakeEncrypted(const std::string& source, const std::string& name,
                          const std::string& user, const std::string& owner) {
  QPDF q;
  q.processFile(source.c_str());
  std::string path = Path(name);
  QPDFWriter w(q, path.c_str());
  w.setR6EncryptionParameters(user.c_str(), owner.c_str(), true, true, true, true, true, true,
                              qpdf_r3p_full, true);
  w.write();
  return path;
}

std::string MakePlain(const std::string& source, const std::string& name) {
  QPDF q;
  q.processFile(source.c_str());
  std::string path = Path(name);
  QPDFWriter w(q, path.c_str());
  w.setObjectStreamMode(qpdf_o_disable);
  w.write();
  return path;
}

namespace {
std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}
}  // namespace

std::string MakeTruncated(const std::string& source, const std::string& name, double keep) {
  std::string bytes = ReadAll(source);
  return WriteFile(name, bytes.substr(0, static_cast<size_t>(bytes.size() * keep)));
}

std::string MakeOverwritten(const std::string& source, const std::string& name, double from,
                            double to) {
  std::string bytes = ReadAll(source);
  for (size_t i = static_cast<size_t>(bytes.size() * from);
       i < static_cast<size_t>(bytes.size() * to) && i < bytes.size(); ++i)
    bytes[i] = '~';
  return WriteFile(name, bytes);
}

}  // namespace fixtures
