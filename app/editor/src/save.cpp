// "Exit and Save": the field definitions back to PageControls, the values
// of a data set to FilledData, and the offer to keep values typed while
// designing as a new data set.
#include <map>
#include <set>
#include <utility>

#include "editor_internal.h"
#include "velmora/data/dictionary.h"
#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/numbers.h"
#include "velmora/ui/dialogs.h"

namespace editor {

using data::FileId;
using ui::Prop;

namespace {

// The files written in one batch.
constexpr FileId kBatch[] = {FileId::PageControls, FileId::FilledData, FileId::FormPages,
                             FileId::Forms,        FileId::FilledForm, FileId::FieldValues};

bool AnyValue(const FormControls& q) {
  for (long i = 1; i <= q.Count(); ++i)
    if (!rt::Clip(q.At(i).Value()).empty()) return true;
  return false;
}

bool AskSaveData() {
  return ui::Message("Do you want to save your data?", "Velmora", ui::icon::Question,
                     ui::button::Yes | ui::button::No, ui::button::Yes) == ui::button::Yes;
}

}  // namespace

void FormEditor::ExitAndSave() {
  ui::SetCursor(ui::cursor::Wait);
  data::Dictionary& d = data::ThisThread();
  if (FormId == 0) {  // an empty editor has nothing to save
    ui::SetCursor(ui::cursor::Arrow);
    leaving_ = true;
    Win().Post(ui::ev::CloseWindow);
    return;
  }
  TakeFieldValues();
  cl::FileManager* controls = d.Access(FileId::PageControls);
  const int formKey = controls->KeyNumber("PAG:FormID_Key");

  // Fields deleted in the editor lose their records: those whose page and
  // unique number no queue entry has (looked up in a set of them).
  std::set<std::pair<Short, Long>> kept;
  for (long i = 1; i <= Queue.Count(); ++i) kept.emplace(Queue.At(i).FORMPAGE, Queue.At(i).CTLID);
  d.File(FileId::PageControls).ClearRecord();
  d.PAG.FORMID = FormId;
  std::vector<std::string> gone;
  controls->SetKeyFromRecord(formKey);
  while (controls->TryNext() == cl::kBenign && d.PAG.FORMID == FormId) {
    const Short page = d.PAG.PAGENO;
    const Long id = d.PAG.CONTROLUNIQUEID;
    Win().Set(0, Prop::StatusText, "Processing Field: " + std::to_string(id), 1);
    if (!kept.count({page, id})) gone.push_back(controls->Position());
  }
  for (const std::string& position : gone)
    if (controls->TryReget(position) == cl::kBenign) controls->TryDelete();

  // Values typed while designing may become a data set.
  if (PdfOpened) {
    if (AnyValue(Queue)) {
      if (AskSaveData()) {
        cl::ThreadRequest() = cl::request::Change;
        d.FIL.ID = DataSetId;
        d.Access(FileId::FilledForm)->TryFetch(d.Access(FileId::FilledForm)->KeyNumber("FIL:ID_Key"));
        d.FIL.FORMID = d.FOR.ID;
        ui::SetCursor(ui::cursor::Arrow);
        const int response = Calls().updateFilledForm(*this);
        ui::SetCursor(ui::cursor::Wait);
        Mode = response == cl::response::Completed ? "2" : "3";
      } else {
        Mode = "3";
      }
    }
  }
  if (Mode == "1" && AnyValue(Queue) && AskSaveData()) {
    cl::ThreadRequest() = cl::request::Insert;
    d.Access(FileId::FilledForm)->PrimeRecord();
    d.FIL.FORMID = FormId;
    d.FIL.FILLEDFORMNAME = "";
    const int response = Calls().updateFilledForm(*this);
    if (response == cl::response::Completed) {
      Mode = "2";
      DataSetId = d.FIL.ID;
    } else {
      Mode = "3";
    }
  }

  Win().Update();
  if (SaveRecords()) {
    ui::SetCursor(ui::cursor::Arrow);
    leaving_ = true;
    Win().Post(ui::ev::CloseWindow);
    return;
  }
  ui::SetCursor(ui::cursor::Arrow);
  std::string names;
  for (const std::string& n : unsaved_) names += "|" + n;
  ui::Message("These fields could not be saved:" + names + "|The editor stays open with your work.",
              "Velmora", ui::icon::Exclamation, ui::button::Ok);
}

bool FormEditor::SaveRecords() {
  data::Dictionary& d = data::ThisThread();
  unsaved_.clear();
  cl::FileManager* controls = d.Access(FileId::PageControls);
  cl::FileManager* values = d.Access(FileId::FilledData);
  const int formKey = controls->KeyNumber("PAG:FormID_Key");
  const int valueKey = values->KeyNumber("FIL1:FiledForm_key");

  // The page boxes of the pages, for the PDF rectangles of new fields.
  std::map<Short, data::FormPagesRecord> pages;
  {
    cl::FileManager* fm = d.Access(FileId::FormPages);
    const cl::FileManager::Snapshot saved = fm->Snap();
    for (long i = 1; i <= Queue.Count(); ++i) {
      const Short page = Queue.At(i).FORMPAGE;
      if (!Queue.At(i).CREATEDATRUNTIME || pages.count(page)) continue;
      d.FOR1.FORMID = FormId;
      d.FOR1.PAGENO = page;
      if (fm->TryFetch(fm->KeyNumber("FOR1:FormID_Key")) == cl::kBenign) pages[page] = d.FOR1;
    }
    fm->Restore(saved);
  }

  for (FileId id : kBatch) db::Stream(d.File(id));
  for (long i = 1; i <= Queue.Count(); ++i) {
    const FormControl& e = Queue.At(i);
    bool saved = true;
    // the record of the entry's key; a cleared one with the key when none
    auto pagKey = [&] {
      d.File(FileId::PageControls).ClearRecord();
      d.PAG.FORMID = FormId;
      d.PAG.PAGENO = e.FORMPAGE;
      d.PAG.CONTROLUNIQUEID = e.CTLID;
    };
    pagKey();
    const bool found = controls->TryFetch(formKey) == cl::kBenign;
    if (!found) pagKey();
    auto& pag = d.PAG;
    pag.CONTROLFEQ = static_cast<Short>(e.CTLNO);
    pag.CONTROLTYPE = e.CTLTYPE;
    pag.CONTROLX = e.CTLX;
    pag.CONTROLY = e.CTLY;
    pag.CONTROLWIDTH = e.CTLW;
    pag.CONTROLHEIGHT = e.CTLH;
    pag.CONTROLFONTNAME = Win().Get(e.CTLNO, Prop::FontName);
    pag.CONTROLFONTHEIGHT = e.FONTSIZE;
    pag.CONTROLFONTBOLD = e.FONTBOLD;
    pag.CONTROLFONTITALIC = e.FONTIT;
    pag.CONTROLFONTUNDERLINE = e.FONTUL;
    pag.CONTROLFONTSTRIKE = e.FONTSTRIKE;
    pag.CONTROLPICTURE = e.PICTURE.View();
    pag.CONTROLFLAT = e.FLAT;
    pag.CONTROLTRANSPARENT = e.TRANSPARENT;
    pag.CONTROLBOXED = e.BOXED;
    pag.CONTROLNAME = e.NAME.View();
    pag.CONTROLALIGNMENT = static_cast<Byte>(rt::TextToLong(e.ALIGN.View()));
    pag.CONTROLTABORDER = e.TABORDER;
    pag.PDFISMULTILINE = e.VSCROLL;
    pag.FILEDWASCREATEDATRUNTIME = e.CREATEDATRUNTIME;
    pag.PDFFIELDBACKGROUNDCOLOR = e.PDFFIELDBACKGROUNDCOLOR;
    pag.PDFFIELDTEXTCOLOR = e.PDFFIELDTEXTCOLOR;
    pag.PDFFIELDROTATION = e.PDFFIELDROTATION;
    pag.HASBORDER = e.HASBORDER;
    pag.PDFBORDERCOLOR = e.PDFBORDERCOLOR;
    pag.BORDERSTYLE = e.BORDERSTYLE;
    pag.BORDERWIDTH = e.BORDERWIDTH;
    pag.DASHON = e.DASHON;
    pag.DASHOFF = e.DASHOFF;
    // A field the PDF does not have is stored as what it is: its kind,
    // its name as the PDF name and its rectangle in points.
    if (e.CREATEDATRUNTIME) {
      pag.PDFFIELDTYPE = e.PDFFIELDTYPE;
      pag.PDFFIELDNAME = e.NAME.View();
      pag.IMPORTEDFIELD = e.IMPORTEDFIELD;
      PdfRect r{e.PDFX, e.PDFY, e.PDFW, e.PDFH};
      if (!e.IMPORTEDFIELD) {
        auto it = pages.find(e.FORMPAGE);
        const data::FormPagesRecord page = it == pages.end() ? data::FormPagesRecord{} : it->second;
        r = ToPoints({e.CTLX, e.CTLY, e.CTLW, e.CTLH}, LogPixelsX, LogPixelsY, page.PAGEHEIGHT, page.XOFFSET,
                     page.YOFFSET);
      }
      pag.PDFX = r.left;
      pag.PDFY = r.top;
      pag.PDFWIDTH = r.width;
      pag.PDFHEIGHT = r.height;
    }
    Win().Set(0, Prop::StatusText,
              "Saving Data for the Field: " + std::to_string(e.CTLID) + " Page: " + std::to_string(e.FORMPAGE), 1);
    saved = (found ? controls->TryUpdate() : controls->TryInsert()) == cl::kBenign;
    if (Mode == "2") {
      auto valueKeyOf = [&] {
        d.File(FileId::FilledData).ClearRecord();
        d.FIL1.ID = DataSetId;
        d.FIL1.PAGENO = e.FORMPAGE;
        d.FIL1.CONTROLID = e.CTLID;
      };
      valueKeyOf();
      const bool has = values->TryFetch(valueKey) == cl::kBenign;
      if (!has) valueKeyOf();
      if (e.CTLTYPE == kRegionCheck) {
        d.FIL1.ISCHECKBOX = 1;
        d.FIL1.VALUE = e.CHECKED ? "Checked" : "";
      } else {
        d.FIL1.VALUE = e.Value();
      }
      saved = (has ? values->TryUpdate() : values->TryInsert()) == cl::kBenign && saved;
    }
    if (!saved) unsaved_.push_back(rt::Clip(e.NAME.View()) + " (page " + std::to_string(e.FORMPAGE) + ")");
  }
  bool flushed = true;
  for (FileId id : kBatch) {
    db::Flush(d.File(id));
    flushed = flushed && rt::ErrorCode() == 0;
  }
  if (!flushed && unsaved_.empty())
    for (long i = 1; i <= Queue.Count(); ++i)
      unsaved_.push_back(rt::Clip(Queue.At(i).NAME.View()) + " (page " + std::to_string(Queue.At(i).FORMPAGE) + ")");
  return unsaved_.empty();
}

}  // namespace editor
