// One ordered pass over the keys of two objects, as the diff and the rule set compare bundles.
#pragma once

#include <bit>
#include <cstdint>
#include <span>
#include <string_view>

#include "json/json_value.hpp"

namespace brenvale::compat {

// Objects iterate in byte order with unique keys, so one linear pass yields the union of both
// key sequences in order, each name once, borrowed, with its value on each side (or nullptr).
// Stops early, returning false, when `visit` returns false.
template <class Visit>
bool merge_keys(std::span<const Member> olds, std::span<const Member> news, Visit&& visit) {
  auto old_it = olds.begin();
  auto new_it = news.begin();
  while (old_it != olds.end() || new_it != news.end()) {
    bool go_on = true;
    if (new_it == news.end() || (old_it != olds.end() && old_it->key < new_it->key)) {
      go_on = visit(old_it->key, &old_it->value, nullptr);
      ++old_it;
    } else if (old_it == olds.end() || new_it->key < old_it->key) {
      go_on = visit(new_it->key, nullptr, &new_it->value);
      ++new_it;
    } else {
      go_on = visit(old_it->key, &old_it->value, &new_it->value);
      ++old_it;
      ++new_it;
    }
    if (!go_on) return false;
  }
  return true;
}

// Exact structural equality (floats bit for bit: -0.0 and 0.0 print differently). A `$ref`
// member holding a string is equal only when both strings are and `same_ref` accepts it.
template <class SameRef>
bool same_tree(const Value& a, const Value& b, SameRef& same_ref) {
  if (a.kind != b.kind || a.size != b.size) return false;
  switch (a.kind) {
    case Kind::null:
      return true;
    case Kind::boolean:
      return a.boolean == b.boolean;
    case Kind::int64:
      return a.int64 == b.int64;
    case Kind::uint64:
      return a.uint64 == b.uint64;
    case Kind::float64:
      return std::bit_cast<std::uint64_t>(a.float64) == std::bit_cast<std::uint64_t>(b.float64);
    case Kind::string:
      return a.string() == b.string();
    case Kind::array:
      for (std::uint32_t i = 0; i < a.size; ++i) {
        if (!same_tree(a.items[i], b.items[i], same_ref)) return false;
      }
      return true;
    case Kind::object:
      for (std::uint32_t i = 0; i < a.size; ++i) {
        const Member& x = a.members[i];
        const Member& y = b.members[i];
        if (x.key != y.key || !same_tree(x.value, y.value, same_ref)) return false;
        if (x.value.key_atom == Atom::ref && x.value.is_string() && !same_ref(x.value.string()))
          return false;
      }
      return true;
  }
  return false;
}

// Plain structural equality: `$ref` strings compare as text.
inline bool same_tree(const Value& a, const Value& b) {
  auto as_text = [](std::string_view) { return true; };
  return same_tree(a, b, as_text);
}

}  // namespace brenvale::compat
