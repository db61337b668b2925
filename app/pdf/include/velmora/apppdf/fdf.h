#pragma once
// The Form Editor's FDF reader: the name and value pairs of an FDF file
// (the form data a PDF reader or toolkit exports) into the editor's FDF
// queue, which the editor then matches against its fields by name.
#include <string>
#include <string_view>

#include "velmora/runtime/queue.h"
#include "velmora/runtime/text.h"
#include "velmora/runtime/types.h"

namespace apppdf {

// One field of the file: its full name ("parent.kid" for a kid) and its
// value, both in Windows-1252 without leading or trailing blanks. A list
// with several selected values gives the first: a field holds one value.
struct FdfPair {
  rt::String<255> TEG;
  rt::String<1024> VAL;
};
using FdfQueue = rt::Queue<FdfPair>;

class FdfReader {
 public:
  // Reads the whole file into BUFFER; 1 when it was read, 0 when it is
  // missing or cannot be read (BUFFERSIZE is then 0).
  rt::Byte LoadFile(std::string_view fileName);
  // Fills the queue with the file's fields in file order. A file that
  // cannot be read, is empty, is not an FDF file or is damaged leaves the
  // queue as it was; Problem() then says why.
  void Parse(std::string_view fileName, FdfQueue& queue);
  // The message for the last Parse that changed nothing; empty after a
  // file was read.
  const std::string& Problem() const { return problem_; }

  std::string BUFFER;
  rt::Long BUFFERSIZE = 0;
  FdfQueue* FDFQUEUE = nullptr;

 private:
  std::string problem_;
};

}  // namespace apppdf
