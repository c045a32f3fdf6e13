// TypeScript literal types and the one string-literal escaper.
#pragma once

#include <string>
#include <string_view>

#include "json/json_value.hpp"

namespace brenvale {

// True when a U+2028 or U+2029 starts at `at`: JavaScript ends a line at either.
constexpr bool starts_line_separator(std::string_view text, std::size_t at) {
  return at + 2 < text.size() && text[at] == '\xE2' && text[at + 1] == '\x80' &&
         (text[at + 2] == '\xA8' || text[at + 2] == '\xA9');
}

// Appends `text` as a double-quoted TypeScript string literal.
void append_quoted(std::string_view text, std::string& out);
// Appends the literal type of one JSON value ("unknown" for arrays and objects).
void append_literal(const Value& value, std::string& out);
std::string literal(const Value& value);

}  // namespace brenvale
