// Values from outside into the fields: from the form fields of a PDF file
// (by field number) and from an FDF file (by field name). They go into the
// control queue only; Exit and Save writes them.
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "editor_internal.h"
#include "velmora/pdf/pdf.h"
#include "velmora/runtime/text.h"
#include "velmora/ui/dialogs.h"

namespace editor {

using data::FileId;
using ui::Prop;

namespace {

bool IsOff(const std::string& value) { return rt::Upper(rt::Clip(value)) == "OFF"; }

// Whether a check box's value names one of its on states (any case).
bool NamesOnState(const std::string& value, const std::vector<std::string>& onStates) {
  const std::string v = rt::Upper(rt::Clip(value));
  return std::any_of(onStates.begin(), onStates.end(),
                     [&](const std::string& s) { return !rt::Clip(s).empty() && rt::Upper(rt::Clip(s)) == v; });
}

// Selects button `button` among the radio buttons at `positions` of the
// queue and clears the others (0 clears them all).
void SetButtons(FormEditor& ed, const std::vector<long>& positions, Short button) {
  for (long i : positions) {
    ed.Queue.Get(i);
    FormControl& e = ed.Queue.Buffer();
    const bool on = button > 0 && e.RADIOBUTTONNUMBER == button;
    e.SetValue(on ? "x" : "");
    e.CHECKED = on ? 1 : 0;
    ed.Win().Set(e.CTLNO, Prop::Color, on ? ed.SelectedRadioFieldColor : ed.RadioFieldColor);
    ed.Queue.Put();
  }
}

// The queue's entries by PDF field number, made once for an import that
// looks up every field (the queue keeps its order meanwhile): the radio
// buttons of each group, and the other entries.
struct ByFieldNumber {
  explicit ByFieldNumber(const FormControls& q) {
    for (long i = 1; i <= q.Count(); ++i)
      (q.At(i).RADIOBUTTONNUMBER > 0 ? buttons : others)[q.At(i).PDFFIELDNUMBER].push_back(i);
  }
  static const std::vector<long>& Of(const std::map<Short, std::vector<long>>& m, Short field) {
    static const std::vector<long> none;
    auto it = m.find(field);
    return it == m.end() ? none : it->second;
  }
  std::map<Short, std::vector<long>> buttons, others;
};

}  // namespace

void FormEditor::SetRadioGroup(Short group, Short button) {
  std::vector<long> positions;
  for (long i = 1; i <= Queue.Count(); ++i)
    if (Queue.At(i).PDFFIELDNUMBER == group && Queue.At(i).RADIOBUTTONNUMBER > 0) positions.push_back(i);
  SetButtons(*this, positions, button);
}

Short FormEditor::RadioButtonOf(Short group, const std::string& value) {
  const std::string clipped = rt::Clip(value);
  data::Dictionary& d = data::ThisThread();
  cl::FileManager* values = d.Access(FileId::FieldValues);
  // a value longer than the stored ones names none of them
  if (clipped.empty() || clipped.size() >= sizeof d.FIE.CONTROLVALUE) return 0;
  const cl::FileManager::Snapshot saved = values->Snap();
  d.File(FileId::FieldValues).ClearRecord();
  d.FIE.FORMID = FormId;
  d.FIE.CONTROLID = group;
  d.FIE.CONTROLVALUE = clipped;
  Short button = 0;
  if (values->TryFetch(values->KeyNumber("FIE:Value_Key")) == cl::kBenign && d.FIE.RADIOBUTTONNUMBER > 0)
    button = d.FIE.RADIOBUTTONNUMBER;
  values->Restore(saved);
  return button;
}

// ---- from a PDF file

void FormEditor::ImportDataFromPdf() {
  TakeFieldValues();
  const std::string name = ChooseFile("Select PDF File", "Adobe PDF | *.pdf");
  if (name.empty()) return;
  PdfFileName = name;
  if (PdfFileName.find('.') == std::string::npos) PdfFileName += ".pdf";
  LoadDataFromPdf();
}

void FormEditor::LoadDataFromPdf() {
  const int document = iSEDLoadFromFile(PdfFileName);
  if (!document) return;  // a PDF that does not load gives no values
  if (iSEDEncrypted()) iSEDUnencrypt();
  const ByFieldNumber index(Queue);
  const int count = iSEDFormFieldCount();
  for (int i = 1; i <= count; ++i) {
    const std::string value = iSEDGetFormFieldValue(i);
    if (rt::Clip(value).empty()) continue;
    const Short field = static_cast<Short>(i);
    const int type = iSEDGetFormFieldType(i);
    if (type == kPdfRadio) {
      // the one button whose export value the group names, or none for Off;
      // a value the form does not know changes nothing
      const std::vector<long>& group = ByFieldNumber::Of(index.buttons, field);
      if (IsOff(value)) {
        SetButtons(*this, group, 0);
      } else if (const Short button = RadioButtonOf(field, value)) {
        SetButtons(*this, group, button);
      }
      continue;
    }
    std::string shown = First(value, 255);
    if (type == kPdfCheckBox) {
      std::vector<std::string> onStates;
      for (int k = 1, n = iSEDGetFormFieldSubCount(i); k <= n; ++k) onStates.push_back(iSEDGetFormFieldSubName(i, k));
      if (NamesOnState(value, onStates))
        shown = "T";
      else if (IsOff(value))
        shown = "F";
      else
        continue;  // a value that names none of its states
    }
    for (long q : ByFieldNumber::Of(index.others, field)) Queue.At(q).SetValue(shown);
  }
  Win().Display();
  iSEDRemoveDocument(iSEDSelectedDocument());
}

// ---- from an FDF file

void FormEditor::ImportDataFromFdf() {
  const std::string name = ChooseFile("Select FDF File", "Form Definition File | *.fdf");
  if (name.empty()) return;
  TakeFieldValues();
  Fdf.Parse(name, FdfQueue);
  if (!Fdf.Problem().empty()) {
    ui::Message(Fdf.Problem(), "Velmora", ui::icon::Exclamation);
    return;
  }
  data::Dictionary& d = data::ThisThread();
  // The entries by upper-case PDF name, in queue order, and the radio
  // buttons by group: made once, so that every pair costs a lookup.
  std::map<std::string, std::vector<long>> byName;
  for (long q = 1; q <= Queue.Count(); ++q) byName[rt::Clip(Queue.At(q).PDFFIELDNAMEUPPER.View())].push_back(q);
  const ByFieldNumber index(Queue);
  for (long p = 1; p <= FdfQueue.Count(); ++p) {
    const std::string name = rt::Upper(FdfQueue.At(p).TEG.Clip());
    const std::string value = FdfQueue.At(p).VAL.Clip();
    // a field without a name in the file names no field of the form
    if (name.empty()) continue;
    auto named = byName.find(name);
    if (named == byName.end()) continue;
    std::vector<Short> groupsDone;
    for (long q : named->second) {
      Queue.Get(q);
      FormControl& e = Queue.Buffer();
      if (e.RADIOBUTTONNUMBER > 0) {
        if (std::find(groupsDone.begin(), groupsDone.end(), e.PDFFIELDNUMBER) != groupsDone.end()) continue;
        groupsDone.push_back(e.PDFFIELDNUMBER);
        const std::vector<long>& group = ByFieldNumber::Of(index.buttons, e.PDFFIELDNUMBER);
        if (IsOff(value)) {
          SetButtons(*this, group, 0);
        } else if (const Short button = RadioButtonOf(e.PDFFIELDNUMBER, value)) {
          SetButtons(*this, group, button);
        }
        continue;
      }
      if (e.CTLTYPE == kCheck || e.CTLTYPE == kRegionCheck) {
        const std::string upper = rt::Upper(value);
        const bool on = upper == "YES" || upper == "ON" ||
                        (e.CTLTYPE == kCheck && NamesOnState(value, OptionValues(d, FormId, e.PDFFIELDNUMBER)));
        if (e.CTLTYPE == kCheck) {
          e.SetValue(on ? "T" : "F");
        } else if (on != (e.CHECKED != 0)) {
          if (on) DrawCheck(e); else RemoveCheck(e);
        }
        Queue.Put();
        continue;
      }
      e.SetValue(First(value, 255));
      Queue.Put();
    }
  }
  Win().Display();
}

}  // namespace editor
