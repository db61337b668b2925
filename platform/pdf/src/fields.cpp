// Form fields: the index of fields and widgets, and reading them.
#include "fields.h"

#include <qpdf/Constants.h>
#include <qpdf/QPDFFormFieldObjectHelper.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QUtil.hh>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <sstream>
#include <tuple>

#include "structure.h"
#include "velmora/pdf/pdf.h"

namespace velmora::pdf::detail {
namespace {

// Places in the tree of what a producer did not list come after the rest.
constexpr long kUnlisted = LONG_MAX;

// Widget annotations, and field dictionaries some producers list in /Annots
// without /Subtype.
bool IsWidget(QPDFObjectHandle a) {
  if (!a.isDictionary() || !a.isIndirect()) return false;
  auto subtype = a.getKey("/Subtype");
  return subtype.isNameAndEquals("/Widget") ||
         (!subtype.isName() && (a.hasKey("/FT") || a.hasKey("/Parent")));
}

// The terminal field a widget belongs to: itself when it is named or has no
// parent, else the field its /Parent names. `found` is where qpdf met it.
QPDFObjectHandle TerminalOf(QPDFObjectHandle widget, QPDFObjectHandle found) {
  if (widget.hasKey("/T")) return widget;
  auto parent = widget.getKey("/Parent");
  if (parent.isDictionary() && parent.isIndirect()) return parent;
  return found.isDictionary() && found.isIndirect() ? found : widget;
}

// Where a widget sits in the tree (its indexes from /Fields down) and on
// the pages: what fields and buttons are ordered by.
struct Key {
  std::vector<long> path;
  long page = kUnlisted, order = kUnlisted;
  bool operator<(const Key& o) const {
    return std::tie(path, page, order) < std::tie(o.path, o.page, o.order);
  }
};

class Builder {
 public:
  Builder(Document& d, FieldIndex& ix, const LoadClock* clock) : d_(d), ix_(ix), clock_(clock) {}

  void Run() {
    PlaceWidgets();
    auto af = AcroForm(d_, false);
    auto top = af.isDictionary() ? af.getKey("/Fields") : QPDFObjectHandle::newNull();
    if (top.isArray()) {
      long i = 0;
      for (auto& f : top.aitems()) {
        if (f.isIndirect()) top_.emplace(f.getObjGen(), i);
        ++i;
      }
    }
    // Every widget of the field tree and every widget of a page joins the
    // terminal field its /Parent names.
    if (top.isArray()) WalkTree(top);
    for (auto& w : pageWidgets_) Add(w, w);
    Tick();

    for (auto& p : pending_) {
      std::sort(p.widgets.begin(), p.widgets.end(),
                [](const auto& a, const auto& b) { return a.first < b.first; });
    }
    std::sort(pending_.begin(), pending_.end(), [](const Pending& a, const Pending& b) {
      return a.widgets.front().first < b.widgets.front().first;
    });
    // Terminal fields of one full name and type are one field, as readers
    // take them (some producers write each radio button as a field of its
    // own under one name): the first keeps its number, and the widgets of
    // all of them follow the pages and their places on them.
    std::map<std::pair<std::string, int>, std::shared_ptr<FieldEntry>> byName;
    std::vector<std::shared_ptr<FieldEntry>> entries;
    for (auto& p : pending_) {
      Tick();
      const std::string name = FullName(p.field);
      std::shared_ptr<FieldEntry> entry;
      std::shared_ptr<FieldEntry>* named = name.empty() ? nullptr : &byName[{name, Kind(p.field)}];
      if (named && *named) {
        entry = *named;
        entry->others.push_back(p.field);
      } else {
        entry = std::make_shared<FieldEntry>();
        entry->field = p.field;
        entries.push_back(entry);
        if (named) *named = entry;
      }
      for (auto& w : p.widgets) entry->widgets.push_back(w.second);
    }
    for (auto& entry : entries) {
      if (!entry->others.empty()) SortByPlace(entry->widgets);
      Number(ix_, entry);
    }
  }

  // Appends a field to the numbering; a radio group's buttons get their
  // temporary ordinals.
  static void Number(FieldIndex& ix, const std::shared_ptr<FieldEntry>& entry) {
    ix.fields.push_back(entry);
    if (Kind(entry->field) != 4 || entry->widgets.empty()) return;
    entry->firstTemp = static_cast<int>(ix.temps.size()) + 1;
    for (auto& w : entry->widgets) {
      if (ix.temps.size() >= static_cast<size_t>(kMaxTemps)) break;
      ix.temps.push_back({entry, w});
    }
  }

