#pragma once
// TextMatcher: finds a pattern in a text, with the options case-insensitive
// (option 1) and whole-word (option 2).
#include <string_view>

namespace cl {

class TextMatcher {
 public:
  enum Option : int { kCaseInsensitive = 1, kWholeWord = 2 };

  void Setup();     // both options off
  void Teardown();
  void SetOption(int option, int value);
  int GetOption(int option) const;

  // 1-based position of the first match of `pattern` in `text`, 0 when
  // none (or when the pattern is empty). A whole-word match is bounded by
  // the text's ends or by characters that are not letters, digits or '_'.
  size_t Find(std::string_view text, std::string_view pattern) const;
  bool Matches(std::string_view text, std::string_view pattern) const {
    return Find(text, pattern) != 0;
  }

 private:
  bool caseInsensitive_ = false;
  bool wholeWord_ = false;
};

}  // namespace cl
