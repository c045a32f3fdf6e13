// The fixed set of parse failure descriptions, and the checks every reported failure must pass.
#pragma once

#include <algorithm>
#include <array>
#include <string_view>

#include "check.hpp"
#include "json_reader.hpp"

namespace brenvale::fuzz {

inline constexpr std::array<std::string_view, 21> parse_descriptions = {
    "EOF while parsing a value",
    "EOF while parsing a list",
    "EOF while parsing an object",
    "EOF while parsing a string",
    "expected value",
    "expected ident",
    "expected `:`",
    "expected `\"`",
    "expected `,` or `]`",
    "expected `,` or `}`",
    "key must be a string",
    "trailing comma",
    "trailing characters",
    "invalid number",
    "number out of range",
    "invalid escape",
    "unexpected end of hex escape",
    "invalid unicode code point",
    "lone leading surrogate in hex escape",
    "control character (\\u0000-\\u001F) found while parsing a string",
    "recursion limit exceeded",
};

// The description is one of the set; the line exists in the text and the column lies within it.
inline void check_parse_error(std::string_view text, const ParseError& error) {
  require(std::find(parse_descriptions.begin(), parse_descriptions.end(), error.description) !=
              parse_descriptions.end(),
          "parse failure description outside the fixed set");
  require(error.line >= 1, "parse failure line below 1");
  const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
  require(error.line <= lines, "parse failure line past the end of the text");
  std::size_t start = 0;
  for (std::size_t line = 1; line < error.line; ++line) start = text.find('\n', start) + 1;
  const std::size_t stop = std::min(text.find('\n', start), text.size());
  require(error.column <= stop - start, "parse failure column past the end of its line");
}

}  // namespace brenvale::fuzz
