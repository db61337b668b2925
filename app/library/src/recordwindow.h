// What the form library's record windows share: controls from their
// tables, use variables on the packed record buffers, and side reads and
// deletes that leave the thread's record buffers alone.
#pragma once

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <string_view>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "velmora/classlib/history.h"
#include "velmora/classlib/resizer.h"
#include "velmora/classlib/window.h"
#include "velmora/data/dictionary.h"
#include "velmora/ui/desc.h"
#include "velmora/ui/use.h"

namespace library {

// A control at x, y with its size, in dialog units.
ui::ControlDesc Control(ui::ControlType type, std::string use, int number, int x, int y, int width,
                        int height, std::string text = {}, std::string picture = {});
// A toolbar button, 24 by 24.
ui::ControlDesc ToolButton(std::string use, int number, int x, std::string text, std::string tip,
                           std::string icon = {});

// A use variable on a declared field ("FIL:ID") of a file's record buffer;
// unbound when the file has no such field of a type a control can show.
ui::UseVar FieldVar(db::FileDecl& file, std::string_view field);

// A control that shows a field of a record; `history`: the field takes
// part in the history key.
struct FieldUse {
  int control = 0;
  const char* field = "";
  bool history = true;
};

// The set-up and tear-down every record window of the library shares.
class RecordWindow : public cl::ProcedureWindow {
 public:
  using ProcedureWindow::ProcedureWindow;

 protected:
  // The procedure name on the error manager's stack, the request taken
  // from ThreadRequest, the base set-up.
  void Begin();
  // `file` becomes the file to update, with its relation manager opened
  // for the window's lifetime; `cancel` closes with response 2 and `ok`
  // completes the request. False when the relation could not be opened.
  bool OpenPrimary(data::FileId file, int cancel, int ok);
  // A relation manager (with its related files), or a file alone, opened
  // for the window's lifetime; End closes them after the primary, in the
  // reverse order. False when it could not be opened.
  bool OpenRelation(data::FileId file);
  bool OpenFile(data::FileId file);
  // Loads and opens the window with the caption of its request; the
  // resizer is attached and the position saved under the procedure name
  // restored.
  void OpenWindow(const ui::WindowDesc& desc);
  // Binds each control to its field of `file`'s record buffer. The fields
  // marked take part in the history key Ctrl+H, with a copy of the record
  // as the request has it now (one file per window).
  void BindFields(data::FileId file, std::initializer_list<FieldUse> fields);

  cl::WindowResizer Resizer;
  cl::FieldHistory History;
  // Saves the position, runs the base tear-down, closes the primary
  // relation and takes the procedure name off the stack.
  void End();

 private:
  bool pushed_ = false, primaryOpened_ = false;
  std::vector<std::pair<data::FileId, bool>> opened_;  // file, as a relation
};

// A second instance of one of the thread's data files, opened for its own
// reads and deletes, so the thread's record buffers and current records
// stay as they are.
class SideFile {
 public:
  explicit SideFile(data::FileId id);
  ~SideFile();
  SideFile(const SideFile&) = delete;
  SideFile& operator=(const SideFile&) = delete;

  bool Ok() const { return ok_; }
  db::FileDecl& File() { return *file_; }
  template <class Rec>
  Rec& Buffer() {
    return *reinterpret_cast<Rec*>(file_->Record());
  }
  int Key(std::string_view label) const { return file_->KeyIndex(label) + 1; }
  // Reads from the key value `start` put in the cleared buffer, in key
  // order, while `same` holds for the record read; `each` sees every one
  // with its position. False on a read error other than the end of file.
  bool Scan(std::string_view key, const std::function<void()>& start, const std::function<bool()>& same,
            const std::function<void(const std::string& position)>& each);

 private:
  std::unique_ptr<db::FileDecl> file_;
  bool ok_ = false;
};

// The positions of a form's pages, controls and option values.
struct FormRecords {
  std::vector<std::string> pages, controls, values;
  bool operator==(const FormRecords&) const = default;
};
// Reads them; false when a file could not be read.
bool CollectFormRecords(rt::Long form, FormRecords& out);
// The records of `now` that are not in `before`.
FormRecords Without(const FormRecords& now, const FormRecords& before);
// Deletes the records at these positions, without cascade, in one
// transaction; false (nothing deleted) when it failed.
bool DeleteFormRecords(const FormRecords& records);

// Deletes the values (FilledData) stored under a data set number.
bool DeleteDataSetValues(rt::Long dataSet);

}  // namespace library
