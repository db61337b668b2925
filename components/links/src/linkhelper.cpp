// LinkHelper: registering links, their look, hover and the window's events.
#include <algorithm>
#include <cstdlib>

#include "address.h"
#include "velmora/links/linkhelper.h"
#include "velmora/runtime/cmdline.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/system.h"
#include "velmora/runtime/text.h"

namespace links {
namespace {

using ui::ControlType;
using ui::Prop;

bool IsStringOrPrompt(ControlType t) { return t == ControlType::String || t == ControlType::Prompt; }

std::string Number(long v) { return std::to_string(v); }

// The format text of each column of a list format string: a column starts
// with its width, a digit outside headings, pictures and parentheses.
std::vector<std::string> ColumnFormats(std::string_view format) {
  std::vector<std::string> columns;
  bool heading = false, picture = false;
  int parens = 0;
  char previous = 0;
  for (char c : format) {
    bool plain = !heading && !picture && parens == 0;
    if (plain && c >= '0' && c <= '9' && !(previous >= '0' && previous <= '9')) columns.emplace_back();
    if (!columns.empty() && (c != '[' && c != ']')) columns.back() += c;
    if (c == '~' && !picture) heading = !heading;
    else if (c == '@' && !heading) picture = !picture;
    else if (c == '(' && plain) ++parens;
    else if (c == ')' && parens > 0 && !heading && !picture) --parens;
    previous = plain ? c : 0;
  }
  return columns;
}

}  // namespace

ui::ControlType LinkHelper::TypeOf(int control) const {
  return window_ ? static_cast<ControlType>(window_->GetLong(control, Prop::Type)) : ControlType::None;
}

LinkItem* LinkHelper::Find(int control, long column) {
  for (LinkItem& e : ITEMQ)
    if (e.CONTROL == control && (column < 0 || e.COLUMN == column)) return &e;
  return nullptr;
}

void LinkHelper::Insert(const LinkItem& item) {
  auto at = std::upper_bound(ITEMQ.begin(), ITEMQ.end(), item, [](const LinkItem& a, const LinkItem& b) {
    return a.CONTROL != b.CONTROL ? a.CONTROL < b.CONTROL : a.COLUMN < b.COLUMN;
  });
  ITEMQ.insert(at, item);
}

// ---- slot 0
void LinkHelper::AddItem(int control, std::optional<std::string> address, std::optional<long> normal,
                         std::optional<long> bright, std::optional<long> style, int keyCode) {
  if (!window_) return;
  ui::Window& w = *window_;
  LinkItem e;
  e.CONTROL = control;
  long highest = -1;
  for (const LinkItem& o : ITEMQ)
    if (o.CONTROL == control) highest = std::max<long>(highest, o.STYLE);
  e.STYLE = highest < 0 ? 0 : highest == 0 ? 0 : highest + 2;
  e.ACTIVE = 1;
  e.INACTIVECOLOR = w.GetLong(control, Prop::FontColor);
  ControlType type = TypeOf(control);
  if (type == ControlType::List) {
    if (address) e.COLUMN = std::atol(address->c_str());
    if (normal && *normal != -1) e.NORMAL = *normal;
    if (bright && *bright != -1) e.BRIGHT = *bright;
    if (style) {
      long s = std::labs(*style);
      if (s > e.STYLE && s > 1) e.STYLE = s;
      else if (e.STYLE == 0 && e.NORMAL != 0) e.STYLE = 2;
      if (*style < 0) e.HANDCURSOR = 1;
    } else if (e.STYLE == 0 && e.NORMAL != 0) {
      e.STYLE = 2;
    }
  } else {
    if (address) e.URL = *address;
    if (normal) {
      e.NORMAL = *normal;
      w.Set(control, Prop::FontColor, *normal);
    } else if (IsStringOrPrompt(type)) {
      e.NORMAL = w.GetLong(control, Prop::FontColor);
    }
    if (bright) e.BRIGHT = *bright;
    if (style) {
      e.UNDERLINE = static_cast<rt::Byte>(*style & 1);
      e.USEEVENT = *style >> 1;
      w.Set(control, Prop::FontStyle, w.GetLong(control, Prop::FontStyle) | ui::style::Underline);
    }
    if (keyCode != 0 && type == ControlType::Entry) {
      w.Alert(control, keyCode);
      e.USESTDACTION = keyCode;
      w.Set(control, Prop::Cursor, HANDCURSORTOUSE);
      e.USEEVENT = ui::ev::AlertKey;
    }
  }
  Insert(e);
  Trace("In AddItem: " + Number(control) + " URL: " + rt::Clip(e.URL) + " Norm: " + Number(e.NORMAL) +
        " Brt: " + Number(e.BRIGHT) + " InActCol: " + Number(e.INACTIVECOLOR) + " Style: " + Number(e.STYLE) +
        " Col: " + Number(e.COLUMN) + " UnderLine: " + Number(e.UNDERLINE) + " Event: " + Number(e.USEEVENT) +
        " Cur: " + Number(e.HANDCURSOR) + " NStl: " + Number(e.NORMALSTYLE) + " " + Number(e.BRIGHTSTYLE) +
        " StdA: " + Number(e.USESTDACTION));
  SetControlProperties(control, true);
}

// ---- slot 1
void LinkHelper::Setup(ui::Window& window, std::optional<int> checkEvent, int flag) {
  window_ = &window;
  ITEMQ.clear();
  TRACKERQ.clear();
  if (checkEvent) HANDCURSOR = *checkEvent;
  LookUpPrograms();
  INITED = 1;
  if (!(flag & 1)) window.Set(0, Prop::Buffer, 1L);
}

// ---- slot 2
void LinkHelper::CheckLink() {
  if (!window_ || HANDCURSOR == 0 || window_->EventNo() != HANDCURSOR) return;
  ui::Window& w = *window_;
  const int x = w.MouseX(), y = w.MouseY();
  auto inside = [&](int control) {
    ui::Window::Rect r = w.PixelPosition(control);
    long left = std::min(r.x, r.x + r.width), right = std::max(r.x, r.x + r.width);
    long top = std::min(r.y, r.y + r.height), bottom = std::max(r.y, r.y + r.height);
    return x >= left && x < right && y >= top && y < bottom;
  };
  std::vector<int> cursorLists, claimed;
  for (LinkItem& e : ITEMQ) {
    ControlType type = TypeOf(e.CONTROL);
    if (type != ControlType::List) {
      if (e.WORKING != 1) continue;
      // strings, prompts and images take the mouse through their region
      int target = w.Exists(e.CONTROL + kRegionOffset) ? e.CONTROL + kRegionOffset : e.CONTROL;
      if (!inside(target)) w.Post(ui::ev::MouseOut, target);
      continue;
    }
    const bool in = inside(e.CONTROL);
    const long row = w.GetLong(e.CONTROL, Prop::MouseMoveRow);
    const long column = w.GetLong(e.CONTROL, Prop::MouseMoveColumn);
    if (in && row > 0 && column == e.COLUMN && e.HANDCURSOR) {
      w.Set(e.CONTROL, Prop::Cursor, HANDCURSORTOUSE);
      claimed.push_back(e.CONTROL);
    } else if (!w.Get(e.CONTROL, Prop::Cursor).empty()) {
      cursorLists.push_back(e.CONTROL);
    }
    if (e.STYLE == 0) continue;
    if (in && column == e.COLUMN && row > 0 && row != e.WORKING) {
      if (e.WORKING) OnListRowHover(e.CONTROL, e.COLUMN, e.WORKING, e.STYLE);
      OnListRowHover(e.CONTROL, e.COLUMN, row, e.STYLE + 1);
      e.WORKING = row;
    } else if (!in && e.WORKING) {
      OnListRowHover(e.CONTROL, e.COLUMN, e.WORKING, e.STYLE);
      e.WORKING = 0;
    }
  }
  for (int list : cursorLists)
    if (std::find(claimed.begin(), claimed.end(), list) == claimed.end()) w.Set(list, Prop::Cursor, "");
}

// ---- slot 3
void LinkHelper::CheckAllLinks(int control) {
  if (!window_) return;
  for (size_t i = 0; i < ITEMQ.size(); ++i) {
    LinkItem& e = ITEMQ[i];
    if (control != 0 && e.CONTROL != control) continue;
    ControlType type = TypeOf(e.CONTROL);
    if (type == ControlType::Panel || type == ControlType::Button || type == ControlType::List ||
        type == ControlType::Combo || type == ControlType::Text)
      continue;
    if (type == ControlType::Entry) e.URL = window_->Get(e.CONTROL, Prop::ScreenText);
    if (CHECKURLS == 1) {
      e.ACTIVE = FindProgram(e.URL);
      if (!e.ACTIVE) Trace("Failed Reg Check on: " + rt::Clip(e.URL));
    }
    SetControlProperties(e.CONTROL, false);
  }
}

// ---- slot 5
void LinkHelper::OnListRowHover(int, int, long, long) {}

// ---- slot 6
int LinkHelper::TakeEvent() {
  if (!window_) return 0;
  ui::Window& w = *window_;
  const int field = w.Field();
  const int event = w.EventNo();
  if (field != 0) {
    const int control = field > kRegionOffset ? field - kRegionOffset : field;
    ControlType type = TypeOf(control);
    if (type == ControlType::Region || type == ControlType::Panel || type == ControlType::Button ||
        type == ControlType::Entry || type == ControlType::Combo || type == ControlType::Text ||
        field > kRegionOffset) {
      if (LinkItem* e = Find(control)) HandleEntry(*e, field, event);
    } else if (type == ControlType::List) {
      if (event == ui::ev::Accepted) {
        w.Invalidate();
        CheckAllLinks(0);
      }
      const long column = w.GetLong(control, Prop::MouseUpColumn);
      if (rt::HasSwitch("/LXDebugList"))
        Trace("UpField: " + Number(column) + " error: " + rt::ErrorText());
      if (LinkItem* e = Find(control, column)) HandleEntry(*e, field, event);
    }
  }
  if (event == ui::ev::Selected) LASTFIELDSELECTED = field;
  if (event == ui::ev::Sized) CheckAllLinks(0);
  CheckLink();
  return 0;
}

void LinkHelper::HandleEntry(LinkItem& e, int field, int event) {
  ui::Window& w = *window_;
  const int control = e.CONTROL;
  const ControlType type = TypeOf(control);
  if (type == ControlType::Entry && CHECKURLS == 1 && w.Get(control, Prop::ScreenText) != e.URL)
    CheckAllLinks(control);
  Trace("In TakeEvent: Ctrl: " + Number(field) + "(" + Number(control) + ") Event: " + Number(event) +
        " UseEvent: " + Number(e.USEEVENT) + " LastSel: " + Number(LASTFIELDSELECTED));
  if (!e.ACTIVE || event == 0) return;
  switch (event) {
    case ui::ev::MouseIn: case ui::ev::MouseMove:
      if (type == ControlType::String && e.BRIGHT > 0 && !e.WORKING && e.NORMAL < 1)
        e.NORMAL = w.GetLong(control, Prop::FontColor);
      if (type != ControlType::List && !e.WORKING) {
        e.WORKING = 1;
        CheckAllLinks(control);
      }
      break;
    case ui::ev::MouseOut:
      if (type != ControlType::List) {
        e.WORKING = 0;
        CheckAllLinks(control);
      }
      break;
    case ui::ev::Accepted:
      if (e.USEEVENT == 0 || e.USEEVENT == 1) OpenLink(e);
      return;
    default: break;
  }
  if (event == e.USEEVENT) {
    if (field != LASTFIELDSELECTED && e.USESTDACTION == 1) w.Select(field);
    else OpenLink(e);
  }
}

void LinkHelper::OpenLink(LinkItem& e) {
  ui::Window& w = *window_;
  const ControlType type = TypeOf(e.CONTROL);
  std::string address;
  const long column = type == ControlType::List ? w.GetLong(e.CONTROL, Prop::MouseUpColumn) : 0;
  if (type == ControlType::Entry) {
    address = w.Get(e.CONTROL, Prop::ScreenText);
  } else if (type == ControlType::List && column == e.COLUMN) {
    const long row = w.GetLong(e.CONTROL, Prop::Selected);
    address = Slot7(e.CONTROL, static_cast<int>(column), w.CellText(e.CONTROL, row, static_cast<int>(column)), e.URL);
  } else if (!rt::Clip(e.URL).empty()) {
    address = e.URL;
  } else if (type == ControlType::String || type == ControlType::Combo) {
    address = w.Get(e.CONTROL, Prop::ScreenText);
  } else {
    address = w.Get(e.CONTROL, Prop::Text);
  }
  URLTORUN = rt::Clip(address);
  if (!URLTORUN.empty()) RunUrl(0);
}

// ---- slot 8
void LinkHelper::SetItemAddress(int control, std::optional<std::string> address) {
  LinkItem* e = Find(control);
  if (!e || TypeOf(control) == ControlType::List) return;
  bool given = address && !rt::Clip(*address).empty();
  bool changed = false;
  if (given && *address != e->URL) {
    e->URL = *address;
    changed = true;
  } else if (!given && !rt::Clip(e->URL).empty()) {
    e->URL.clear();
    changed = true;
  }
  if (changed) CheckAllLinks(control);
}

// ---- slot 9
std::string LinkHelper::ParseAnchorText(std::string_view text, std::string_view, int mode) {
  std::string opening, closing;
  if (mode == 0) {
    if (rt::InString("<a href=", text) > 0) return rt::Clip(text);
    if (!text.empty() && text[0] == '"') {
      opening = "<a href=";
      closing = ">";
    } else {
      opening = "<a href=\"";
      closing = "\">";
    }
  } else if (mode == 1) {
    opening = closing = "\"";
  }
  std::string address(text);
  const bool at = text.find('@') != std::string_view::npos;
  // an address with a scheme of its own ("https://", "ftp://", "mailto:")
  // takes no other
  const std::string clipped = rt::Clip(text);
  const std::string_view bare = Unquoted(clipped);
  const std::string scheme = SchemeOf(bare);
  const bool ownScheme = scheme == "mailto" || (!scheme.empty() && bare.substr(scheme.size() + 1, 2) == "//");
  if (at && !ownScheme && rt::InString("mailto:", rt::Lower(text)) == 0) address = "mailto:" + address;
  else if (!at && !ownScheme && rt::InString("http://", text) == 0) address = "http://" + address;
  return opening + address + closing;
}

// ---- slot 10: the list's link columns get consecutive style pairs from 1
// (normal at odd numbers, hover the one after); given colour texts become
// their normal and hover colours. Styles above 4096 belong to others.
void LinkHelper::ApplyColours(int control, std::string_view permanent, std::string_view hover) {
  if (!window_) return;
  std::string perm = "\r\nPerm Change: ", which = "Which Cols: ", temp = "\r\nTemp Change: ";
  long next = 1;
  int count = 0;
  for (LinkItem& e : ITEMQ) {
    if (e.CONTROL != control || e.STYLE > 4096 || count == 64) continue;
    ++count;
    if (!rt::Clip(permanent).empty()) e.NORMAL = std::atol(std::string(permanent).c_str());
    if (!rt::Clip(hover).empty()) e.BRIGHT = std::atol(std::string(hover).c_str());
    if (e.STYLE != next) {
      perm += Number(e.STYLE) + " to " + Number(next) + ";";
      temp += Number(e.STYLE + 1) + " to " + Number(next + 1) + ";";
      which += Number(e.COLUMN) + ";";
      e.STYLE = next;
    }
    Trace("Color(" + Number(e.STYLE) + "): " + Number(e.NORMAL) + " " + Number(e.BRIGHT) +
          " Style: " + Number(e.STYLE));
    next += 2;
  }
  SetControlProperties(control, false);
  if (rt::HasSwitch("/XPCheck")) rt::Stop(perm + which + temp);
}

// ---- slot 11
void LinkHelper::SetControlProperties(int control, bool firstTime) {
  if (!window_) return;
  ui::Window& w = *window_;
  const ControlType type = TypeOf(control);
  LinkItem* e = Find(control);
  switch (type) {
    case ControlType::Button: case ControlType::Panel:
      return;
    case ControlType::Entry: case ControlType::Combo: case ControlType::Text: {
      if (!e) return;
      if (e->ACTIVE) {
        w.Set(control, Prop::FontColor, e->NORMAL);
        if (e->UNDERLINE)
          w.Set(control, Prop::FontStyle, w.GetLong(control, Prop::FontStyle) | ui::style::Underline);
        if (e->USESTDACTION) {
          w.Set(control, Prop::Cursor, HANDCURSORTOUSE);
          if (!w.IsAlerted(control, e->USESTDACTION)) w.Alert(control, e->USESTDACTION);
        }
      } else {
        w.Set(control, Prop::FontColor, e->INACTIVECOLOR);
        w.Set(control, Prop::FontStyle, w.GetLong(control, Prop::FontStyle) & ~ui::style::Underline);
        if (e->USESTDACTION) {
          w.Set(control, Prop::Cursor, "");
          w.Unalert(control, e->USESTDACTION);
        }
      }
      return;
    }
    case ControlType::Region: {
      if (firstTime) {
        w.Set(control, Prop::Cursor, HANDCURSORTOUSE);
        w.Set(control, Prop::Immediate, 1L);
      } else if (e && !e->ACTIVE) {
        w.Set(control, Prop::Cursor, "");
        w.Disable(control);
      } else if (w.Get(control, Prop::Cursor) != HANDCURSORTOUSE) {
        w.Set(control, Prop::Cursor, HANDCURSORTOUSE);
      }
      return;
    }
    case ControlType::List:
      for (const LinkItem& l : ITEMQ) {
        if (l.CONTROL != control || l.NORMAL == 0) continue;
        const long s = l.STYLE;
        w.Set(control, Prop::StyleFontStyle, w.GetLong(control, Prop::StyleFontStyle, static_cast<int>(s)) |
                                                 ui::style::Underline, static_cast<int>(s));
        w.Set(control, Prop::StyleFontColor, l.NORMAL, static_cast<int>(s));
        w.Set(control, Prop::ColumnStyle, s, static_cast<int>(l.COLUMN));
        if (l.BRIGHT != 0) {
          w.Set(control, Prop::StyleFontStyle,
                w.GetLong(control, Prop::StyleFontStyle, static_cast<int>(s + 1)) | ui::style::Underline,
                static_cast<int>(s + 1));
          w.Set(control, Prop::StyleFontColor, l.BRIGHT, static_cast<int>(s + 1));
        }
      }
      return;
    default: break;
  }
  // strings, prompts, images: the link takes the mouse through its region
  const int region = control + kRegionOffset;
  if (firstTime) {
    if (IsStringOrPrompt(type)) {
      if (!e || !e->ACTIVE) {
        w.Set(control, Prop::FontStyle, ui::style::Regular);
      } else {
        if (e->UNDERLINE)
          w.Set(control, Prop::FontStyle, w.GetLong(control, Prop::FontStyle) | ui::style::Underline);
        if (e->NORMALSTYLE != 0) w.Set(control, Prop::FontStyle, e->NORMALSTYLE);
      }
      Trace("Setting control properties: \r\nError getting from queue: " + Number(e ? 0 : 30) +
            "\r\nStyle: " + w.Get(control, Prop::FontStyle));
    }
    if (!w.Exists(region)) w.CreateControl(ControlType::Region, region, static_cast<int>(w.GetLong(control, Prop::Parent)));
    w.Set(region, Prop::Cursor, HANDCURSORTOUSE);
    w.Set(region, Prop::Immediate, 1L);
  } else if (e && !e->ACTIVE) {
    w.Set(region, Prop::Cursor, "");
    w.Disable(region);
  } else {
    if (w.Get(region, Prop::Cursor) != HANDCURSORTOUSE) w.Set(region, Prop::Cursor, HANDCURSORTOUSE);
    w.Set(region, Prop::Disable, w.GetLong(control, Prop::Disable));
  }
  if (!w.GetLong(control, Prop::Disable)) {
    const int parent = static_cast<int>(w.GetLong(control, Prop::Parent));
    if (parent != 0 && w.GetLong(parent, Prop::Disable)) w.Set(control, Prop::FontColor, w.GetLong(parent, Prop::FontColor));
    if (e && !e->ACTIVE) {
      w.Set(control, Prop::FontColor, w.GetLong(parent, Prop::FontColor));
      w.Set(control, Prop::FontStyle, w.GetLong(parent, Prop::FontStyle));
    } else if (e && e->WORKING == 1) {
      w.Set(control, Prop::FontColor, e->BRIGHT);
      w.Set(control, Prop::FontStyle, e->BRIGHTSTYLE);
    } else if (e) {
      w.Set(control, Prop::FontColor, e->NORMAL);
      w.Set(control, Prop::FontStyle, e->NORMALSTYLE);
    }
  }
  ui::Window::Rect r = w.Position(control);
  w.SetPosition(region, r.x, r.y, r.width, r.height);
  w.Set(region, Prop::Hide, w.GetLong(control, Prop::Hide));
}

// ---- slot 12
void LinkHelper::ControlStyle(int list, std::optional<int> flags) {
  if (!window_) return;
  const int f = flags.value_or(0);
  if (f & 2) TRACKERQ.clear();
  std::vector<std::string> columns = ColumnFormats(window_->Get(list, Prop::Format));
  for (size_t i = 0; i < columns.size() && i < 1024; ++i) {
    const rt::Long no = static_cast<rt::Long>(i + 1);
    ColumnFormat* same = nullptr;
    if (!(f & 3))
      for (ColumnFormat& c : TRACKERQ)
        if (c.CONTROL == list && c.OLDFORMATCOL == columns[i]) same = &c;
    if (same) same->COLUMNNO = no;
    else TRACKERQ.push_back({list, columns[i], no});
  }
}

// ---- slot 13
void LinkHelper::AddControl(int control, std::optional<std::string> address, std::optional<long> normal,
                            std::optional<long> bright, std::optional<long> normalStyle,
                            std::optional<long> brightStyle) {
  if (!window_) return;
  ui::Window& w = *window_;
  LinkItem e;
  e.CONTROL = control;
  if (IsStringOrPrompt(TypeOf(control))) {
    e.URL = address && !rt::Clip(*address).empty() ? *address : w.Get(control, Prop::ScreenText);
    if (normal) w.Set(control, Prop::FontColor, *normal);
    e.NORMAL = normal ? *normal : w.GetLong(control, Prop::FontColor);
    if (bright) e.BRIGHT = *bright;
    if (normalStyle) w.Set(control, Prop::FontStyle, *normalStyle);
    e.NORMALSTYLE = normalStyle ? *normalStyle : w.GetLong(control, Prop::FontStyle);
    if (brightStyle) e.BRIGHTSTYLE = *brightStyle;
  }
  Insert(e);
  SetControlProperties(control, true);
}

// ---- slot 15
rt::Byte LinkHelper::SetItemActive(int control, rt::Byte active) {
  LinkItem* e = Find(control);
  if (!e) return 0;
  e->ACTIVE = active;
  return 1;
}

// ---- slot 16
void LinkHelper::Trace(std::string_view text) {
  if (!rt::HasSwitch("/LXDebug")) return;
  std::string line = "Lantrix: " + rt::Clip(text);
  if (line.size() > 1023) line.resize(1023);
  win::OutputDebugStringA(line.c_str());
}

// ---- slot 17
std::string LinkHelper::TextBetween(std::string_view text, std::string_view delimiter) {
  if (delimiter.empty()) return {};
  size_t i = text.find(delimiter);
  if (i == std::string_view::npos) return {};
  size_t from = i + delimiter.size();
  size_t j = text.find(delimiter, from);
  if (j == std::string_view::npos) return {};
  return std::string(text.substr(from, j - from));
}

// ---- slot 18
void LinkHelper::ShowNumberedMessage(long number, std::string_view text, std::string_view caption) {
  rt::Message("(" + Number(number) + ") " + std::string(text), std::string(caption) + Number(number),
              rt::kIconAsterisk, rt::kButtonOk);
}

}  // namespace links
