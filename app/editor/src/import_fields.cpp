// "Import Fields": text fields added to the open form from a field list, a
// comma-delimited file of page, name and rectangle in points, each placed
// as a text field inserted with the mouse would be.
#include "editor_internal.h"
#include "velmora/app/fileutil.h"
#include "velmora/apppdf/screen.h"
#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"
#include "velmora/ui/dialogs.h"
#include "velmora/upgrade/openhook.h"

namespace editor {

using data::FileId;

void FormEditor::ImportFields() {
  const std::string name = ChooseFile("Select File", "All Files| *.*");
  if (name.empty()) return;
  data::Dictionary& d = data::ThisThread();
  data::ImportFieldsFileName() = name;
  const std::string fileName = data::ImportFieldsFileName().Clip();
  // a file that is not there yields no rows
  if (!app::FileExists(fileName)) return;
  const apppdf::Resolution res = apppdf::ScreenResolution();
  LogPixelsX = res.across > 0 ? res.across : 96;
  LogPixelsY = res.down > 0 ? res.down : 96;
  db::FileDecl& list = d.File(FileId::ImportFields);
  list.SetName(fileName);
  // Read only: a field list the user may not change imports all the same.
  upg::ds_FileOpen(list, db::kReadOnly | db::kDenyWrite);
  if (rt::ErrorCode()) return;
  const Short remembered = ShownPage;
  cl::FileManager* pages = d.Access(FileId::FormPages);
  const int pageKey = pages->KeyNumber("FOR1:FormID_Key");
  long skipped = 0;
  int last = 0;
  db::Set(list);
  for (db::Next(list); rt::ErrorCode() == 0; db::Next(list)) {
    const data::ImportFieldsRecord row = d.IMP;
    d.FOR1.FORMID = FormId;
    d.FOR1.PAGENO = row.PAGENO;
    // a row for a page the form does not have is not placed at all
    if (row.PAGENO < 1 || pages->TryFetch(pageKey) != cl::kBenign) {
      ++skipped;
      continue;
    }
    const int n = NewField(true, row.PAGENO, row.CONTROLNAME.Value());
    FormControl& e = Queue.Buffer();
    const apppdf::PixelRect px =
        apppdf::PagePixelsOf(row.FIELDX, row.FIELDY, row.FIELDWIDTH, row.FIELDHEIGHT, d.FOR1.PAGEHEIGHT,
                             d.FOR1.XOFFSET, d.FOR1.YOFFSET, {static_cast<int>(LogPixelsX), static_cast<int>(LogPixelsY)});
    e.CTLX = px.x;
    e.CTLY = px.y;
    e.CTLW = px.width;
    e.CTLH = px.height;
    // the field keeps the list's own rectangle in the PDF
    e.PDFX = row.FIELDX;
    e.PDFY = row.FIELDY;
    e.PDFW = row.FIELDWIDTH;
    e.PDFH = row.FIELDHEIGHT;
    e.IMPORTEDFIELD = 1;
    PlaceControl(e);
    Queue.Add();
    if (row.PAGENO == remembered) {
      Win().Unhide(n);
      last = n;
    }
  }
  db::Close(list);
  d.FOR1.FORMID = FormId;
  d.FOR1.PAGENO = remembered;
  LoadPageRecord();
  ui::SetCursor(ui::cursor::Arrow);
  if (last) Win().Select(last);
  Win().Display();
  if (skipped)
    ui::Message(std::to_string(skipped) + (skipped == 1 ? " row" : " rows") +
                    " of the field list name a page this form does not have; " + (skipped == 1 ? "it was" : "they were") +
                    " not imported.",
                "Velmora", ui::icon::Exclamation);
}

}  // namespace editor
