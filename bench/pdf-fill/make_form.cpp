#include "make_form.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

void MakeBenchForm(const std::string& path) {
  QPDF q;
  q.emptyPDF();
  auto font = q.makeIndirectObject(QPDFObjectHandle::parse(
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"));
  auto fields = QPDFObjectHandle::newArray();
  auto kids = QPDFObjectHandle::newArray();
  auto pages = q.getRoot().getKey("/Pages");
  for (int p = 0; p < kFormPages; ++p) {
    auto page = q.makeIndirectObject(QPDFObjectHandle::parse(
        "<< /Type /Page /MediaBox [0 0 612 792] /Resources << /Font << >> >> >>"));
    page.getKey("/Resources").getKey("/Font").replaceKey("/F1", font);
    page.replaceKey("/Parent", pages);
    // A heading and a label beside every field, as a printed form has.
    std::string content = "BT /F1 18 Tf 72 740 Td (Form page " + std::to_string(p + 1) +
                          ") Tj ET\n0.5 w 36 36 540 720 re S\n";
    for (int f = 0; f < kFormFieldsPerPage; ++f)
      content += "BT /F1 9 Tf 72 " + std::to_string(708 - f * 60) + " Td (Question " +
                 std::to_string(f + 1) + ": please write the answer in the box below) Tj ET\n";
    page.replaceKey("/Contents", q.newStream(content));
    auto annots = QPDFObjectHandle::newArray();
    for (int f = 0; f < kFormFieldsPerPage; ++f) {
      int y = 680 - f * 60;
      auto field = q.makeIndirectObject(QPDFObjectHandle::parse(
          "<< /Type /Annot /Subtype /Widget /FT /Tx /F 4 /DA (/Helv 11 Tf 0 g) /Rect [72 " +
          std::to_string(y) + " 372 " + std::to_string(y + 24) + "] >>"));
      field.replaceKey("/T", QPDFObjectHandle::newString("f" + std::to_string(p) + "_" +
                                                         std::to_string(f)));
      field.replaceKey("/P", page);
      annots.appendItem(field);
      fields.appendItem(field);
    }
    page.replaceKey("/Annots", annots);
    kids.appendItem(page);
  }
  pages.replaceKey("/Kids", kids);
  pages.replaceKey("/Count", QPDFObjectHandle::newInteger(kFormPages));
  auto af = q.makeIndirectObject(QPDFObjectHandle::newDictionary());
  af.replaceKey("/Fields", fields);
  auto dr = QPDFObjectHandle::parse("<< /Font << >> >>");
  dr.getKey("/Font").replaceKey("/Helv", font);
  af.replaceKey("/DR", dr);
  af.replaceKey("/DA", QPDFObjectHandle::newString("/Helv 0 Tf 0 g"));
  q.getRoot().replaceKey("/AcroForm", af);
  QPDFWriter w(q, path.c_str());
  w.write();
}
