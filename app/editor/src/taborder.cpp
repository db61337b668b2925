// The tab order editor "Tab Order": the fields of the shown page in their
// tab order; the user moves one up or down, and OK renumbers the page's
// fields in the queue and puts their controls in that keyboard order.
#include <string>

#include "tool_window.h"
#include "editor_internal.h"
#include "velmora/data/dictionary.h"
#include "velmora/runtime/queue.h"
#include "velmora/ui/queue_rows.h"

namespace editor {

using ui::ControlDesc;
using ui::ControlType;
using ui::Prop;

namespace {

// One field of the page.
struct TabRow {
  rt::String<32> CONTROLNAME;
  Short TABORDER = 0;
  Short CTLNO = 0;
};

enum : int {
  kOk = 1, kCancel, kHelp, kPrompt1, kPageNo, kList1, kMoveDown, kMoveUp, kButtonCancel, kButtonOk,
};

ControlDesc ToolButton(std::string use, int number, int x, std::string text, std::string tip) {
  ControlDesc d = Ctl(ControlType::Button, std::move(use), number, x, 0, 24, 24, std::move(text));
  d.tip = std::move(tip);
  return d;
}

ui::WindowDesc TabOrderDesc() {
  ui::WindowDesc w;
  w.caption = "Tab Order";
  w.width = 250;
  w.height = 200;
  w.toolbar = {ToolButton("?OK", kOk, 0, "OK", "Accept data and close the window"),
               ToolButton("?CANCEL", kCancel, 24, "Cancel", "Exit without Save"),
               ui::Hidden(ToolButton("?HELP", kHelp, 48, "?", "See Help Window"))};
  ControlDesc page = Ctl(ControlType::Entry, "?FOR1:PAGENO", kPageNo, 44, 6, 24, 12, {});
  page.readOnly = true;
  page.picture = "@n3";
  ControlDesc list = Ctl(ControlType::List, "?LIST1", kList1, 8, 24, 178, 150, {});
  list.format = "128L(2)|M~Control Name~@s32@39L(2)|M~Tab Order~@n3@";
  w.controls = {
      Ctl(ControlType::Prompt, "?PROMPT1", kPrompt1, 8, 8, 34, 10, "Page No:"),
      page,
      list,
      Ctl(ControlType::Button, "?MOVEDOWN", kMoveDown, 192, 60, 48, 14, "Move Down"),
      Ctl(ControlType::Button, "?MOVEUP", kMoveUp, 192, 42, 48, 14, "Move Up"),
      Ctl(ControlType::Button, "?BUTTONCANCEL", kButtonCancel, 192, 178, 48, 14, "&Cancel"),
      Ctl(ControlType::Button, "?BUTTONOK", kButtonOk, 138, 178, 48, 14, "&OK"),
  };
  return w;
}

class TabOrderEditorWindow : public ToolWindow {
 public:
  explicit TabOrderEditorWindow(FormEditor& editor) : ToolWindow("TabOrderEditor"), ed_(editor) {}

  int Setup() override {
    BeginSetup();
    page_ = data::ThisThread().FOR1.PAGENO;
    rows_.Free();
    for (long i = 1; i <= ed_.Queue.Count(); ++i) {
      const FormControl& e = ed_.Queue.At(i);
      if (e.FORMPAGE != page_) continue;
      rows_.ClearBuffer();
      rows_->CONTROLNAME = First(e.NAME.View(), 32);
      rows_->TABORDER = e.TABORDER;
      rows_->CTLNO = static_cast<Short>(e.CTLNO);
      rows_.Add();
    }
    rows_.Sort(&TabRow::TABORDER);
    changes_ = 0;
    Load(TabOrderDesc());
    Win().Bind(kPageNo, ui::UseVar::Of(page_));
    Win().SetRows(kList1, &shown_);
    Open();
    RestorePosition(app::INIMgr());
    SetMoveButtons();
    Win().Display();
    return cl::kBenign;
  }

