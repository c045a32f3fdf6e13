// The keys of a schema node that the renderer reads, found in one pass over its members.
#pragma once

#include <array>

#include "json/json_value.hpp"

namespace brenvale {

// The member value under each key the reader knows, or nullptr when the node lacks the key (or
// is no object).
struct SchemaKeys {
  std::array<const Value*, key_texts.size()> by_atom{};

  const Value* operator[](Atom atom) const { return by_atom[static_cast<std::size_t>(atom)]; }
};

// One pass over the members, indexed by the atom the reader gave each key: the key text itself
// is not touched again.
SchemaKeys scan_schema(const Value& node);

}  // namespace brenvale
