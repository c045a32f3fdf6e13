// The properties the fuzz targets check, each ending a broken run with a message and abort().
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "text/identifier.hpp"
#include "util/utf8_decode.hpp"

namespace brenvale::fuzz {

// libFuzzer and ctest both notice an abort().
inline void require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "fuzz property broken: %s\n", property);
  std::abort();
}

// Strict UTF-8, as Python's decoder applies it (no surrogates, no overlong forms).
inline bool is_valid_utf8(std::string_view text) {
  std::uint32_t code_point = 0;
  for (std::size_t length = 0; !text.empty(); text.remove_prefix(length)) {
    length = decode_utf8(text, code_point);
    if (length == 0) return false;
  }
  return true;
}

// The no-injection property of a generated module, checked without a parser: outside comments
// and literals only the generator's own characters stand, every statement it did not write
// would have to start a line or follow a ";", and both are held to what the templates write.
// Characters the templates write between tokens (`*` only in the zod module's namespace import,
// `!` and `%` only in its helpers); names add identifier characters.
inline bool is_template_punctuation(char c) {
  return std::string_view(" \n{}()<>[]|&;:,=?.-+*!%").find(c) != std::string_view::npos;
}

// JavaScript ends a line (and so a comment) at CR, LF, U+2028 and U+2029.
inline bool ends_line(std::string_view text, std::size_t at) {
  return text[at] == '\n' || text[at] == '\r' ||
         (at + 2 < text.size() && text.substr(at, 2) == "\xE2\x80" &&
          (text[at + 2] == '\xA8' || text[at + 2] == '\xA9'));
}

inline void require_no_injection(std::string_view module) {
  constexpr std::array<std::string_view, 13> line_starts = {
      "export interface ",
      "export type ",
      "export const ",
      "import type { ",
      "import { ",
      "import type * as ",
      "}",
      "//",
      "type UpdateFields<T, Depth extends unknown[] = []> = ",
      "type FieldUpdates<T> = ",
      "type VectorValue = ",
      "const ",  // the zod module's helpers
      "/**\n"};
  for (std::size_t at = 0; at < module.size();) {
    if (at == 0 || module[at - 1] == '\n') {
      require(module[at] == '\n' || module[at] == ' ' ||
                  std::any_of(
                      line_starts.begin(), line_starts.end(),
                      [&](std::string_view start) { return module.substr(at).starts_with(start); }),
              "a line in code starts with text the generator never writes");
    }
    const char c = module[at];
    if (module.substr(at).starts_with("//")) {
      while (at < module.size() && !ends_line(module, at)) ++at;
      require(at < module.size() && module[at] == '\n', "a comment ends other than at a line feed");
    } else if (module.substr(at).starts_with("/**\n")) {
      // A JSDoc block may end only where the generator ends it: " */" alone on its line.
      const std::size_t close = module.find("*/", at);
      const std::size_t line = module.rfind('\n', close) + 1;
      const std::string_view indent = module.substr(line, close - line);
      require(close != std::string_view::npos && line > at && indent.ends_with(' ') &&
                  indent.find_first_not_of(' ') == std::string_view::npos &&
                  module.substr(close).starts_with("*/\n"),
              "a JSDoc block ends other than on a line of its own");
      at = close + 2;
    } else if (c == '"') {
      for (++at; at < module.size() && module[at] != '"'; ++at) {
        require(module[at] != '\n' && module[at] != '\r', "a line break inside a string literal");
        if (module[at] == '\\') ++at;
      }
      require(at < module.size(), "a string literal is not closed");
      ++at;
    } else if (c == '`') {
      for (++at; at < module.size() && module[at] != '`'; ++at) {
        if (module[at] == '\\') {
          ++at;
        } else if (module.substr(at).starts_with("${")) {
          const std::size_t close = module.find('}', at);
          require(close != std::string_view::npos &&
                      is_safe_identifier(module.substr(at + 2, close - at - 2), true),
                  "a template substitution holds more than a parameter");
          at = close;
        }
      }
      require(at < module.size(), "a template literal is not closed");
      ++at;
    } else {
      std::uint32_t code_point = 0;
      const std::size_t length = decode_utf8(module.substr(at), code_point);
      require(length != 0 &&
                  (is_identifier_code_point(code_point, false) || is_template_punctuation(c)),
              "a character in code that the generator never writes there");
      require(c != ';' || (at + 1 < module.size() && module[at + 1] == '\n'),
              "a \";\" in code that does not end its line");
      at += length;
    }
  }
}

}  // namespace brenvale::fuzz
