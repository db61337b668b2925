#include "make_pages.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <fstream>
#include <string>

#include "make_form.h"

namespace {

using H = QPDFObjectHandle;

// A photograph as a camera gives it: smooth shading with fine grain, so
// that it has thousands of colours and no long runs of one.
H Photo(QPDF& q) {
  constexpr int w = 640, h = 427;
  std::string rgb(static_cast<size_t>(w) * h * 3, '\0');
  uint32_t seed = 12345;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int grain = static_cast<int>(seed >> 28) - 8;
      const double sky = 1.0 - y / static_cast<double>(h);
      const double hill = 0.5 + 0.5 * std::sin(x / 41.0) * std::cos(y / 29.0);
      const int c[3] = {static_cast<int>(60 + 150 * hill * (1 - sky) + 40 * sky),
                        static_cast<int>(90 + 100 * hill + 50 * sky),
                        static_cast<int>(70 + 170 * sky - 30 * hill)};
      for (int k = 0; k < 3; ++k)
        rgb[(static_cast<size_t>(y) * w + x) * 3 + k] =
            static_cast<char>(std::clamp(c[k] + grain, 0, 255));
    }
  H image = q.newStream(rgb);
  image.getDict().replaceKey("/Type", H::newName("/XObject"));
  image.getDict().replaceKey("/Subtype", H::newName("/Image"));
  image.getDict().replaceKey("/Width", H::newInteger(w));
  image.getDict().replaceKey("/Height", H::newInteger(h));
  image.getDict().replaceKey("/ColorSpace", H::newName("/DeviceRGB"));
  image.getDict().replaceKey("/BitsPerComponent", H::newInteger(8));
  return image;
}

}  // namespace

void MakePictureForm(const std::string& path) {
  const std::string plain = path + ".plain";
  MakeBenchForm(plain, BenchFields::Mixed);
  QPDF q;
  q.processFile(plain.c_str());
  H photo = Photo(q);
  for (auto& page : QPDFPageDocumentHelper(q).getAllPages()) {
    H resources = page.getObjectHandle().getKey("/Resources");
    if (!resources.hasKey("/XObject")) resources.replaceKey("/XObject", H::newDictionary());
    resources.getKey("/XObject").replaceKey("/Photo", photo);
    page.addPageContents(q.newStream("q 324 0 0 216 252 520 cm /Photo Do Q\n"), false);
  }
  QPDFWriter w(q, path.c_str());
  w.write();
  std::remove(plain.c_str());
}

