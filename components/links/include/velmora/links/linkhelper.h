#pragma once
// LinkHelper turns controls of a window into hyperlinks: a string, prompt,
// entry, region or list column gets an address (a web address, an e-mail
// address or a file name), link colours and styles, the hand cursor while
// the mouse is over it and its hover look, and opens the address with the
// desktop's program for it when clicked. The operations sit in slot order;
// a window derives from the class and overrides single slots.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "velmora/runtime/types.h"
#include "velmora/ui/window.h"
#include "velmora/win/win.h"

namespace links {

// A control's text or prompt cannot take mouse events: its link gets an
// invisible region numbered control + kRegionOffset over it.
inline constexpr int kRegionOffset = 2800;

// One registered link (ITEMQ), fields in their order.
struct LinkItem {
  rt::Long CONTROL = 0;
  std::string URL;            // blank: the control's text is opened
  rt::Long NORMAL = 0;        // colour when not hovered
  rt::Long BRIGHT = 0;        // colour while hovered
  rt::Long INACTIVECOLOR = 0;
  rt::Long STYLE = 0;         // list: style number of the column (hover STYLE + 1)
  rt::Long COLUMN = 0;        // list: the column carrying the link
  rt::Byte UNDERLINE = 0;
  rt::Long USEEVENT = 0;      // event that opens the link besides a click
  rt::Long WORKING = 0;       // hovered (1); list: the row under the mouse
  rt::Byte HANDCURSOR = 0;    // list: hand cursor over the column
  rt::Long NORMALSTYLE = 0;
  rt::Long BRIGHTSTYLE = 0;
  rt::Byte ACTIVE = 1;        // a program opens it (or no test was made)
  rt::Long USESTDACTION = 0;  // key code alerted on an entry that opens it
};

// A saved list column format (TRACKERQ).
struct ColumnFormat {
  rt::Long CONTROL = 0;
  std::string OLDFORMATCOL;
  rt::Long COLUMNNO = 0;
};

class LinkHelper {
 public:
  LinkHelper() = default;
  virtual ~LinkHelper() = default;
  LinkHelper(const LinkHelper&) = delete;
  LinkHelper& operator=(const LinkHelper&) = delete;

  // ---- slots, in order
  // 0: registers a control, list column or entry.
  virtual void AddItem(int control, std::optional<std::string> address = std::nullopt,
                       std::optional<long> normal = std::nullopt, std::optional<long> bright = std::nullopt,
                       std::optional<long> style = std::nullopt, int keyCode = 0);
  // 1: binds the links to the window, looks up the browser and the mail
  // program; `checkEvent` is the event of the mouse check.
  virtual void Setup(ui::Window& window, std::optional<int> checkEvent = std::nullopt, int flag = 0);
  // 2: the mouse check, acting only on the check event.
  virtual void CheckLink();
  // 3: tests the program of one link (0: all) and applies its look again.
  virtual void CheckAllLinks(int control);
  // 4: opens URLTORUN; maximum command length -1 by the system, 0 none.
  virtual void RunUrl(long maxLength);
  // 5: the row under the mouse changed in a list link; nothing here.
  virtual void OnListRowHover(int control, int column, long row, long style);
  // 6: the links' share of every event of the window.
  virtual int TakeEvent();
  // 7: the text a click on a list link opens; the derived class gives it.
  virtual std::string Slot7(int control, int column, std::string_view first, std::string_view second) = 0;
  // 8: replaces the address of a registered control.
  virtual void SetItemAddress(int control, std::optional<std::string> address = std::nullopt);
  // 9: an anchor text for an address.
  virtual std::string ParseAnchorText(std::string_view text, std::string_view second, int mode);
  // 10: renumbers the list styles of a list's link columns.
  virtual void ApplyColours(int control, std::string_view permanent, std::string_view hover);
  // 11: colours, styles, cursor and region of one link.
  virtual void SetControlProperties(int control, bool firstTime);
  // 12: records a list's column formats.
  virtual void ControlStyle(int list, std::optional<int> flags = std::nullopt);
  // 13: registers a string or prompt control.
  virtual void AddControl(int control, std::optional<std::string> address = std::nullopt,
                          std::optional<long> normal = std::nullopt, std::optional<long> bright = std::nullopt,
                          std::optional<long> normalStyle = std::nullopt,
                          std::optional<long> brightStyle = std::nullopt);
  // 14: 1 when a program opens the address (its command in OPENPROGRAM).
  virtual rt::Byte FindProgram(std::string_view address);
  // 15: sets a link active or not; 1 when the control is registered.
  virtual rt::Byte SetItemActive(int control, rt::Byte active);
  // 16: a diagnostic line to the debugger output (switch "/LXDebug").
  virtual void Trace(std::string_view text);
  // 17: the text between the first two delimiters.
  virtual std::string TextBetween(std::string_view text, std::string_view delimiter);
  // 18: an information box "(number) text", caption followed by the number.
  virtual void ShowNumberedMessage(long number, std::string_view text, std::string_view caption);

  // Encodes URLTORUN in place for the mail program (part of RunUrl).
  void MakeEmailURLSafe();
  // The shell's text for a ShellExecuteA result of 32 or below.
  static std::string ShellErrorText(long result);

  // ---- members
  std::vector<LinkItem> ITEMQ;
  std::string HYPERBROWSER;
  std::string HYPEREMAIL;
  rt::Long HANDCURSOR = 0;  // the check event
  std::string LISTURL;
  rt::Byte INITED = 0;
  std::string URLTORUN;
  std::vector<ColumnFormat> TRACKERQ;
  std::string OPENPROGRAM;
  rt::Byte CHECKURLS = 0;
  rt::Byte ENCODEEMAILS = 0;
  rt::Long LASTFIELDSELECTED = 0;
  std::string HANDCURSORTOUSE;
  win::HKEY REGQUERYHANDLE = win::HKEY_CLASSES_ROOT;
  std::string REGSUBKEYNAME;
  rt::Long REGBUFFERSIZE = 200;
  std::string PSZVALUE;
  std::string PSZPATH;
  rt::ULong PSZBUFFER = 4096;
  rt::Long LXMODTEMPTYPE = 0;

 protected:
  ui::Window* Win() const { return window_; }
  // The entry of a control (and list column); nullptr when none.
  LinkItem* Find(int control, long column = -1);
  ui::ControlType TypeOf(int control) const;

 private:
  void LookUpPrograms();
  void ReadMailProgram(bool replaceAtStart);
  void Insert(const LinkItem& item);
  void HandleEntry(LinkItem& item, int eventControl, int event);
  void OpenLink(LinkItem& item);
  bool RegRead(const std::string& key, std::string& out);

  ui::Window* window_ = nullptr;
};

}  // namespace links
