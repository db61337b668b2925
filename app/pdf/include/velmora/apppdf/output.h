#pragma once
// Writing a form's stored PDF out again: the colours the PDF library takes,
// the private folder a command writes its working files in, and the steps
// every output shares (working copy, load, appearances, flattening, save),
// each of which says what failed.
#include <string>
#include <string_view>

#include "velmora/runtime/types.h"

namespace apppdf {

// A colour LONG (red in the low byte) as the fractions 0..1 the PDF
// library takes.
void ColorToRgbFractions(rt::Long color, rt::Real& red, rt::Real& green, rt::Real& blue);

// The standard PDF font that shows a face the editor offers: the PDF
// fonts by their own names ("TimesBold", "CourierOblique"), and screen
// faces by their family (Courier and Times faces as those, "Symbol",
// Zapf Dingbats; every other face as Helvetica), bold and italic from the
// name or the flags. A standard base font name ("Times-Bold").
std::string StandardFontOf(std::string_view face, bool bold, bool italic);

// A folder of one command's own under the program's temporary folder
// (unique name, only the user may enter it), so that two editors or two
// program instances never write each other's working files. It goes with
// everything in it when the object does, unless kept until the program
// ends (files the desktop reads after the command, such as an e-mail's
// attachment).
class WorkFolder {
 public:
  WorkFolder();
  ~WorkFolder();
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;
  bool Ready() const { return !path_.empty(); }
  // A file in the folder, in the runtime's Windows form.
  std::string File(std::string_view name) const;
  void KeepUntilExit();

 private:
  std::string path_;  // host path; empty when it could not be made
  bool kept_ = false;
};

// The form of the calling thread's Forms record buffer as a document of
// the PDF library: loaded from a working copy of FOR:PDFDATA, selected
// while it lives, removed from the library when it goes. Each step returns
// false once anything failed, and Failure() says what.
class FormDocument {
 public:
  FormDocument() = default;
  ~FormDocument();
  FormDocument(const FormDocument&) = delete;
  FormDocument& operator=(const FormDocument&) = delete;

  // Writes FOR:PDFDATA to `workingCopy` (a file left there before is
  // deleted first) and loads it; an encrypted document is decrypted. A
  // form without a stored PDF is refused.
  bool Load(const std::string& workingCopy);
  bool SetNeedAppearances();
  // Draws the appearance of fields 1..n from their values.
  bool UpdateAppearances();
  // Draws every field into its page and removes it (no field is left).
  bool FlattenAll();
  bool Save(const std::string& file);
  // Prints pages first..last (-1: the first or the last page) on the
  // printer under the title.
  bool Print(const std::string& printer, int first, int last, const std::string& title);
  void Remove();

  bool Ok() const { return failure_.empty(); }
  const std::string& Failure() const { return failure_; }
  // Records the first failure; later ones add nothing.
  bool Fail(std::string what);

 private:
  int id_ = 0;
  std::string failure_;
};

// The name of the file the form is attached to an e-mail as: the file name
// of FOR:ORIGINALPDFFILE without folder and extension, + ".pdf" (the form's
// name when the original name is empty).
std::string AttachmentName(std::string_view originalFile, std::string_view formName);

}  // namespace apppdf
