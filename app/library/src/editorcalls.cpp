// The Form Editor's hand-over to the library's record windows.
#include "velmora/classlib/window.h"
#include "velmora/data/dictionary.h"
#include "velmora/editor/formeditor.h"
#include "velmora/library/recordcalls.h"
#include "velmora/library/records.h"

namespace library {
namespace {

// The editor's form, read again into the Forms buffer (windows opened
// from the editor may have read other forms into it).
bool EditorForm(const editor::FormEditor& ed) {
  data::Dictionary& d = data::ThisThread();
  cl::FileManager* forms = d.Access(data::FileId::Forms);
  d.FOR.ID = ed.FormId;
  return forms->TryFetch(forms->KeyNumber("FOR:ID_Key")) == cl::kBenign;
}

int Response() { return cl::ThreadResponse(); }

}  // namespace

void InstallEditorCalls() {
  editor::EditorCalls& calls = editor::Calls();
  calls.updateFilledForm = [](editor::FormEditor&) {
    UpdateFilledForm();
    return Response();
  };
  calls.selectFilledForm = [](editor::FormEditor& ed) {
    if (!EditorForm(ed)) return static_cast<int>(cl::response::Cancelled);
    SelectFilledForm();
    return Response();
  };
  calls.updateForms = [](editor::FormEditor& ed, bool withDataSet) {
    if (!EditorForm(ed)) return static_cast<int>(cl::response::Cancelled);
    UpdateForms(true, withDataSet);
    return Response();
  };
}

}  // namespace library
