// Strict JSON text -> value tree, with error descriptions carrying line and column.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "json/json_value.hpp"

namespace brenvale {

// Nesting deeper than this many arrays/objects is refused.
inline constexpr std::size_t max_depth = 127;

// What a parse failure is; `parse_error_texts` holds the description of each, in this order,
// and every one of them is produced by some text.
enum class ParseErrorKind : std::uint8_t {
  eof_value,
  eof_list,
  eof_object,
  eof_string,
  expected_value,
  expected_ident,
  expected_colon,
  expected_comma_or_bracket,
  expected_comma_or_brace,
  key_not_string,
  trailing_comma,
  trailing_characters,
  invalid_number,
  number_out_of_range,
  invalid_escape,
  end_of_hex_escape,
  lone_surrogate,
  control_character,
  too_deep,
};

inline constexpr std::array<std::string_view, 19> parse_error_texts = {
    "EOF while parsing a value",
    "EOF while parsing a list",
    "EOF while parsing an object",
    "EOF while parsing a string",
    "expected value",
    "expected ident",
    "expected `:`",
    "expected `,` or `]`",
    "expected `,` or `}`",
    "key must be a string",
    "trailing comma",
    "trailing characters",
    "invalid number",
    "number out of range",
    "invalid escape",
    "unexpected end of hex escape",
    "lone leading surrogate in hex escape",
    "control character (\\u0000-\\u001F) found while parsing a string",
    "recursion limit exceeded",
};

struct ParseError {
  ParseErrorKind kind = ParseErrorKind::expected_value;
  std::size_t line = 0;    // from 1
  std::size_t column = 0;  // bytes of the line up to and including the stopping byte

  constexpr std::string_view description() const {
    return parse_error_texts[static_cast<std::size_t>(kind)];
  }
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
