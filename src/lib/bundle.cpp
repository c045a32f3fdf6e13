// How every consumer reads a contract bundle: its definitions, their kinds, required sets.
#include "bundle.hpp"

namespace brenvale {

const Value& definitions(const Value& bundle) {
  const Value* defs = bundle.find("$defs");
  return defs != nullptr && defs->is_object() ? *defs : empty_object();
}

bool is_enum_definition(const Value& definition) { return definition.find("enum") != nullptr; }

bool is_model_definition(const Value& definition) {
  if (definition.find("properties") != nullptr) return true;
  const Value* type = definition.find("type");
  return type != nullptr && type->string() == "object" && type->is_string();
}

const Value& property_map(const Value& definition) {
  const Value* properties = definition.find("properties");
  return properties != nullptr && properties->is_object() ? *properties : empty_object();
}

OrderedSet<std::string_view> required_set(const Value& definition) {
  OrderedSet<std::string_view> names;
  if (const Value* required = definition.find("required")) {
    for (const Value& item : required->array()) {
      if (item.is_string()) names.insert(item.string());
    }
  }
  return names;
}

const Value* string_member(const Value& node, std::string_view key) {
  const Value* value = node.find(key);
  return value != nullptr && value->is_string() ? value : nullptr;
}

}  // namespace brenvale
