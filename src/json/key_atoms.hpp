// The object keys the system reads, numbered so hot paths compare a byte, not a string.
#pragma once

#include <cstdint>
#include <string_view>

namespace brenvale {

// Classified once, when the reader meets the key; every other key is `other`.
enum class Atom : std::uint8_t {
  other,
  ref,                    // $ref
  defs,                   // $defs
  enum_values,            // enum
  type,                   // type
  const_value,            // const
  any_of,                 // anyOf
  one_of,                 // oneOf
  items,                  // items
  read_only,              // readOnly
  required,               // required
  properties,             // properties
  prefix_items,           // prefixItems
  firestore_type,         // x-firestore-type
  additional_properties,  // additionalProperties
  ref_target,             // x-firestore-ref-target
  collection,             // x-firestore-collection
  doc_id_field,           // x-firestore-doc-id-field
  server_timestamp,       // x-firestore-server-timestamp
  presence_guaranteed,    // x-firestore-presence-guaranteed
};

constexpr Atom atom_of(std::string_view key) {
  switch (key.size()) {
    case 4:
      if (key == "$ref") return Atom::ref;
      if (key == "enum") return Atom::enum_values;
      if (key == "type") return Atom::type;
      break;
    case 5:
      if (key == "$defs") return Atom::defs;
      if (key == "const") return Atom::const_value;
      if (key == "anyOf") return Atom::any_of;
      if (key == "oneOf") return Atom::one_of;
      if (key == "items") return Atom::items;
      break;
    case 8:
      if (key == "readOnly") return Atom::read_only;
      if (key == "required") return Atom::required;
      break;
    case 10:
      if (key == "properties") return Atom::properties;
      break;
    case 11:
      if (key == "prefixItems") return Atom::prefix_items;
      break;
    case 16:
      if (key == "x-firestore-type") return Atom::firestore_type;
      break;
    case 20:
      if (key == "additionalProperties") return Atom::additional_properties;
      break;
    case 22:
      if (key == "x-firestore-ref-target") return Atom::ref_target;
      if (key == "x-firestore-collection") return Atom::collection;
      break;
    case 24:
      if (key == "x-firestore-doc-id-field") return Atom::doc_id_field;
      break;
    case 28:
      if (key == "x-firestore-server-timestamp") return Atom::server_timestamp;
      break;
    case 31:
      if (key == "x-firestore-presence-guaranteed") return Atom::presence_guaranteed;
      break;
    default:
      break;
  }
  return Atom::other;
}

}  // namespace brenvale
