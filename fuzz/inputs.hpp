// What the fuzz targets share beyond the properties: turning the input into bundles, and checking
// one generated module.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "check.hpp"
#include "json/json_reader.hpp"
#include "util/ordered_set.hpp"

namespace brenvale::fuzz {

// The bundle in the input, when it is UTF-8 JSON: Python only ever hands over UTF-8, and the
// reader's own target covers the rest.
inline std::optional<Document> bundle_of(std::string_view input) {
  if (!is_valid_utf8(input)) return std::nullopt;
  ParseResult parsed = parse_json(std::string(input));
  if (!parsed.ok) return std::nullopt;
  return std::move(parsed.document);
}

// Old and new bundles, the input split at its first NUL byte (no valid JSON text holds a raw
// one); without a NUL both are the input itself.
struct Pair {
  Document old_bundle;
  Document new_bundle;
  bool same = false;
};

inline std::optional<Pair> pair_of(std::string_view input) {
  const std::size_t split = input.find('\0');
  const bool same = split == std::string_view::npos;
  std::optional<Document> old_bundle = bundle_of(input.substr(0, split));
  std::optional<Document> new_bundle = bundle_of(same ? input : input.substr(split + 1));
  if (!old_bundle || !new_bundle) return std::nullopt;
  return Pair{std::move(*old_bundle), std::move(*new_bundle), same};
}

// Definition names picked by the bits of a hash of the input, so every input fixes its own
// choice; bit 63 also adds a name that is no definition.
inline OrderedSet<std::string> shared_names(const Value& root, std::string_view input) {
  const std::uint64_t selector = std::hash<std::string_view>()(input);
  OrderedSet<std::string> names;
  const Value* defs = root.find("$defs");
  std::size_t index = 0;
  for (const Member& member : defs != nullptr ? defs->object() : std::span<const Member>()) {
    if ((selector >> (index++ % 63)) & 1) names.emplace(member.key);
  }
  if (selector >> 63) names.emplace("NoSuchDefinition");
  return names;
}

// A root "title" string stands in for the path of an imported module (shared definitions, the
// Firestore module of the zod module), so the fuzzer varies that too.
inline std::string_view import_path(const Value& root) {
  const Value* title = root.find("title");
  return title != nullptr && title->is_string() ? title->string() : "./shared";
}

// A generated module is UTF-8, free of injection and the same on a second run.
template <typename Emit>
void check_module(Emit emit) {
  const std::string first = emit();
  require(is_valid_utf8(first), "module is not UTF-8");
  require_no_injection(first);
  require(first == emit(), "module differs between two runs");
}

}  // namespace brenvale::fuzz
