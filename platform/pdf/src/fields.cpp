// Form fields: numbering from the form's field tree, and reading them.
#include "fields.h"

#include <qpdf/Constants.h>
#include <qpdf/QPDFFormFieldObjectHelper.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <cctype>
#include <cmath>
#include <sstream>

#include "velmora/pdf/pdf.h"

namespace velmora::pdf::detail {
namespace {

constexpr int kMaxDepth = 64;

// A kid is a field of its own when it has a name or kids; otherwise it is a
// widget of its parent.
bool IsFieldNode(QPDFObjectHandle kid) {
  return kid.isDictionary() && (kid.hasKey("/T") || kid.getKey("/Kids").isArray());
}

void Collect(QPDFObjectHandle node, int depth, std::set<QPDFObjGen>& seen,
             std::vector<QPDFObjectHandle>& out) {
  if (!node.isDictionary() || depth > kMaxDepth) return;
  if (node.isIndirect() && !seen.insert(node.getObjGen()).second) return;
  std::vector<QPDFObjectHandle> fieldKids;
  bool widgetKid = false;
  auto kids = node.getKey("/Kids");
  if (kids.isArray()) {
    for (auto& kid : kids.aitems()) {
      if (!kid.isDictionary()) continue;
      if (IsFieldNode(kid))
        fieldKids.push_back(kid);
      else
        widgetKid = true;
    }
  }
  if (fieldKids.empty() || widgetKid) out.push_back(node);
  for (auto& kid : fieldKids) Collect(kid, depth + 1, seen, out);
}

std::string TextOf(QPDFObjectHandle v) {
  if (v.isString()) return FromHost(v.getUTF8Value());
  if (v.isName()) return FromHost(v.getName().substr(1));
  if (v.isArray() && v.getArrayNItems() > 0) return TextOf(v.getArrayItem(0));
  return {};
}

// Option entries are a text or [export display]; the export value counts.
std::string OptionText(QPDFObjectHandle item) {
  if (item.isArray() && item.getArrayNItems() > 0) return TextOf(item.getArrayItem(0));
  return TextOf(item);
}

bool AllDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

std::vector<std::string> CheckStates(QPDFObjectHandle field) {
  std::vector<std::string> states;
  for (auto& w : Widgets(field)) {
    auto name = ExportValue(field, w);
    if (!name.empty() && std::find(states.begin(), states.end(), name) == states.end())
      states.push_back(name);
  }
  return states;
}

}  // namespace

QPDFObjectHandle PageOfWidget(Document& d, QPDFObjectHandle widget, int* number) {
  *number = 0;
  EnsureFields(d);
  if (!widget.isIndirect()) return QPDFObjectHandle::newNull();
  auto it = d.widgetPage.find(widget.getObjGen());
  if (it == d.widgetPage.end()) return QPDFObjectHandle::newNull();
  *number = it->second;
  return d.pages[it->second - 1];
}

void MarkStale(Document& d, QPDFObjectHandle field, bool look) {
  d.staleAppearance.insert(field.getObjGen());
  if (look) d.restyled.insert(field.getObjGen());
  d.Changed();
}

void InvalidateFields(Document& d) {
  d.fieldsValid = false;
  d.Changed();
}

void ForgetField(Document& d, int number, const std::vector<QPDFObjectHandle>& widgets) {
  d.Changed();
  if (!d.fieldsValid || number < 1 || number > static_cast<int>(d.fields.size())) {
    d.fieldsValid = false;
    return;
  }
  d.fields.erase(d.fields.begin() + (number - 1));
  for (auto& w : widgets) {
    if (!w.isIndirect()) continue;
    auto page = d.widgetPage.find(w.getObjGen());
    auto order = d.widgetTabOrder.find(w.getObjGen());
    if (page == d.widgetPage.end() || order == d.widgetTabOrder.end()) continue;
    // The widgets after it on its page move up one place.
    for (auto& [og, o] : d.widgetTabOrder)
      if (o > order->second && d.widgetPage[og] == page->second) --o;
    d.widgetPage.erase(page);
    d.widgetTabOrder.erase(order);
  }
}

void EnsureFields(Document& d) {
  if (d.fieldsValid) return;
  d.fields.clear();
  d.widgetPage.clear();
  d.widgetTabOrder.clear();
  for (size_t i = 0; i < d.pages.size(); ++i) {
    auto annots = d.pages[i].getKey("/Annots");
    if (!annots.isArray()) continue;
    int order = 0;
    for (auto& a : annots.aitems()) {
      if (!a.isDictionary() || !a.isIndirect()) continue;
      // Widgets, and field dictionaries some producers list without /Subtype.
      auto subtype = a.getKey("/Subtype");
      if (subtype.isNameAndEquals("/Widget") ||
          (!subtype.isName() && (a.hasKey("/FT") || a.hasKey("/Parent")))) {
        d.widgetPage.emplace(a.getObjGen(), static_cast<int>(i) + 1);
        d.widgetTabOrder.emplace(a.getObjGen(), ++order);
      }
    }
  }
  auto af = AcroForm(d, false);
  if (af.isDictionary()) {
    auto top = af.getKey("/Fields");
    std::set<QPDFObjGen> seen;
    if (top.isArray())
      for (auto& f : top.aitems()) Collect(f, 0, seen, d.fields);
  }
  d.fieldsValid = true;
}

bool Resolve(Document& d, int number, FieldRef& out) {
  EnsureFields(d);
  if (number >= 1 && number <= static_cast<int>(d.fields.size())) {
    out.field = d.fields[number - 1];
    auto ws = Widgets(out.field);
    out.widget = ws.empty() ? QPDFObjectHandle::newNull() : ws.front();
    out.kid = false;
    return true;
  }
  int t = number - kTempBase;
  if (t >= 1 && t <= static_cast<int>(d.temps.size())) {
    out.field = d.temps[t - 1].field;
    out.widget = d.temps[t - 1].widget;
    out.kid = true;
    return true;
  }
  return false;
}

std::vector<QPDFObjectHandle> Widgets(QPDFObjectHandle field) {
  std::vector<QPDFObjectHandle> out;
  auto kids = field.getKey("/Kids");
  if (kids.isArray())
    for (auto& kid : kids.aitems())
      if (kid.isDictionary() && !IsFieldNode(kid)) out.push_back(kid);
  if (out.empty() && (field.getKey("/Subtype").isNameAndEquals("/Widget") ||
                      field.getKey("/Rect").isArray()))
    out.push_back(field);
  return out;
}

int Flags(QPDFObjectHandle field) {
  auto ff = Inherited(field, "/Ff");
  return ff.isInteger() ? static_cast<int>(ff.getIntValue()) : 0;
}

int Quadding(Document& d, QPDFObjectHandle field) {
  auto q = Inherited(field, "/Q");
  auto af = AcroForm(d, false);
  if (!q.isInteger() && af.isDictionary()) q = af.getKey("/Q");
  int v = q.isInteger() ? static_cast<int>(q.getIntValue()) : 0;
  return v >= 0 && v <= 2 ? v : 0;
}

int Kind(QPDFObjectHandle field) {
  auto ft = Inherited(field, "/FT");
  int flags = Flags(field);
  if (ft.isNameAndEquals("/Tx")) return 1;
  if (ft.isNameAndEquals("/Ch")) return 5;
  if (ft.isNameAndEquals("/Btn")) {
    if (flags & ff_btn_pushbutton) return 2;
    if (flags & ff_btn_radio) return 4;
    return 3;
  }
  return 0;
}

std::string OnState(QPDFObjectHandle widget) {
  auto ap = widget.getKey("/AP");
  if (ap.isDictionary()) {
    for (const char* which : {"/N", "/D"}) {
      auto states = ap.getKey(which);
      if (!states.isDictionary()) continue;
      for (auto& key : states.getKeys())
        if (key != "/Off") return key.substr(1);
    }
  }
  auto as = widget.getKey("/AS");
  if (as.isName() && as.getName() != "/Off") return as.getName().substr(1);
  return {};
}

std::string ExportValue(QPDFObjectHandle field, QPDFObjectHandle widget) {
  auto on = OnState(widget);
  if (on.empty()) return {};
  auto opt = Inherited(field, "/Opt");
  if (opt.isArray() && AllDigits(on) && on.size() < 6) {
    int index = std::stoi(on);
    if (index < opt.getArrayNItems()) return OptionText(opt.getArrayItem(index));
  }
  return FromHost(on);
}

QPDFObjectHandle AcroForm(Document& d, bool create) {
  auto root = d.qpdf->getRoot();
  auto af = root.getKey("/AcroForm");
  if (!create) return af;
  if (!af.isDictionary()) {
    af = d.qpdf->makeIndirectObject(QPDFObjectHandle::newDictionary());
    root.replaceKey("/AcroForm", af);
  }
  if (!af.getKey("/Fields").isArray()) af.replaceKey("/Fields", QPDFObjectHandle::newArray());
  auto fonts = SubDictionary(SubDictionary(af, "/DR"), "/Font");
  auto addFont = [&](const char* name, const char* base, bool winAnsi) {
    if (fonts.hasKey(name)) return;
    auto font = QPDFObjectHandle::newDictionary();
    font.replaceKey("/Type", QPDFObjectHandle::newName("/Font"));
    font.replaceKey("/Subtype", QPDFObjectHandle::newName("/Type1"));
    font.replaceKey("/BaseFont", QPDFObjectHandle::newName(base));
    if (winAnsi) font.replaceKey("/Encoding", QPDFObjectHandle::newName("/WinAnsiEncoding"));
    fonts.replaceKey(name, d.qpdf->makeIndirectObject(font));
  };
  addFont("/Helv", "/Helvetica", true);
  addFont("/ZaDb", "/ZapfDingbats", false);
  if (!af.hasKey("/DA")) af.replaceKey("/DA", QPDFObjectHandle::newString("/Helv 0 Tf 0 g"));
  return af;
}

DefaultAppearance ParseDA(const std::string& da) {
  DefaultAppearance out;
  std::istringstream in(da);
  std::vector<std::string> tokens;
  std::string t;
  std::vector<std::string> operands;
  while (in >> t) {
    if (t == "Tf" && operands.size() >= 2) {
      out.font = operands[operands.size() - 2];
      out.size = std::atof(operands.back().c_str());
    } else if ((t == "g" && operands.size() >= 1) || (t == "rg" && operands.size() >= 3) ||
               (t == "k" && operands.size() >= 4)) {
      size_t n = t == "g" ? 1 : t == "rg" ? 3 : 4;
      out.colour.clear();
      for (size_t i = operands.size() - n; i < operands.size(); ++i) out.colour += operands[i] + " ";
      out.colour += t;
    }
    if (std::isalpha(static_cast<unsigned char>(t[0])) || t[0] == '\'' || t[0] == '"')
      operands.clear();
    else
      operands.push_back(t);
  }
  if (out.font.empty() || out.font[0] != '/') out.font = "/Helv";
  return out;
}

std::string FieldDA(Document& d, QPDFObjectHandle field) {
  auto da = Inherited(field, "/DA");
  if (da.isString()) return da.getStringValue();
  auto af = AcroForm(d, false);
  if (af.isDictionary() && af.getKey("/DA").isString()) return af.getKey("/DA").getStringValue();
  return {};
}

}  // namespace velmora::pdf::detail

