// Shared pieces of the form library's record windows.
#include "recordwindow.h"

#include <algorithm>

#include "velmora/app/program.h"
#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"
#include "velmora/ui/keys.h"

namespace library {

using data::FileId;

ui::ControlDesc Control(ui::ControlType type, std::string use, int number, int x, int y, int width,
                        int height, std::string text, std::string picture) {
  ui::ControlDesc d;
  d.type = type;
  d.use = std::move(use);
  d.number = number;
  d.x = x;
  d.y = y;
  d.width = width;
  d.height = height;
  d.text = std::move(text);
  d.picture = std::move(picture);
  return d;
}

ui::ControlDesc ToolButton(std::string use, int number, int x, std::string text, std::string tip,
                           std::string icon) {
  ui::ControlDesc d = Control(ui::ControlType::Button, std::move(use), number, x, 0, 24, 24, std::move(text));
  d.tip = std::move(tip);
  d.icon = std::move(icon);
  return d;
}

ui::UseVar FieldVar(db::FileDecl& file, std::string_view field) {
  const int index = file.FieldIndex(field);
  if (index < 0) return {};
  const db::FieldInfo& f = file.Fields()[static_cast<size_t>(index)];
  ui::UseKind kind = ui::UseKind::None;
  switch (f.type) {
    case db::Type::Byte: kind = ui::UseKind::Byte; break;
    case db::Type::Short: kind = ui::UseKind::Short; break;
    case db::Type::Long: kind = ui::UseKind::Long; break;
    case db::Type::Real: kind = ui::UseKind::Real; break;
    case db::Type::String: kind = ui::UseKind::String; break;
    case db::Type::CString: kind = ui::UseKind::CString; break;
    default: return {};
  }
  if (!f.dims.empty() || f.offset + f.size > file.RecordLength()) return {};
  return ui::UseVar{file.Record() + f.offset, f.size, kind};
}

// ---- the shared set-up

void RecordWindow::Begin() {
  data::GlobalErrors().PushProcedure(Procedure());
  pushed_ = true;
  TakeRequest();
  ProcedureWindow::Setup();
}

bool RecordWindow::OpenPrimary(FileId file, int cancel, int ok) {
  data::Dictionary& d = data::ThisThread();
  Primary = d.Access(file);
  PrimaryRelation = d.Relate(file);
  CancelControl = cancel;
  OkControl = ok;
  primaryOpened_ = PrimaryRelation->Open() == cl::kBenign;
  return primaryOpened_;
}

bool RecordWindow::OpenRelation(FileId file) {
  if (data::ThisThread().Relate(file)->Open() != cl::kBenign) return false;
  opened_.emplace_back(file, true);
  return true;
}

bool RecordWindow::OpenFile(FileId file) {
  if (data::ThisThread().Access(file)->Open() != cl::kBenign) return false;
  opened_.emplace_back(file, false);
  return true;
}

void RecordWindow::OpenWindow(const ui::WindowDesc& desc) {
  Load(desc);
  Open();
  SetRecordCaption();
  Resizer.Setup(*this);
  RestorePosition(app::INIMgr());
}

void RecordWindow::BindFields(FileId file, std::initializer_list<FieldUse> fields) {
  db::FileDecl& record = data::ThisThread().File(file);
  bool history = false;
  for (const FieldUse& f : fields) {
    Win().Bind(f.control, FieldVar(record, f.field));
    if (!f.history) continue;
    if (!history) History.Setup(*this, ui::key::Ctrl | 'H', record);
    history = true;
    History.AddField(f.control, f.field);
  }
}

void RecordWindow::End() {
  if (Loaded() && Win().IsOpen()) SavePosition(app::INIMgr());
  ProcedureWindow::Teardown();
  if (primaryOpened_) PrimaryRelation->Close();
  data::Dictionary& d = data::ThisThread();
  for (auto it = opened_.rbegin(); it != opened_.rend(); ++it)
    if (it->second) d.Relate(it->first)->Close();
    else d.Access(it->first)->Close();
  opened_.clear();
  if (pushed_) data::GlobalErrors().PopProcedure();
}

// ---- side instances

SideFile::SideFile(FileId id) : file_(data::ThisThread().File(id).Clone()) {
  db::HookedOpen(*file_, db::kReadWrite | db::kDenyNone);
  ok_ = rt::ErrorCode() == 0;
}

SideFile::~SideFile() {
  if (ok_) db::Close(*file_);
}

bool SideFile::Scan(std::string_view key, const std::function<void()>& start, const std::function<bool()>& same,
                    const std::function<void(const std::string&)>& each) {
  if (!ok_) return false;
  file_->ClearRecord();
  start();
  db::SetFromRecord(*file_, Key(key));
  if (rt::ErrorCode()) return false;
  for (;;) {
    db::Next(*file_);
    if (rt::ErrorCode() == rt::kRecordNotAvailable) return true;  // end of file
    if (rt::ErrorCode()) return false;
    if (!same()) return true;
    each(db::Position(*file_));
  }
}

bool CollectFormRecords(rt::Long form, FormRecords& out) {
  out = {};
  SideFile pages(FileId::FormPages), controls(FileId::PageControls), values(FileId::FieldValues);
  auto& p = pages.Buffer<data::FormPagesRecord>();
  auto& c = controls.Buffer<data::PageControlsRecord>();
  auto& v = values.Buffer<data::FieldValuesRecord>();
  return pages.Scan(
             "FOR1:FormID_Key", [&] { p.FORMID = form, p.PAGENO = -32768; }, [&] { return p.FORMID == form; },
             [&](const std::string& pos) { out.pages.push_back(pos); }) &&
         controls.Scan(
             "PAG:FormID_Key", [&] { c.FORMID = form, c.PAGENO = -32768, c.CONTROLUNIQUEID = INT32_MIN; },
             [&] { return c.FORMID == form; }, [&](const std::string& pos) { out.controls.push_back(pos); }) &&
         values.Scan(
             "FIE:Number_Key", [&] { v.FORMID = form, v.CONTROLID = INT32_MIN, v.VALUENUMBER = -32768; },
             [&] { return v.FORMID == form; }, [&](const std::string& pos) { out.values.push_back(pos); });
}

FormRecords Without(const FormRecords& now, const FormRecords& before) {
  auto minus = [](const std::vector<std::string>& a, const std::vector<std::string>& b) {
    std::vector<std::string> out;
    for (const std::string& s : a)
      if (std::find(b.begin(), b.end(), s) == b.end()) out.push_back(s);
    return out;
  };
  return {minus(now.pages, before.pages), minus(now.controls, before.controls), minus(now.values, before.values)};
}

namespace {

// Deletes the records at `positions` of each side file in one transaction.
bool DeleteAll(std::vector<std::pair<SideFile*, const std::vector<std::string>*>> sets) {
  std::vector<db::FileDecl*> files;
  for (auto& [file, positions] : sets) {
    if (!file->Ok()) return false;
    if (!positions->empty()) files.push_back(&file->File());
  }
  if (files.empty()) return true;
  db::Logout(2, files);
  if (rt::ErrorCode()) return false;
  for (auto& [file, positions] : sets) {
    for (const std::string& pos : *positions) {
      db::Reget(file->File(), pos);
      if (rt::ErrorCode() == 0) db::Delete(file->File());
      // a record already gone counts as deleted
      if (rt::ErrorCode() && rt::ErrorCode() != rt::kRecordNotFound &&
          rt::ErrorCode() != rt::kRecordNotAvailable) {
        db::Rollback();
        return false;
      }
    }
  }
  db::Commit();
  return rt::ErrorCode() == 0;
}

}  // namespace

bool DeleteFormRecords(const FormRecords& records) {
  SideFile pages(FileId::FormPages), controls(FileId::PageControls), values(FileId::FieldValues);
  return DeleteAll({{&pages, &records.pages}, {&controls, &records.controls}, {&values, &records.values}});
}

bool DeleteDataSetValues(rt::Long dataSet) {
  SideFile values(FileId::FilledData);
  auto& v = values.Buffer<data::FilledDataRecord>();
  std::vector<std::string> positions;
  if (!values.Scan(
          "FIL1:FiledForm_key", [&] { v.ID = dataSet, v.PAGENO = -32768, v.CONTROLID = INT32_MIN; },
          [&] { return v.ID == dataSet; }, [&](const std::string& pos) { positions.push_back(pos); }))
    return false;
  return DeleteAll({{&values, &positions}});
}

}  // namespace library
