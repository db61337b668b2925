#pragma once
// Small helpers shared by the window layer's tests.
#include <string>
#include <vector>

#include "velmora/ui/desc.h"
#include "velmora/ui/rows.h"

namespace ui::test {

// Rows held as text, one vector of fields per row.
class TextRows : public RowSource {
 public:
  std::vector<std::vector<std::string>> rows;
  long Rows() const override { return static_cast<long>(rows.size()); }
  std::string Field(long row, int field) const override {
    const auto& r = rows.at(static_cast<size_t>(row - 1));
    return field >= 1 && field <= static_cast<int>(r.size()) ? r[static_cast<size_t>(field - 1)] : "";
  }
};

// A control description with a use name, text and number.
inline ControlDesc C(ControlType type, std::string use, std::string text = {}, int number = 0) {
  ControlDesc d;
  d.type = type;
  d.use = std::move(use);
  d.text = std::move(text);
  d.number = number;
  return d;
}

}  // namespace ui::test