using namespace velmora::pdf::detail;

int iSEDFormFieldCount() {
  Selected d;
  if (!d) return 0;
  return Guard(0, [&] {
    EnsureFields(*d);
    return static_cast<int>(d->fields.size());
  });
}

int iSEDGetFormFieldType(int field) {
  return WithField(field, 0, [](Document&, FieldRef& r) { return Kind(r.field); });
}

std::string iSEDGetFormFieldTitle(int field) {
  return WithField(field, std::string(), [](Document&, FieldRef& r) {
    return FromHost(QPDFFormFieldObjectHelper(r.field).getFullyQualifiedName());
  });
}

int iSEDGetFormFieldPage(int field) {
  return WithField(field, 0, [](Document& d, FieldRef& r) {
    int page = 0;
    PageOfWidget(d, r.widget, &page);
    return page;
  });
}

int iSEDGetFormFieldTabOrder(int field) {
  return WithField(field, 0, [](Document& d, FieldRef& r) {
    if (!r.widget.isIndirect()) return 0;
    auto it = d.widgetTabOrder.find(r.widget.getObjGen());
    return it == d.widgetTabOrder.end() ? 0 : it->second;
  });
}

int iSEDGetFormFieldMaxLen(int field) {
  return WithField(field, 0, [](Document&, FieldRef& r) {
    auto v = Inherited(r.field, "/MaxLen");
    return v.isInteger() && v.getIntValue() > 0 ? static_cast<int>(v.getIntValue()) : 0;
  });
}

