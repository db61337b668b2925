#pragma once
// In-memory queues of typed rows.
//
// A Queue<Row> holds entries and one record buffer. Operations work through
// the buffer the way the system's code expects: Add copies the buffer in,
// Get copies an entry out and makes it the current entry, Put writes the
// buffer back over the current entry, Delete removes the current entry.
// Positions are 1-based. Every operation sets the thread's error state:
// cleared on success, kEntryNotFound (30) when no entry matches or a
// position is out of range.
//
// Keys and sort orders are lists of fields given as member pointers
// (ascending) or Desc(member) (descending). Text fields compare as fixed
// text (trailing blanks ignored); numbers by value.
#include <algorithm>
#include <functional>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "velmora/runtime/errors.h"
#include "velmora/runtime/text.h"

namespace rt {

template <class Row>
struct QueueField {
  std::function<int(const Row&, const Row&)> compare;  // <0, 0, >0 ascending
  bool descending = false;
};

namespace detail {
template <class T>
int CompareValues(const T& a, const T& b) {
  if constexpr (kIsTextField<T>) {
    return CompareText(std::string_view(a), std::string_view(b));
  } else if constexpr (std::is_array_v<T> && std::is_same_v<std::remove_extent_t<T>, char>) {
    return CompareText(std::string_view(a, std::extent_v<T>), std::string_view(b, std::extent_v<T>));
  } else if constexpr (std::is_array_v<T>) {
    return std::lexicographical_compare(std::begin(a), std::end(a), std::begin(b), std::end(b))
               ? -1
               : (std::equal(std::begin(a), std::end(a), std::begin(b)) ? 0 : 1);
  } else if constexpr (std::is_convertible_v<const T&, std::string_view>) {
    return CompareText(std::string_view(a), std::string_view(b));
  } else {
    return a < b ? -1 : (b < a ? 1 : 0);
  }
}

template <class Row, class M>
QueueField<Row> MakeField(M Row::*member) {
  return {[member](const Row& a, const Row& b) { return CompareValues(a.*member, b.*member); }, false};
}
template <class Row>
QueueField<Row> MakeField(QueueField<Row> field) {
  return field;
}
}  // namespace detail

// A descending field of a key or sort order.
template <class Row, class M>
QueueField<Row> Desc(M Row::*member) {
  QueueField<Row> f = detail::MakeField(member);
  f.descending = true;
  return f;
}

template <class Row>
class Queue {
 public:
  using Order = std::vector<QueueField<Row>>;

  // The record buffer.
  Row& Buffer() { return buffer_; }
  const Row& Buffer() const { return buffer_; }
  Row* operator->() { return &buffer_; }
  Row& operator*() { return buffer_; }
  // Resets the buffer to a default row.
  void ClearBuffer() { buffer_ = Row{}; }

  long Count() const { return static_cast<long>(rows_.size()); }
  // Position of the current entry (the one last read, added or written);
  // 0 when there is none.
  long Position() const { return current_; }
  // Read access to an entry without touching buffer or current entry.
  const Row& At(long position) const { return rows_.at(static_cast<size_t>(position - 1)); }

  // Appends the buffer.
  void Add() { Insert(rows_.size()); }
  // Inserts the buffer at `position`; beyond the end it is appended, below 1
  // it goes first.
  void AddAt(long position) {
    long p = std::clamp(position, 1L, Count() + 1);
    Insert(static_cast<size_t>(p - 1));
  }
  // Inserts the buffer in the order of the given fields, after any entries
  // with equal keys. The queue is taken to be in that order already.
  template <class... F>
  void AddSorted(F... fields) {
    Order order{detail::MakeField<Row>(fields)...};
    auto it = std::upper_bound(rows_.begin(), rows_.end(), buffer_,
                               [&](const Row& a, const Row& b) { return Compare(order, a, b) < 0; });
    Insert(static_cast<size_t>(it - rows_.begin()));
  }

  // Copies entry `position` into the buffer.
  void Get(long position) {
    if (position < 1 || position > Count()) return NotFound();
    Select(position);
  }
  // Copies the first entry whose fields equal the buffer's into the buffer.
  template <class... F>
    requires(sizeof...(F) > 0)
  void GetByKey(F... fields) {
    Order order{detail::MakeField<Row>(fields)...};
    for (size_t i = 0; i < rows_.size(); ++i)
      if (Compare(order, rows_[i], buffer_) == 0) return Select(static_cast<long>(i + 1));
    NotFound();
  }

  // Writes the buffer over the current entry.
  void Put() {
    if (!Valid()) return NotFound();
    rows_[static_cast<size_t>(current_ - 1)] = buffer_;
    ClearError();
  }
  // Writes the buffer over the current entry and moves it to its place in
  // the given order (after equal keys).
  template <class... F>
    requires(sizeof...(F) > 0)
  void PutSorted(F... fields) {
    if (!Valid()) return NotFound();
    rows_.erase(rows_.begin() + (current_ - 1));
    current_ = 0;
    AddSorted(fields...);
  }

  // Removes the current entry. The position stays where the entry was, so
  // the next entry is reached by reading the same position again.
  void Delete() {
    if (!Valid()) return NotFound();
    rows_.erase(rows_.begin() + (current_ - 1));
    deleted_ = true;
    ClearError();
  }

  // Stable sort on the given fields.
  template <class... F>
    requires(sizeof...(F) > 0)
  void Sort(F... fields) {
    Order order{detail::MakeField<Row>(fields)...};
    SortBy(order);
  }
  void SortBy(const Order& order) {
    std::stable_sort(rows_.begin(), rows_.end(),
                     [&](const Row& a, const Row& b) { return Compare(order, a, b) < 0; });
    current_ = 0;
    ClearError();
  }

  // Removes every entry.
  void Free() {
    rows_.clear();
    current_ = 0;
    ClearError();
  }

 private:
  static int Compare(const Order& order, const Row& a, const Row& b) {
    for (const QueueField<Row>& f : order) {
      int c = f.compare(a, b);
      if (c != 0) return f.descending ? -c : c;
    }
    return 0;
  }
  bool Valid() const { return !deleted_ && current_ >= 1 && current_ <= Count(); }
  void NotFound() { SetError(kEntryNotFound); }
  void Select(long position) {
    buffer_ = rows_[static_cast<size_t>(position - 1)];
    current_ = position;
    deleted_ = false;
    ClearError();
  }
  void Insert(size_t index) {
    rows_.insert(rows_.begin() + static_cast<long>(index), buffer_);
    current_ = static_cast<long>(index + 1);
    deleted_ = false;
    ClearError();
  }

  Row buffer_{};
  std::vector<Row> rows_;
  long current_ = 0;
  bool deleted_ = false;
};

}  // namespace rt
