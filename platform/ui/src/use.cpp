#include "velmora/ui/use.h"

#include "model.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string>

namespace ui {
namespace {

std::string RealText(double v) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, res.ptr);
}

}  // namespace

std::string UseVar::Read() const {
  switch (kind) {
    case UseKind::None: return {};
    case UseKind::String: return std::string(static_cast<const char*>(data), size);
    case UseKind::CString: {
      const char* p = static_cast<const char*>(data);
      return std::string(p, ::strnlen(p, size));
    }
    case UseKind::Long: { rt::Long v; std::memcpy(&v, data, sizeof v); return std::to_string(v); }
    case UseKind::Short: { rt::Short v; std::memcpy(&v, data, sizeof v); return std::to_string(v); }
    case UseKind::Byte: return std::to_string(*static_cast<const rt::Byte*>(data));
    case UseKind::Real: { rt::Real v; std::memcpy(&v, data, sizeof v); return RealText(v); }
    case UseKind::StdString: return *static_cast<const std::string*>(data);
  }
  return {};
}

void UseVar::Write(const std::string& value) const {
  switch (kind) {
    case UseKind::None: return;
    case UseKind::String: rt::detail::CopyPadded(static_cast<char*>(data), size, value, ' '); return;
    case UseKind::CString: {
      if (size == 0) return;
      char* p = static_cast<char*>(data);
      rt::detail::CopyPadded(p, size - 1, value, '\0');
      p[size - 1] = '\0';
      return;
    }
    case UseKind::Long: { rt::Long v = static_cast<rt::Long>(ToLong(value)); std::memcpy(data, &v, sizeof v); return; }
    case UseKind::Short: { rt::Short v = static_cast<rt::Short>(ToLong(value)); std::memcpy(data, &v, sizeof v); return; }
    case UseKind::Byte: *static_cast<rt::Byte*>(data) = static_cast<rt::Byte>(ToLong(value)); return;
    case UseKind::Real: {
      std::string t = rt::Trim(value);
      rt::Real v = std::strtod(t.c_str(), nullptr);
      std::memcpy(data, &v, sizeof v);
      return;
    }
    case UseKind::StdString: *static_cast<std::string*>(data) = value; return;
  }
}

}  // namespace ui