std::string iSEDGetFormFieldFontName(int field) {
  return WithField(field, std::string(), [](Document& d, FieldRef& r) -> std::string {
    auto da = FieldDA(d, r.field);
    if (da.empty()) return {};
    auto name = ParseDA(da).font;
    auto af = AcroForm(d, false);
    auto font = af.isDictionary() ? af.getKey("/DR").getKey("/Font").getKey(name)
                                  : QPDFObjectHandle::newNull();
    std::string base = name.substr(1);
    if (font.isDictionary() && font.getKey("/BaseFont").isName()) {
      base = font.getKey("/BaseFont").getName().substr(1);
      // A subset font's name carries a six-letter tag: "ABCDEF+Arial".
      if (base.size() > 7 && base[6] == '+') base = base.substr(7);
    }
    return FromHost(base);
  });
}

int iSEDGetFormFieldAlignment(int field) {
  return WithField(field, 0, [](Document& d, FieldRef& r) { return Quadding(d, r.field); });
}

std::string iSEDGetFormFieldValue(int field) {
  return WithField(field, std::string(), [](Document&, FieldRef& r) -> std::string {
    auto v = Inherited(r.field, "/V");
    int kind = Kind(r.field);
    if ((kind == 3 || kind == 4) && v.isName()) {
      std::string state = v.getName().substr(1);
      if (state == "Off") return state;
      for (auto& w : Widgets(r.field))
        if (OnState(w) == state) return ExportValue(r.field, w);
      return FromHost(state);
    }
    return TextOf(v);
  });
}

