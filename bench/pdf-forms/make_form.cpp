#include "make_form.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

namespace {

using H = QPDFObjectHandle;

H Widget(QPDF& q, H page, H annots, const std::string& dict) {
  H w = H::parse(dict);
  w.replaceKey("/Type", H::newName("/Annot"));
  w.replaceKey("/Subtype", H::newName("/Widget"));
  w.replaceKey("/P", page);
  w = q.makeIndirectObject(w);
  annots.appendItem(w);
  return w;
}

// A form XObject of a 14 by 14 point button.
H Appearance(QPDF& q, const std::string& content) {
  H s = q.newStream(content);
  for (auto& [k, v] :
       H::parse("<< /Type /XObject /Subtype /Form /BBox [0 0 14 14] >>").getDictAsMap())
    s.getDict().replaceKey(k, v);
  return s;
}

std::string Rect(int x, int y, int w, int h) {
  return "/Rect [" + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(x + w) +
         " " + std::to_string(y + h) + "]";
}

}  // namespace

void MakeBenchForm(const std::string& path, BenchFields kinds, int pageCount) {
  QPDF q;
  q.emptyPDF();
  H font = q.makeIndirectObject(H::parse(
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"));
  H pages = q.getRoot().getKey("/Pages");
  H fields = H::newArray(), kids = H::newArray();
  for (int p = 1; p <= pageCount; ++p) {
    H page = q.makeIndirectObject(
        H::parse("<< /Type /Page /MediaBox [0 0 612 792] /Resources << /Font << >> >> >>"));
    page.getKey("/Resources").getKey("/Font").replaceKey("/F1", font);
    page.replaceKey("/Parent", pages);
    std::string content = "BT /F1 18 Tf 72 740 Td (Application form, page " + std::to_string(p) +
                          ") Tj ET\n0.5 w 36 36 540 720 re S\n";
    H annots = H::newArray();
    const std::string id = std::to_string(p);
    for (int f = 0; f < kFormFieldsPerPage; ++f) {
      const int y = 680 - f * 62;
      content += "BT /F1 9 Tf 72 " + std::to_string(y + 30) + " Td (Question " +
                 std::to_string(f + 1) + ": please answer in the box below) Tj ET\n";
      const std::string name = "/T (p" + id + "_" + std::to_string(f) + ") ";
      if (f < 7 || kinds == BenchFields::Text) {
        fields.appendItem(Widget(q, page, annots,
                                 "<< /FT /Tx " + name + "/MaxLen 40 /DA (/Helv 11 Tf 0 g) /F 4 " +
                                     Rect(72, y, 300, 24) + " >>"));
      } else if (f == 7) {
        fields.appendItem(
            Widget(q, page, annots,
                   "<< /FT /Btn " + name + "/V /Off /AS /Off /F 4 " + Rect(72, y, 14, 14) + " >>"));
      } else if (f == 8) {
        H group = q.makeIndirectObject(H::parse("<< /FT /Btn /Ff 49152 /V /Off " + name + ">>"));
        H buttons = H::newArray();
        for (int b = 0; b < 2; ++b) {
          H w = Widget(q, page, annots, "<< /F 4 /AS /Off " + Rect(72 + b * 40, y, 14, 14) + " >>");
          H n = H::newDictionary();
          n.replaceKey(b ? "/No" : "/Yes", Appearance(q, "0 g 2 2 10 10 re f"));
          n.replaceKey("/Off", Appearance(q, ""));
          H ap = H::newDictionary();
          ap.replaceKey("/N", n);
          w.replaceKey("/AP", ap);
          w.replaceKey("/Parent", group);
          buttons.appendItem(w);
        }
        group.replaceKey("/Kids", buttons);
        fields.appendItem(group);
      } else {
        fields.appendItem(Widget(q, page, annots,
                                 "<< /FT /Ch /Ff 131072 /Opt [(One) (Two) (Three)] " + name +
                                     "/DA (/Helv 11 Tf 0 g) /F 4 " + Rect(72, y, 150, 20) + " >>"));
      }
    }
    page.replaceKey("/Contents", q.newStream(content));
    page.replaceKey("/Annots", annots);
    kids.appendItem(page);
  }
  pages.replaceKey("/Kids", kids);
  pages.replaceKey("/Count", H::newInteger(pageCount));
  H af = q.makeIndirectObject(H::newDictionary());
  af.replaceKey("/Fields", fields);
  H dr = H::parse("<< /Font << >> >>");
  dr.getKey("/Font").replaceKey("/Helv", font);
  af.replaceKey("/DR", dr);
  af.replaceKey("/DA", H::newString("/Helv 0 Tf 0 g"));
  q.getRoot().replaceKey("/AcroForm", af);
  QPDFWriter w(q, path.c_str());
  w.write();
}


void MakeRadioForm(const std::string& path, int buttons) {
  QPDF q;
  q.emptyPDF();
  H pages = q.getRoot().getKey("/Pages");
  H page = q.makeIndirectObject(H::parse("<< /Type /Page /MediaBox [0 0 612 792] >>"));
  page.replaceKey("/Parent", pages);
  H annots = H::newArray();
  H group = q.makeIndirectObject(H::parse("<< /FT /Btn /Ff 49152 /T (big) /V /s1 >>"));
  H kids = H::newArray();
  H on = Appearance(q, "0 g 2 2 10 10 re f"), off = Appearance(q, "");
  for (int b = 0; b < buttons; ++b) {
    const std::string state = "/s" + std::to_string(b);
    H w = Widget(q, page, annots,
                 "<< /F 4 /AS " + std::string(b == 1 ? "/s1" : "/Off") + " " +
                     Rect(20 + (b % 30) * 19, 760 - (b / 30) % 40 * 18, 14, 14) + " >>");
    H n = H::newDictionary();
    n.replaceKey(state, on);
    n.replaceKey("/Off", off);
    H ap = H::newDictionary();
    ap.replaceKey("/N", n);
    w.replaceKey("/AP", ap);
    w.replaceKey("/Parent", group);
    kids.appendItem(w);
  }
  group.replaceKey("/Kids", kids);
  page.replaceKey("/Annots", annots);
  pages.replaceKey("/Kids", H::newArray({page}));
  pages.replaceKey("/Count", H::newInteger(1));
  H af = q.makeIndirectObject(H::newDictionary());
  af.replaceKey("/Fields", H::newArray({group}));
  q.getRoot().replaceKey("/AcroForm", af);
  QPDFWriter w(q, path.c_str());
  w.write();
}
