// Form fields: creating, setting attributes and values, flattening.
#include <qpdf/Constants.h>
#include <qpdf/QPDFAnnotationObjectHelper.hh>
#include <qpdf/QPDFFormFieldObjectHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "fields.h"
#include "velmora/pdf/pdf.h"

using namespace velmora::pdf::detail;

namespace {

std::string Num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.4f", v);
  std::string s(buf);
  while (!s.empty() && s.back() == '0') s.pop_back();
  if (!s.empty() && s.back() == '.') s.pop_back();
  return s == "-0" ? "0" : s;
}

QPDFObjectHandle ColourArray(double r, double g, double b) {
  auto a = QPDFObjectHandle::newArray();
  for (double c : {r, g, b}) a.appendItem(QPDFObjectHandle::newReal(std::clamp(c, 0.0, 1.0), 4));
  return a;
}

QPDFObjectHandle MK(QPDFObjectHandle widget) { return SubDictionary(widget, "/MK"); }

// Turns a widget's appearance by `degrees` (a multiple of 90).
void Turn(QPDFObjectHandle widget, int degrees) {
  auto r = KeyOf(KeyOf(widget, "/MK"), "/R");
  int now = r.isInteger() ? static_cast<int>(r.getIntValue()) : 0;
  int deg = (((now + degrees) % 360) + 360) % 360;
  if (deg)
    MK(widget).replaceKey("/R", QPDFObjectHandle::newInteger(deg));
  else if (widget.getKey("/MK").isDictionary())
    widget.getKey("/MK").removeKey("/R");
}

// Runs a change on every widget of a field (or the one button reached).
template <class F>
int ForWidgets(int number, F&& f) {
  return WithField(number, 0, [&](Document& d, FieldRef& r) {
    const std::vector<QPDFObjectHandle> ws =
        r.kid ? std::vector<QPDFObjectHandle>{r.widget} : r.entry->widgets;
    if (ws.empty()) return 0;
    for (auto& w : ws) f(d, w);
    MarkStale(d, r.field, true);
    return 1;
  });
}

