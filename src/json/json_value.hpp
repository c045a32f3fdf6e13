// The parsed JSON value tree: compact, read-only, objects sorted by key.
#pragma once

#include <cstdint>
#include <memory>
#include <memory_resource>
#include <span>
#include <string_view>

#include "json/key_atoms.hpp"

namespace brenvale {

enum class Kind : std::uint8_t { null, boolean, int64, uint64, float64, string, array, object };

struct Member;

// One JSON value. Strings, array items and object members live in the arena of the Document
// that produced the value; a Value is only valid while that Document is alive.
struct Value {
  Kind kind = Kind::null;
  Atom key_atom = Atom::other;  // the key this value is stored under in its object, if known
  Word word = Word::other;      // a string under a key that `names_words`: its text, classified
  std::uint32_t size = 0;       // bytes of a string, items of an array, members of an object
  union {
    bool boolean;
    std::int64_t int64;
    std::uint64_t uint64;
    double float64;
    const char* chars;
    const Value* items;
    const Member* members;
  };

  Value() : int64(0) {}

  bool is_string() const { return kind == Kind::string; }
  bool is_array() const { return kind == Kind::array; }
  bool is_object() const { return kind == Kind::object; }
  bool is_true() const { return kind == Kind::boolean && boolean; }

  // Empty view / span when the value is of another kind.
  std::string_view string() const {
    return kind == Kind::string ? std::string_view(chars, size) : std::string_view();
  }
  std::span<const Value> array() const {
    return kind == Kind::array ? std::span<const Value>(items, size) : std::span<const Value>();
  }
  std::span<const Member> object() const;

  // Binary search over the sorted members; nullptr when absent or when this is not an object.
  const Value* find(std::string_view key) const;
  // The same for a key the reader classified: a scan comparing one byte per member.
  const Value* find(Atom atom) const;
};

struct Member {
  std::string_view key;
  Value value;
};

inline std::span<const Member> Value::object() const {
  return kind == Kind::object ? std::span<const Member>(members, size) : std::span<const Member>();
}

// The empty object, for "no definitions".
const Value& empty_object();

// Owns every node and string of one parsed text. The strings lie in the copy of the text, apart
// from the nodes, so a reader done with the tree can free the nodes and keep the strings; or, read
// in place, in the text itself, which the document then does not own.
struct Document {
  std::unique_ptr<std::pmr::monotonic_buffer_resource> arena;  // the nodes
  std::unique_ptr<std::pmr::monotonic_buffer_resource> text;   // the copy strings point into
  std::string_view copy;  // that copy, the text as parsed (strings decoded in place), or the text
  Value root;
  bool strings_verbatim = false;  // no escape: each string lies in the copy where it lies in the
                                  // text, with the same bytes
  std::size_t objects = 0;        // how many objects the text holds: a size hint for what reads it
  std::size_t handed_over = 0;    // entries a sink took (see parse_json)
  std::size_t table_keys = 0;     // how often the root object holds the sink's key
};

}  // namespace brenvale
