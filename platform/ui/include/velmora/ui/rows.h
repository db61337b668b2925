#pragma once
// What a list control shows: a source of rows whose fields the list's
// format string maps to columns, icons and tree levels. A queue adapter
// implements it over the runtime's queues.
#include <string>

namespace ui {

class RowSource {
 public:
  virtual ~RowSource() = default;
  virtual long Rows() const = 0;
  // Field `field` (1-based, in declaration order) of row `row` (1-based), as text.
  virtual std::string Field(long row, int field) const = 0;
};

}  // namespace ui
