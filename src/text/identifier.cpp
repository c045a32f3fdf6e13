// TypeScript identifiers: which names stand as they are, and how any text becomes one.
#include "text/identifier.hpp"

#include <algorithm>
#include <array>
#include <iterator>

#include "util/utf8_decode.hpp"

namespace brenvale {
namespace {

struct CodeRange {
  std::uint32_t first;
  std::uint32_t last;
};

#include "identifier_table.inc"

bool in_ranges(const CodeRange* begin, const CodeRange* end, std::uint32_t code_point) {
  const CodeRange* found = std::upper_bound(
      begin, end, code_point, [](std::uint32_t cp, const CodeRange& r) { return cp < r.first; });
  return found != begin && code_point <= std::prev(found)->last;
}

// Ascending, for binary search: the reserved words of strict module code, the predefined
// type names, and the words that start a type operator where a type name would stand.
constexpr std::array<std::string_view, 61> reserved_names = {
    "any",       "await",     "bigint",     "boolean",  "break",     "case",    "catch",
    "class",     "const",     "continue",   "debugger", "default",   "delete",  "do",
    "else",      "enum",      "export",     "extends",  "false",     "finally", "for",
    "function",  "if",        "implements", "import",   "in",        "infer",   "instanceof",
    "interface", "intrinsic", "keyof",      "let",      "never",     "new",     "null",
    "number",    "object",    "package",    "private",  "protected", "public",  "readonly",
    "return",    "static",    "string",     "super",    "switch",    "symbol",  "this",
    "throw",     "true",      "try",        "typeof",   "undefined", "unique",  "unknown",
    "var",       "void",      "while",      "with",     "yield"};
static_assert(std::is_sorted(reserved_names.begin(), reserved_names.end()));

constexpr bool is_ascii_identifier_char(char c, bool first) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '$' ||
         (!first && c >= '0' && c <= '9');
}

// Most names are ASCII, looked up here without decoding. 1: may start a name, 2: may continue one.
constexpr std::array<std::uint8_t, 128> ascii_classes = [] {
  std::array<std::uint8_t, 128> classes{};
  for (std::size_t c = 0; c < classes.size(); ++c) {
    classes[c] =
        static_cast<std::uint8_t>((is_ascii_identifier_char(static_cast<char>(c), true) ? 1 : 0) |
                                  (is_ascii_identifier_char(static_cast<char>(c), false) ? 2 : 0));
  }
  return classes;
}();

}  // namespace

bool is_identifier_code_point(std::uint32_t code_point, bool first) {
  if (code_point < 0x80) return is_ascii_identifier_char(static_cast<char>(code_point), first);
  return first ? in_ranges(std::begin(identifier_start), std::end(identifier_start), code_point)
               : in_ranges(std::begin(identifier_part), std::end(identifier_part), code_point);
}

bool is_reserved_name(std::string_view name, bool binding) {
  // Each of the words is 2 to 10 lowercase letters; type names seldom start with one.
  if (name.size() < 2 || name.size() > 10 || name[0] < 'a' || name[0] > 'z') return false;
  if (binding && (name == "eval" || name == "arguments")) return true;
  return std::binary_search(reserved_names.begin(), reserved_names.end(), name);
}

bool is_safe_identifier(std::string_view text, bool binding) {
  if (text.empty() || is_reserved_name(text, binding)) return false;
  for (std::size_t at = 0; at < text.size();) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x80) {
      if ((ascii_classes[byte] & (at == 0 ? 1 : 2)) == 0) return false;
      ++at;
      continue;
    }
    std::uint32_t code_point = 0;
    const std::size_t length = decode_utf8(text.substr(at), code_point);
    if (length == 0 || !is_identifier_code_point(code_point, at == 0)) return false;
    at += length;
  }
  return true;
}

void append_safe_identifier(std::string_view text, std::string& out, bool binding) {
  if (is_safe_identifier(text, binding)) {
    out += text;
    return;
  }
  // A digit or a combining mark may continue an identifier but not start one.
  std::uint32_t first = 0;
  if (text.empty() || (decode_utf8(text, first) != 0 && !is_identifier_code_point(first, true) &&
                       is_identifier_code_point(first, false)))
    out += '_';
  for (std::size_t at = 0; at < text.size();) {
    std::uint32_t code_point = 0;
    std::size_t length = decode_utf8(text.substr(at), code_point);
    if (length != 0 && is_identifier_code_point(code_point, false)) {
      out.append(text, at, length);
    } else {
      out += '_';  // one "_" per character; a byte that is not UTF-8 counts as one
      if (length == 0) length = 1;
    }
    at += length;
  }
  if (is_reserved_name(text, binding)) out += '_';
}

std::string safe_identifier(std::string_view text, bool binding) {
  std::string out;
  append_safe_identifier(text, out, binding);
  return out;
}

}  // namespace brenvale
