// The keys of a schema node that the renderer reads, found in one pass over its members.
#include "contract/schema_keys.hpp"

namespace brenvale {

SchemaKeys scan_schema(const Value& node) {
  SchemaKeys keys;
  for (const Member& member : node.object()) {
    const Value* value = &member.value;
    switch (value->key_atom) {
      case Atom::firestore_type:
        keys.firestore_type = value;
        break;
      case Atom::server_timestamp:
        keys.server_timestamp = value;
        break;
      case Atom::ref_target:
        keys.ref_target = value;
        break;
      case Atom::presence_guaranteed:
        keys.presence_guaranteed = value;
        break;
      case Atom::read_only:
        keys.read_only = value;
        break;
      case Atom::ref:
        keys.ref = value;
        break;
      case Atom::const_value:
        keys.const_value = value;
        break;
      case Atom::enum_values:
        keys.enum_values = value;
        break;
      case Atom::any_of:
        keys.any_of = value;
        break;
      case Atom::one_of:
        keys.one_of = value;
        break;
      case Atom::type:
        keys.type = value;
        break;
      case Atom::additional_properties:
        keys.additional_properties = value;
        break;
      case Atom::prefix_items:
        keys.prefix_items = value;
        break;
      case Atom::items:
        keys.items = value;
        break;
      default:
        break;
    }
  }
  return keys;
}

}  // namespace brenvale
