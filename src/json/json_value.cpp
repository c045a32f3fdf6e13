// Lookups on the value tree.
#include "json/json_value.hpp"

#include <algorithm>
#include <cstring>

#include "util/byte_order.hpp"

namespace brenvale {

const Value* Value::find(std::string_view key) const {
  if (kind != Kind::object) return nullptr;
  const Member* end = members + size;
  // Schema nodes hold a handful of keys: comparing lengths first beats a binary search there.
  constexpr std::uint32_t scan_limit = 12;
  if (size <= scan_limit) {
    for (const Member* it = members; it != end; ++it) {
      if (it->key.size() == key.size() && (key.empty() || it->key[0] == key[0]) &&
          std::memcmp(it->key.data(), key.data(), key.size()) == 0)
        return &it->value;
    }
    return nullptr;
  }
  const Member* it = std::lower_bound(
      members, end, key, [](const Member& m, std::string_view k) { return byte_less(m.key, k); });
  return it != end && it->key == key ? &it->value : nullptr;
}

const Value* Value::find(Atom atom) const {
  for (const Member& member : object()) {
    if (member.value.key_atom == atom) return &member.value;
  }
  return nullptr;
}

const Value& empty_object() {
  static const Value empty = [] {
    Value v;
    v.kind = Kind::object;
    v.members = nullptr;
    return v;
  }();
  return empty;
}

}  // namespace brenvale
