// The type-ahead locator of browse lists.
#include "velmora/classlib/locator.h"

#include "velmora/runtime/text.h"
#include "velmora/ui/keys.h"

namespace cl {
namespace {

bool LocatorKey(int keycode) {
  return (keycode >= 'A' && keycode <= 'Z') || (keycode >= '0' && keycode <= '9') || keycode == ui::key::Space;
}

}  // namespace

void TypeAheadLocator::Init(ui::Window& window, int list, std::function<long()> count,
                            std::function<std::string(long)> text) {
  window_ = &window;
  list_ = list;
  count_ = std::move(count);
  text_ = std::move(text);
  typed_.clear();
  for (int k = 'A'; k <= 'Z'; ++k) window.Alert(list, k);
  for (int k = '0'; k <= '9'; ++k) window.Alert(list, k);
  window.Alert(list, ui::key::Space);
}

long TypeAheadLocator::Find(std::string_view text) const {
  const long rows = count_ ? count_() : 0;
  // a typed space counts; a row's trailing blanks are its padding
  const std::string wanted = rt::Upper(text);
  for (long row = 1; row <= rows; ++row) {
    const std::string name = rt::Upper(rt::Clip(text_(row)));
    if (name.compare(0, wanted.size(), wanted) == 0 || name > wanted) return row;
  }
  return rows;
}

bool TypeAheadLocator::TakeKey(int keycode) {
  if (!window_ || !LocatorKey(keycode)) return false;
  typed_.push_back(static_cast<char>(keycode));
  const long row = Find(typed_);
  if (row > 0) window_->Set(list_, ui::Prop::Selected, row);
  return true;
}

}  // namespace cl
