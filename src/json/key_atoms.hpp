// The one table of schema keys the system reads, numbered so hot paths compare a byte.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>

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
  max_properties,
  min_properties,
  property_names,
  pattern_properties,
};

inline constexpr std::array<std::string_view, 41> key_texts = {
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
    "maxProperties",
    "minProperties",
    "propertyNames",
    "patternProperties",
};
static_assert(static_cast<std::size_t>(Atom::pattern_properties) + 1 == key_texts.size());

constexpr std::string_view text_of(Atom atom) { return key_texts[static_cast<std::size_t>(atom)]; }

// Each atom's place among the atoms' texts in byte order: two keys the reader classified compare
// as two bytes. The reader sorts every object by key, and most keys of a schema are atoms.
inline constexpr std::array<std::uint8_t, key_texts.size()> atom_ranks = [] {
  std::array<std::uint8_t, key_texts.size()> ranks{};
  for (std::size_t i = 0; i < key_texts.size(); ++i) {
    for (const std::string_view text : key_texts) ranks[i] += text < key_texts[i] ? 1 : 0;
  }
  return ranks;
}();

constexpr std::uint8_t rank_of(Atom atom) { return atom_ranks[static_cast<std::size_t>(atom)]; }
static_assert(
    [] {
      for (std::size_t i = 0; i < key_texts.size(); ++i) {
        for (std::size_t j = 0; j < key_texts.size(); ++j) {
          if (i != j && atom_ranks[i] == atom_ranks[j]) return false;
        }
      }
      return true;
    }(),
    "two atoms share a text");

// A perfect hash of a table's texts (the atoms', the words'): a key's length and its first and
// last four or eight bytes pick one slot, so a lookup compares one text at most, whatever the
// key. The reader classifies every key it meets, property names included, most of which are no
// atom. A slot holds the same length and words of its text, so the words the hash read decide at
// once, with no load of the text: only a text longer than 16 bytes has a middle to compare.
struct KeyHash {
  static constexpr std::size_t shortest = 4;  // no atom or word is shorter
  static constexpr int bits = 7;

  // Four or eight (`bytes`) bytes from `at`, little end first, also while compiling.
  static constexpr std::uint64_t load(std::string_view key, std::size_t at, std::size_t bytes) {
    std::uint64_t word = 0;
    if (!std::is_constant_evaluated() && std::endian::native == std::endian::little) {
      if (bytes == 8) {
        std::memcpy(&word, key.data() + at, 8);
      } else {
        std::uint32_t half = 0;
        std::memcpy(&half, key.data() + at, 4);
        word = half;
      }
      return word;
    }
    for (std::size_t i = 0; i < bytes; ++i)
      word |= std::uint64_t{static_cast<unsigned char>(key[at + i])} << (8 * i);
    return word;
  }

  // A key of at least `shortest` bytes, as the hash reads it.
  struct Words {
    std::uint64_t front;
    std::uint64_t back;
  };
  static constexpr Words words(std::string_view key) {
    const std::size_t bytes = key.size() >= 8 ? 8 : 4;
    return {load(key, 0, bytes), load(key, key.size() - bytes, bytes)};
  }
  static constexpr std::size_t slot(Words w, std::size_t size, std::uint64_t multiplier) {
    const std::uint64_t mixed = w.front ^ w.back * 0x9E3779B97F4A7C15U ^ size;
    return static_cast<std::size_t>((mixed * multiplier) >> (64 - bits));
  }

  struct Slot {
    Words words{};
    std::uint32_t size = 0;  // 0: no atom
    std::uint8_t index = 0;  // of the text in its table
  };

  std::uint64_t multiplier = 0;
  std::array<Slot, std::size_t{1} << bits> slots{};
};

// Tries multipliers of a fixed sequence (splitmix64's) until one gives every text of `texts` but
// the first (the empty `other`) a slot of its own: a new text may change the multiplier, never
// the lookup.
template <std::size_t N>
constexpr KeyHash make_key_hash(const std::array<std::string_view, N>& texts) {
  static_assert(N < 256, "a slot numbers its text in a byte");
  std::uint64_t state = 0;
  for (int attempt = 0; attempt < 100000; ++attempt) {
    state += 0x9E3779B97F4A7C15U;
    std::uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9U;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBU;
    KeyHash hash;
    hash.multiplier = (z ^ (z >> 31)) | 1;
    bool separate = true;
    for (std::size_t i = 1; i < texts.size() && separate; ++i) {
      const std::string_view text = texts[i];
      // A lookup reads a key of four to thirty-two bytes.
      separate = text.size() >= KeyHash::shortest && text.size() <= 32;
      if (!separate) break;
      const KeyHash::Words w = KeyHash::words(text);
      KeyHash::Slot& slot = hash.slots[KeyHash::slot(w, text.size(), hash.multiplier)];
      separate = slot.size == 0;
      slot = {w, static_cast<std::uint32_t>(text.size()), static_cast<std::uint8_t>(i)};
    }
    if (separate) return hash;
  }
  return {};
}

// The number of `key` in the texts `hash` was made from, or 0 (`other`). Inlined: the reader
// looks up every key and type word, and the second module left the words' lookup a call.
template <std::size_t N>
[[gnu::always_inline]] inline std::size_t find_text(const KeyHash& hash,
                                                    const std::array<std::string_view, N>& texts,
                                                    std::string_view key) {
  if (key.size() < KeyHash::shortest) return 0;
  const KeyHash::Words w = KeyHash::words(key);
  const KeyHash::Slot& slot = hash.slots[KeyHash::slot(w, key.size(), hash.multiplier)];
  if (slot.size != key.size() || slot.words.front != w.front || slot.words.back != w.back) return 0;
  // Sixteen bytes or fewer are all in the two words; a longer key has a middle of its own,
  // which two more words cover, as no text is longer than thirty-two bytes.
  if (key.size() > 16) {
    const std::string_view text = texts[slot.index];
    if (KeyHash::load(key, 8, 8) != KeyHash::load(text, 8, 8) ||
        KeyHash::load(key, key.size() - 16, 8) != KeyHash::load(text, key.size() - 16, 8))
      return 0;
  }
  return slot.index;
}

inline constexpr KeyHash key_hash = make_key_hash(key_texts);
static_assert(key_hash.multiplier != 0, "an atom is too short or too long, or bits too few");

inline Atom atom_of(std::string_view key) {
  return static_cast<Atom>(find_text(key_hash, key_texts, key));
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

// Read once per `type`, in the reader's hot loop: one slot, as for keys.
inline constexpr KeyHash word_hash = make_key_hash(word_texts);
static_assert(word_hash.multiplier != 0, "a word is too short or too long, or bits too few");

inline Word word_of(std::string_view text) {
  return static_cast<Word>(find_text(word_hash, word_texts, text));
}

}  // namespace brenvale
