// How every consumer reads a contract bundle: its definitions, their kinds, required sets.
#pragma once

#include <string_view>
#include <vector>

#include "json/json_value.hpp"

namespace brenvale {

// The bundle's `$defs` object, or the empty object.
const Value& definitions(const Value& bundle);
// Has an `enum` key, whatever its value.
bool is_enum_definition(const Value& definition);
// Has a `properties` key, whatever its value, or `type` is exactly "object".
bool is_model_definition(const Value& definition);
// The `properties` object, or the empty object.
const Value& property_map(const Value& definition);
// A sorted, duplicate-free set of borrowed names, for membership tests only.
struct NameSet {
  std::vector<std::string_view> names;
  bool contains(std::string_view name) const;
};

// Tests names given in ascending byte order (as an object's keys come) against a NameSet,
// walking both in step instead of searching for each name.
class AscendingLookup {
 public:
  explicit AscendingLookup(const NameSet& set) : set_(set) {}
  bool contains(std::string_view ascending_name);

 private:
  const NameSet& set_;
  std::size_t next_ = 0;
};

// The string entries of `required`, borrowed from the definition.
NameSet required_set(const Value& definition);
// The string under `key`, or nullptr when missing or not a string.
const Value* string_member(const Value& node, Atom key);

}  // namespace brenvale
