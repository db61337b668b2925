// Run-time file definitions: INFILE and DESTFILE built from a stored
// serialisation of either generation.
#include <memory>

#include "velmora/upgrade/conversion.h"
#include "velmora/upgrade/store.h"

namespace upg {
namespace {

std::unique_ptr<db::FileDecl>& Slot(int which) {
  static std::unique_ptr<db::FileDecl> in, dest;
  return which == kInFile ? in : dest;
}

}  // namespace

std::string& InFileName() {
  static std::string name;
  return name;
}

std::string& DestFileName() {
  static std::string name;
  return name;
}

db::FileDecl& InFile() {
  if (!Slot(kInFile)) Slot(kInFile) = db::DeclBuilder("INFILE", "").Build();
  return *Slot(kInFile);
}

db::FileDecl& DestFile() {
  if (!Slot(kDestFile)) Slot(kDestFile) = db::DeclBuilder("DESTFILE", "").Build();
  return *Slot(kDestFile);
}

rt::Byte& OemFlag() {
  static rt::Byte flag = 0;
  return flag;
}

rt::Byte DeclaredOemFlag(const db::FileDecl& declared) {
  return (declared.Attributes() & db::kAttrOem) ? 1 : 0;
}

std::string StoredString(size_t, size_t* charsRead) {
  if (charsRead) *charsRead = 0;
  return {};
}

std::string MemoryToString(const uint8_t*, size_t) { return {}; }

rt::Long ConvertGroup(rt::Long, rt::Long) { return 0; }

rt::Long MakeFile(int) { return 0; }

}  // namespace upg
