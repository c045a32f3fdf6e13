// What an Update type may offer: field names Firestore reads as paths, and maps the Admin SDK's
// UpdateData cannot expand.
#include "emit/update_keys.hpp"

#include <algorithm>
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

// A definition reached by a walk, as its state (see below), with the top bit set when the walk
// crossed a map's values on the way to it.
constexpr std::uint32_t through_map = std::uint32_t{1} << 31;

struct Step {
  NodeId id;
  bool in_map;   // inside a map's values
  bool crossed;  // crossed a map's values in this walk
};

// Walks nodes from `stack` without crossing a reference: whether a document reference lies inside
// a map's values; `reached` gets the state of each definition the nodes name, marked as above.
bool walk_nodes(const Contract& contract, std::vector<Step>& stack,
                std::vector<std::uint32_t>& reached) {
  bool reaches_reference = false;
  reached.clear();
  while (!stack.empty()) {
    const Step step = stack.back();
    stack.pop_back();
    const TypeNode& node = contract.node(step.id);
    if (step.in_map && node.form == TypeForm::firestore &&
        node.firestore == FirestoreKind::reference)
      reaches_reference = true;
    for (const NodeId member : contract.alternatives(node))
      stack.push_back({member, step.in_map, step.crossed});
    for (const NodeId member : contract.tuple(node))
      stack.push_back({member, step.in_map, step.crossed});
    if (node.items != no_id) stack.push_back({node.items, step.in_map, step.crossed});
    if (node.record_node != no_id) stack.push_back({node.record_node, true, true});
    if (node.has_ref && node.ref_def != no_id) {
      reached.push_back((node.ref_def * 2 + (step.in_map ? 1 : 0)) |
                        (step.crossed ? through_map : 0));
    }
  }
  return reaches_reference;
}

// Edges between states as lists side by side: the targets of `count` states, by source.
struct EdgeLists {
  std::vector<std::uint32_t> first;  // count + 1 offsets
  std::vector<std::uint32_t> to;

  EdgeLists(std::size_t count, const std::vector<std::pair<std::uint32_t, std::uint32_t>>& edges)
      : first(count + 1, 0), to(edges.size()) {
    for (const auto& edge : edges) ++first[edge.first + 1];
    for (std::size_t state = 0; state < count; ++state) first[state + 1] += first[state];
    std::vector<std::uint32_t> filled(first.begin(), first.end() - 1);
    for (const auto& [source, target] : edges) to[filled[source]++] = target;
  }
};

// The strongly connected component of each state (Kosaraju's two passes, without recursion).
std::vector<std::uint32_t> components(const EdgeLists& forward, const EdgeLists& backward) {
  const std::size_t count = forward.first.size() - 1;
  std::vector<std::uint32_t> order;  // states by the time their walk finished
  order.reserve(count);
  std::vector<bool> seen(count, false);
  std::vector<std::pair<std::uint32_t, std::uint32_t>> path;  // (state, next edge)
  for (std::uint32_t root = 0; root < count; ++root) {
    if (seen[root]) continue;
    seen[root] = true;
    path.emplace_back(root, forward.first[root]);
    while (!path.empty()) {
      auto& [state, next] = path.back();
      if (next == forward.first[state + 1]) {
        order.push_back(state);
        path.pop_back();
        continue;
      }
      const std::uint32_t target = forward.to[next++] & ~through_map;
      if (!seen[target]) {
        seen[target] = true;
        path.emplace_back(target, forward.first[target]);
      }
    }
  }
  constexpr std::uint32_t none = ~std::uint32_t{0};
  std::vector<std::uint32_t> component(count, none);
  std::vector<std::uint32_t> pending;
  for (auto at = order.rbegin(); at != order.rend(); ++at) {
    if (component[*at] != none) continue;
    component[*at] = *at;
    pending.push_back(*at);
    while (!pending.empty()) {
      const std::uint32_t state = pending.back();
      pending.pop_back();
      for (std::uint32_t e = backward.first[state]; e < backward.first[state + 1]; ++e) {
        if (component[backward.to[e]] != none) continue;
        component[backward.to[e]] = *at;
        pending.push_back(backward.to[e]);
      }
    }
  }
  return component;
}

}  // namespace

