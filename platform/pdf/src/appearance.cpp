// Appearance streams: a base of our own (background, border, rotation) with
// the text drawn by qpdf for text and choice fields, and on/off pictures of
// our own for check boxes and radio buttons.
#include <qpdf/Constants.h>
#include <qpdf/QPDFAnnotationObjectHelper.hh>
#include <qpdf/QPDFFormFieldObjectHelper.hh>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <sstream>

#include "fields.h"
#include "velmora/pdf/pdf.h"

namespace velmora::pdf::detail {
namespace {

// A number with three decimals, as "%.3f" writes it.
std::string Num(double v) {
  char buf[400];
  auto end = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 3).ptr;
  return std::string(buf, end);
}

// A colour array as a fill ("rg") or stroke ("RG") operation; "" if none.
std::string ColourOp(QPDFObjectHandle a, bool stroke) {
  if (!a.isArray()) return {};
  std::string out;
  int n = a.getArrayNItems();
  for (int i = 0; i < n; ++i) {
    auto c = a.getArrayItem(i);
    if (!c.isNumber()) return {};
    out += Num(c.getNumericValue()) + " ";
  }
  switch (n) {
    case 1: return out + (stroke ? "G" : "g");
    case 3: return out + (stroke ? "RG" : "rg");
    case 4: return out + (stroke ? "K" : "k");
    default: return {};
  }
}

struct Box {
  double width = 0, height = 0;  // of the appearance, before rotation
  int rotation = 0;
};

Box BoxOf(QPDFObjectHandle widget) {
  Box b;
  double r[4];
  if (!ReadRect(widget.getKey("/Rect"), r)) return b;
  auto rot = KeyOf(KeyOf(widget, "/MK"), "/R");
  b.rotation = rot.isInteger() ? static_cast<int>(((rot.getIntValue() % 360) + 360) % 360) : 0;
  bool turned = b.rotation == 90 || b.rotation == 270;
  b.width = turned ? r[3] - r[1] : r[2] - r[0];
  b.height = turned ? r[2] - r[0] : r[3] - r[1];
  return b;
}

// The border's width: /BS /W, else 1 (a border is drawn only with /MK /BC).
double BorderWidth(QPDFObjectHandle widget) {
  auto w = KeyOf(KeyOf(widget, "/BS"), "/W");
  return w.isNumber() ? std::max(0.0, w.getNumericValue()) : 1;
}

// The background and border of the widget, drawn the same for every kind.
std::string Frame(QPDFObjectHandle widget, const Box& b) {
  std::string out;
  auto mk = KeyOf(widget, "/MK");
  auto bg = ColourOp(KeyOf(mk, "/BG"), false);
  if (!bg.empty())
    out += "q " + bg + " 0 0 " + Num(b.width) + " " + Num(b.height) + " re f Q\n";
  auto bc = ColourOp(KeyOf(mk, "/BC"), true);
  auto bs = KeyOf(widget, "/BS");
  auto style = KeyOf(bs, "/S");
  double w = BorderWidth(widget);
  if (!bc.empty() && w > 0) {
    std::string dash;
    if (style.isNameAndEquals("/D")) {
      dash = "[";
      auto d = KeyOf(bs, "/D");
      if (d.isArray())
        for (auto& item : d.aitems())
          if (item.isNumber()) dash += Num(item.getNumericValue()) + " ";
      dash += "] 0 d ";
    }
    out += "q " + bc + " " + Num(w) + " w " + dash + Num(w / 2) + " " + Num(w / 2) + " " +
           Num(b.width - w) + " " + Num(b.height - w) + " re S Q\n";
  }
  // Beveled and inset borders: a light and a dark strip inside the border.
  bool beveled = style.isNameAndEquals("/B");
  if ((beveled || style.isNameAndEquals("/I")) && w > 0 && b.width > 4 * w &&
      b.height > 4 * w) {
    const double x0 = w, y0 = w, x1 = b.width - w, y1 = b.height - w, t = w;
    auto strip = [&](const std::string& colour, bool upperLeft) {
      std::string path = upperLeft
          ? Num(x0) + " " + Num(y0) + " m " + Num(x0) + " " + Num(y1) + " l " + Num(x1) + " " +
                Num(y1) + " l " + Num(x1 - t) + " " + Num(y1 - t) + " l " + Num(x0 + t) + " " +
                Num(y1 - t) + " l " + Num(x0 + t) + " " + Num(y0 + t) + " l"
          : Num(x1) + " " + Num(y1) + " m " + Num(x1) + " " + Num(y0) + " l " + Num(x0) + " " +
                Num(y0) + " l " + Num(x0 + t) + " " + Num(y0 + t) + " l " + Num(x1 - t) + " " +
                Num(y0 + t) + " l " + Num(x1 - t) + " " + Num(y1 - t) + " l";
      out += "q " + colour + " " + path + " h f Q\n";
    };
    strip(beveled ? "1 g" : "0.5 g", true);
    strip(beveled ? "0.5 g" : "0.75 g", false);
  }
  return out;
}

// The standard font a font name of a /DA stands for: one of the standard
// fonts by its name or the short name forms use, else Helvetica.
std::string StandardFont(const std::string& name) {
  static const char* const shortNames[][2] = {
      {"Helv", "Helvetica"},     {"HeBo", "Helvetica-Bold"}, {"HeOb", "Helvetica-Oblique"},
      {"TiRo", "Times-Roman"},   {"TiBo", "Times-Bold"},     {"TiIt", "Times-Italic"},
      {"Cour", "Courier"},       {"CoBo", "Courier-Bold"},   {"ZaDb", "ZapfDingbats"},
      {"Symb", "Symbol"}};
  static const char* const standard[] = {
      "Helvetica", "Helvetica-Bold", "Helvetica-Oblique", "Helvetica-BoldOblique",
      "Times-Roman", "Times-Bold", "Times-Italic", "Times-BoldItalic", "Courier",
      "Courier-Bold", "Courier-Oblique", "Courier-BoldOblique", "Symbol", "ZapfDingbats"};
  const std::string bare = name.substr(1);
  for (auto& n : shortNames)
    if (bare == n[0]) return n[1];
  for (auto* n : standard)
    if (bare == n) return n;
  return "Helvetica";
}

// The font of the form's resources (/DR) that a /DA names. A name the
// resources lack gets the standard font it stands for, so that a reader
// drawing the field itself finds the font too.
QPDFObjectHandle FontResource(Document& d, const std::string& name) {
  // A form that has all it should (AcroForm(d, true)) and the font answers
  // at once.
  auto have = AcroForm(d, false);
  if (KeyOf(have, "/Fields").isArray() && have.hasKey("/DA")) {
    auto fonts = KeyOf(KeyOf(have, "/DR"), "/Font");
    auto font = KeyOf(fonts, name);
    if (font.isDictionary() && fonts.hasKey("/Helv") && fonts.hasKey("/ZaDb")) return font;
  }
  auto af = AcroForm(d, true);
  auto fonts = SubDictionary(SubDictionary(af, "/DR"), "/Font");
  auto font = fonts.getKey(name);
  if (font.isDictionary()) return font;
  const std::string base = StandardFont(name);
  font = QPDFObjectHandle::newDictionary();
  font.replaceKey("/Type", QPDFObjectHandle::newName("/Font"));
  font.replaceKey("/Subtype", QPDFObjectHandle::newName("/Type1"));
  font.replaceKey("/BaseFont", QPDFObjectHandle::newName("/" + base));
  if (base != "Symbol" && base != "ZapfDingbats")
    font.replaceKey("/Encoding", QPDFObjectHandle::newName("/WinAnsiEncoding"));
  font = d.qpdf->makeIndirectObject(font);
  fonts.replaceKey(name, font);
  return font;
}

QPDFObjectHandle FormStream(Document& d, const Box& b, const std::string& content,
                            const std::string& fontName, QPDFObjectHandle font) {
  auto s = d.qpdf->newStream(content);
  d.ownAppearances.insert(s.getObjGen());
  auto dict = s.getDict();
  dict.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
  dict.replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
  dict.replaceKey("/BBox", QPDFObjectHandle::newArray({QPDFObjectHandle::newInteger(0),
                                                      QPDFObjectHandle::newInteger(0),
                                                      QPDFObjectHandle::newReal(Num(b.width)),
                                                      QPDFObjectHandle::newReal(Num(b.height))}));
  // A turned appearance states its matrix; an upright one has the default.
  static const int matrices[][6] = {{0, 1, -1, 0, 0, 0}, {-1, 0, 0, -1, 0, 0}, {0, -1, 1, 0, 0, 0}};
  if (const int turn = b.rotation / 90 % 4) {
    std::vector<QPDFObjectHandle> matrix;
    for (int m : matrices[turn - 1]) matrix.push_back(QPDFObjectHandle::newInteger(m));
    dict.replaceKey("/Matrix", QPDFObjectHandle::newArray(matrix));
  }
  auto fonts = QPDFObjectHandle::newDictionary();
  if (font.isDictionary()) fonts.replaceKey(fontName, font);
  auto resources = QPDFObjectHandle::newDictionary();
  resources.replaceKey("/Font", fonts);
  dict.replaceKey("/Resources", resources);
  return s;
}

// Glyph widths (thousandths of the size) of the standard Helvetica for
// characters 32-126; other characters take 556.
constexpr short kHelvetica[95] = {
    278, 278, 355, 556, 556, 889, 667, 191, 333, 333, 389, 584, 278, 333, 278, 278,
    556, 556, 556, 556, 556, 556, 556, 556, 556, 556, 278, 278, 584, 584, 584, 556,
    1015, 667, 667, 722, 722, 667, 611, 778, 722, 278, 500, 667, 556, 833, 722, 778,
    667, 778, 722, 667, 611, 722, 667, 944, 667, 667, 611, 278, 278, 278, 469, 556,
    333, 556, 556, 500, 556, 556, 278, 556, 556, 222, 222, 500, 222, 833, 556, 556,
    556, 556, 333, 500, 278, 556, 500, 722, 500, 500, 500, 334, 260, 334, 584};

// Widths of a font's codes: its /Widths when it has them, else the
// standard font's metrics (every glyph 600 for Courier).
class Widths {
 public:
  explicit Widths(QPDFObjectHandle font) {
    auto widths = KeyOf(font, "/Widths");
    auto first = KeyOf(font, "/FirstChar");
    if (widths.isArray() && first.isInteger()) {
      first_ = static_cast<int>(first.getIntValue());
      for (auto& w : widths.aitems()) own_.push_back(w.isNumber() ? w.getNumericValue() : 0);
    }
    auto base = font.getKey("/BaseFont");
    courier_ = base.isName() && base.getName().find("Courier") != std::string::npos;
  }
  double Of(const std::string& text, double size) const {
    double total = 0;
    for (unsigned char c : text) total += Code(c);
    return total * size / 1000;
  }

