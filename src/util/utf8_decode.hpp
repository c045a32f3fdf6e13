// Decoding one UTF-8 character, for the code that looks at names character by character.
#pragma once

#include <cstdint>
#include <string_view>

namespace brenvale {

// Decodes the character at the start of `text`; returns its length in bytes, or 0 when the
// bytes there are not UTF-8 (or `text` is empty).
constexpr std::size_t decode_utf8(std::string_view text, std::uint32_t& code_point) {
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
  // Overlong forms, surrogates and code points past U+10FFFF are not characters.
  if ((length == 3 && (code_point < 0x800 || (code_point >= 0xD800 && code_point <= 0xDFFF))) ||
      (length == 4 && (code_point < 0x10000 || code_point > 0x10FFFF)))
    return 0;
  return length;
}

}  // namespace brenvale
