// Fuzz target: the JSON reader on any bytes, reading a copy and reading in place.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string>

#include "check.hpp"
#include "json/json_reader.hpp"

using namespace brenvale;
using namespace brenvale::fuzz;

namespace {

// One canonical JSON text per value tree: compares trees and feeds them back to the reader.
std::string quoted(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    if (static_cast<unsigned char>(c) < 0x20) {
      out += c < 0x10 ? "\\u000" : "\\u001";
      c = "0123456789abcdef"[c & 15];
    }
    out += c;
  }
  return out + '"';
}

std::string tree_text(const Value& value) {
  char digits[32];
  char* const end = digits + sizeof digits;
  if (value.kind == Kind::null) return "null";
  if (value.kind == Kind::boolean) return value.boolean ? "true" : "false";
  if (value.kind == Kind::int64) return {digits, std::to_chars(digits, end, value.int64).ptr};
  if (value.kind == Kind::uint64) return {digits, std::to_chars(digits, end, value.uint64).ptr};
  if (value.kind == Kind::string) return quoted(value.string());
  if (value.kind == Kind::float64) {
    const std::string text(digits, std::to_chars(digits, end, value.float64).ptr);
    // Without a fraction or exponent the reader would take it back as an integer.
    return text.find_first_of(".e") == std::string::npos ? text + ".0" : text;
  }
  std::string out;
  for (const Value& item : value.array()) out += "," + tree_text(item);
  for (const Member& m : value.object()) out += "," + quoted(m.key) + ":" + tree_text(m.value);
  if (out.empty()) out = ",";
  return value.is_array() ? "[" + out.substr(1) + "]" : "{" + out.substr(1) + "}";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The reader needs a readable NUL after the text; libFuzzer's buffer has none.
  const std::string text(reinterpret_cast<const char*>(data), size);
  const ParseResult first = parse_json(text);
  // Read in place (as a large bundle is), the text gives the same tree or the same failure.
  const ParseResult second = parse_json_in_place(text);
  require(first.ok == second.ok, "reader accepts and refuses the same text");
  if (!first.ok) {
    // The line of a failure exists in the text and its column lies within that line.
    const ParseError& error = first.error;
    require(error.line >= 1 && error.line <= 1 + static_cast<std::size_t>(
                                                     std::count(text.begin(), text.end(), '\n')),
            "parse failure line outside the text");
    std::size_t start = 0;
    for (std::size_t line = 1; line < error.line; ++line) start = text.find('\n', start) + 1;
    require(error.column <= std::min(text.find('\n', start), text.size()) - start,
            "parse failure column past the end of its line");
    require(error.kind == second.error.kind && error.line == second.error.line &&
                error.column == second.error.column,
            "the copy and the text read in place fail in two ways");
    return 0;
  }
  const std::string tree = tree_text(first.document.root);
  require(tree == tree_text(second.document.root),
          "the copy and the text read in place give two trees");
  if (!is_valid_utf8(text)) return 0;
  // From UTF-8 text every string in the tree is UTF-8, and the tree survives a round trip.
  require(is_valid_utf8(tree), "tree of UTF-8 text holds a non-UTF-8 string");
  const ParseResult again = parse_json(tree);
  require(again.ok, "reader refuses the canonical text of its own tree");
  require(tree_text(again.document.root) == tree, "tree changes on a round trip");
  return 0;
}
