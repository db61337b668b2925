#pragma once
// What both the anchor builder and the opening code read off an address.
#include <string>
#include <string_view>

namespace links {

// The address without one pair of double quotes around it.
std::string_view Unquoted(std::string_view address);

// The scheme of an address ("https" of "HTTPS://x"), lower case; "" when it
// has none. One letter before ":" is a drive, not a scheme.
std::string SchemeOf(std::string_view address);

}  // namespace links