  int OnAccepted() override {
    switch (Win().Field()) {
      case kMoveDown: Move(+1); break;
      case kMoveUp: Move(-1); break;
      case kOk: case kButtonOk:
        if (changes_) Apply();
        Win().Post(ui::ev::CloseWindow);
        break;
      case kCancel: case kButtonCancel: Win().Post(ui::ev::CloseWindow); break;
      default: break;
    }
    return ProcedureWindow::OnAccepted();
  }

  int OnNewSelection() override {
    if (Win().Field() == kList1) SetMoveButtons();
    return ProcedureWindow::OnNewSelection();
  }

 private:
  long Chosen() const { return Win().GetLong(kList1, Prop::Selected); }

  // Up is off on the first row, down on the last; both without rows.
  void SetMoveButtons() {
    ui::Window& w = Win();
    const long count = rows_.Count();
    if (count == 0) {
      w.Disable(kMoveUp);
      w.Disable(kMoveDown);
      return;
    }
    if (Chosen() < 1 || Chosen() > count) w.Set(kList1, Prop::Selected, 1L);
    const long p = Chosen();
    p == 1 ? w.Disable(kMoveUp) : w.Enable(kMoveUp);
    p == count ? w.Disable(kMoveDown) : w.Enable(kMoveDown);
  }

  // The chosen row changes places with its neighbour; the two exchange
  // their tab orders.
  void Move(int direction) {
    const long p = Chosen(), to = p + direction;
    if (p < 1 || p > rows_.Count() || to < 1 || to > rows_.Count()) return;
    rows_.Get(p);
    TabRow moved = rows_.Buffer();
    rows_.Delete();
    rows_.Get(direction > 0 ? p : to);  // the row it passes
    const Short passed = rows_->TABORDER;
    rows_->TABORDER = moved.TABORDER;
    rows_.Put();
    moved.TABORDER = passed;
    rows_.Buffer() = moved;
    rows_.AddAt(to);
    ++changes_;
    Win().Set(kList1, Prop::Selected, to);
    SetMoveButtons();
    Win().Display();
  }

  // The queue's entries take the rows' tab orders, and their controls
  // follow one another in the rows' order, the first after the last.
  void Apply() {
    // Fields that shared a tab order could not change places by
    // exchanging it: the list's order is what the user chose, so such a
    // page is numbered from 1 in that order.
    bool rising = true;
    for (long i = 2; i <= rows_.Count(); ++i) rising = rising && rows_.At(i).TABORDER > rows_.At(i - 1).TABORDER;
    for (long i = 1; i <= rows_.Count() && !rising; ++i) {
      rows_.Get(i);
      rows_->TABORDER = static_cast<Short>(i);
      rows_.Put();
    }
    rows_.Sort(&TabRow::TABORDER);
    ui::Window& owner = ed_.Win();
    const long count = rows_.Count();
    for (long i = 1; i <= count; ++i) {
      const TabRow& row = rows_.At(i);
      const long position = ed_.FindControl(row.CTLNO);
      if (!position) continue;
      ed_.Queue.Get(position);
      ed_.Queue->TABORDER = row.TABORDER;
      const Short before = rows_.At(i == 1 ? count : i - 1).CTLNO;
      owner.Set(row.CTLNO, Prop::Follows, static_cast<long>(before));
      ed_.Queue.Put();
    }
  }

  FormEditor& ed_;
  rt::Queue<TabRow> rows_;
  ui::QueueRows<TabRow> shown_{rows_, &TabRow::CONTROLNAME, &TabRow::TABORDER, &TabRow::CTLNO};
  Short page_ = 0;
  long changes_ = 0;
};

}  // namespace

void FormEditor::TabOrderEditor() {
  TabOrderEditorWindow dialog(*this);
  dialog.RunWindow();
}

}  // namespace editor
