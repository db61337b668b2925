// The form record window as the Form Editor opens it, and the hand-over
// that lets the Form Editor open the library's record windows.
#pragma once

namespace library {

// The form record window. `fromEditor`: opened from the Form Editor, so
// "PDF File" and "Based in the PDF file" cannot be used; `withDataSet`:
// the current data set is shown (tab 3) and written back on OK.
void UpdateForms(bool fromEditor, bool withDataSet);

// Makes the Form Editor's "Exit and Save", "Select Data" and "Form
// Information" open the data-set windows and the form record window.
void InstallEditorCalls();

}  // namespace library
