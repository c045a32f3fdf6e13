// Fuzz target: the plain DTO module (what emit_plain() runs).
#include <cstdint>
#include <string>

#include "check.hpp"
#include "json/json_reader.hpp"
#include "module_shape.hpp"
#include "typescript/emit_plain.hpp"
#include "utf8.hpp"

using namespace brenvale;
using namespace brenvale::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  // Python only ever hands over UTF-8; the reader target covers the rest.
  if (!is_valid_utf8(text)) return 0;
  const ParseResult parsed = parse_json(text);
  if (!parsed.ok) return 0;
  const std::string first = emit_plain(parsed.document.root);
  require(is_valid_utf8(first), "emit_plain output is not UTF-8");
  require_no_injection(first);
  require(first == emit_plain(parsed.document.root), "emit_plain differs between two runs");
  return 0;
}
