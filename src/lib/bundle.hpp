// How every consumer reads a contract bundle: its definitions, their kinds, required sets.
#pragma once

#include <string_view>

#include "json_value.hpp"
#include "ordered_set.hpp"

namespace brenvale {

// The bundle's `$defs` object, or the empty object.
const Value& definitions(const Value& bundle);
// Has an `enum` key, whatever its value.
bool is_enum_definition(const Value& definition);
// Has a `properties` key, whatever its value, or `type` is exactly "object".
bool is_model_definition(const Value& definition);
// The `properties` object, or the empty object.
const Value& property_map(const Value& definition);
// The string entries of `required`, borrowed from the definition.
OrderedSet<std::string_view> required_set(const Value& definition);
// The string under `key`, or nullptr when missing or not a string.
const Value* string_member(const Value& node, std::string_view key);

}  // namespace brenvale