 private:
  double Code(unsigned char c) const {
    int i = c - first_;
    if (!own_.empty() && i >= 0 && i < static_cast<int>(own_.size()) && own_[i] > 0)
      return own_[i];
    if (courier_) return 600;
    return c >= 32 && c <= 126 ? kHelvetica[c - 32] : 556;
  }
  int first_ = 0;
  std::vector<double> own_;
  bool courier_ = false;
};

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out = "<";
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out + ">";
}

// Breaks a multi-line value at its line ends and between words so that each
// line fits the width.
std::vector<std::string> WrapLines(const std::string& text, double width, double size,
                                   const Widths& widths) {
  std::vector<std::string> lines;
  std::string paragraph;
  auto flush = [&](const std::string& para) {
    std::istringstream words(para);
    std::string word, line;
    while (words >> word) {
      std::string candidate = line.empty() ? word : line + " " + word;
      if (!line.empty() && widths.Of(candidate, size) > width) {
        lines.push_back(line);
        line = word;
      } else {
        line = candidate;
      }
    }
    lines.push_back(line);
  };
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      flush(paragraph);
      paragraph.clear();
    } else {
      paragraph += c;
    }
  }
  flush(paragraph);
  return lines;
}

// What a text or combo appearance draws: its font, size and colour, the
// value in the font's encoding, and the baseline of a single line.
struct TextToDraw {
  std::string fontLine;  // "/Helv 12 Tf 0 g"
  double size = 0;
  std::string text;
  double y = 0;
};

