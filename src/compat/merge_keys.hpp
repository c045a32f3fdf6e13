// One ordered pass over two sorted sequences of named entries, as compat compares contracts.
#pragma once

#include <span>
#include <string_view>

#include "util/byte_order.hpp"

namespace brenvale::compat {

// Both sequences run in byte order of `key(entry)` with unique keys, so one linear pass yields
// the union of both in order, each key once, with its entry on each side (or nullptr). Stops
// early, returning false, when `visit` returns false.
template <class T, class Key, class Visit>
bool merge_keys(std::span<const T> olds, std::span<const T> news, Key&& key, Visit&& visit) {
  auto old_it = olds.begin();
  auto new_it = news.begin();
  while (old_it != olds.end() || new_it != news.end()) {
    bool go_on = true;
    // Most keys of two versions are the same: equality is asked first, without a call, and
    // only two different keys are ordered.
    const int order = old_it == olds.end()                     ? 1
                      : new_it == news.end()                   ? -1
                      : same_bytes(key(*old_it), key(*new_it)) ? 0
                                                               : key(*old_it).compare(key(*new_it));
    if (order < 0) {
      go_on = visit(key(*old_it), &*old_it, static_cast<const T*>(nullptr));
      ++old_it;
    } else if (order > 0) {
      go_on = visit(key(*new_it), static_cast<const T*>(nullptr), &*new_it);
      ++new_it;
    } else {
      go_on = visit(key(*old_it), &*old_it, &*new_it);
      ++old_it;
      ++new_it;
    }
    if (!go_on) return false;
  }
  return true;
}

}  // namespace brenvale::compat
