// First character to lower case, by the full Unicode mapping.
#include "lower_first.hpp"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace brenvale {
namespace {

struct Lowering {
  std::uint32_t code_point;
  const char* lower;  // UTF-8
};

// Every code point whose lower-case form differs from itself, ascending.
constexpr Lowering lowercase_table[] = {
#include "lowercase_table.inc"
};

// Decodes the first UTF-8 character; returns its length, or 0 when the bytes are not UTF-8.
std::size_t decode_first(std::string_view text, std::uint32_t& code_point) {
  if (text.empty()) return 0;
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  if (lead < 0x80) {
    code_point = lead;
    return 1;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code_point = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code_point = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code_point = lead & 0x07;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    code_point = (code_point << 6) | (byte(i) & 0x3F);
  }
  return length;
}

}  // namespace

std::string lower_first(std::string_view text) {
  std::uint32_t code_point = 0;
  const std::size_t length = decode_first(text, code_point);
  const auto* end = std::end(lowercase_table);
  const auto* found = std::lower_bound(
      std::begin(lowercase_table), end, code_point,
      [](const Lowering& entry, std::uint32_t cp) { return entry.code_point < cp; });
  if (length == 0 || found == end || found->code_point != code_point) return std::string(text);
  std::string out(found->lower);
  out.append(text.substr(length));
  return out;
}

}  // namespace brenvale
