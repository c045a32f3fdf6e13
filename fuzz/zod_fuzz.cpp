// Fuzz target: the zod module, deterministic, UTF-8 and free of injection.
#include <cstdint>
#include <string>

#include "check.hpp"
#include "json/json_reader.hpp"
#include "typescript/emit_zod.hpp"

using namespace brenvale;
using namespace brenvale::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  // Python only ever hands over UTF-8; the reader target covers the rest.
  if (!is_valid_utf8(text)) return 0;
  const ParseResult parsed = parse_json(text);
  if (!parsed.ok) return 0;
  // The contract path is quoted as emit's shared path is, which that target varies.
  const std::string module = emit_zod_module(parsed.document.root, "./contract");
  require(is_valid_utf8(module), "module is not UTF-8");
  require_no_injection(module);
  require(module == emit_zod_module(parsed.document.root, "./contract"), "differs between runs");
  return 0;
}
