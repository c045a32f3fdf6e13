// What an Update type may offer: field names Firestore reads as paths, and maps the Admin SDK's
// UpdateData cannot expand.
#include "emit/update_keys.hpp"

#include <utility>

namespace brenvale {

std::vector<std::string_view> path_like_keys(const Contract& contract, const Definition& model,
                                             Writer writer) {
  std::vector<std::string_view> keys;
  for (const Property& property : contract.properties_of(model)) {
    if (!property.path_like) continue;
    if (presence_of(model, property, Side::write, contract, writer) == Presence::absent) continue;
    keys.push_back(property.key);
  }
  return keys;
}

bool admin_update_data_fails(const Contract& contract, const Definition& model) {
  // An explicit stack: a chain of definitions may be longer than the call stack allows.
  std::vector<std::pair<NodeId, bool>> stack;  // a node, and whether it is inside a map's values
  std::vector<bool> seen(contract.definitions.size() * 2, false);
  const auto push_definition = [&](DefId id, bool in_map) {
    if (id == no_id || seen[id * 2 + (in_map ? 1 : 0)]) return;
    seen[id * 2 + (in_map ? 1 : 0)] = true;
    const Definition& definition = contract.definitions[id];
    stack.emplace_back(definition.node, in_map);
    for (const Property& property : contract.properties_of(definition))
      stack.emplace_back(property.node, in_map);
  };
  for (const Property& property : contract.properties_of(model))
    stack.emplace_back(property.node, false);
  while (!stack.empty()) {
    const auto [id, in_map] = stack.back();
    stack.pop_back();
    const TypeNode& node = contract.node(id);
    if (in_map && node.form == TypeForm::firestore && node.firestore == FirestoreKind::reference)
      return true;
    for (const NodeId member : contract.alternatives(node)) stack.emplace_back(member, in_map);
    for (const NodeId member : contract.tuple(node)) stack.emplace_back(member, in_map);
    if (node.items != no_id) stack.emplace_back(node.items, in_map);
    if (node.record_node != no_id) stack.emplace_back(node.record_node, true);
    if (node.has_ref) push_definition(node.ref_def, in_map);
  }
  return false;
}

}  // namespace brenvale
