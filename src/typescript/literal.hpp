// TypeScript literal types of JSON values.
#pragma once

#include <string>
#include <string_view>

#include "contract/model.hpp"

namespace brenvale {

// Appends the literal type of one JSON value ("unknown" for arrays and objects).
void append_literal(const Datum& value, std::string& out);
std::string literal(const Datum& value);

}  // namespace brenvale