std::string iSEDGetFormFieldDescription(int field) {
  return WithField(field, std::string(), [](Document&, FieldRef& r) {
    return TextOf(r.field.getKey("/TU"));
  });
}

int iSEDGetFormFieldVisible(int field) {
  return WithField(field, 0, [](Document&, FieldRef& r) {
    auto annot = r.widget.isDictionary() ? r.widget : r.field;
    auto f = annot.getKey("/F");
    int flags = f.isInteger() ? static_cast<int>(f.getIntValue()) : 0;
    return flags & (an_hidden | an_no_view) ? 0 : 1;
  });
}

int iSEDGetFormFieldSubCount(int field) {
  return WithField(field, 0, [](Document&, FieldRef& r) -> int {
    if (r.kid) return 0;
    switch (Kind(r.field)) {
      case 4: return static_cast<int>(Widgets(r.field).size());
      case 3: return static_cast<int>(CheckStates(r.field).size());
      case 5: {
        auto opt = Inherited(r.field, "/Opt");
        return opt.isArray() ? opt.getArrayNItems() : 0;
      }
      default: return 0;
    }
  });
}

std::string iSEDGetFormFieldSubName(int field, int kid) {
  return WithField(field, std::string(), [&](Document&, FieldRef& r) -> std::string {
    if (r.kid || kid < 1) return {};
    switch (Kind(r.field)) {
      case 4: {
        auto ws = Widgets(r.field);
        if (kid > static_cast<int>(ws.size())) return {};
        auto name = ExportValue(r.field, ws[kid - 1]);
        return name.empty() ? "Off" : name;
      }
      case 3: {
        auto states = CheckStates(r.field);
        return kid <= static_cast<int>(states.size()) ? states[kid - 1] : std::string();
      }
      case 5: {
        auto opt = Inherited(r.field, "/Opt");
        if (!opt.isArray() || kid > opt.getArrayNItems()) return {};
        return OptionText(opt.getArrayItem(kid - 1));
      }
      default: return {};
    }
  });
}

int iSEDGetFormFieldSubTempIndex(int field, int kid) {
  return WithField(field, 0, [&](Document& d, FieldRef& r) -> int {
    if (r.kid || Kind(r.field) != 4 || kid < 1) return 0;
    auto ws = Widgets(r.field);
    if (kid > static_cast<int>(ws.size())) return 0;
    auto w = ws[kid - 1];
    for (size_t i = 0; i < d.temps.size(); ++i)
      if (d.temps[i].widget.isSameObjectAs(w)) return kTempBase + static_cast<int>(i) + 1;
    if (kTempBase + static_cast<int>(d.temps.size()) + 1 > 32767) return 0;
    d.temps.push_back({r.field, w});
    return kTempBase + static_cast<int>(d.temps.size());
  });
}

double iSEDGetFormFieldBound(int field, int edge) {
  return WithField(field, 0.0, [&](Document& d, FieldRef& r) -> double {
    double own[4], rect[4];
    if (!ReadRect(r.widget.getKey("/Rect"), own)) return 0.0;
    int number = 0;
    ToShown(PageOfWidget(d, r.widget, &number), own, rect);
    switch (edge) {
      case 0: return rect[0];
      case 1: return rect[3];
      case 2: return rect[2] - rect[0];
      case 3: return rect[3] - rect[1];
      default: return 0.0;
    }
  });
}

int iSEDGetFormFieldTextFlags(int field, int flag) {
  if (flag < 1 || flag > 5) return 0;
  return WithField(field, 0, [&](Document&, FieldRef& r) {
    return Flags(r.field) & kTextFlagBits[flag] ? 1 : 0;
  });
}