 private:
  struct Pending {
    QPDFObjectHandle field;
    std::vector<std::pair<Key, QPDFObjectHandle>> widgets;
  };

  // The widgets of the field tree, each with the field it is met under, in
  // the tree's order: every indirect node once; a node with /Kids is a
  // field; one without is a widget when it has /Subtype, /Rect or /AP, and
  // belongs to itself when it is listed at the top or names a /Parent, else
  // to the node that lists it. (qpdf's form helper reads the tree the same
  // way, at several times the cost in objects made.)
  void WalkTree(QPDFObjectHandle top) {
    struct Step {
      QPDFObjectHandle node, parent;
      bool listed;
    };
    std::vector<Step> stack;
    auto push = [&](QPDFObjectHandle kids, QPDFObjectHandle parent, bool listed) {
      for (int i = kids.getArrayNItems() - 1; i >= 0; --i) stack.push_back({kids.getArrayItem(i), parent, listed});
    };
    push(top, QPDFObjectHandle::newNull(), true);
    std::set<QPDFObjGen> met;
    while (!stack.empty()) {
      Step step = stack.back();
      stack.pop_back();
      Tick();
      auto& node = step.node;
      if (!node.isDictionary() || !node.isIndirect() || !met.insert(node.getObjGen()).second) continue;
      auto kids = node.getKey("/Kids");
      if (kids.isArray()) {
        push(kids, node, false);
      } else if (node.hasKey("/Subtype") || node.hasKey("/Rect") || node.hasKey("/AP")) {
        Add(node, step.listed || node.hasKey("/Parent") ? node : step.parent);
      }
    }
  }

  // Widgets by page, then from the top of the page down and from the left.
  void SortByPlace(std::vector<QPDFObjectHandle>& widgets) {
    struct Placed {
      int page;
      double top, left;
      size_t at;
    };
    std::vector<Placed> placed;
    for (size_t i = 0; i < widgets.size(); ++i) {
      Placed p{0, 0, 0, i};
      auto it = ix_.places.find(widgets[i].getObjGen());
      p.page = it == ix_.places.end() ? INT_MAX : it->second.page;
      double own[4], shown[4];
      if (ReadRect(widgets[i].getKey("/Rect"), own)) {
        ToShown(p.page == INT_MAX ? QPDFObjectHandle::newNull() : d_.pages[p.page - 1], own, shown);
        p.top = shown[3];
        p.left = shown[0];
      }
      placed.push_back(p);
    }
    std::stable_sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) {
      return std::make_tuple(a.page, -a.top, a.left) < std::make_tuple(b.page, -b.top, b.left);
    });
    std::vector<QPDFObjectHandle> out;
    for (auto& p : placed) out.push_back(widgets[p.at]);
    widgets.swap(out);
  }

  // Checks the load's clock now and then.
  void Tick() {
    if (clock_ && ++ticks_ % 256 == 0) clock_->Check();
  }

  void PlaceWidgets() {
    ix_.widgetsOnPage.assign(d_.pages.size(), 0);
    for (size_t i = 0; i < d_.pages.size(); ++i) {
      Tick();
      for (auto& a : QPDFPageObjectHelper(d_.pages[i]).getAnnotations()) {
        auto w = a.getObjectHandle();
        if (!IsWidget(w)) continue;
        WidgetPlace place{static_cast<int>(i) + 1, ++ix_.widgetsOnPage[i], 0};
        if (ix_.places.emplace(w.getObjGen(), place).second) pageWidgets_.push_back(w);
      }
    }
  }

  void Add(QPDFObjectHandle widget, QPDFObjectHandle found) {
    Tick();
    if (!widget.isDictionary() || !widget.isIndirect() ||
        !seen_.insert(widget.getObjGen()).second)
      return;
    auto field = TerminalOf(widget, found);
    auto [it, fresh] = entryOf_.emplace(field.getObjGen(), pending_.size());
    if (fresh) pending_.push_back({field, {}});
    Key key;
    key.path = Path(widget);
    auto place = ix_.places.find(widget.getObjGen());
    if (place != ix_.places.end()) {
      key.page = place->second.page;
      key.order = place->second.order;
    }
    pending_[it->second].widgets.emplace_back(std::move(key), widget);
  }

