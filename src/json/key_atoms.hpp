// The one table of schema keys the system reads, numbered so hot paths compare a byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
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
  title,
  description,
};

inline constexpr std::array<std::string_view, 37> key_texts = {
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
    "title",
    "description",
};
static_assert(static_cast<std::size_t>(Atom::description) + 1 == key_texts.size());

constexpr std::string_view text_of(Atom atom) { return key_texts[static_cast<std::size_t>(atom)]; }

// The atoms ordered by key length, so a lookup compares only keys of the key's length (the
// reader classifies every key it meets).
struct KeysByLength {
  static constexpr std::size_t max_length = 31;
  std::array<std::uint8_t, max_length + 2>
      start{};  // atoms of length n: order[start[n]..start[n+1])
  std::array<std::uint8_t, key_texts.size()> order{};
};

constexpr KeysByLength keys_by_length() {
  KeysByLength index;
  std::size_t next = 0;
  for (std::size_t length = 0; length <= KeysByLength::max_length; ++length) {
    index.start[length] = static_cast<std::uint8_t>(next);
    for (std::size_t i = 1; i < key_texts.size(); ++i) {
      if (key_texts[i].size() == length) index.order[next++] = static_cast<std::uint8_t>(i);
    }
  }
  index.start[KeysByLength::max_length + 1] = static_cast<std::uint8_t>(next);
  return index;
}

inline constexpr KeysByLength key_index = keys_by_length();
static_assert(key_index.start[KeysByLength::max_length + 1] + 1 == key_texts.size(),
              "every key text is at most KeysByLength::max_length bytes");

// Are the `size` bytes at `a` and `b` the same? Two loads from either end, overlapping, cover
// any length up to 16 with no loop and no call: keys are short, and most of them are atoms.
inline bool same_bytes(const char* a, const char* b, std::size_t size) {
  const auto same = [&]<class Word>(Word) {
    Word front_a, front_b, back_a, back_b;
    std::memcpy(&front_a, a, sizeof(Word));
    std::memcpy(&front_b, b, sizeof(Word));
    std::memcpy(&back_a, a + size - sizeof(Word), sizeof(Word));
    std::memcpy(&back_b, b + size - sizeof(Word), sizeof(Word));
    return front_a == front_b && back_a == back_b;
  };
  if (size > 16) return std::memcmp(a, b, size) == 0;
  if (size >= 8) return same(std::uint64_t{});
  if (size >= 4) return same(std::uint32_t{});
  if (size >= 2) return same(std::uint16_t{});
  return size == 0 || a[0] == b[0];
}

inline Atom atom_of(std::string_view key) {
  if (key.size() > KeysByLength::max_length) return Atom::other;
  for (std::size_t i = key_index.start[key.size()]; i < key_index.start[key.size() + 1]; ++i) {
    const std::string_view text = key_texts[key_index.order[i]];
    if (same_bytes(text.data(), key.data(), key.size()))
      return static_cast<Atom>(key_index.order[i]);
  }
  return Atom::other;
}

// The string values the model reads by name under `type` and `x-firestore-type`, classified
// by the reader while the text is in the cache; every other string is `other`.
enum class Word : std::uint8_t {
  other,
  null,
  string,
  number,
  integer,
  boolean,
  object,
  array,
  timestamp,
  reference,
  geopoint,
  vector,
  bytes,
};

inline constexpr std::array<std::string_view, 13> word_texts = {
    "",      "null",      "string",    "number",   "integer", "boolean", "object",
    "array", "timestamp", "reference", "geopoint", "vector",  "bytes",
};
static_assert(static_cast<std::size_t>(Word::bytes) + 1 == word_texts.size());

// Whether the reader classifies the strings stored under `key`.
constexpr bool names_words(Atom key) { return key == Atom::type || key == Atom::firestore_type; }

constexpr Word word_of(std::string_view text) {
  if (text.empty()) return Word::other;
  for (std::size_t i = 1; i < word_texts.size(); ++i) {
    const std::string_view word = word_texts[i];
    if (word.size() != text.size()) continue;
    std::size_t same = 0;
    while (same < text.size() && word[same] == text[same]) ++same;
    if (same == text.size()) return static_cast<Word>(i);
  }
  return Word::other;
}

}  // namespace brenvale
