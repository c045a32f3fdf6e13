// How every consumer reads a contract bundle: its definitions, their kinds, required sets.
#include "contract/bundle.hpp"

#include <algorithm>

#include "util/byte_order.hpp"

namespace brenvale {

const Value& definitions(const Value& bundle) {
  const Value* defs = bundle.find(Atom::defs);
  return defs != nullptr && defs->is_object() ? *defs : empty_object();
}

bool is_enum_definition(const Value& definition) {
  return definition.find(Atom::enum_values) != nullptr;
}

bool is_model_definition(const Value& definition) {
  if (definition.find(Atom::properties) != nullptr) return true;
  const Value* type = definition.find(Atom::type);
  return type != nullptr && type->string() == "object" && type->is_string();
}

const Value& property_map(const Value& definition) {
  const Value* properties = definition.find(Atom::properties);
  return properties != nullptr && properties->is_object() ? *properties : empty_object();
}

bool NameSet::contains(std::string_view name) const {
  return std::binary_search(names.begin(), names.end(), name, byte_less);
}

bool AscendingLookup::contains(std::string_view ascending_name) {
  const std::vector<std::string_view>& names = set_.names;
  while (next_ < names.size() && byte_less(names[next_], ascending_name)) ++next_;
  return next_ < names.size() && names[next_] == ascending_name;
}

NameSet required_set(const Value& definition) {
  NameSet set;
  if (const Value* required = definition.find(Atom::required)) {
    set.names.reserve(required->size);
    for (const Value& item : required->array()) {
      if (item.is_string()) set.names.push_back(item.string());
    }
    std::sort(set.names.begin(), set.names.end(), byte_less);
    set.names.erase(std::unique(set.names.begin(), set.names.end()), set.names.end());
  }
  return set;
}

const Value* string_member(const Value& node, Atom key) {
  const Value* value = node.find(key);
  return value != nullptr && value->is_string() ? value : nullptr;
}

}  // namespace brenvale
