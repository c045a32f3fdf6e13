// The one ordering of names and keys: ascending bytes, a prefix before its extensions; and
// their equality.
#pragma once

#include <cstdint>
#include <cstring>
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

// Are the two texts the same bytes? Without a call for the short ones most keys and names are:
// a comparison of two models makes one for each of their keys, names and values.
inline bool same_bytes(std::string_view a, std::string_view b) {
  const std::size_t n = a.size();
  if (n != b.size()) return false;
  const auto word = [](const char* at) {
    std::uint64_t w = 0;
    std::memcpy(&w, at, sizeof w);
    return w;
  };
  // Two words that overlap cover eight to sixteen bytes.
  if (n >= 8 && n <= 16) {
    return word(a.data()) == word(b.data()) && word(a.data() + n - 8) == word(b.data() + n - 8);
  }
  if (n < 8) {
    for (std::size_t i = 0; i < n; ++i) {
      if (a[i] != b[i]) return false;
    }
    return true;
  }
  return std::memcmp(a.data(), b.data(), n) == 0;
}

}  // namespace brenvale
