#pragma once
// Reading FDF files: the form data that PDF readers, command-line toolkits
// and web services export a form's values in.
//
// An FDF file is PDF object syntax: a header "%FDF-1.2", objects, and a
// trailer whose /Root holds /FDF << /Fields [ ... ] >>. Each field is a
// dictionary with its partial name /T and its value /V; a field with
// children lists them under /Kids, and a child's full name is its parent's
// full name, ".", and its own /T (a child without /T is a widget of its
// parent and carries the parent's name). Writers put blanks and line breaks
// anywhere between tokens, escape parentheses and backslashes in strings,
// write octal escapes and hex strings, UTF-16 strings with a byte-order
// mark, names with "#xx" escapes, and /V arrays for lists that hold several
// selections. The file is read with qpdf's object parser, so all of these
// come out as the writer meant them.
#include <string>
#include <vector>

namespace velmora::pdf {

// One field that has a value.
struct FdfField {
  std::string name;                 // full name, Windows-1252
  std::vector<std::string> values;  // Windows-1252; several for a /V array
};

enum class FdfResult {
  Ok,       // read; the fields are in file order, a parent before its kids
  NotFdf,   // no FDF header, or no /FDF dictionary under /Root
  Damaged,  // an FDF whose objects or field tree cannot be read
};

// Reads the fields with a value from the bytes of an FDF file. `fields` is
// emptied first and stays empty unless the result is Ok.
FdfResult ReadFdfFields(const std::string& bytes, std::vector<FdfField>& fields);

}  // namespace velmora::pdf
