// Definitions that are neither enums nor models (root models, type aliases) as type aliases.
#include "typescript/type_alias.hpp"

#include <algorithm>
#include <utility>
#include <vector>

#include "contract/bundle.hpp"
#include "typescript/fill.hpp"
#include "typescript/render_doc.hpp"

namespace brenvale {
namespace {

// The names a schema refers to where its type text names them directly: by `$ref`, through
// any nesting of unions, before the renderer would enter anything else.
void append_direct_references(const Value& schema, std::vector<std::string_view>& out) {
  std::vector<const Value*> pending = {&schema};
  while (!pending.empty()) {
    const Value* node = pending.back();
    pending.pop_back();
    if (string_member(*node, Atom::firestore_type) != nullptr) continue;
    if (const Value* ref = string_member(*node, Atom::ref)) {
      const std::string_view text = ref->string();
      const std::size_t slash = text.rfind('/');
      out.push_back(slash == std::string_view::npos ? text : text.substr(slash + 1));
      continue;
    }
    if (node->find(Atom::const_value) != nullptr) continue;
    const Value* members = node->find(Atom::enum_values);
    if (members != nullptr && members->is_array()) continue;
    const Value* alternatives = node->find(Atom::any_of);
    if (alternatives == nullptr || !alternatives->is_array())
      alternatives = node->find(Atom::one_of);
    if (alternatives == nullptr || !alternatives->is_array()) continue;
    for (const Value& member : alternatives->array()) pending.push_back(&member);
  }
}

}  // namespace

std::unordered_map<std::string_view, std::size_t> alias_groups(const Value& defs) {
  std::unordered_map<std::string_view, std::size_t> index;
  std::vector<const Value*> schemas;
  for (const Member& entry : defs.object()) {
    if (is_enum_definition(entry.value) || is_model_definition(entry.value)) continue;
    index.emplace(entry.key, schemas.size());
    schemas.push_back(&entry.value);
  }
  std::vector<std::vector<std::size_t>> edges(schemas.size());
  std::vector<std::string_view> names;
  for (std::size_t i = 0; i < schemas.size(); ++i) {
    names.clear();
    append_direct_references(*schemas[i], names);
    for (const std::string_view name : names) {
      if (const auto found = index.find(name); found != index.end())
        edges[i].push_back(found->second);
    }
  }

  // Strongly connected components (Tarjan), walked without recursion.
  constexpr std::size_t unseen = static_cast<std::size_t>(-1);
  const std::size_t n = schemas.size();
  std::vector<std::size_t> order(n, unseen), low(n), group(n), component;
  std::vector<bool> on_component(n);
  std::size_t visited = 0;
  std::size_t groups = 0;
  for (std::size_t root = 0; root < n; ++root) {
    if (order[root] != unseen) continue;
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
  std::unordered_map<std::string_view, std::size_t> result;
  for (const auto& [name, i] : index) result.emplace(name, group[i]);
  return result;
}

void append_type_alias(Ctx& ctx, std::string_view name, const Value& definition, std::string& out) {
  const std::string type_name = ctx.names != nullptr ? ctx.names->name_of(name) : std::string(name);
  const std::string doc = ctx.jsdoc ? definition_doc(name, definition) : std::string();
  ctx.alias_of = name;
  // The Firestore module also writes the alias's write form, `{name}Write`.
  for (const Side side : {Side::read, Side::write}) {
    if (side == Side::write && ctx.mode != RenderMode::firestore) break;
    out += doc;
    fill(out, "export type {name}{suffix} = ",
         {{"name", type_name}, {"suffix", side == Side::write ? "Write" : ""}});
    append_type(ctx, definition, side, out);
    out += ";\n\n";
  }
  ctx.alias_of.reset();
}

}  // namespace brenvale