  // The node's indexes from /Fields down through /Kids; a node its parent
  // does not list, or a top the form does not list, comes after the rest.
  std::vector<long> Path(QPDFObjectHandle node) {
    std::vector<long> path;
    std::set<QPDFObjGen> seen;
    for (int depth = 0;; ++depth) {
      auto t = top_.find(node.getObjGen());
      if (t != top_.end()) {
        path.push_back(t->second);
        break;
      }
      auto parent = node.getKey("/Parent");
      if (!parent.isDictionary() || !parent.isIndirect() ||
          !seen.insert(node.getObjGen()).second) {
        path.push_back(kUnlisted);
        break;
      }
      if (depth >= kMaxFieldDepth) {
        ix_.tooDeep = true;
        path.push_back(kUnlisted);
        break;
      }
      path.push_back(KidIndex(parent, node));
      node = parent;
    }
    std::reverse(path.begin(), path.end());
    return path;
  }

  long KidIndex(QPDFObjectHandle parent, QPDFObjectHandle kid) {
    auto [it, fresh] = kids_.try_emplace(parent.getObjGen());
    if (fresh) {
      auto kids = parent.getKey("/Kids");
      long i = 0;
      if (kids.isArray())
        for (auto& k : kids.aitems()) {
          if (k.isIndirect()) it->second.emplace(k.getObjGen(), i);
          ++i;
        }
    }
    auto found = it->second.find(kid.getObjGen());
    return found == it->second.end() ? kUnlisted : found->second;
  }

  Document& d_;
  FieldIndex& ix_;
  const LoadClock* clock_;
  long ticks_ = 0;
  std::vector<QPDFObjectHandle> pageWidgets_;
  std::map<QPDFObjGen, long> top_;
  std::map<QPDFObjGen, std::map<QPDFObjGen, long>> kids_;
  std::set<QPDFObjGen> seen_;
  std::map<QPDFObjGen, size_t> entryOf_;
  std::vector<Pending> pending_;
};

std::string TextOf(QPDFObjectHandle v) {
  if (v.isArray() && v.getArrayNItems() > 0) return TextOf(v.getArrayItem(0));
  return DecodedText(v);
}


bool AllDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

std::vector<std::string> CheckStates(const FieldEntry& e) {
  std::vector<std::string> states;
  for (auto& w : e.widgets) {
    auto name = ExportValue(e.field, w);
    if (!name.empty() && std::find(states.begin(), states.end(), name) == states.end())
      states.push_back(name);
  }
  return states;
}

std::string RawText(QPDFObjectHandle v) {
  if (v.isName()) return v.getName().substr(1);
  if (v.isString()) return v.getStringValue();
  return {};
}

}  // namespace

FieldIndex& Fields(Document& d) {
  if (!d.fieldIndex) {
    auto ix = std::make_shared<FieldIndex>();
    Builder(d, *ix, nullptr).Run();
    d.fieldIndex = std::move(ix);
  }
  return *d.fieldIndex;
}

bool FieldTreeReadable(Document& d, const LoadClock& clock) {
  try {
    auto ix = std::make_shared<FieldIndex>();
    Builder(d, *ix, &clock).Run();
    d.fieldIndex = std::move(ix);
    return !d.fieldIndex->tooDeep;
  } catch (const LoadRefused&) {
    throw;
  } catch (...) {
    // A form qpdf cannot read leaves the fields unreadable, not the pages.
    d.fieldIndex.reset();
    return true;
  }
}

int AddField(Document& d, QPDFObjectHandle field) {
  auto& ix = Fields(d);
  auto entry = std::make_shared<FieldEntry>();
  entry->field = field;
  entry->widgets.push_back(field);
  Builder::Number(ix, entry);
  return static_cast<int>(ix.fields.size());
}

void PlaceWidget(Document& d, QPDFObjectHandle widget, int page) {
  auto& ix = Fields(d);
  if (page < 1 || page > static_cast<int>(ix.widgetsOnPage.size())) return;
  ix.places[widget.getObjGen()] = WidgetPlace{page, ++ix.widgetsOnPage[page - 1], 0};
  ix.tabsValid = false;
}

int TabOrder(Document& d, QPDFObjectHandle widget) {
  auto& ix = Fields(d);
  if (!ix.tabsValid) {
    std::vector<std::tuple<int, int, WidgetPlace*>> all;
    for (auto& [og, place] : ix.places) all.emplace_back(place.page, place.order, &place);
    std::sort(all.begin(), all.end());
    int page = 0, tab = 0;
    for (auto& [p, o, place] : all) {
      if (p != page) page = p, tab = 0;
      place->tab = ++tab;
    }
    ix.tabsValid = true;
  }
  if (!widget.isIndirect()) return 0;
  auto it = ix.places.find(widget.getObjGen());
  return it == ix.places.end() ? 0 : it->second.tab;
}

