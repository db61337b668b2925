#pragma once
// The import of a PDF file into a form definition: the document's
// information into the Forms record, one FormPages record per page
// (picture, page box, text, content) and, when the user agrees, one
// PageControls record per form field and radio button, with the fields'
// option values in FieldValues. Works on the calling thread's data files
// (data::ThisThread()).
//
// A file that cannot be loaded (not a PDF, damaged, protected by a user
// password) is reported in a message box and nothing is stored.
#include <string_view>

#include "velmora/runtime/types.h"

namespace apppdf {

// The appearance flags every imported control gets.
struct AppearanceDefaults {
  rt::Byte transparent = 0;
  rt::Byte flat = 0;
  rt::Byte boxed = 0;
};

// The form record window's import ("PDF File"): imports FOR:ORIGINALPDFFILE
// into the Forms record in the buffer, which the window stores itself on
// OK. FOR:FORMNAME is set only when it is empty, and every font of the
// document is selected. Nothing happens for an empty file name. Returns
// true when the document was imported.
bool ImportIntoForm(const AppearanceDefaults& defaults);

// The Form Editor's "Open PDF File": creates a new form from the file and
// leaves it in the Forms record buffer. When a form of the same file
// exists the user is asked first. Returns 1 when a form was created, 0 when
// the user kept the existing form (then in the buffer), -1 when the file
// could not be loaded or the form could not be added (nothing stored).
rt::Short CreateFormFromPdf(std::string_view fileName);

// Fills the PDF part of the PageControls record buffer from field `field`
// of the calling thread's selected document.
void ReadPdfFieldInfo(rt::Short field);

}  // namespace apppdf
