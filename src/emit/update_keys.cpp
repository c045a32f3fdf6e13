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

// Walks nodes from `stack` without crossing a reference: whether a document reference lies inside
// a map's values; `reached` gets the state (see below) of each definition the nodes name.
bool walk_nodes(const Contract& contract, std::vector<std::pair<NodeId, bool>>& stack,
                std::vector<std::uint32_t>& reached) {
  bool reaches_reference = false;
  reached.clear();
  while (!stack.empty()) {
    const auto [id, in_map] = stack.back();
    stack.pop_back();
    const TypeNode& node = contract.node(id);
    if (in_map && node.form == TypeForm::firestore && node.firestore == FirestoreKind::reference)
      reaches_reference = true;
    for (const NodeId member : contract.alternatives(node)) stack.emplace_back(member, in_map);
    for (const NodeId member : contract.tuple(node)) stack.emplace_back(member, in_map);
    if (node.items != no_id) stack.emplace_back(node.items, in_map);
    if (node.record_node != no_id) stack.emplace_back(node.record_node, true);
    if (node.has_ref && node.ref_def != no_id)
      reached.push_back(node.ref_def * 2 + (in_map ? 1 : 0));
  }
  return reaches_reference;
}

}  // namespace

std::vector<bool> admin_update_data_failures(const Contract& contract) {
  // A state is a definition reached outside (0) or inside (1) a map's values: state d * 2 + m.
  // A state fails when its own nodes hold a reference inside a map's values, or when a state it
  // reaches fails; found backwards from the states that fail by themselves, once each.
  const std::size_t states = contract.definitions.size() * 2;
  std::vector<bool> fails(states, false);
  std::vector<std::uint32_t> failing;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> edges;  // (reached, from)
  std::vector<std::pair<NodeId, bool>> stack;
  std::vector<std::uint32_t> reached;
  for (std::size_t state = 0; state < states; ++state) {
    const Definition& definition = contract.definitions[state / 2];
    const bool in_map = state % 2 == 1;
    stack.emplace_back(definition.node, in_map);
    for (const Property& property : contract.properties_of(definition))
      stack.emplace_back(property.node, in_map);
    if (walk_nodes(contract, stack, reached)) {
      fails[state] = true;
      failing.push_back(static_cast<std::uint32_t>(state));
    }
    for (const std::uint32_t to : reached)
      edges.emplace_back(to, static_cast<std::uint32_t>(state));
  }
  // The edges into each state, side by side: one list for the whole contract.
  std::vector<std::uint32_t> first(states + 1, 0);
  for (const auto& edge : edges) ++first[edge.first + 1];
  for (std::size_t state = 0; state < states; ++state) first[state + 1] += first[state];
  std::vector<std::uint32_t> from(edges.size());
  std::vector<std::uint32_t> filled(first.begin(), first.end() - 1);
  for (const auto& [to, source] : edges) from[filled[to]++] = source;
  std::vector<std::pair<std::uint32_t, std::uint32_t>>().swap(edges);
  while (!failing.empty()) {
    const std::uint32_t state = failing.back();
    failing.pop_back();
    for (std::uint32_t at = first[state]; at < first[state + 1]; ++at) {
      if (fails[from[at]]) continue;
      fails[from[at]] = true;
      failing.push_back(from[at]);
    }
  }
  // A model's own answer starts from its properties alone, outside any map.
  std::vector<bool> models(contract.definitions.size(), false);
  for (std::size_t id = 0; id < models.size(); ++id) {
    const Definition& model = contract.definitions[id];
    if (model.kind != DefinitionKind::model) continue;
    for (const Property& property : contract.properties_of(model))
      stack.emplace_back(property.node, false);
    bool fails_here = walk_nodes(contract, stack, reached);
    for (const std::uint32_t state : reached) fails_here = fails_here || fails[state];
    models[id] = fails_here;
  }
  return models;
}

}  // namespace brenvale