std::vector<bool> admin_update_data_failures(const Contract& contract) {
  // A state is a definition reached outside (0) or inside (1) a map's values: state d * 2 + m.
  // A state fails when its own nodes hold a reference inside a map's values, or when it lies on
  // a cycle through a map's values (a model whose map holds itself, at once or through others),
  // or when a state it reaches fails; found backwards from the states that fail by themselves.
  const std::size_t states = contract.definitions.size() * 2;
  std::vector<bool> fails(states, false);
  std::vector<std::uint32_t> failing;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> edges;  // (from, reached and its mark)
  std::vector<Step> stack;
  std::vector<std::uint32_t> reached;
  for (std::size_t state = 0; state < states; ++state) {
    const Definition& definition = contract.definitions[state / 2];
    const bool in_map = state % 2 == 1;
    stack.push_back({definition.node, in_map, false});
    for (const Property& property : contract.properties_of(definition))
      stack.push_back({property.node, in_map, false});
    if (walk_nodes(contract, stack, reached)) {
      fails[state] = true;
      failing.push_back(static_cast<std::uint32_t>(state));
    }
    for (const std::uint32_t to : reached)
      edges.emplace_back(static_cast<std::uint32_t>(state), to);
  }
  const EdgeLists forward(states, edges);
  for (auto& [source, target] : edges) source = std::exchange(target, source) & ~through_map;
  const EdgeLists backward(states, edges);
  std::vector<std::pair<std::uint32_t, std::uint32_t>>().swap(edges);
  const std::vector<std::uint32_t> component = components(forward, backward);
  std::vector<bool> cyclic(states, false);  // by component: a cycle in it crosses a map
  for (std::uint32_t state = 0; state < states; ++state) {
    for (std::uint32_t e = forward.first[state]; e < forward.first[state + 1]; ++e) {
      const std::uint32_t target = forward.to[e];
      if ((target & through_map) != 0 && component[target & ~through_map] == component[state])
        cyclic[component[state]] = true;
    }
  }
  for (std::uint32_t state = 0; state < states; ++state) {
    if (cyclic[component[state]] && !fails[state]) {
      fails[state] = true;
      failing.push_back(state);
    }
  }
  while (!failing.empty()) {
    const std::uint32_t state = failing.back();
    failing.pop_back();
    for (std::uint32_t e = backward.first[state]; e < backward.first[state + 1]; ++e) {
      if (fails[backward.to[e]]) continue;
      fails[backward.to[e]] = true;
      failing.push_back(backward.to[e]);
    }
  }
  // A model's own answer starts from its properties alone, outside any map.
  std::vector<bool> models(contract.definitions.size(), false);
  for (std::size_t id = 0; id < models.size(); ++id) {
    const Definition& model = contract.definitions[id];
    if (model.kind != DefinitionKind::model) continue;
    for (const Property& property : contract.properties_of(model))
      stack.push_back({property.node, false, false});
    bool fails_here = walk_nodes(contract, stack, reached);
    for (const std::uint32_t state : reached)
      fails_here = fails_here || fails[state & ~through_map];
    models[id] = fails_here;
  }
  return models;
}

namespace {

// Counts the dotted paths the helper builds into each model, by (definition, depth), at most one
// past the bound. The depth grows as a walk goes into a model or a map's values, so a walk meets
// its own start only through an alias that names itself outside any object (never valid, and
// counted as nothing).
class PathCount {
 public:
  explicit PathCount(const Contract& contract)
      : contract_(contract), counts_(contract.definitions.size() * update_paths_depth, unknown) {}

  // The paths within an object of `definition` whose keys lie `depth` levels down.
  std::size_t in_definition(DefId id, std::size_t depth) {
    if (depth >= update_paths_depth) return 0;
    std::size_t& count = counts_[id * update_paths_depth + depth];
    if (count == counting) return 0;
    if (count != unknown) return count;
    // A chain of aliases that name the next is walked without going deeper: bounded, so a bundle
    // of a million of them cannot exhaust the stack. None that a model makes is this long.
    if (chained_ == max_chain) return 0;
    ++chained_;
    count = counting;
    const Definition& definition = contract_.definitions[id];
    std::size_t total = 0;
    if (definition.kind == DefinitionKind::alias) {
      total = in_node(definition.node, depth);
    } else if (definition.kind == DefinitionKind::model) {
      for (const Property& property : contract_.properties_of(definition))
        total = add(total, add(1, in_node(property.node, depth + 1)));
      const NodeId entries = contract_.node(definition.node).record_node;
      if (entries != no_id) total = add(total, add(1, in_node(entries, depth + 1)));
    }
    --chained_;
    count = total;
    return total;
  }

 private:
  static constexpr std::size_t unknown = ~std::size_t{0};
  static constexpr std::size_t counting = unknown - 1;
  static constexpr std::size_t max_chain = 1024;

  static std::size_t add(std::size_t a, std::size_t b) {
    return std::min(a + b, max_update_paths + 1);
  }

  // The paths within a value of `id`'s type whose keys lie `depth` levels down: the sum over the
  // object types it may be. A list or a tuple ends every path, as a Firestore value does.
  std::size_t in_node(NodeId id, std::size_t depth) {
    if (depth >= update_paths_depth) return 0;
    const TypeNode& node = contract_.node(id);
    if (node.form == TypeForm::firestore) return 0;
    std::size_t total = 0;
    for (const NodeId member : contract_.alternatives(node))
      total = add(total, in_node(member, depth));
    if (node.record_node != no_id) total = add(total, add(1, in_node(node.record_node, depth + 1)));
    if (node.has_ref && node.ref_def != no_id)
      total = add(total, in_definition(node.ref_def, depth));
    return total;
  }

  const Contract& contract_;
  std::vector<std::size_t> counts_;
  std::size_t chained_ = 0;  // definitions being counted, each inside the last
};

}  // namespace

std::vector<bool> update_path_overflows(const Contract& contract) {
  PathCount count(contract);
  std::vector<bool> models(contract.definitions.size(), false);
  for (std::size_t id = 0; id < models.size(); ++id) {
    if (contract.definitions[id].kind != DefinitionKind::model) continue;
    models[id] = count.in_definition(static_cast<DefId>(id), 0) > max_update_paths;
  }
  return models;
}

}  // namespace brenvale
