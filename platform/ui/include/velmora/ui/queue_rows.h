#pragma once
// A runtime queue shown by a list: each listed member of the row type is
// one field, in the order given.
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "velmora/runtime/queue.h"
#include "velmora/runtime/text.h"
#include "velmora/ui/rows.h"

namespace ui {

template <class T>
std::string FieldText(const T& value) {
  if constexpr (rt::kIsTextField<T>) {
    return std::string(std::string_view(value));
  } else if constexpr (std::is_array_v<T>) {
    return std::string(value, std::extent_v<T>);
  } else if constexpr (std::is_floating_point_v<T>) {
    std::string text = std::to_string(value);
    text.erase(text.find_last_not_of('0') + 1);
    if (!text.empty() && text.back() == '.') text.pop_back();
    return text;
  } else if constexpr (std::is_convertible_v<const T&, std::string>) {
    return std::string(value);
  } else {
    return std::to_string(value);
  }
}

template <class Row>
class QueueRows : public RowSource {
 public:
  template <class... M>
  explicit QueueRows(const rt::Queue<Row>& queue, M Row::*... members) : queue_(queue) {
    (fields_.push_back([members](const Row& r) { return FieldText(r.*members); }), ...);
  }
  long Rows() const override { return queue_.Count(); }
  std::string Field(long row, int field) const override {
    if (row < 1 || row > queue_.Count() || field < 1 || field > static_cast<int>(fields_.size())) return {};
    return fields_[static_cast<size_t>(field - 1)](queue_.At(row));
  }

 private:
  const rt::Queue<Row>& queue_;
  std::vector<std::function<std::string(const Row&)>> fields_;
};

}  // namespace ui