void MakeTextDocument(const std::string& path, int pages) {
  QPDF q;
  q.emptyPDF();
  H font = q.makeIndirectObject(H::parse(
      "<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman /Encoding /WinAnsiEncoding >>"));
  H bold = q.makeIndirectObject(H::parse(
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Bold /Encoding /WinAnsiEncoding >>"));
  static const char* const words[] = {"the", "form", "of", "each", "record", "is", "kept",
                                      "with", "its", "pages", "and", "fields", "in", "order",
                                      "value", "page", "document", "written", "by", "hand"};
  QPDFPageDocumentHelper helper(q);
  uint32_t seed = 7;
  for (int p = 1; p <= pages; ++p) {
    H page = q.makeIndirectObject(H::parse(
        "<< /Type /Page /MediaBox [0 0 612 792] /Resources << /Font << >> >> >>"));
    page.getKey("/Resources").getKey("/Font").replaceKey("/F1", font);
    page.getKey("/Resources").getKey("/Font").replaceKey("/F2", bold);
    std::string content = "BT /F2 14 Tf 72 740 Td (Chapter " + std::to_string(p) + ") Tj ET\n";
    content += "BT /F1 10.5 Tf 13 TL 72 712 Td\n";
    for (int line = 0; line < 50; ++line) {
      std::string text;
      while (text.size() < 90) {
        seed = seed * 1664525u + 1013904223u;
        text += words[(seed >> 16) % 20];
        text += ' ';
      }
      content += "(" + text + ") '\n";
    }
    content += "ET\n0.5 w 72 60 m 540 60 l S\n";
    page.replaceKey("/Contents", q.newStream(content));
    helper.addPage(QPDFPageObjectHelper(page), false);
  }
  QPDFWriter w(q, path.c_str());
  w.write();
}

void MakeValuesForm(const std::string& path, int fields, const std::string& fdf) {
  QPDF q;
  q.emptyPDF();
  QPDFPageDocumentHelper helper(q);
  H all = H::newArray();
  H on = q.newStream("0 g 2 2 10 10 re f"), off = q.newStream("");
  for (H s : {on, off})
    for (auto& [k, v] : H::parse("<< /Type /XObject /Subtype /Form /BBox [0 0 14 14] >>").getDictAsMap())
      s.getDict().replaceKey(k, v);
  auto states = [&](const std::string& name) {
    H n = H::newDictionary();
    n.replaceKey("/" + name, on);
    n.replaceKey("/Off", off);
    H ap = H::newDictionary();
    ap.replaceKey("/N", n);
    return ap;
  };
  std::string values = "%FDF-1.2\n1 0 obj\n<< /FDF << /Fields [\n";
  H page, annots;
  for (int i = 0; i < fields; ++i) {
    if (i % 100 == 0) {
      page = q.makeIndirectObject(H::parse("<< /Type /Page /MediaBox [0 0 612 792] >>"));
      annots = H::newArray();
      page.replaceKey("/Annots", annots);
      helper.addPage(QPDFPageObjectHelper(page), false);
      page = helper.getAllPages().back().getObjectHandle();
      annots = page.getKey("/Annots");
    }
    const int x = 20 + (i % 100) % 4 * 148, y = 760 - (i % 100) / 4 * 29;
    const std::string name = "f" + std::to_string(i);
    const std::string rect = "/Rect [" + std::to_string(x) + " " + std::to_string(y) + " " +
                             std::to_string(x + 140) + " " + std::to_string(y + 20) + "]";
    H field;
    if (i % 10 == 8) {
      field = H::parse("<< /FT /Btn /V /Yes /AS /Yes /F 4 /Type /Annot /Subtype /Widget " + rect + " >>");
      field.replaceKey("/AP", states("Yes"));
      values += "<< /T (" + name + ") /V /Yes >>\n";
    } else if (i % 10 == 9) {
      field = q.makeIndirectObject(H::parse("<< /FT /Btn /Ff 49152 /V /b1 >>"));
      H kids = H::newArray();
      for (int b = 0; b < 2; ++b) {
        H w = q.makeIndirectObject(H::parse(
            "<< /Type /Annot /Subtype /Widget /F 4 /AS " + std::string(b ? "/b1" : "/Off") + " /Rect [" +
            std::to_string(x + 20 * b) + " " + std::to_string(y) + " " + std::to_string(x + 20 * b + 14) +
            " " + std::to_string(y + 14) + "] >>"));
        w.replaceKey("/AP", states("b" + std::to_string(b)));
        w.replaceKey("/Parent", field);
        w.replaceKey("/P", page);
        kids.appendItem(w);
        annots.appendItem(w);
      }
      field.replaceKey("/Kids", kids);
      values += "<< /T (" + name + ") /V /b1 >>\n";
    } else {
      field = H::parse("<< /FT /Tx /DA (/Helv 9 Tf 0 g) /F 4 /Type /Annot /Subtype /Widget " + rect + " >>");
      field.replaceKey("/V", H::newString("value " + std::to_string(i)));
      values += "<< /T (" + name + ") /V (value " + std::to_string(i) + ") >>\n";
    }
    field.replaceKey("/T", H::newString(name));
    if (i % 10 != 9) {
      field.replaceKey("/P", page);
      field = q.makeIndirectObject(field);
      annots.appendItem(field);
    }
    all.appendItem(field);
  }
  H af = q.makeIndirectObject(H::newDictionary());
  af.replaceKey("/Fields", all);
  af.replaceKey("/DR", H::parse("<< /Font << /Helv << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >>"));
  q.getRoot().replaceKey("/AcroForm", af);
  QPDFWriter w(q, path.c_str());
  w.write();
  values += "] >> >>\nendobj\ntrailer\n<< /Root 1 0 R >>\n%%EOF\n";
  std::ofstream(fdf, std::ios::binary) << values;
}
