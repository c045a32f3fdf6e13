// Groups of alias definitions that name each other where a TypeScript alias may not.
#include "contract/alias_groups.hpp"

#include <algorithm>
#include <utility>
#include <vector>

namespace brenvale {
namespace {

// The alias definitions a schema names where its type text names them directly: by `$ref`,
// through any nesting of unions (into `unions`), and also through the values of records (into
// `records`), before the renderer would enter anything else.
void direct_references(const Contract& contract, NodeId root, std::vector<DefId>& unions,
                       std::vector<DefId>& records) {
  std::vector<std::pair<NodeId, bool>> pending = {{root, false}};  // node, inside a record
  while (!pending.empty()) {
    const auto [id, in_record] = pending.back();
    pending.pop_back();
    const TypeNode& node = contract.node(id);
    if (node.form == TypeForm::reference) {
      if (node.ref_def != no_id && contract.definitions[node.ref_def].kind == DefinitionKind::alias)
        (in_record ? records : unions).push_back(node.ref_def);
    } else if (node.form == TypeForm::alternatives) {
      for (const NodeId member : contract.alternatives(node))
        pending.emplace_back(member, in_record);
    } else if (node.form == TypeForm::json && node.record == RecordValues::schema) {
      const auto types = contract.types(node);
      if (std::any_of(types.begin(), types.end(),
                      [](const TypeName& name) { return name.type == JsonType::object; }))
        pending.emplace_back(node.record_node, true);
    }
  }
}

// The strongly connected components of the aliases under `edges` (Tarjan, walked without
// recursion): each alias's component, numbered from 0; no_id for every other definition.
std::vector<std::uint32_t> components(const Contract& contract,
                                      const std::vector<std::vector<DefId>>& edges) {
  const std::size_t n = contract.definitions.size();
  std::vector<std::uint32_t> group(n, no_id);
  constexpr std::size_t unseen = static_cast<std::size_t>(-1);
  std::vector<std::size_t> order(n, unseen), low(n), component;
  std::vector<bool> on_component(n);
  std::size_t visited = 0;
  std::uint32_t groups = 0;
  for (std::size_t root = 0; root < n; ++root) {
    if (order[root] != unseen || contract.definitions[root].kind != DefinitionKind::alias) continue;
    std::vector<std::pair<std::size_t, std::size_t>> work = {{root, 0}};  // node, next edge
    while (!work.empty()) {
      auto& [node, next] = work.back();
      if (next == 0 && order[node] == unseen) {
        order[node] = low[node] = visited++;
        component.push_back(node);
        on_component[node] = true;
      }
      if (next < edges[node].size()) {
        const std::size_t target = edges[node][next++];
        if (order[target] == unseen) {
          work.emplace_back(target, 0);
        } else if (on_component[target]) {
          low[node] = std::min(low[node], order[target]);
        }
        continue;
      }
      const std::size_t done = node;
      if (low[done] == order[done]) {
        std::size_t member = unseen;
        do {
          member = component.back();
          component.pop_back();
          on_component[member] = false;
          group[member] = groups;
        } while (member != done);
        ++groups;
      }
      work.pop_back();
      if (!work.empty()) low[work.back().first] = std::min(low[work.back().first], low[done]);
    }
  }
  return group;
}

}  // namespace

void assign_alias_groups(Contract& contract) {
  const auto is_alias = [](const Definition& d) { return d.kind == DefinitionKind::alias; };
  // Many bundles declare no alias: nothing to group, and nothing to allocate for it.
  if (std::none_of(contract.definitions.begin(), contract.definitions.end(), is_alias)) return;
  const std::size_t n = contract.definitions.size();
  std::vector<std::vector<DefId>> edges(n);
  std::vector<std::vector<DefId>> record_edges(n);
  bool records = false;
  for (std::size_t i = 0; i < n; ++i) {
    if (contract.definitions[i].kind != DefinitionKind::alias) continue;
    direct_references(contract, contract.definitions[i].node, edges[i], record_edges[i]);
    records = records || !record_edges[i].empty();
  }
  const std::vector<std::uint32_t> groups = components(contract, edges);
  for (std::size_t i = 0; i < n; ++i) contract.definitions[i].alias_group = groups[i];
  // No alias named through a record: the record groups are these.
  if (!records) return;
  for (std::size_t i = 0; i < n; ++i)
    edges[i].insert(edges[i].end(), record_edges[i].begin(), record_edges[i].end());
  contract.record_groups = components(contract, edges);
}

}  // namespace brenvale
