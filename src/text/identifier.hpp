// TypeScript identifiers: which names stand as they are, and how any text becomes one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace brenvale {

// May the code point start (or, with `first` false, continue) an identifier? ASCII letters,
// "_" and "$" (and digits after the first), and the non-ASCII letters Unicode allows there.
bool is_identifier_code_point(std::uint32_t code_point, bool first);
// A reserved word, or a name TypeScript does not accept for a declared type (`string`,
// `keyof`, ...). With `binding`, also `eval` and `arguments`, which strict code cannot bind.
bool is_reserved_name(std::string_view name, bool binding = false);
// Valid identifier characters and no reserved name: the text can be declared as it is.
bool is_safe_identifier(std::string_view text, bool binding = false);
// Appends `text` made into a safe identifier: each character that cannot stand becomes "_",
// an empty text or one that starts with a digit gets "_" in front, a reserved name gets "_"
// after. A safe identifier is appended unchanged. Never fails.
void append_safe_identifier(std::string_view text, std::string& out, bool binding = false);
std::string safe_identifier(std::string_view text, bool binding = false);

}  // namespace brenvale
