// Property names as TypeScript property keys.
#pragma once

#include <string>
#include <string_view>

namespace brenvale {

// An ASCII letter, digit, "_" or "$".
constexpr bool is_identifier_char(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '$';
}

// True for a non-empty ASCII identifier: [A-Za-z_$][A-Za-z0-9_$]*.
bool is_plain_identifier(std::string_view name);
// Appends the name bare when it is a plain identifier, quoted otherwise.
void append_ident(std::string_view name, std::string& out);

}  // namespace brenvale
