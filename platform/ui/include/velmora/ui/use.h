#pragma once
// A control's use variable: a buffer the control shows (display) and
// writes back (update).
#include <cstddef>
#include <cstdint>
#include <string>

#include "velmora/runtime/text.h"
#include "velmora/runtime/types.h"

namespace ui {

enum class UseKind { None, String, CString, Long, Short, Byte, Real, StdString };

struct UseVar {
  void* data = nullptr;
  size_t size = 0;
  UseKind kind = UseKind::None;

  bool Bound() const { return data != nullptr; }
  // The variable's value as text (text fields unclipped).
  std::string Read() const;
  // Stores text: text fields clip or pad, numbers convert (invalid text is 0).
  void Write(const std::string& value) const;

  template <size_t N> static UseVar Of(rt::String<N>& v) { return {v.data, N, UseKind::String}; }
  template <size_t N> static UseVar Of(rt::CString<N>& v) { return {v.data, N, UseKind::CString}; }
  // A raw buffer of `size` bytes holding NUL-terminated text.
  static UseVar Buffer(char* data, size_t size) { return {data, size, UseKind::CString}; }
  static UseVar Of(rt::Long& v) { return {&v, sizeof v, UseKind::Long}; }
  static UseVar Of(rt::Short& v) { return {&v, sizeof v, UseKind::Short}; }
  static UseVar Of(rt::Byte& v) { return {&v, sizeof v, UseKind::Byte}; }
  static UseVar Of(rt::Real& v) { return {&v, sizeof v, UseKind::Real}; }
  static UseVar Of(std::string& v) { return {&v, 0, UseKind::StdString}; }
};

}  // namespace ui
