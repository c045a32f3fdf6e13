// The keys of a schema node that the renderer reads, found in one pass over its members.
#pragma once

#include "json/json_value.hpp"

namespace brenvale {

// Each pointer is the member's value, or nullptr when the node lacks the key (or is no object).
struct SchemaKeys {
  const Value* firestore_type = nullptr;       // x-firestore-type
  const Value* server_timestamp = nullptr;     // x-firestore-server-timestamp
  const Value* ref_target = nullptr;           // x-firestore-ref-target
  const Value* presence_guaranteed = nullptr;  // x-firestore-presence-guaranteed
  const Value* read_only = nullptr;            // readOnly
  const Value* ref = nullptr;                  // $ref
  const Value* const_value = nullptr;          // const
  const Value* enum_values = nullptr;          // enum
  const Value* any_of = nullptr;
  const Value* one_of = nullptr;
  const Value* type = nullptr;
  const Value* additional_properties = nullptr;
  const Value* prefix_items = nullptr;
  const Value* items = nullptr;
};

// One pass over the members, dispatching on the atom the reader gave each key: the key text
// itself is not touched again.
SchemaKeys scan_schema(const Value& node);

}  // namespace brenvale