int ChangeFlags(int number, int set, int clear) {
  return WithField(number, 0, [&](Document& d, FieldRef& r) {
    int flags = (Flags(r.field) | set) & ~clear;
    for (auto& f : Members(*r.entry)) f.replaceKey("/Ff", QPDFObjectHandle::newInteger(flags));
    MarkStale(d, r.field, true);
    return 1;
  });
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// The on-state, as written, of the button whose state or export value is
// `value` once decoded.
std::string MatchState(FieldEntry& e, const std::string& value) {
  long i = ButtonWithValue(e, value);
  if (i >= 0) return OnState(e.widgets[i]);
  for (auto& w : e.widgets) {
    auto on = OnState(w);
    if (!on.empty() && EqualNoCase(ExportValue(e.field, w), value)) return on;
  }
  return {};
}

// Sets the value and shows the buttons in that state on, the others off.
// Once every widget was set, only the ones that change are touched.
void SetButtonState(FieldEntry& e, const std::string& state) {
  auto name = QPDFObjectHandle::newName("/" + (state.empty() ? std::string("Off") : state));
  auto off = QPDFObjectHandle::newName("/Off");
  for (auto& f : Members(e)) f.replaceKey("/V", name);
  auto lit = state.empty() ? std::vector<size_t>() : ButtonsInState(e, state);
  if (e.litKnown) {
    for (size_t i : e.lit) e.widgets[i].replaceKey("/AS", off);
  } else {
    for (auto w : e.widgets) w.replaceKey("/AS", off);
  }
  for (size_t i : lit) e.widgets[i].replaceKey("/AS", name);
  e.lit = std::move(lit);
  e.litKnown = true;
}

int SetCheckBox(FieldRef& r, const std::string& value) {
  std::string state;
  if (value != "Off") state = MatchState(*r.entry, value);
  if (state.empty() && value != "Off") {
    // The editor's own check values ("T"/"F") and the usual words for a
    // ticked box turn it on; anything else turns it off.
    static const char* const on[] = {"T", "Yes", "On", "True", "1", "X", "Checked"};
    for (const char* word : on)
      if (EqualNoCase(value, word)) {
        for (auto& w : r.entry->widgets)
          if (!OnState(w).empty()) {
            state = OnState(w);
            break;
          }
        if (state.empty()) state = "Yes";
      }
  }
  SetButtonState(*r.entry, state);
  return 1;
}

int SetRadio(FieldRef& r, const std::string& value) {
  if (value == "Off") {
    SetButtonState(*r.entry, "");
    return 1;
  }
  auto state = MatchState(*r.entry, value);
  if (state.empty()) return 0;  // no such button: the value stays
  SetButtonState(*r.entry, state);
  return 1;
}

// A choice's selected option (/I), which readers show before /V: the
// option the value names, or none when it names no option.
void SelectOption(FieldEntry& e, const std::string& value) {
  auto opt = Inherited(e.field, "/Opt");
  int index = -1;
  if (opt.isArray())
    for (int i = 0, n = opt.getArrayNItems(); i < n && index < 0; ++i)
      if (OptionText(opt.getArrayItem(i)) == value) index = i;
  for (auto& f : Members(e)) {
    if (index >= 0)
      f.replaceKey("/I", QPDFObjectHandle::newArray({QPDFObjectHandle::newInteger(index)}));
    else
      f.removeKey("/I");
  }
}

void RemoveFromArray(QPDFObjectHandle array, QPDFObjectHandle item) {
  if (!array.isArray()) return;
  for (int i = array.getArrayNItems() - 1; i >= 0; --i)
    if (array.getArrayItem(i).isSameObjectAs(item)) array.eraseItem(i);
}

// Takes the listed objects out of an array in one pass.
void RemoveAll(QPDFObjectHandle array, const std::set<QPDFObjGen>& gone) {
  if (!array.isArray() || gone.empty()) return;
  std::vector<QPDFObjectHandle> kept;
  bool changed = false;
  for (auto& item : array.aitems()) {
    if (item.isIndirect() && gone.count(item.getObjGen())) {
      changed = true;
      continue;
    }
    kept.push_back(item);
  }
  if (changed) array.setArrayFromVector(kept);
}

// Takes a field out of the field tree; a parent left without kids goes too.
void RemoveFromTree(Document& d, QPDFObjectHandle node, int depth = 0) {
  auto parent = node.getKey("/Parent");
  if (parent.isDictionary() && depth < kMaxFieldDepth) {
    RemoveLater(d, parent, "/Kids", node);
    if (!parent.getKey("/Kids").isArray() || ItemsLeft(d, parent, "/Kids") == 0)
      RemoveFromTree(d, parent, depth + 1);
    return;
  }
  auto af = AcroForm(d, false);
  if (af.isDictionary()) RemoveLater(d, af, "/Fields", node);
}

// The data of a page's stream of flattened fields, given as qpdf asks.
class FlattenedText : public QPDFObjectHandle::StreamDataProvider {
 public:
  explicit FlattenedText(std::shared_ptr<std::string> text) : text_(std::move(text)) {}
  void provideStreamData(QPDFObjGen const&, Pipeline* pipeline) override {
    pipeline->write(reinterpret_cast<const unsigned char*>(text_->data()), text_->size());
    pipeline->finish();
  }

 private:
  std::shared_ptr<std::string> text_;
};

// Puts the drawing of an appearance stream the library made itself in
// place of the form in `content` (qpdf's placing of the appearance as the
// form `name`), clipped to its box as the form would be; its one font joins
// the page's fonts under its name. False, with nothing changed, for any
// other appearance, one with a matrix of its own, or a font name the page
// gives another font.
bool DrawInPlace(Document& d, QPDFObjectHandle ap, QPDFObjectHandle resources, const std::string& name,
                 std::string& content) {
  if (!ap.isIndirect() || !d.ownAppearances.count(ap.getObjGen())) return false;
  auto dict = ap.getDict();
  double box[4];
  if (dict.hasKey("/Matrix") || !ReadRect(dict.getKey("/BBox"), box)) return false;
  auto own = KeyOf(dict, "/Resources");
  if (!own.isDictionary()) return false;
  std::string fontName;
  QPDFObjectHandle font;
  for (auto& key : own.getKeys()) {
    if (key != "/Font") return false;
    auto fonts = own.getKey(key);
    if (!fonts.isDictionary()) return false;
    auto names = fonts.getKeys();
    if (names.size() > 1) return false;
    if (names.size() == 1) {
      fontName = *names.begin();
      font = fonts.getKey(fontName);
    }
  }
  const std::string form = name + " Do";
  const size_t at = content.find(form);
  if (at == std::string::npos) return false;
  std::string drawing;
  try {
    auto data = ap.getStreamData(qpdf_dl_generalized);
    drawing.assign(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
  } catch (...) {
    return false;
  }
  if (!fontName.empty()) {
    auto pageFonts = SubDictionary(resources, "/Font");
    auto there = KeyOf(pageFonts, fontName);
    if (there.isNull())
      pageFonts.replaceKey(fontName, font);
    else if (!there.isSameObjectAs(font))
      return false;
  }
  content.replace(at, form.size(), Num(box[0]) + " " + Num(box[1]) + " " + Num(box[2] - box[0]) + " " +
                                       Num(box[3] - box[1]) + " re W n\n" + drawing + "\n");
  return true;
}

// Draws a widget's normal appearance into its page's stream of flattened
// fields: an appearance the library made goes in itself, any other as a
// form of the page's.
void DrawOnPage(Document& d, QPDFObjectHandle page, QPDFObjectHandle widget) {
  QPDFAnnotationObjectHelper annot(widget);
  auto ap = annot.getAppearanceStream("/N");
  if (!ap.isStream()) return;
  QPDFPageObjectHelper ph(page);
  // Resources inherited from the page tree or shared with other pages are
  // copied onto this page before they change.
  auto resources = ph.getAttribute("/Resources", true);
  if (!resources.isDictionary()) resources = SubDictionary(page, "/Resources");
  auto xobjects = KeyOf(resources, "/XObject");
  std::string name;
  do {
    name = "/VelmoraField" + std::to_string(d.nextXObject++);
  } while (!KeyOf(xobjects, name).isNull());
  auto content = annot.getPageContentForAppearance(name, PageRotation(page), 0, an_hidden);
  if (content.empty()) return;
  if (!DrawInPlace(d, ap, resources, name, content)) SubDictionary(resources, "/XObject").replaceKey(name, ap);
  // The page's own drawing is wrapped in q ... Q once, so that a graphics
  // state it leaves behind does not move the fields drawn after it; the
  // fields then go into one stream of their own at the end, which closes
  // the page's drawing first.
  auto& drawn = d.flattened[page.getObjGen()];
  if (!drawn.text) {
    ph.addPageContents(d.qpdf->newStream("q\n"), true);
    drawn.text = std::make_shared<std::string>("\nQ\n");
    drawn.stream = d.qpdf->newStream();
    ph.addPageContents(drawn.stream, false);
  }
  *drawn.text += content;
  // Given anew each time: qpdf holds a provider to the length it gave first.
  drawn.stream.replaceStreamData(std::make_shared<FlattenedText>(drawn.text), QPDFObjectHandle::newNull(),
                                 QPDFObjectHandle::newNull());
}

}  // namespace

int iSEDNewFormField(const std::string& title, int kind) {
  Selected d;
  if (!d || kind < 1 || kind > 5) return 0;
  return Guard(0, [&] {
    auto af = AcroForm(*d, true);
    auto f = QPDFObjectHandle::newDictionary();
    static const char* const types[] = {nullptr, "/Tx", "/Btn", "/Btn", "/Btn", "/Ch"};
    static const int flags[] = {0, 0, ff_btn_pushbutton, 0, ff_btn_radio | ff_btn_no_toggle_off,
                                ff_ch_combo};
    f.replaceKey("/FT", QPDFObjectHandle::newName(types[kind]));
    if (flags[kind]) f.replaceKey("/Ff", QPDFObjectHandle::newInteger(flags[kind]));
    f.replaceKey("/T", QPDFObjectHandle::newUnicodeString(ToHost(title)));
    f.replaceKey("/Type", QPDFObjectHandle::newName("/Annot"));
    f.replaceKey("/Subtype", QPDFObjectHandle::newName("/Widget"));
    f.replaceKey("/Rect", QPDFObjectHandle::parse("[0 0 0 0]"));
    f.replaceKey("/F", QPDFObjectHandle::newInteger(an_print));
    f.replaceKey("/DA", QPDFObjectHandle::newString("/Helv 0 Tf 0 g"));
    f.replaceKey("/MK", QPDFObjectHandle::newDictionary());
    f = d->qpdf->makeIndirectObject(f);
    af.getKey("/Fields").appendItem(f);
    MarkStale(*d, f, true);
    return AddField(*d, f);
  });
}

int iSEDSetFormFieldPage(int field, int page) {
  return WithField(field, 0, [&](Document& d, FieldRef& r) {
    if (page < 1 || page > static_cast<int>(d.pages.size())) return 0;
    auto w = r.widget;
    if (!w.isDictionary() || !w.isIndirect()) return 0;
    int old = 0;
    auto oldPage = PageOfWidget(d, w, &old);
    if (old == page) return 1;
    if (!oldPage.isNull()) RemoveFromArray(oldPage.getKey("/Annots"), w);
    auto target = d.pages[page - 1];
    auto annots = target.getKey("/Annots");
    if (!annots.isArray()) {
      annots = QPDFObjectHandle::newArray();
      target.replaceKey("/Annots", annots);
    }
    annots.appendItem(w);
    w.replaceKey("/P", target);
    // Rotation is relative to the page as shown: a field stays upright when
    // it moves to a page turned another way.
    Turn(w, PageRotation(target) - (oldPage.isNull() ? 0 : PageRotation(oldPage)));
    PlaceWidget(d, w, page);
    MarkStale(d, r.field, true);
    return 1;
  });
}

int iSEDSetFormFieldBounds(int field, double left, double top, double width, double height) {
  return WithField(field, 0, [&](Document& d, FieldRef& r) {
    if (!r.widget.isDictionary() || width < 0 || height < 0) return 0;
    int number = 0;
    const double shown[4] = {left, top - height, left + width, top};
    double own[4];
    FromShown(PageOfWidget(d, r.widget, &number), shown, own);
    auto rect = QPDFObjectHandle::newArray();
    for (double v : own) rect.appendItem(QPDFObjectHandle::newReal(v, 4));
    r.widget.replaceKey("/Rect", rect);
    MarkStale(d, r.field, true);
    return 1;
  });
}

int iSEDSetFormFieldColor(int field, double red, double green, double blue) {
  return WithField(field, 0, [&](Document& d, FieldRef& r) {
    auto da = ParseDA(FieldDA(d, r.field));
    std::string text = da.font + " " + Num(da.size) + " Tf " + Num(std::clamp(red, 0.0, 1.0)) +
                       " " + Num(std::clamp(green, 0.0, 1.0)) + " " +
                       Num(std::clamp(blue, 0.0, 1.0)) + " rg";
    for (auto& f : Members(*r.entry)) f.replaceKey("/DA", QPDFObjectHandle::newString(text));
    MarkStale(d, r.field, true);
    return 1;
  });
}

int iSEDSetFormFieldBackgroundColor(int field, double red, double green, double blue) {
  return ForWidgets(field, [&](Document&, QPDFObjectHandle w) {
    MK(w).replaceKey("/BG", ColourArray(red, green, blue));
  });
}

int iSEDSetFormFieldBorderColor(int field, double red, double green, double blue) {
  return ForWidgets(field, [&](Document&, QPDFObjectHandle w) {
    MK(w).replaceKey("/BC", ColourArray(red, green, blue));
  });
}

int iSEDSetFormFieldBorderStyle(int field, double width, int style, double dashOn,
                                double dashOff) {
  static const char* const styles[] = {"/S", "/D", "/B", "/I"};
  if (style < 0 || style > 3 || width < 0) return 0;
  return ForWidgets(field, [&](Document&, QPDFObjectHandle w) {
    auto bs = QPDFObjectHandle::newDictionary();
    bs.replaceKey("/Type", QPDFObjectHandle::newName("/Border"));
    bs.replaceKey("/W", QPDFObjectHandle::newReal(width, 4));
    bs.replaceKey("/S", QPDFObjectHandle::newName(styles[style]));
    if (style == 1) {
      auto dash = QPDFObjectHandle::newArray();
      if (dashOn > 0) {
        dash.appendItem(QPDFObjectHandle::newReal(dashOn, 4));
        dash.appendItem(QPDFObjectHandle::newReal(dashOff > 0 ? dashOff : dashOn, 4));
      } else {
        dash.appendItem(QPDFObjectHandle::newInteger(3));
      }
      bs.replaceKey("/D", dash);
    }
    w.replaceKey("/BS", bs);
  });
}

int iSEDSetFormFieldAlignment(int field, int alignment) {
  if (alignment < 0 || alignment > 2) return 0;
  return WithField(field, 0, [&](Document& d, FieldRef& r) {
    for (auto& f : Members(*r.entry)) f.replaceKey("/Q", QPDFObjectHandle::newInteger(alignment));
    MarkStale(d, r.field, false);
    return 1;
  });
}

int iSEDSetFormFieldTextFlags(int field, int multiLine, int password, int fileSelect,
                              int doNotSpellCheck, int doNotScroll) {
  int set = 0, clear = 0;
  const int values[] = {0, multiLine, password, fileSelect, doNotSpellCheck, doNotScroll};
  for (int i = 1; i <= 5; ++i) (values[i] ? set : clear) |= kTextFlagBits[i];
  return ChangeFlags(field, set, clear);
}

int iSEDSetFormFieldRotation(int field, int degrees) {
  if (degrees % 90) return 0;
  // Degrees count from the page as shown, so the page's own rotation is
  // added to the appearance's.
  return ForWidgets(field, [&](Document& d, QPDFObjectHandle w) {
    int number = 0;
    auto page = PageOfWidget(d, w, &number);
    auto r = KeyOf(KeyOf(w, "/MK"), "/R");
    int now = r.isInteger() ? static_cast<int>(r.getIntValue()) : 0;
    Turn(w, degrees + (page.isNull() ? 0 : PageRotation(page)) - now);
  });
}

int iSEDSetFormFieldReadOnly(int field, int readOnly) {
  return readOnly ? ChangeFlags(field, ff_all_read_only, 0) : ChangeFlags(field, 0, ff_all_read_only);
}

int iSEDSetFormFieldValue(int field, const std::string& value) {
  return WithField(field, 0, [&](Document& d, FieldRef& r) {
    int done = 0;
    switch (Kind(r.field)) {
      case 1:
        for (auto& f : Members(*r.entry)) QPDFFormFieldObjectHelper(f).setV(ToHost(value), false);
        done = 1;
        break;
      case 5:
        for (auto& f : Members(*r.entry)) QPDFFormFieldObjectHelper(f).setV(ToHost(value), false);
        SelectOption(*r.entry, value);
        done = 1;
        break;
      case 3: done = SetCheckBox(r, value); break;
      case 4: done = SetRadio(r, value); break;
      default: return 0;
    }
    MarkStale(d, r.field, false);
    return done;
  });
}

int iSEDFlattenFormField(int field) {
  return WithField(field, 0, [&](Document& d, FieldRef& r) {
    if (r.kid) return 0;
    const auto ws = r.entry->widgets;
    bool missing = std::any_of(ws.begin(), ws.end(), [&](auto& w) {
      return !(w.isIndirect() && d.drawn.count(w.getObjGen())) && !HasAppearance(w);
    });
    // A field whose appearance is missing or older than its value is drawn
    // anew first, so that flattening never loses what it shows.
    // A field qpdf cannot draw is still flattened with what it has.
    if (missing || AppearanceStale(d, r.field)) Guard(false, [&] { return UpdateAppearance(d, r); });
    // The widgets leave their pages and, where some producers list them,
    // /Fields or another field's kids; the field leaves the tree.
    auto af = AcroForm(d, false);
    const auto members = Members(*r.entry);
    std::set<QPDFObjGen> memberIds;
    for (auto& m : members)
      if (m.isIndirect()) memberIds.insert(m.getObjGen());
    auto member = [&](QPDFObjectHandle o) { return o.isIndirect() && memberIds.count(o.getObjGen()); };
    for (auto w : ws) {
      int number = 0;
      auto page = PageOfWidget(d, w, &number);
      if (!page.isNull()) {
        DrawOnPage(d, page, w);
        RemoveLater(d, page, "/Annots", w);
      }
      if (af.isDictionary()) RemoveLater(d, af, "/Fields", w);
      auto parent = w.getKey("/Parent");
      if (!member(w) && parent.isDictionary() && !member(parent)) RemoveLater(d, parent, "/Kids", w);
    }
    for (auto& f : members) RemoveFromTree(d, f);
    d.staleAppearance.erase(r.field.getObjGen());
    d.restyled.erase(r.field.getObjGen());
    ForgetField(d, field);
    // a document whose last field is gone is no form any more
    if (af.isDictionary() && af.getKey("/Fields").isArray() && ItemsLeft(d, af, "/Fields") == 0) {
      SettleRemovals(d);
      d.qpdf->getRoot().removeKey("/AcroForm");
    }
    return 1;
  });
}

namespace velmora::pdf::detail {
namespace {

Document::Leaving* LeavingOf(Document& d, QPDFObjectHandle holder, const std::string& key) {
  auto array = holder.getKey(key);
  if (!array.isArray()) return nullptr;
  auto& l = d.leaving[{holder.isIndirect() ? holder.getObjGen() : QPDFObjGen(), key}];
  if (!l.array.isArray() || !l.array.isSameObjectAs(array)) {
    // First met, or the array was replaced: what left the old one goes now.
    if (l.array.isArray()) RemoveAll(l.array, l.gone);
    l = Document::Leaving{};
    l.array = array;
  }
  // Listed anew when items were added or taken out since (by other calls).
  if (l.size != array.getArrayNItems()) {
    l.listed.clear();
    for (auto& item : array.aitems())
      if (item.isIndirect()) ++l.listed[item.getObjGen()];
    l.size = array.getArrayNItems();
    l.removed = 0;
    for (auto& og : l.gone) {
      auto it = l.listed.find(og);
      if (it != l.listed.end()) l.removed += it->second;
    }
  }
  return &l;
}

}  // namespace

bool RemoveLater(Document& d, QPDFObjectHandle holder, const std::string& key,
                 QPDFObjectHandle item) {
  if (!item.isIndirect()) return false;
  auto* l = LeavingOf(d, holder, key);
  if (!l) return false;
  auto it = l->listed.find(item.getObjGen());
  if (it == l->listed.end() || !l->gone.insert(item.getObjGen()).second) return false;
  l->removed += it->second;
  return true;
}

long ItemsLeft(Document& d, QPDFObjectHandle holder, const std::string& key) {
  auto* l = LeavingOf(d, holder, key);
  return l ? l->array.getArrayNItems() - l->removed : 0;
}

void SettleRemovals(Document& d) {
  for (auto& [where, l] : d.leaving)
    if (l.array.isArray()) RemoveAll(l.array, l.gone);
  d.leaving.clear();
}

}  // namespace velmora::pdf::detail

namespace {

// The default appearance of a field with another font or size: its colour
// is kept (black when it has none).
void SetFontAndSize(Document& d, FieldRef& r, const std::string* font, const double* size) {
  auto da = ParseDA(FieldDA(d, r.field));
  const std::string colour = da.colour.empty() ? "0 g" : da.colour;
  const std::string text = (font ? *font : da.font) + " " + Num(size ? *size : da.size) + " Tf " + colour;
  r.field.replaceKey("/DA", QPDFObjectHandle::newString(text));
  MarkStale(d, r.field, true);
}

}  // namespace

int iSEDSetFormFieldStandardFont(int field, const std::string& baseFont) {
  static const char* const kStandard[] = {
      "Courier",   "Courier-Bold",     "Courier-Oblique",    "Courier-BoldOblique", "Helvetica",
      "Helvetica-Bold", "Helvetica-Oblique", "Helvetica-BoldOblique", "Times-Roman", "Times-Bold",
      "Times-Italic", "Times-BoldItalic", "Symbol", "ZapfDingbats"};
  if (std::find(std::begin(kStandard), std::end(kStandard), baseFont) == std::end(kStandard)) return 0;
  return WithField(field, 0, [&](Document& d, FieldRef& r) {
    auto fonts = SubDictionary(SubDictionary(AcroForm(d, true), "/DR"), "/Font");
    std::string name = "/" + baseFont;
    name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
    if (baseFont == "Helvetica") name = "/Helv";  // the form's own default font
    if (!fonts.hasKey(name)) {
      auto font = QPDFObjectHandle::newDictionary();
      font.replaceKey("/Type", QPDFObjectHandle::newName("/Font"));
      font.replaceKey("/Subtype", QPDFObjectHandle::newName("/Type1"));
      font.replaceKey("/BaseFont", QPDFObjectHandle::newName("/" + baseFont));
      if (baseFont != "Symbol" && baseFont != "ZapfDingbats")
        font.replaceKey("/Encoding", QPDFObjectHandle::newName("/WinAnsiEncoding"));
      fonts.replaceKey(name, d.qpdf->makeIndirectObject(font));
    }
    SetFontAndSize(d, r, &name, nullptr);
    return 1;
  });
}

int iSEDSetFormFieldTextSize(int field, double size) {
  if (!(size >= 0)) return 0;
  return WithField(field, 0, [&](Document& d, FieldRef& r) {
    SetFontAndSize(d, r, nullptr, &size);
    return 1;
  });
}