// The box of an appearance stream: its /BBox, else the widget's size.
void StreamBox(QPDFObjectHandle stream, const Box& b, double bbox[4]) {
  if (ReadRect(stream.getDict().getKey("/BBox"), bbox)) return;
  bbox[0] = bbox[1] = 0;
  bbox[2] = b.width;
  bbox[3] = b.height;
}

// The text part of an appearance, from /Tx BMC up to its EMC: aligned by
// the field's quadding, broken into lines in a multi-line field, and
// clipped to the stream's box (a producer's may not start at 0 0).
std::string DrawText(const double bbox[4], double border, int quadding, bool multiLine,
                     QPDFObjectHandle font, TextToDraw t) {
  Widths widths(font);
  const double x0 = bbox[0], y0 = bbox[1], width = bbox[2] - bbox[0], height = bbox[3] - bbox[1];
  const double pad = std::max(2.0, 2 * border);
  const double room = std::max(0.0, width - 2 * pad);
  std::vector<std::string> lines;
  if (multiLine) {
    lines = WrapLines(t.text, room, t.size, widths);
  } else {
    std::replace(t.text.begin(), t.text.end(), '\r', ' ');
    std::replace(t.text.begin(), t.text.end(), '\n', ' ');
    lines.push_back(t.text);
  }
  const double leading = t.size * 1.15;
  double baseline = multiLine ? y0 + height - pad - t.size * 0.9 : t.y;
  const double clip = std::max(1.0, border);
  std::string out = "/Tx BMC\nq\n" + Num(x0 + clip) + " " + Num(y0 + clip) + " " +
                    Num(std::max(0.0, width - 2 * clip)) + " " +
                    Num(std::max(0.0, height - 2 * clip)) + " re W n\nBT\n" + t.fontLine + "\n";
  for (const auto& l : lines) {
    double x = x0 + pad + std::max(0.0, room - widths.Of(l, t.size)) * std::clamp(quadding, 0, 2) / 2;
    out += "1 0 0 1 " + Num(x) + " " + Num(baseline) + " Tm\n" + Hex(l) + " Tj\n";
    baseline -= leading;
  }
  out += "ET\nQ\n";
  return out;
}

