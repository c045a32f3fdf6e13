// The one table of schema keys the system reads, numbered so hot paths compare a byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace brenvale {

// Classified once, when the reader meets the key; every other key is `other`. The order is the
// order of `key_texts`.
enum class Atom : std::uint8_t {
  other,
  ref,
  defs,
  enum_values,
  type,
  const_value,
  any_of,
  one_of,
  items,
  read_only,
  required,
  properties,
  prefix_items,
  firestore_type,
  additional_properties,
  ref_target,
  collection,
  doc_id_field,
  server_timestamp,
  presence_guaranteed,
  default_value,
  discriminator,
  mapping,
  max_length,
  min_length,
  maximum,
  minimum,
  exclusive_maximum,
  exclusive_minimum,
  max_items,
  min_items,
  pattern,
  format,
  multiple_of,
  unique_items,
};

inline constexpr std::array<std::string_view, 35> key_texts = {
    "",
    "$ref",
    "$defs",
    "enum",
    "type",
    "const",
    "anyOf",
    "oneOf",
    "items",
    "readOnly",
    "required",
    "properties",
    "prefixItems",
    "x-firestore-type",
    "additionalProperties",
    "x-firestore-ref-target",
    "x-firestore-collection",
    "x-firestore-doc-id-field",
    "x-firestore-server-timestamp",
    "x-firestore-presence-guaranteed",
    "default",
    "discriminator",
    "mapping",
    "maxLength",
    "minLength",
    "maximum",
    "minimum",
    "exclusiveMaximum",
    "exclusiveMinimum",
    "maxItems",
    "minItems",
    "pattern",
    "format",
    "multipleOf",
    "uniqueItems",
};
static_assert(static_cast<std::size_t>(Atom::unique_items) + 1 == key_texts.size());

constexpr std::string_view text_of(Atom atom) { return key_texts[static_cast<std::size_t>(atom)]; }

// A length test first: most keys a bundle holds are property names of other lengths.
constexpr Atom atom_of(std::string_view key) {
  if (key.size() < 4 || key.size() > 31) return Atom::other;
  for (std::size_t i = 1; i < key_texts.size(); ++i) {
    if (key_texts[i] == key) return static_cast<Atom>(i);
  }
  return Atom::other;
}

}  // namespace brenvale
