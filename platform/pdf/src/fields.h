#pragma once
// Form fields: numbering, resolving numbers and the attributes shared by
// reading and writing.
#include <string>
#include <vector>

#include "document.h"

namespace velmora::pdf::detail {

// Temporary indexes of radio buttons start above any real field number
// (callers keep field numbers in 16 bits).
constexpr int kTempBase = 20000;

// Text flag numbers 1-5 as field flag bits: multi-line, password, file
// select, do not spell check, do not scroll.
inline constexpr int kTextFlagBits[6] = {0, 1 << 12, 1 << 13, 1 << 20, 1 << 22, 1 << 23};

struct FieldRef {
  QPDFObjectHandle field;   // the terminal field (holds the value)
  QPDFObjectHandle widget;  // its first widget, or the button reached
  bool kid = false;         // reached by a temporary index
};

void EnsureFields(Document& d);
void InvalidateFields(Document& d);
// Drops field `number` and its widgets from the numbering after the field
// was taken out of the document; the later fields move down one number.
void ForgetField(Document& d, int number, const std::vector<QPDFObjectHandle>& widgets);
bool Resolve(Document& d, int number, FieldRef& out);

// The widget annotations of a terminal field (itself when merged).
std::vector<QPDFObjectHandle> Widgets(QPDFObjectHandle field);
// 1 text, 2 push button, 3 check box, 4 radio group, 5 choice, 0 other.
int Kind(QPDFObjectHandle field);
int Flags(QPDFObjectHandle field);
// The field's alignment (/Q, inherited, else the form's): 0 left, 1 centre,
// 2 right.
int Quadding(Document& d, QPDFObjectHandle field);
// A button widget's on-state name ("" when it has none).
std::string OnState(QPDFObjectHandle widget);
// The widget's on-state as its export value (through the field's /Opt).
std::string ExportValue(QPDFObjectHandle field, QPDFObjectHandle widget);
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
// Marks a field's appearance out of date; `look` when its look changed.
void MarkStale(Document& d, QPDFObjectHandle field, bool look);

// Appearance streams (appearance.cpp).
bool UpdateAppearance(Document& d, const FieldRef& ref);
bool HasAppearance(QPDFObjectHandle widget);
bool AppearanceStale(Document& d, QPDFObjectHandle field);

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
