// Contract patterns the zod module cannot match in linear time: what Pydantic's engine refuses.
#include "emit/zod_pattern.hpp"

#include <array>

#include "text/escape.hpp"
#include "text/fill.hpp"

namespace brenvale {
namespace {

struct Opener {
  std::string_view text;  // after "("
  std::string_view what;
};

// Groups Rust's regex crate refuses; "(?<" followed by anything else names a group.
constexpr std::array<Opener, 5> group_openers = {{
    {"?=", "a look-ahead"},
    {"?!", "a look-ahead"},
    {"?<=", "a look-behind"},
    {"?<!", "a look-behind"},
    {"?>", "an atomic group"},
}};

// Escapes refused outside a class: `\1`..`\9` and `\k<name>` refer back to a group.
std::string_view refused_escape(char escaped) {
  if (escaped >= '0' && escaped <= '9') return "a backreference";
  if (escaped == 'k') return "a backreference";
  if (escaped == 'Z') return "\\Z (Rust's regex has only \\z)";
  return {};
}

void append_refusal(std::string_view definition, std::string_view field,
                    const PatternConstruct& found, std::string& out) {
  std::string names;
  append_quoted(definition, names);
  if (!field.empty()) {
    names += ", field ";
    append_quoted(field, names);
  }
  fill(out,
       "definition {names}: its pattern has {what} at byte {offset}, which Pydantic's regex "
       "engine (Rust's regex crate) refuses and no linear-time engine can match",
       {{"names", names}, {"what", found.what}, {"offset", std::to_string(found.offset)}});
}

// The first refused pattern at `id` or under it, as a construct; none when there is none.
// Recursion is bounded by the nesting limit of the tree the contract was read from.
PatternConstruct find_in_node(const Contract& contract, NodeId id) {
  const TypeNode& node = contract.node(id);
  if (const Datum& pattern = contract.constraint(node, Atom::pattern); pattern.is_string()) {
    if (const PatternConstruct found = backtracking_construct(pattern.text()); !found.what.empty())
      return found;
  }
  const auto first = [&](auto children) {
    for (const NodeId child : children) {
      if (const PatternConstruct found = find_in_node(contract, child); !found.what.empty())
        return found;
    }
    return PatternConstruct{};
  };
  if (const PatternConstruct found = first(contract.alternatives(node)); !found.what.empty())
    return found;
  if (const PatternConstruct found = first(contract.tuple(node)); !found.what.empty()) return found;
  for (const NodeId child : {node.items, node.record_node}) {
    if (child == no_id) continue;
    if (const PatternConstruct found = find_in_node(contract, child); !found.what.empty())
      return found;
  }
  return {};
}

}  // namespace

PatternConstruct backtracking_construct(std::string_view pattern) {
  std::size_t depth = 0;  // of character classes, which Rust's syntax nests
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '\\') {
      if (i + 1 < pattern.size() && depth == 0) {
        if (const std::string_view what = refused_escape(pattern[i + 1]); !what.empty())
          return {i, what};
      }
      ++i;  // the escaped character is a literal, whatever it is
    } else if (c == '[') {
      ++depth;
      // A "]" first in a class (after any "^") is a literal.
      if (i + 1 < pattern.size() && pattern[i + 1] == '^') ++i;
      if (i + 1 < pattern.size() && pattern[i + 1] == ']') ++i;
    } else if (c == ']' && depth > 0) {
      --depth;
    } else if (c == '(' && depth == 0) {
      const std::string_view rest = pattern.substr(i + 1);
      for (const Opener& opener : group_openers) {
        if (rest.starts_with(opener.text)) return {i, opener.what};
      }
    }
  }
  return {};
}

std::string zod_contract_error(const Contract& contract) {
  std::string error;
  for (const Definition& definition : contract.definitions) {
    if (definition.kind == DefinitionKind::model) {
      for (const Property& property : contract.properties_of(definition)) {
        if (const PatternConstruct found = find_in_node(contract, property.node);
            !found.what.empty()) {
          append_refusal(definition.name, property.key, found, error);
          return error;
        }
      }
    }
    if (const PatternConstruct found = find_in_node(contract, definition.node);
        !found.what.empty()) {
      append_refusal(definition.name, "", found, error);
      return error;
    }
  }
  return error;
}

}  // namespace brenvale
