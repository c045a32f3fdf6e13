// Fuzz target: the Firestore module (alone, with shared definitions chosen from the input
// itself, and in each opt-in form) and the plain module (also with JSDoc), each deterministic,
// UTF-8 and free of injection.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "check.hpp"
#include "json/json_reader.hpp"
#include "typescript/emit_firestore.hpp"
#include "typescript/emit_plain.hpp"

using namespace brenvale;
using namespace brenvale::fuzz;

namespace {

// Definition names picked by the bits of a hash of the input, so every input fixes its own
// choice; bit 63 also adds a name that is no definition.
OrderedSet<std::string> shared_names(const Value& root, std::uint64_t selector) {
  OrderedSet<std::string> names;
  const Value* defs = root.find("$defs");
  std::size_t index = 0;
  for (const Member& member : defs != nullptr ? defs->object() : std::span<const Member>()) {
    if ((selector >> (index++ % 63)) & 1) names.emplace(member.key);
  }
  if (selector >> 63) names.emplace("NoSuchDefinition");
  return names;
}

template <typename Emit>
void check_module(Emit emit) {
  const std::string first = emit();
  require(is_valid_utf8(first), "module is not UTF-8");
  require_no_injection(first);
  require(first == emit(), "module differs between two runs");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  // Python only ever hands over UTF-8; the reader target covers the rest.
  if (!is_valid_utf8(text)) return 0;
  const ParseResult parsed = parse_json(text);
  if (!parsed.ok) return 0;
  const Value& root = parsed.document.root;
  check_module([&] { return emit_firestore_module(root, {}, {}); });
  check_module([&] { return emit_plain(root); });
  // A root "title" string stands in for the shared path, so the fuzzer can vary that too.
  const Value* title = root.find("title");
  const std::string_view path =
      title != nullptr && title->is_string() ? title->string() : "./shared";
  const std::uint64_t selector = std::hash<std::string>()(text);
  check_module([&] { return emit_firestore_module(root, shared_names(root, selector), path); });
  check_module([&] { return emit_firestore_module(root, {}, {}, {.update_paths = true}); });
  check_module([&] { return emit_firestore_module(root, {}, {}, {.jsdoc = true}); });
  check_module([&] { return emit_plain(root, {.jsdoc = true}); });
  return 0;
}
