#pragma once
// TypeAheadLocator: the type-ahead locator of a browse list in key order.
// Letters, digits and spaces typed on the list add to a search text; the
// list selects the first row whose locator column starts with it (any
// case), else the first row that sorts after it, else the last row.
// Selecting a row any other way, or reading the list again, starts a new
// search text.
#include <functional>
#include <string>
#include <string_view>

#include "velmora/ui/window.h"

namespace cl {

class TypeAheadLocator {
 public:
  // `count` gives the list's rows, `text` a row's locator column. The
  // locator keys are alerted on the list.
  void Init(ui::Window& window, int list, std::function<long()> count, std::function<std::string(long)> text);
  // The row `text` locates; 0 for an empty list.
  long Find(std::string_view text) const;
  // A key typed on the list: a locator key selects its row and gives true.
  bool TakeKey(int keycode);
  void Reset() { typed_.clear(); }
  const std::string& Typed() const { return typed_; }

 private:
  ui::Window* window_ = nullptr;
  int list_ = 0;
  std::function<long()> count_;
  std::function<std::string(long)> text_;
  std::string typed_;
};

}  // namespace cl
