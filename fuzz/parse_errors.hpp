// The checks every reported parse failure must pass.
#pragma once

#include <algorithm>
#include <string_view>

#include "check.hpp"
#include "json/json_reader.hpp"

namespace brenvale::fuzz {

// The description is one of the set; the line exists in the text and the column lies within it.
inline void check_parse_error(std::string_view text, const ParseError& error) {
  require(std::find(parse_error_descriptions.begin(), parse_error_descriptions.end(),
                    error.description) != parse_error_descriptions.end(),
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
