// The history key of record windows: a field's value put back from a copy
// of the record.
#include "velmora/classlib/history.h"

#include <cstring>
#include <string>

#include "velmora/runtime/threads.h"
#include "velmora/ui/events.h"

namespace cl {
namespace {

// The last record each file's record windows saved on this thread, by the
// file's label.
rt::ThreadLocal<std::map<std::string, std::vector<uint8_t>>> gSaved;

std::vector<uint8_t> RecordOf(const db::FileDecl& file) {
  return std::vector<uint8_t>(file.Record(), file.Record() + file.RecordLength());
}

}  // namespace

void FieldHistory::Setup(ProcedureWindow& window, int key, db::FileDecl& file) {
  window_ = &window;
  file_ = &file;
  key_ = key;
  fields_.clear();
  copy_ = RecordOf(file);
  if (window.Request == request::Insert) {
    auto it = gSaved->find(file.Label());
    if (it != gSaved->end() && it->second.size() == copy_.size()) copy_ = it->second;
  }
  window.AddComponent(this);
}

bool FieldHistory::AddField(int control, std::string_view field) {
  if (!file_ || !window_) return false;
  const int index = file_->FieldIndex(field);
  if (index < 0) return false;
  const db::FieldInfo& f = file_->Fields()[static_cast<size_t>(index)];
  const uint32_t bytes = f.Bytes();
  if (bytes == 0 || f.offset > file_->RecordLength() || bytes > file_->RecordLength() - f.offset) return false;
  fields_[control] = Span{f.offset, bytes};
  if (window_->Loaded()) window_->Win().Alert(control, key_);
  return true;
}

bool FieldHistory::Restore(int control) {
  auto it = fields_.find(control);
  if (it == fields_.end() || !window_ || !window_->Loaded()) return false;
  ui::Window& w = window_->Win();
  if (w.GetLong(control, ui::Prop::ReadOnly) || w.GetLong(control, ui::Prop::Disable)) return false;
  std::memcpy(file_->Record() + it->second.offset, copy_.data() + it->second.offset, it->second.size);
  w.Display(control);
  if (Restored) Restored(control);
  return true;
}

int FieldHistory::TakeEvent(ProcedureWindow& window) {
  ui::Window& w = window.Win();
  if (w.EventNo() == ui::ev::AlertKey && w.Keycode() == key_ && fields_.count(w.Field())) {
    Restore(w.Field());
    return kNotify;
  }
  return kBenign;
}

void FieldHistory::RecordSaved(ProcedureWindow&) {
  if (file_) (*gSaved)[file_->Label()] = RecordOf(*file_);
}

}  // namespace cl
