// Generated text from constant templates with named placeholders.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace brenvale {

struct Placeholder {
  std::string_view name;
  std::string_view value;  // already escaped for where the placeholder stands
};

// Appends `pattern` with each "{name}" of `values` replaced by its value; every other character,
// braces included, is copied as it stands. `pattern` is constant text: user data only ever
// enters through a value, which is never scanned for placeholders itself. Never fails.
void fill(std::string& out, std::string_view pattern, std::initializer_list<Placeholder> values);

}  // namespace brenvale
