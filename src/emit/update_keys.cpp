// What an Update type may offer: field names Firestore reads as paths, and maps the Admin SDK's
// UpdateData cannot expand.
#include "emit/update_keys.hpp"

#include <cstdint>
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

namespace {

// What the nodes of one definition, walked without crossing a reference, lead to: whether a
// document reference lies inside a map's values, and which definitions they name, each with
// whether it is reached inside a map's values.
struct LocalWalk {
  bool reaches_reference = false;
  std::vector<std::pair<DefId, bool>> definitions;
};

// An explicit stack: a type may nest deeper than the call stack allows.
LocalWalk walk_nodes(const Contract& contract, std::vector<std::pair<NodeId, bool>>& stack) {
  LocalWalk walk;
  while (!stack.empty()) {
    const auto [id, in_map] = stack.back();
    stack.pop_back();
    const TypeNode& node = contract.node(id);
    if (in_map && node.form == TypeForm::firestore && node.firestore == FirestoreKind::reference)
      walk.reaches_reference = true;
    for (const NodeId member : contract.alternatives(node)) stack.emplace_back(member, in_map);
    for (const NodeId member : contract.tuple(node)) stack.emplace_back(member, in_map);
    if (node.items != no_id) stack.emplace_back(node.items, in_map);
    if (node.record_node != no_id) stack.emplace_back(node.record_node, true);
    if (node.has_ref && node.ref_def != no_id) walk.definitions.emplace_back(node.ref_def, in_map);
  }
  return walk;
}

}  // namespace

std::vector<bool> admin_update_data_failures(const Contract& contract) {
  // A state is a definition reached outside (0) or inside (1) a map's values: state d * 2 + m.
  // A state fails when its own nodes hold a reference inside a map's values, or when a state it
  // reaches fails; found backwards from the states that fail by themselves, once each.
  const std::size_t states = contract.definitions.size() * 2;
  std::vector<bool> fails(states, false);
  std::vector<std::vector<std::uint32_t>> reached_from(states);
  std::vector<std::uint32_t> failing;
  std::vector<std::pair<NodeId, bool>> stack;
  for (std::size_t state = 0; state < states; ++state) {
    const Definition& definition = contract.definitions[state / 2];
    const bool in_map = state % 2 == 1;
    stack.emplace_back(definition.node, in_map);
    for (const Property& property : contract.properties_of(definition))
      stack.emplace_back(property.node, in_map);
    const LocalWalk walk = walk_nodes(contract, stack);
    for (const auto& [id, inside] : walk.definitions)
      reached_from[id * 2 + (inside ? 1 : 0)].push_back(static_cast<std::uint32_t>(state));
    if (walk.reaches_reference) {
      fails[state] = true;
      failing.push_back(static_cast<std::uint32_t>(state));
    }
  }
  while (!failing.empty()) {
    const std::uint32_t state = failing.back();
    failing.pop_back();
    for (const std::uint32_t from : reached_from[state]) {
      if (fails[from]) continue;
      fails[from] = true;
      failing.push_back(from);
    }
  }
  // A model's own answer starts from its properties alone, outside any map.
  std::vector<bool> models(contract.definitions.size(), false);
  for (std::size_t id = 0; id < models.size(); ++id) {
    const Definition& model = contract.definitions[id];
    if (model.kind != DefinitionKind::model) continue;
    for (const Property& property : contract.properties_of(model))
      stack.emplace_back(property.node, false);
    const LocalWalk walk = walk_nodes(contract, stack);
    models[id] = walk.reaches_reference;
    for (const auto& [target, inside] : walk.definitions)
      models[id] = models[id] || fails[target * 2 + (inside ? 1 : 0)];
  }
  return models;
}

}  // namespace brenvale
