#pragma once
// The runtime's list format strings, e.g.
//   "127L(2)|M~Data Set Name~@s128@[50L(2)|M@d17@32L(2)|M@t7@]|M~Date/Time Created~"
// Per column: width in dialog units, alignment L R C D with an optional
// indent in parentheses, then modifiers: "|" right border, "M" resizable,
// "I" icon, "T" tree, "Y" cell style, "*" colours, "Z(n)" column style,
// "~heading~" with an optional heading alignment and indent, "@picture@".
// "[" ... "]" groups columns under a heading of their own.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ui {

enum class Align { Left, Right, Center, Decimal };

struct ListColumn {
  int width = 0;
  Align align = Align::Left;
  int indent = 0;
  std::string heading;
  Align headingAlign = Align::Left;
  int headingIndent = 0;
  bool hasHeadingAlign = false;
  std::string picture;      // without the enclosing "@"s; "" none
  bool rightBorder = false;
  bool resizable = false;
  bool icon = false;
  bool tree = false;
  bool cellStyle = false;
  bool colors = false;
  int columnStyle = 0;
  int group = 0;            // 1-based group index, 0 none
  // Row-source fields (1-based) this column reads: its value, then its
  // icon, tree level, colours and style fields when it has them.
  int field = 0;
  int iconField = 0;
  int treeField = 0;
  int styleField = 0;
};

struct ListGroup {
  std::string heading;
  bool rightBorder = false;
  bool resizable = false;
  int firstColumn = 0;  // 1-based
  int lastColumn = 0;
};

struct ListFormat {
  std::vector<ListColumn> columns;
  std::vector<ListGroup> groups;
  int fields = 0;  // row-source fields the format uses
};

// Parses a format string; nullopt when it is malformed (an unclosed
// heading, picture, group or indent, or a column without a width).
std::optional<ListFormat> ParseListFormat(std::string_view format);

}  // namespace ui
