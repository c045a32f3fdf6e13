// Every TypeScript escaper: string literal, template literal, comments, property name.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace brenvale {

// True when a U+2028 or U+2029 starts at `at`: JavaScript ends a line at either.
constexpr bool starts_line_separator(std::string_view text, std::size_t at) {
  return at + 2 < text.size() && text[at] == '\xE2' && text[at + 1] == '\x80' &&
         (text[at + 2] == '\xA8' || text[at + 2] == '\xA9');
}

// An ASCII letter, digit, "_" or "$".
constexpr bool is_identifier_char(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '$';
}

// Appends `text` as a double-quoted string literal.
void append_quoted(std::string_view text, std::string& out);
// Appends `text` as literal text inside a template literal: nothing in it may end the literal,
// start a substitution, or be changed by the template's line-ending normalisation.
void append_template_text(std::string_view text, std::string& out);
// Appends `text` for a one-line `//` comment: line breaks are written as escapes.
void append_comment_text(std::string_view text, std::string& out);
// Appends `text` as the inner lines of a `/** */` block: each line of the text (split at LF, CR,
// CRLF, U+2028 and U+2029) becomes `prefix`, a space and the line (`prefix` alone when it is
// empty) and a newline; a `/` after a `*` is written `\/`, so no line ends the block.
void append_doc_comment_lines(std::string_view text, std::string_view prefix, std::string& out);
// Appends a property name where an identifier stands: bare when it is a non-empty ASCII
// identifier ([A-Za-z_$][A-Za-z0-9_$]*), a string literal otherwise.
void append_ident(std::string_view name, std::string& out);
// Appends a key of an object literal or pattern as append_ident does, except `__proto__`, which
// as a plain key would set the prototype: it is written computed, `["__proto__"]`, with
// `computed_cast` (when not empty) after the string.
void append_object_key(std::string_view name, std::string_view computed_cast, std::string& out);

}  // namespace brenvale
