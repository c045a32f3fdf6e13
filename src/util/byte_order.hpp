// The one ordering of names and keys: ascending bytes, a prefix before its extensions.
#pragma once

#include <string_view>

namespace brenvale {

// Most names differ within their first bytes, where a plain loop beats a call to memcmp.
inline bool byte_less(std::string_view a, std::string_view b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]);
  }
  return a.size() < b.size();
}

}  // namespace brenvale
