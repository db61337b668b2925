// FDF files read with qpdf's object parser: field names and values decoded.
#include "velmora/pdf/fdf.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <set>

#include "fields.h"

namespace velmora::pdf {

namespace {

using detail::DecodedBytes;

// Thrown when the field tree is not the shape FDF gives it.
struct BadTree {};

// A value's text: strings and names decoded, numbers as written.
bool ValueText(QPDFObjectHandle v, std::string& out) {
  if (v.isString()) {
    out = DecodedBytes(v.getStringValue());
  } else if (v.isName()) {
    out = detail::StateText(v.getName().substr(1));
  } else if (v.isInteger()) {
    out = std::to_string(v.getIntValue());
  } else if (v.isReal()) {
    out = v.getRealValue();
  } else {
    return false;
  }
  return true;
}

void Walk(QPDFObjectHandle node, const std::string& parent, int depth, std::set<QPDFObjGen>& seen,
          std::vector<FdfField>& out) {
  if (!node.isDictionary() || depth > detail::kMaxFieldDepth) throw BadTree{};
  if (node.isIndirect() && !seen.insert(node.getObjGen()).second) throw BadTree{};
  std::string name = parent;
  QPDFObjectHandle t = node.getKey("/T");
  if (t.isString()) {
    const std::string partial = DecodedBytes(t.getStringValue());
    name = parent.empty() ? partial : parent + "." + partial;
  }
  QPDFObjectHandle v = node.getKey("/V");
  FdfField field;
  field.name = name;
  std::string text;
  if (v.isArray()) {
    for (int i = 0; i < v.getArrayNItems(); ++i)
      if (ValueText(v.getArrayItem(i), text)) field.values.push_back(text);
    out.push_back(std::move(field));
  } else if (ValueText(v, text)) {
    field.values.push_back(text);
    out.push_back(std::move(field));
  }
  QPDFObjectHandle kids = node.getKey("/Kids");
  if (kids.isArray())
    for (int i = 0; i < kids.getArrayNItems(); ++i) Walk(kids.getArrayItem(i), name, depth + 1, seen, out);
  else if (!kids.isNull())
    throw BadTree{};
}

}  // namespace

FdfResult ReadFdfFields(const std::string& bytes, std::vector<FdfField>& fields) {
  fields.clear();
  // Writers put the header first; a few bytes of junk before it are allowed,
  // as readers allow them before a PDF header.
  if (bytes.substr(0, 1024).find("%FDF-") == std::string::npos) return FdfResult::NotFdf;
  std::vector<FdfField> found;
  try {
    QPDF q;
    q.setSuppressWarnings(true);
    q.processMemoryFile("FDF file", bytes.data(), bytes.size());
    // The repairs of the file's structure: FDF files seldom carry a
    // cross-reference table, so qpdf rebuilds one and says so. From here
    // on a warning means an object that could not be read.
    q.getWarnings();
    QPDFObjectHandle root = q.getTrailer().getKey("/Root");
    if (!root.isDictionary()) return FdfResult::Damaged;
    QPDFObjectHandle fdf = root.getKey("/FDF");
    if (!fdf.isDictionary()) return q.anyWarnings() ? FdfResult::Damaged : FdfResult::NotFdf;
    QPDFObjectHandle list = fdf.getKey("/Fields");
    std::set<QPDFObjGen> seen;
    if (list.isArray()) {
      for (int i = 0; i < list.getArrayNItems(); ++i) Walk(list.getArrayItem(i), "", 1, seen, found);
    } else if (!list.isNull()) {
      return FdfResult::Damaged;
    }
    if (q.anyWarnings()) return FdfResult::Damaged;
  } catch (...) {
    return FdfResult::Damaged;
  }
  fields = std::move(found);
  return FdfResult::Ok;
}

}  // namespace velmora::pdf