std::string DecodedBytes(const std::string& bytes) {
  bool eightBit = false, utf8 = false, utf16 = false;
  QUtil::analyze_encoding(bytes, eightBit, utf8, utf16);
  if (utf16) return FromHost(QUtil::utf16_to_utf8(bytes));
  if (QUtil::is_explicit_utf8(bytes)) return FromHost(bytes.substr(3));
  if (!eightBit || utf8) return FromHost(bytes);
  return FromHost(QUtil::pdf_doc_to_utf8(bytes));
}

std::string StateText(const std::string& name) {
  std::string bytes = name;
  // Some producers write a state's text string, escapes and all, as the
  // name: /\376\377\000c\000a\000r\000d. qpdf reads the escapes as they
  // would be read in a string.
  if (name.find('\\') != std::string::npos) {
    std::string literal = "(";
    for (char c : name) {
      if (c == '(' || c == ')') literal += '\\';
      literal += c;
    }
    try {
      auto s = QPDFObjectHandle::parse(literal + ")");
      if (s.isString()) bytes = s.getStringValue();
    } catch (...) {
      // not a string's text after all: the name as it is
    }
  }
  return DecodedBytes(bytes);
}

std::string DecodedText(QPDFObjectHandle v) {
  if (v.isName()) return StateText(RawText(v));
  if (!v.isString()) return {};
  return DecodedBytes(RawText(v));
}

std::string OptionText(QPDFObjectHandle item) {
  if (item.isArray() && item.getArrayNItems() > 0) return TextOf(item.getArrayItem(0));
  return TextOf(item);
}

std::string FullName(QPDFObjectHandle field) {
  // The partial names from the top of the tree down, each decoded.
  std::string title;
  std::set<QPDFObjGen> seen;
  auto node = field;
  for (int depth = 0; node.isDictionary() && depth <= kMaxFieldDepth; ++depth) {
    if (node.isIndirect() && !seen.insert(node.getObjGen()).second) break;
    auto t = node.getKey("/T");
    if (t.isString()) title = title.empty() ? DecodedText(t) : DecodedText(t) + "." + title;
    node = node.getKey("/Parent");
  }
  return title;
}

std::vector<QPDFObjectHandle> Members(const FieldEntry& e) {
  std::vector<QPDFObjectHandle> all{e.field};
  all.insert(all.end(), e.others.begin(), e.others.end());
  return all;
}

QPDFObjectHandle Value(const FieldEntry& e) {
  auto first = Inherited(e.field, "/V");
  if (e.others.empty()) return first;
  // Of fields sharing a name, the first that holds a value other than off.
  for (auto& f : Members(e)) {
    auto v = Inherited(f, "/V");
    if ((v.isName() || v.isString() || v.isArray()) && DecodedText(v) != "Off" &&
        !(v.isString() && v.getStringValue().empty()))
      return v;
  }
  return first;
}

bool NamesState(QPDFObjectHandle value, const std::string& state) {
  if (state.empty() || (!value.isName() && !value.isString())) return false;
  auto raw = RawText(value);
  return raw == state || (value.isName() ? StateText(raw) : DecodedBytes(raw)) == StateText(state);
}

namespace {
const FieldEntry::States& StatesOf(FieldEntry& e) {
  if (!e.states) {
    auto s = std::make_shared<FieldEntry::States>();
    for (size_t i = 0; i < e.widgets.size(); ++i) {
      auto on = OnState(e.widgets[i]);
      if (on.empty()) continue;
      s->byName.emplace(on, i);
      s->allByName[on].push_back(i);
      s->byText.emplace(StateText(on), i);
      s->byExport.emplace(ExportValue(e.field, e.widgets[i]), i);
    }
    e.states = std::move(s);
  }
  return *e.states;
}

long Find(const std::map<std::string, size_t>& m, const std::string& key) {
  auto it = m.find(key);
  return it == m.end() ? -1 : static_cast<long>(it->second);
}
}  // namespace

long ButtonNamed(FieldEntry& e, QPDFObjectHandle value) {
  if (!value.isName() && !value.isString()) return -1;
  const auto& s = StatesOf(e);
  auto raw = RawText(value);
  long i = Find(s.byName, raw);
  return i >= 0 ? i : Find(s.byText, value.isName() ? StateText(raw) : DecodedBytes(raw));
}

std::vector<size_t> ButtonsInState(FieldEntry& e, const std::string& state) {
  const auto& s = StatesOf(e);
  auto it = s.allByName.find(state);
  return it == s.allByName.end() ? std::vector<size_t>() : it->second;
}

long ButtonWithValue(FieldEntry& e, const std::string& text) {
  const auto& s = StatesOf(e);
  long i = Find(s.byText, text);
  return i >= 0 ? i : Find(s.byExport, text);
}

