#include "velmora/classlib/textmatcher.h"

#include <cctype>
#include <string>

#include "velmora/runtime/text.h"

namespace cl {
namespace {

bool WordChar(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  // Windows-1252 letters above 0x7F count as letters.
  return std::isalnum(u) || c == '_' || u >= 0xC0 || u == 0x8A || u == 0x8C ||
         u == 0x8E || u == 0x9A || u == 0x9C || u == 0x9E || u == 0x9F;
}

}  // namespace

void TextMatcher::Setup() { caseInsensitive_ = wholeWord_ = false; }
void TextMatcher::Teardown() { Setup(); }

void TextMatcher::SetOption(int option, int value) {
  if (option == kCaseInsensitive) caseInsensitive_ = value != 0;
  if (option == kWholeWord) wholeWord_ = value != 0;
}

int TextMatcher::GetOption(int option) const {
  if (option == kCaseInsensitive) return caseInsensitive_;
  if (option == kWholeWord) return wholeWord_;
  return 0;
}

size_t TextMatcher::Find(std::string_view text, std::string_view pattern) const {
  if (pattern.empty() || pattern.size() > text.size()) return 0;
  std::string t(text), p(pattern);
  if (caseInsensitive_) {
    t = rt::Upper(t);
    p = rt::Upper(p);
  }
  for (size_t at = t.find(p); at != std::string::npos; at = t.find(p, at + 1)) {
    if (!wholeWord_) return at + 1;
    const size_t end = at + p.size();
    const bool left = at == 0 || !WordChar(t[at - 1]);
    const bool right = end == t.size() || !WordChar(t[end]);
    if (left && right) return at + 1;
  }
  return 0;
}

}  // namespace cl
