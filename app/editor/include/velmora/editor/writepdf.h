#pragma once
// The Form Editor's fields written into a PDF document.
#include <string>

#include "velmora/editor/formcontrols.h"

namespace editor {

// Writes every entry of the queue, in queue order, into the document the
// PDF library has selected on the calling thread: fields the PDF does not
// have are created (a check placed in the editor as a check box with its
// checked state), values are written (a check box's "T" as its on-state, a
// radio button's selection as its export value from FieldValues), and
// every field is made writable. Fields placed in pixels are put on their
// page in points at the resolution dpiX x dpiY, from the form's FormPages
// record. Needs FormPages and FieldValues open on the calling thread; their
// record buffers are left as they were.
//
// Returns "" when everything was written, else what failed (the pass stops
// at the first failure).
std::string WritePdfFields(const FormControls& queue, Long formId, Long dpiX, Long dpiY);

}  // namespace editor