QPDFObjectHandle PageOfWidget(Document& d, QPDFObjectHandle widget, int* number) {
  *number = 0;
  auto& ix = Fields(d);
  if (!widget.isIndirect()) return QPDFObjectHandle::newNull();
  auto it = ix.places.find(widget.getObjGen());
  if (it == ix.places.end()) return QPDFObjectHandle::newNull();
  *number = it->second.page;
  return d.pages[it->second.page - 1];
}

void MarkStale(Document& d, QPDFObjectHandle field, bool look) {
  d.staleAppearance.insert(field.getObjGen());
  if (look) d.restyled.insert(field.getObjGen());
  d.Changed();
}

void ForgetField(Document& d, int number) {
  d.Changed();
  auto& ix = Fields(d);
  if (number < 1 || number > static_cast<int>(ix.fields.size())) return;
  auto entry = ix.fields[number - 1];
  entry->removed = true;
  ix.fields.erase(ix.fields.begin() + (number - 1));
  for (auto& w : entry->widgets)
    if (w.isIndirect()) ix.places.erase(w.getObjGen());
  ix.tabsValid = false;
}

bool Resolve(Document& d, int number, FieldRef& out) {
  auto& ix = Fields(d);
  if (number >= 1 && number <= static_cast<int>(ix.fields.size())) {
    out.entry = ix.fields[number - 1];
    out.kid = false;
  } else if (number < 0 && -static_cast<long>(number) <= static_cast<long>(ix.temps.size())) {
    const auto& t = ix.temps[-static_cast<long>(number) - 1];
    if (t.entry->removed) return false;
    out.entry = t.entry;
    out.widget = t.widget;
    out.kid = true;
  } else {
    return false;
  }
  out.field = out.entry->field;
  if (!out.kid)
    out.widget = out.entry->widgets.empty() ? QPDFObjectHandle::newNull() : out.entry->widgets.front();
  return true;
}

int Flags(QPDFObjectHandle field) {
  auto ff = Inherited(field, "/Ff");
  return ff.isInteger() ? static_cast<int>(ff.getIntValue()) : 0;
}

int Quadding(Document& d, QPDFObjectHandle field) {
  auto q = Inherited(field, "/Q");
  auto af = AcroForm(d, false);
  if (!q.isInteger()) q = KeyOf(af, "/Q");
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
  return StateText(on);
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
  std::vector<std::string> operands;
  // The words of the text, between white space.
  auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  for (size_t at = 0, end = 0; at < da.size(); at = end) {
    while (at < da.size() && space(da[at])) ++at;
    if (at == da.size()) break;
    for (end = at; end < da.size() && !space(da[end]);) ++end;
    const std::string t = da.substr(at, end - at);
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
    return static_cast<int>(Fields(*d).fields.size());
  });
}

int iSEDGetFormFieldType(int field) {
  return WithField(field, 0, [](Document&, FieldRef& r) { return Kind(r.field); });
}

std::string iSEDGetFormFieldTitle(int field) {
  return WithField(field, std::string(), [](Document&, FieldRef& r) { return FullName(r.field); });
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
    return TabOrder(d, r.widget);
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
    auto font = af.isDictionary() ? KeyOf(KeyOf(af.getKey("/DR"), "/Font"), name)
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
    auto v = Value(*r.entry);
    int kind = Kind(r.field);
    if ((kind == 3 || kind == 4) && (v.isName() || v.isString())) {
      if (DecodedText(v) == "Off") return "Off";
      long i = ButtonNamed(*r.entry, v);
      if (i >= 0) return ExportValue(r.field, r.entry->widgets[i]);
      // A radio group's value that names none of its buttons selects none.
      if (kind == 4) return "Off";
      return DecodedText(v);
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
      case 4: return static_cast<int>(r.entry->widgets.size());
      case 3: return static_cast<int>(CheckStates(*r.entry).size());
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
        const auto& ws = r.entry->widgets;
        if (kid > static_cast<int>(ws.size())) return {};
        auto name = ExportValue(r.field, ws[kid - 1]);
        return name.empty() ? "Off" : name;
      }
      case 3: {
        auto states = CheckStates(*r.entry);
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
    if (r.kid || Kind(r.field) != 4 || kid < 1 || r.entry->firstTemp < 1) return 0;
    if (kid > static_cast<int>(r.entry->widgets.size())) return 0;
    long ordinal = static_cast<long>(r.entry->firstTemp) + kid - 1;
    if (ordinal > static_cast<long>(Fields(d).temps.size())) return 0;
    return -static_cast<int>(ordinal);
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
