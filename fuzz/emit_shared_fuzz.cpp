// Fuzz target: the Firestore module with shared definitions chosen from the input itself.
#include <cstdint>
#include <string>
#include <string_view>

#include "check.hpp"
#include "json/json_reader.hpp"
#include "module_shape.hpp"
#include "typescript/emit_firestore.hpp"
#include "utf8.hpp"

using namespace brenvale;
using namespace brenvale::fuzz;

namespace {

// FNV-1a: picks which definitions are shared, so every input fixes its own choice.
std::uint64_t hash_of(std::string_view text) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  return hash;
}

// Definition names picked by the bits of the hash; bit 63 also adds a name that is no definition.
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  // Python only ever hands over UTF-8; the reader target covers the rest.
  if (!is_valid_utf8(text)) return 0;
  const ParseResult parsed = parse_json(text);
  if (!parsed.ok) return 0;
  const Value& root = parsed.document.root;
  // A root "title" string stands in for the shared path, so the fuzzer can vary that too.
  const Value* title = root.find("title");
  const std::string_view path =
      title != nullptr && title->is_string() ? title->string() : "./shared";
  const std::uint64_t selector = hash_of(text);
  const std::string first = emit_inner(root, shared_names(root, selector), path);
  require(is_valid_utf8(first), "emit_shared output is not UTF-8");
  require_no_injection(first);
  require(first == emit_inner(root, shared_names(root, selector), path),
          "emit_shared differs between two runs");
  return 0;
}
