// Lookups on the value tree.
#include "json_value.hpp"

#include <algorithm>

namespace brenvale {

const Value* Value::find(std::string_view key) const {
  if (kind != Kind::object) return nullptr;
  const Member* end = members + size;
  const Member* it = std::lower_bound(
      members, end, key, [](const Member& m, std::string_view k) { return m.key < k; });
  return it != end && it->key == key ? &it->value : nullptr;
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
