// Strict JSON text -> value tree, with error descriptions carrying line and column.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "json/json_value.hpp"

namespace brenvale {

// Nesting deeper than this many arrays/objects is refused.
inline constexpr std::size_t max_depth = 127;

// Every description a parse failure can carry.
inline constexpr std::array<std::string_view, 21> parse_error_descriptions = {
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

struct ParseError {
  std::string_view description;  // a static text from the fixed description set
  std::size_t line = 0;          // from 1
  std::size_t column = 0;        // bytes of the line up to and including the stopping byte
};

struct ParseResult {
  Document document;  // root is valid only when ok
  bool ok = false;
  ParseError error;
};

// Parses exactly one JSON value. The document keeps its own copy of the text, which the tree
// points into; `text` is only borrowed for the call. A NUL byte inside the text is data.
// Never throws except std::bad_alloc.
ParseResult parse_json(std::string_view text);

}  // namespace brenvale
