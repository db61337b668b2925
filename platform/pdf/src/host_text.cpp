// Texts at the library's edge: Windows-1252 inside, UTF-8 in the libraries.
// Kept apart from the qpdf sources, which the fuzzing build compiles as
// C++17 (clang cannot read qpdf's headers as C++20).
#include <string>

#include "velmora/runtime/text.h"

namespace velmora::pdf::detail {

std::string ToHost(const std::string& cp1252) { return rt::ToUtf8(cp1252); }
std::string FromHost(const std::string& utf8) { return rt::FromUtf8(utf8); }

}  // namespace velmora::pdf::detail
