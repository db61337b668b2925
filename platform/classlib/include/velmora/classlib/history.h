#pragma once
// FieldHistory: the history key of a record window. The window keeps a copy
// of its record; the history key pressed on one of the listed fields puts
// that field's value back from the copy, and only that field's.
//
// What the copy holds: for a change or a view, the record as the window
// read it (the key undoes the edits of one field); for an insert, the last
// record of the same file that a record window saved on this thread (the
// key repeats a value of the record entered before), or the prepared
// record when none was saved yet. Every save by a record window of the
// file makes the record as written the thread's copy for the next insert.
#include <cstdint>
#include <functional>
#include <map>
#include <string_view>
#include <vector>

#include "velmora/classlib/window.h"
#include "velmora/files/decl.h"

namespace cl {

class FieldHistory : public WindowComponent {
 public:
  // `key`: the history key; `file`: the record whose copy is kept. Takes
  // the copy for the window's request (call it once the record is read
  // or prepared) and registers with the window.
  void Setup(ProcedureWindow& window, int key, db::FileDecl& file);
  // `control` shows `field` of the record ("FOR:FORMNAME"); the key is
  // alerted on it. False when the record has no such field.
  bool AddField(int control, std::string_view field);
  // Puts the field of `control` back from the copy and shows it; false
  // when the control is not listed or cannot be edited.
  bool Restore(int control);

  int TakeEvent(ProcedureWindow& window) override;
  void RecordSaved(ProcedureWindow& window) override;

  // What the window does after a field was put back (the control).
  std::function<void(int)> Restored;

 private:
  struct Span {
    uint32_t offset = 0, size = 0;
  };
  ProcedureWindow* window_ = nullptr;
  db::FileDecl* file_ = nullptr;
  int key_ = 0;
  std::vector<uint8_t> copy_;
  std::map<int, Span> fields_;
};

}  // namespace cl
