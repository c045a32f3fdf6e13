// TypeScript literal types of JSON values.
#pragma once

#include <string>
#include <string_view>

#include "json/json_value.hpp"

namespace brenvale {

// Appends the literal type of one JSON value ("unknown" for arrays and objects).
void append_literal(const Value& value, std::string& out);
std::string literal(const Value& value);

}  // namespace brenvale
