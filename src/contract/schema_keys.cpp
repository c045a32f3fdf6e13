// The keys of a schema node that the renderer reads, found in one pass over its members.
#include "contract/schema_keys.hpp"

namespace brenvale {

SchemaKeys scan_schema(const Value& node) {
  SchemaKeys keys;
  for (const Member& member : node.object()) {
    if (member.value.key_atom != Atom::other)
      keys.by_atom[static_cast<std::size_t>(member.value.key_atom)] = &member.value;
  }
  return keys;
}

}  // namespace brenvale
