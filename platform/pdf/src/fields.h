#pragma once
// Form fields: the per-document index of fields and widgets, resolving
// numbers, and the attributes shared by reading and writing.
//
// A form's fields form a tree under /AcroForm /Fields. A terminal field
// holds the value; its widget annotations sit in the pages' /Annots, either
// merged with the field (one object) or as kids that point back through
// /Parent. Producers do not always list every widget under its field's
// /Kids: some reach a radio button only through a page's /Annots and its
// /Parent. The index joins both ways in: every widget qpdf finds from the
// field tree or from a page belongs to the terminal field it names through
// /Parent. Fields are numbered from 1 in the order of the tree; a radio
// button's temporary index is a negative number of its own, so it never
// meets a field number.
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "document.h"

namespace velmora::pdf::detail {

// Fields deeper than this in the tree are not read: the load fails.
constexpr int kMaxFieldDepth = 64;
// Temporary indexes run from -1 down to this (callers keep them in 16 bits).
constexpr int kMaxTemps = 32768;

// Text flag numbers 1-5 as field flag bits: multi-line, password, file
// select, do not spell check, do not scroll.
inline constexpr int kTextFlagBits[6] = {0, 1 << 12, 1 << 13, 1 << 20, 1 << 22, 1 << 23};

struct FieldEntry {
  QPDFObjectHandle field;                 // the terminal field (holds the value)
  // Further terminal fields of the same full name and type: one field with
  // `field`, each holding the same value.
  std::vector<QPDFObjectHandle> others;
  std::vector<QPDFObjectHandle> widgets;  // its widgets in a stable order
  int firstTemp = 0;  // the temporary ordinal of its first button (radio groups)
  bool removed = false;
  // Buttons by on-state as written and decoded, and by export value (the
  // first of each): made on first use, dropped when a button's states change.
  struct States {
    std::map<std::string, size_t> byName, byText, byExport;
    std::map<std::string, std::vector<size_t>> allByName;
  };
  std::shared_ptr<States> states;
  // The widgets shown on, once a value was set through the library.
  std::vector<size_t> lit;
  bool litKnown = false;
};

struct WidgetPlace {
  int page = 0;   // 1-based
  int order = 0;  // rank among the widgets of its page, in /Annots order
  int tab = 0;    // position among the widgets still on the page
};

struct FieldIndex {
  std::deque<std::shared_ptr<FieldEntry>> fields;  // field number - 1
  struct Temp {
    std::shared_ptr<FieldEntry> entry;
    QPDFObjectHandle widget;
  };
  std::vector<Temp> temps;  // -temporary index - 1
  std::map<QPDFObjGen, WidgetPlace> places;
  std::vector<int> widgetsOnPage;  // per page, the orders handed out
  bool tabsValid = false;
  bool tooDeep = false;  // a field or widget sits deeper than kMaxFieldDepth
};

struct FieldRef {
  std::shared_ptr<FieldEntry> entry;
  QPDFObjectHandle field;   // the terminal field (holds the value)
  QPDFObjectHandle widget;  // its first widget, or the button reached
  bool kid = false;         // reached by a temporary index
};

// The document's index, built on first use.
FieldIndex& Fields(Document& d);
// Builds the index at load, checking the load's clock (LoadRefused when it
// runs out): false when the field tree is deeper than the library reads.
class LoadClock;
bool FieldTreeReadable(Document& d, const LoadClock& clock);
// Adds a field that was appended to /AcroForm /Fields; returns its number.
int AddField(Document& d, QPDFObjectHandle field);
// Records that a widget now sits last on page `page`.
void PlaceWidget(Document& d, QPDFObjectHandle widget, int page);
// Drops field `number` and its widgets from the numbering after the field
// was taken out of the document; the later fields move down one number.
void ForgetField(Document& d, int number);
bool Resolve(Document& d, int number, FieldRef& out);

// A choice's option entry (a text, or [export shown]) as its export value.
std::string OptionText(QPDFObjectHandle item);
// The field's full name: the decoded partial names from the top down.
std::string FullName(QPDFObjectHandle field);
// The field and the others of its name and type.
std::vector<QPDFObjectHandle> Members(const FieldEntry& e);
// The field's value (/V, inherited): for fields sharing a name, the first
// that is set.
QPDFObjectHandle Value(const FieldEntry& e);

// 1 text, 2 push button, 3 check box, 4 radio group, 5 choice, 0 other.
int Kind(QPDFObjectHandle field);
int Flags(QPDFObjectHandle field);
// The field's alignment (/Q, inherited, else the form's): 0 left, 1 centre,
// 2 right.
int Quadding(Document& d, QPDFObjectHandle field);
// A button widget's on-state name as written ("" when it has none).
std::string OnState(QPDFObjectHandle widget);
// A name's or string's text in any of the forms producers write (UTF-16
// with a byte-order mark, UTF-8, PDFDocEncoding), in Windows-1252.
std::string DecodedText(QPDFObjectHandle v);
std::string DecodedBytes(const std::string& bytes);
// A name's text (a button's state) decoded the same way, and also when it
// holds a string's escapes.
std::string StateText(const std::string& name);
// The widget's on-state as its export value (through the field's /Opt),
// decoded.
std::string ExportValue(QPDFObjectHandle field, QPDFObjectHandle widget);
// Whether a button's value (/V, a name or a string) names the state.
bool NamesState(QPDFObjectHandle value, const std::string& state);
// The widget whose on-state a button's value (/V) names; -1 when none.
long ButtonNamed(FieldEntry& e, QPDFObjectHandle value);
// The widget whose decoded on-state or export value is `text`; -1 when none.
long ButtonWithValue(FieldEntry& e, const std::string& text);
// Every widget whose on-state is `state` as written.
std::vector<size_t> ButtonsInState(FieldEntry& e, const std::string& state);
// The form dictionary, made with default resources when asked.
QPDFObjectHandle AcroForm(Document& d, bool create);

// A field's default appearance string taken apart.
struct DefaultAppearance {
  std::string font = "/Helv";
  double size = 0;
  std::string colour = "0 g";
};
DefaultAppearance ParseDA(const std::string& da);
std::string FieldDA(Document& d, QPDFObjectHandle field);

// The page a widget sits on (null when none) and its number.
QPDFObjectHandle PageOfWidget(Document& d, QPDFObjectHandle widget, int* number);
// The widget's position among the widgets of its page (0 when on none).
int TabOrder(Document& d, QPDFObjectHandle widget);
// Takes `item` out of the array under `key` of `holder` (made when the
// document is written); false when it is not listed there. Items left:
// what the array will hold once the removals are made.
bool RemoveLater(Document& d, QPDFObjectHandle holder, const std::string& key,
                 QPDFObjectHandle item);
long ItemsLeft(Document& d, QPDFObjectHandle holder, const std::string& key);
// Makes the removals RemoveLater put off.
void SettleRemovals(Document& d);

// Marks a field's appearance out of date; `look` when its look changed.
void MarkStale(Document& d, QPDFObjectHandle field, bool look);

// Appearance streams (appearance.cpp).
bool UpdateAppearance(Document& d, const FieldRef& ref);
// Whether the widget has a normal appearance that draws something: a
// stream, or an on-state, with a content and a box of some size.
bool HasAppearance(QPDFObjectHandle widget);
bool AppearanceStale(Document& d, QPDFObjectHandle field);
// Draws on and off appearances for the check boxes and radio buttons that
// have none, so that they show their state without the reader's help.
void DrawMissingButtonAppearances(Document& d);

// Runs an operation on a resolved field of the selected document.
template <class R, class F>
R WithField(int number, R fallback, F&& f) {
  Selected d;
  if (!d) return fallback;
  return Guard(fallback, [&]() -> R {
    FieldRef ref;
    if (!Resolve(*d, number, ref)) return fallback;
    return f(*d, ref);
  });
}

}  // namespace velmora::pdf::detail
