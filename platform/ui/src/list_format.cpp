#include "velmora/ui/list_format.h"

#include <cctype>

namespace ui {
namespace {

class Parser {
 public:
  explicit Parser(std::string_view s) : s_(s) {}

  std::optional<ListFormat> Run() {
    while (pos_ < s_.size()) {
      char c = s_[pos_];
      if (c == '[') {
        if (groupOpen_) return std::nullopt;
        ++pos_;
        groupOpen_ = true;
        ListGroup g;
        g.firstColumn = static_cast<int>(out_.columns.size()) + 1;
        out_.groups.push_back(g);
      } else if (c == ']') {
        if (!groupOpen_) return std::nullopt;
        ++pos_;
        groupOpen_ = false;
        ListGroup& g = out_.groups.back();
        g.lastColumn = static_cast<int>(out_.columns.size());
        if (!GroupModifiers(g)) return std::nullopt;
      } else if (std::isdigit(static_cast<unsigned char>(c))) {
        if (!Column()) return std::nullopt;
      } else {
        return std::nullopt;
      }
    }
    if (groupOpen_) return std::nullopt;
    return out_;
  }

 private:
  bool Number(int& value) {
    size_t start = pos_;
    long v = 0;
    while (pos_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_]))) {
      v = v * 10 + (s_[pos_] - '0');
      if (v > 1000000) return false;
      ++pos_;
    }
    value = static_cast<int>(v);
    return pos_ > start;
  }

  // "(n)" after an alignment; absent is fine.
  bool Indent(int& value) {
    if (pos_ >= s_.size() || s_[pos_] != '(') return true;
    ++pos_;
    bool negative = pos_ < s_.size() && s_[pos_] == '-';
    if (negative) ++pos_;
    if (!Number(value) || pos_ >= s_.size() || s_[pos_] != ')') return false;
    if (negative) value = -value;
    ++pos_;
    return true;
  }

  static bool AlignOf(char c, Align& a) {
    switch (std::toupper(static_cast<unsigned char>(c))) {
      case 'L': a = Align::Left; return true;
      case 'R': a = Align::Right; return true;
      case 'C': a = Align::Center; return true;
      case 'D': a = Align::Decimal; return true;
      default: return false;
    }
  }

  bool Delimited(char delimiter, std::string& text) {
    size_t end = s_.find(delimiter, pos_ + 1);
    if (end == std::string_view::npos) return false;
    text = std::string(s_.substr(pos_ + 1, end - pos_ - 1));
    pos_ = end + 1;
    return true;
  }

  // Skips a parenthesised option list.
  bool SkipParens() {
    if (pos_ >= s_.size() || s_[pos_] != '(') return true;
    size_t end = s_.find(')', pos_);
    if (end == std::string_view::npos) return false;
    pos_ = end + 1;
    return true;
  }

  bool Column() {
    ListColumn col;
    if (!Number(col.width)) return false;
    if (pos_ < s_.size() && AlignOf(s_[pos_], col.align)) {
      ++pos_;
      if (!Indent(col.indent)) return false;
    }
    while (pos_ < s_.size()) {
      char c = s_[pos_];
      if (std::isdigit(static_cast<unsigned char>(c)) || c == '[' || c == ']') break;
      switch (std::toupper(static_cast<unsigned char>(c))) {
        case '|': col.rightBorder = true; ++pos_; break;
        case 'M': col.resizable = true; ++pos_; break;
        case 'I': col.icon = true; ++pos_; break;
        case 'T': col.tree = true; ++pos_; if (!SkipParens()) return false; break;
        case 'Y': col.cellStyle = true; ++pos_; break;
        case '*': col.colors = true; ++pos_; break;
        case 'Z':
          ++pos_;
          if (pos_ >= s_.size() || s_[pos_] != '(') return false;
          if (!Indent(col.columnStyle)) return false;
          break;
        case '_': case 'F': case 'P': case 'Q': ++pos_; break;
        case 'S': ++pos_; if (!SkipParens()) return false; break;
        case '~': {
          if (!Delimited('~', col.heading)) return false;
          if (pos_ < s_.size() && AlignOf(s_[pos_], col.headingAlign)) {
            col.hasHeadingAlign = true;
            ++pos_;
            if (!Indent(col.headingIndent)) return false;
          }
          break;
        }
        case '@':
          if (!Delimited('@', col.picture)) return false;
          break;
        default:
          return false;
      }
    }
    // The fields a column reads follow one another: its value, then its
    // colours, icon, tree level and style.
    col.field = ++out_.fields;
    if (col.colors) out_.fields += 4;
    if (col.icon) col.iconField = ++out_.fields;
    if (col.tree) col.treeField = ++out_.fields;
    if (col.cellStyle) col.styleField = ++out_.fields;
    if (groupOpen_) col.group = static_cast<int>(out_.groups.size());
    out_.columns.push_back(std::move(col));
    return true;
  }

  bool GroupModifiers(ListGroup& g) {
    while (pos_ < s_.size()) {
      char c = s_[pos_];
      if (c == '|') { g.rightBorder = true; ++pos_; }
      else if (c == 'M' || c == 'm') { g.resizable = true; ++pos_; }
      else if (c == '~') { if (!Delimited('~', g.heading)) return false; }
      else break;
    }
    return true;
  }

  std::string_view s_;
  size_t pos_ = 0;
  bool groupOpen_ = false;
  ListFormat out_;
};

}  // namespace

std::optional<ListFormat> ParseListFormat(std::string_view format) {
  return Parser(format).Run();
}

}  // namespace ui
