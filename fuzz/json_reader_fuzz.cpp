// Fuzz target: the JSON reader on any bytes.
#include <cstdint>
#include <string>

#include "check.hpp"
#include "json/json_reader.hpp"
#include "parse_errors.hpp"
#include "tree_text.hpp"
#include "utf8.hpp"

using namespace brenvale;
using namespace brenvale::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The reader needs a readable NUL after the text; libFuzzer's buffer has none.
  const std::string text(reinterpret_cast<const char*>(data), size);
  const ParseResult first = parse_json(text);
  const ParseResult second = parse_json(text);
  require(first.ok == second.ok, "reader accepts and refuses the same text");
  if (!first.ok) {
    check_parse_error(text, first.error);
    require(first.error.description == second.error.description &&
                first.error.line == second.error.line && first.error.column == second.error.column,
            "reader reports one failure twice in two ways");
    return 0;
  }
  const std::string tree = tree_text(first.document.root);
  require(tree == tree_text(second.document.root), "reader builds one text into two trees");
  if (!is_valid_utf8(text)) return 0;
  // From UTF-8 text every string in the tree is UTF-8, and the tree survives a round trip.
  require(is_valid_utf8(tree), "tree of UTF-8 text holds a non-UTF-8 string");
  const ParseResult again = parse_json(tree);
  require(again.ok, "reader refuses the canonical text of its own tree");
  require(tree_text(again.document.root) == tree, "tree changes on a round trip");
  return 0;
}