// Puts `text` in place of the stream's part from `begin` to `end`.
void ReplaceText(QPDFObjectHandle stream, const std::string& content, size_t begin, size_t end,
                 const std::string& text) {
  stream.replaceStreamData(content.substr(0, begin) + text + content.substr(end),
                           QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
}

// The stream's content and where its /Tx BMC ... EMC part lies; false when
// it has none.
bool TextPart(QPDFObjectHandle stream, std::string& content, size_t& begin, size_t& end) {
  auto data = stream.getStreamData();
  content.assign(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
  begin = content.find("/Tx BMC");
  end = content.find("EMC", begin == std::string::npos ? 0 : begin + 7);
  return begin != std::string::npos && end != std::string::npos;
}

// qpdf draws the value as one line at the left. Its font, size, colour and
// encoded text are kept, and the text is laid out again.
void LayOutText(QPDFObjectHandle stream, const Box& b, double border, int quadding,
                bool multiLine, QPDFObjectHandle font) {
  std::string content;
  size_t begin = 0, end = 0;
  if (!TextPart(stream, content, begin, end)) return;
  std::istringstream in(content.substr(begin, end - begin));
  std::string line, shown;
  TextToDraw t;
  bool haveY = false;
  while (std::getline(in, line)) {
    if (line.size() > 3 && line.compare(line.size() - 3, 3, " Tj") == 0) {
      shown = line.substr(0, line.size() - 3);
    } else if (line.size() > 3 && line.compare(line.size() - 3, 3, " Td") == 0) {
      double x = 0;
      haveY = std::sscanf(line.c_str(), "%lf %lf", &x, &t.y) == 2;
    } else if (line.find(" Tf") != std::string::npos) {
      t.fontLine = line;
    }
  }
  if (shown.empty() || t.fontLine.empty() || !haveY) return;
  t.text = QPDFObjectHandle::parse(shown).getStringValue();
  t.size = ParseDA(t.fontLine).size;
  if (t.size <= 0) return;
  double bbox[4];
  StreamBox(stream, b, bbox);
  ReplaceText(stream, content, begin, end, DrawText(bbox, border, quadding, multiLine, font, std::move(t)));
}

void TextAppearance(Document& d, const FieldRef& r, QPDFObjectHandle widget, bool rebuild) {
  const Box b = BoxOf(widget);
  const auto da = ParseDA(FieldDA(d, r.field));
  auto font = FontResource(d, da.font);
  const int kind = Kind(r.field), flags = Flags(r.field);
  const bool list = kind == 5 && !(flags & ff_ch_combo);
  const bool multiLine = kind == 1 && (flags & kTextFlagBits[1]);
  const double border = KeyOf(KeyOf(widget, "/MK"), "/BC").isArray() ? BorderWidth(widget) : 0;
  // A value in a font of Windows encoding at a size of its own is drawn
  // here at once (its bytes are the value's own), placed as qpdf places a
  // line; qpdf draws the rest: lists, sizes to fit, other encodings.
  const bool ours = !list && da.size > 0 && font.getKey("/Encoding").isNameAndEquals("/WinAnsiEncoding");
  auto text = [&](const double bbox[4]) {
    TextToDraw t;
    t.fontLine = da.font + " " + Num(da.size) + " Tf " + da.colour;
    t.size = da.size;
    auto v = Value(*r.entry);
    t.text = DecodedText(v.isArray() && v.getArrayNItems() > 0 ? v.getArrayItem(0) : v);
    t.y = bbox[1] + (bbox[3] - bbox[1] - 0.8 * da.size) / 2;
    return DrawText(bbox, border, Quadding(d, r.field), multiLine, font, std::move(t));
  };
  if (rebuild || !HasAppearance(widget)) {
    // A new appearance: the frame and the text part, drawn at once when it
    // is ours to draw, in a box of the size the stream states.
    std::string content = Frame(widget, b);
    if (ours) {
      const double bbox[4] = {0, 0, std::strtod(Num(b.width).c_str(), nullptr),
                              std::strtod(Num(b.height).c_str(), nullptr)};
      content += text(bbox) + "EMC\n";
    } else {
      content += "/Tx BMC\nEMC\n";
    }
    auto ap = QPDFObjectHandle::newDictionary();
    ap.replaceKey("/N", FormStream(d, b, content, da.font, font));
    widget.replaceKey("/AP", ap);
    if (ours) return;
  }
  QPDFAnnotationObjectHelper annot(widget);
  auto stream = annot.getAppearanceStream("/N");
  std::string content;
  size_t begin = 0, end = 0;
  if (ours && stream.isStream() && TextPart(stream, content, begin, end)) {
    double bbox[4];
    StreamBox(stream, b, bbox);
    ReplaceText(stream, content, begin, end, text(bbox));
    return;
  }
  QPDFFormFieldObjectHelper(r.field).generateAppearance(annot);
  // A list box shows its options, the chosen one marked, as qpdf lays
  // them out in the box. qpdf draws through a filter on the stream, which
  // is made into the stream's own data here, as for the other kinds.
  if (list) {
    stream = annot.getAppearanceStream("/N");
    if (!stream.isStream()) return;
    auto data = stream.getStreamData();
    stream.replaceStreamData(std::string(reinterpret_cast<const char*>(data->getBuffer()), data->getSize()),
                             QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
    return;
  }
  LayOutText(annot.getAppearanceStream("/N"), b, border, Quadding(d, r.field), multiLine, font);
}

// Whether a button misses what it should show: a button with an on-state
// states that draw; a radio button that can only be off, any appearance.
bool ButtonLacksAppearance(QPDFObjectHandle widget, bool radio) {
  if (radio && OnState(widget).empty()) {
    auto n = KeyOf(KeyOf(widget, "/AP"), "/N");
    return !n.isStream() && !n.isDictionary();
  }
  return !HasAppearance(widget);
}

void ButtonAppearance(Document& d, const FieldRef& r, QPDFObjectHandle widget, bool rebuild,
                      bool radio) {
  std::string on = OnState(widget);
  // A radio button without an on-state can only be off.
  const bool offOnly = radio && on.empty();
  if (on.empty()) on = "Yes";
  r.entry->litKnown = false;  // the state shown is set below from the value
  if (rebuild || ButtonLacksAppearance(widget, radio)) {
    r.entry->states.reset();
    Box b = BoxOf(widget);
    auto da = ParseDA(FieldDA(d, r.field));
    std::string frame = Frame(widget, b);
    // ZapfDingbats: "4" is a check mark (0.756 em wide), "l" a filled
    // circle (0.791 em).
    double em = std::min(b.width, b.height) * 0.8;
    double glyph = radio ? 0.791 : 0.756;
    std::string mark = "q BT " + da.colour + " /ZaDb " + Num(em) + " Tf " +
                       Num((b.width - em * glyph) / 2) + " " + Num((b.height - em * 0.7) / 2) +
                       " Td (" + (radio ? "l" : "4") + ") Tj ET Q\n";
    auto zadb = FontResource(d, "/ZaDb");
    auto states = QPDFObjectHandle::newDictionary();
    if (!offOnly) states.replaceKey("/" + on, FormStream(d, b, frame + mark, "/ZaDb", zadb));
    states.replaceKey("/Off", FormStream(d, b, frame, "/ZaDb", zadb));
    auto ap = QPDFObjectHandle::newDictionary();
    ap.replaceKey("/N", states);
    widget.replaceKey("/AP", ap);
  }
  widget.replaceKey("/AS", !offOnly && NamesState(Value(*r.entry), on)
                               ? QPDFObjectHandle::newName("/" + on)
                               : QPDFObjectHandle::newName("/Off"));
}

// An appearance stream that draws something: content that is not blank,
// and a box of some size.
bool Draws(QPDFObjectHandle stream) {
  if (!stream.isStream()) return false;
  double box[4];
  if (!ReadRect(stream.getDict().getKey("/BBox"), box) || box[2] - box[0] <= 0 ||
      box[3] - box[1] <= 0)
    return false;
  try {
    auto data = stream.getStreamData(qpdf_dl_generalized);
    auto bytes = reinterpret_cast<const char*>(data->getBuffer());
    return std::any_of(bytes, bytes + data->getSize(),
                       [](char c) { return !std::isspace(static_cast<unsigned char>(c)); });
  } catch (...) {
    return false;  // content no reader can decode draws nothing
  }
}

}  // namespace

bool HasAppearance(QPDFObjectHandle widget) {
  auto n = KeyOf(KeyOf(widget, "/AP"), "/N");
  if (n.isStream()) return Draws(n);
  if (!n.isDictionary()) return false;
  // A button's off state may rightly draw nothing; some state must draw.
  for (auto& [state, stream] : n.getDictAsMap())
    if (state != "/Off" && Draws(stream)) return true;
  return false;
}

bool AppearanceStale(Document& d, QPDFObjectHandle field) {
  return d.staleAppearance.count(field.getObjGen()) > 0;
}

bool UpdateAppearance(Document& d, const FieldRef& r) {
  bool rebuild = d.restyled.count(r.field.getObjGen()) > 0;
  int kind = Kind(r.field);
  for (auto& w : r.entry->widgets) {
    if (kind == 1 || kind == 5)
      TextAppearance(d, r, w, rebuild);
    else if (kind == 3 || kind == 4)
      ButtonAppearance(d, r, w, rebuild, kind == 4);
    else
      continue;
    if (w.isIndirect()) d.drawn.insert(w.getObjGen());
  }
  d.staleAppearance.erase(r.field.getObjGen());
  d.restyled.erase(r.field.getObjGen());
  d.Changed();
  return true;
}

void DrawMissingButtonAppearances(Document& d) {
  auto& ix = Fields(d);
  for (size_t i = 0; i < ix.fields.size(); ++i) {
    FieldRef r;
    r.entry = ix.fields[i];
    r.field = r.entry->field;
    int kind = Kind(r.field);
    if (kind != 3 && kind != 4) continue;
    const auto& ws = r.entry->widgets;
    if (std::none_of(ws.begin(), ws.end(),
                     [&](auto& w) { return ButtonLacksAppearance(w, kind == 4); }))
      continue;
    Guard(false, [&] { return UpdateAppearance(d, r); });
  }
}

}  // namespace velmora::pdf::detail

using namespace velmora::pdf::detail;

int iSEDUpdateAppearanceStream(int field) {
  return WithField(field, 0, [](Document& d, FieldRef& r) {
    return UpdateAppearance(d, r) ? 1 : 0;
  });
}
