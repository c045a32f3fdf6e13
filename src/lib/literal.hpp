// TypeScript literal types and the one string-literal escaper.
#pragma once

#include <string>
#include <string_view>

#include "json_value.hpp"

namespace brenvale {

// Appends `text` as a double-quoted TypeScript string literal.
void append_quoted(std::string_view text, std::string& out);
// Appends the literal type of one JSON value ("unknown" for arrays and objects).
void append_literal(const Value& value, std::string& out);
std::string literal(const Value& value);

}  // namespace brenvale
