// The compat rule set: the diff's findings, then the rules the diff does not make.
#include "compat/rules.hpp"

#include <algorithm>
#include <future>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>

#include "compat/diff.hpp"
#include "compat/merge_keys.hpp"
#include "compat/same_node.hpp"
#include "compat/type_order.hpp"
#include "compat/type_signature.hpp"
#include "contract/presence.hpp"
#include "contract/schema_meaning.hpp"
#include "emit/emit_firestore.hpp"
#include "emit/render_interface.hpp"
#include "json/json_reader.hpp"
#include "text/escape.hpp"
#include "typescript/literal.hpp"
#include "util/byte_order.hpp"
#include "util/ordered_set.hpp"
#include "util/own_thread.hpp"

namespace brenvale::compat {

namespace {

constexpr std::string_view none_text = "(none)";
// The variant key of a member no `switch` tells apart: an enum, or a union within.
constexpr std::string_view other_variant = "other";
// The kinds of a lone JSON type, as variant_key writes them.
constexpr std::string_view integer_kind = "type integer";
constexpr std::string_view number_kind = "type number";

// Bounds: moving one inward rejects stored values (backward), outward admits values old readers
// reject (forward).
struct Bound {
  Atom key;
  bool upper;
  Rule tightened;
  Rule loosened;
};

constexpr Bound bounds[] = {
    {Atom::max_length, true, Rule::max_length_tightened, Rule::max_length_loosened},
    {Atom::min_length, false, Rule::min_length_tightened, Rule::min_length_loosened},
    {Atom::maximum, true, Rule::maximum_tightened, Rule::maximum_loosened},
    {Atom::minimum, false, Rule::minimum_tightened, Rule::minimum_loosened},
    {Atom::exclusive_maximum, true, Rule::exclusive_maximum_tightened,
     Rule::exclusive_maximum_loosened},
    {Atom::exclusive_minimum, false, Rule::exclusive_minimum_tightened,
     Rule::exclusive_minimum_loosened},
    {Atom::max_items, true, Rule::max_items_tightened, Rule::max_items_loosened},
    {Atom::min_items, false, Rule::min_items_tightened, Rule::min_items_loosened},
    {Atom::max_properties, true, Rule::max_properties_tightened, Rule::max_properties_loosened},
    {Atom::min_properties, false, Rule::min_properties_tightened, Rule::min_properties_loosened},
};

// Keys whose every change may reject stored values and admit values old readers reject: a
// changed pattern or format is both tightened and loosened (regex containment is undecidable
// here).
struct Restriction {
  Atom key;
  Rule tightened;
  Rule loosened;
};

constexpr Restriction restrictions[] = {
    {Atom::pattern, Rule::pattern_tightened, Rule::pattern_loosened},
    {Atom::format, Rule::format_tightened, Rule::format_loosened},
    {Atom::multiple_of, Rule::multiple_of_tightened, Rule::multiple_of_loosened},
    {Atom::unique_items, Rule::unique_items_tightened, Rule::unique_items_loosened},
    {Atom::additional_properties, Rule::additional_properties_tightened,
     Rule::additional_properties_loosened},
    // A map's keys: Pydantic writes `dict[Literal["a"], int]` and constrained key strings under
    // propertyNames, and keys with a pattern under patternProperties, which holds the values'
    // schema too.
    {Atom::property_names, Rule::property_names_tightened, Rule::property_names_loosened},
    {Atom::pattern_properties, Rule::pattern_properties_tightened,
     Rule::pattern_properties_loosened},
};

using TextSet = OrderedSet<std::string>;

std::string joined(const TextSet& texts) {
  std::string out;
  for (const std::string& text : texts) {
    if (!out.empty()) out += " | ";
    out += text;
  }
  return out;
}

std::string_view json_type_of(const Datum& value) {
  switch (value.kind) {
    case Kind::null:
      return "null";
    case Kind::boolean:
      return "boolean";
    case Kind::int64:
    case Kind::uint64:
      return "integer";
    case Kind::float64:
      return "number";
    case Kind::string:
      return "string";
    case Kind::array:
      return "array";
    case Kind::object:
      return "object";
  }
  return "unknown";
}

// Every type of `from` is admitted by `to` (an integer is a number).
bool covers(const TextSet& to, const TextSet& from) {
  return std::all_of(from.begin(), from.end(), [&](const std::string& type) {
    return to.contains(type) || (type == "integer" && to.contains("number"));
  });
}

std::string shown(const Datum& value) {
  return value.present ? literal(value) : std::string(none_text);
}

// The converter and path function names of a model's collection models, by definition.
using ClientIndex = std::unordered_map<std::string_view, const ClientNames*>;

ClientIndex index_of(const std::vector<ClientNames>& names) {
  ClientIndex index;
  for (const ClientNames& entry : names) index.emplace(entry.definition, &entry);
  return index;
}

// The definitions the module exports under a name of its own, by their names in the bundle.
using ExportIndex = std::unordered_map<std::string_view, std::string_view>;

std::string_view exported_name(const ExportIndex& index, std::string_view def) {
  const auto found = index.find(def);
  return found != index.end() ? std::string_view(found->second) : def;
}

const ClientNames* client_of(const ClientIndex& index, std::string_view def) {
  const auto found = index.find(def);
  return found != index.end() ? found->second : nullptr;
}

// One version of the contract.
struct Version {
  const Contract& contract;
  const ClientIndex& clients;
};

// The alias a reference names, when it names one and says nothing beside it; none otherwise.
DefId alias_named(const Contract& contract, NodeId id) {
  const TypeNode& node = contract.node(id);
  if (node.form != TypeForm::reference || node.ref_def == no_id || node.constraints.count != 0)
    return no_id;
  return contract.definitions[node.ref_def].kind == DefinitionKind::alias ? node.ref_def : no_id;
}

// Aliases a chain of references is followed through, at most; a longer chain stays as it is.
constexpr int alias_hops = 32;

// The nodes to compare for `old_id` and `new_id`: an alias one version names and the other does
// not (writing its type in place, or naming another alias) is read as the type it stands for.
// A reference to an alias of one name on both sides stays: the alias reports its own changes.
std::pair<NodeId, NodeId> through_aliases(const Contract& olds, NodeId old_id, const Contract& news,
                                          NodeId new_id) {
  for (int hop = 0; hop < alias_hops; ++hop) {
    const DefId was = alias_named(olds, old_id);
    const DefId now = alias_named(news, new_id);
    if (was == no_id && now == no_id) break;
    if (was != no_id && now != no_id && olds.definitions[was].name == news.definitions[now].name)
      break;
    if (was != no_id) old_id = olds.definitions[was].node;
    if (now != no_id) new_id = news.definitions[now].node;
  }
  return {old_id, new_id};
}

// One run of the rules: both models, the diff behind them, and the findings so far.
struct Rules {
  Version old_side;
  Version new_side;
  Diff& diff;
  std::vector<Finding>& out;
  // The pairs of values compare_values is comparing, outermost first: a value may hold itself
  // (an alias whose union names the alias), and is then compared once.
  std::vector<std::pair<NodeId, NodeId>> comparing{};

  const Contract& olds() const { return old_side.contract; }
  const Contract& news() const { return new_side.contract; }

  void add(Rule rule, std::string_view def, const std::string_view* field,
           std::string old_value = {}, std::string new_value = {}) {
    out.push_back(field != nullptr
                      ? field_finding(rule, def, *field, std::move(old_value), std::move(new_value))
                      : definition_finding(rule, def, std::move(old_value), std::move(new_value)));
  }

  // The enumeration a reference names, if it names one with members.
  static const Definition* enumeration_of(const Contract& contract, const TypeNode& node) {
    if (node.form != TypeForm::reference || node.ref_def == no_id) return nullptr;
    const Definition& target = contract.definitions[node.ref_def];
    return target.kind == DefinitionKind::enumeration && target.enum_is_array ? &target : nullptr;
  }

  // The names of the enumerations the node names, itself or as a union's member, sorted.
  static std::vector<std::string_view> enumerations_named(const Contract& contract,
                                                          const TypeNode& node) {
    std::vector<std::string_view> names;
    if (const Definition* target = enumeration_of(contract, node)) names.push_back(target->name);
    if (node.form == TypeForm::alternatives) {
      for (const NodeId id : contract.alternatives(node)) {
        if (const Definition* target = enumeration_of(contract, contract.node(id)))
          names.push_back(target->name);
      }
    }
    std::sort(names.begin(), names.end(), byte_less);
    return names;
  }

  // The members of a literal set; with `expand`, through a reference to an enumeration, which
  // holds the same values as its members written in place: a `Literal` turned into an `Enum`
  // changes nothing.
  static bool literal_set(const Contract& contract, const TypeNode& node, bool expand,
                          TextSet& out) {
    if (const Definition* target = expand ? enumeration_of(contract, node) : nullptr)
      return literal_members(contract, contract.node(target->node), out);
    if (!expand || node.form != TypeForm::alternatives) return literal_members(contract, node, out);
    for (const NodeId id : contract.alternatives(node)) {
      const TypeNode& member = contract.node(id);
      if (member.null_type) {
        out.insert("null");
      } else if (!literal_set(contract, member, expand, out)) {
        return false;
      }
    }
    return node.alternatives.count != 0;
  }

  // The JSON types a node admits; a reference (but, with `expand`, to an enumeration) or a
  // Firestore type counts as a type of its own.
  // Empty when the node does not say (any value).
  static void json_types(const Contract& contract, const TypeNode& node, bool expand,
                         TextSet& out) {
    switch (node.form) {
      case TypeForm::firestore:
        out.emplace(contract.extras_of(node).firestore_text);
        return;
      case TypeForm::reference:
        // An enumeration admits the types of its members, as the same values written in place.
        if (const Definition* target = expand ? enumeration_of(contract, node) : nullptr) {
          for (const Datum& value : contract.members_of(*target)) out.emplace(json_type_of(value));
          return;
        }
        out.emplace(contract.ref_name(node));
        return;
      case TypeForm::literal:
        out.emplace(json_type_of(contract.extras_of(node).constant));
        return;
      case TypeForm::enumeration:
        for (const Datum& value : contract.enum_values(node)) out.emplace(json_type_of(value));
        return;
      case TypeForm::alternatives:
        for (const NodeId id : contract.alternatives(node))
          json_types(contract, contract.node(id), expand, out);
        return;
      case TypeForm::json:
        for (const TypeName& name : contract.types(node)) out.emplace(contract.type_text(name));
        return;
      case TypeForm::unknown:
        return;
    }
  }

  // The node that carries the constraints: an Optional's one non-null member, else the node.
  static NodeId value_node(const Contract& contract, NodeId id) {
    const TypeNode& node = contract.node(id);
    if (!node.has_alternatives) return id;
    NodeId only = no_id;
    for (const NodeId member : contract.alternatives(node)) {
      if (contract.node(member).null_type) continue;
      if (only != no_id) return id;
      only = member;
    }
    return only != no_id ? only : id;
  }

  void compare_members(std::string_view def, const std::string_view* field, const TextSet& was,
                       const TextSet& now) {
    for (const std::string& member : was) {
      if (!now.contains(member)) add(Rule::enum_member_removed, def, field, member);
    }
    for (const std::string& member : now) {
      if (!was.contains(member)) add(Rule::enum_member_added, def, field, {}, member);
    }
  }

  // Which of type-narrowed and type-widened compare_types reported.
  struct TypeMoves {
    bool narrowed = false;
    bool widened = false;
  };

  // A union's members split in two: the values its literal members list (a `Literal`, a
  // `const`, an enumeration read in place), by their text, and its other members with the JSON
  // types of each, and of them all.
  struct UnionValues {
    std::map<std::string, const Datum*, std::less<>> literals;
    TextSet types;
    std::vector<std::pair<NodeId, TextSet>> typed;
  };

  static UnionValues union_values(const Contract& contract, std::span<const NodeId> members,
                                  bool expand) {
    UnionValues values;
    for (const NodeId id : members) {
      const TypeNode& member = contract.node(id);
      std::vector<const Datum*> data;
      if (member.has_constant) {
        data.push_back(&contract.extras_of(member).constant);
      } else if (member.has_enum) {
        for (const Datum& value : contract.enum_values(member)) data.push_back(&value);
      } else if (const Definition* target = expand ? enumeration_of(contract, member) : nullptr) {
        for (const Datum& value : contract.members_of(*target)) data.push_back(&value);
      }
      if (data.empty()) {
        TextSet types;
        json_types(contract, member, expand, types);
        for (const std::string& type : types) values.types.insert(type);
        values.typed.emplace_back(id, std::move(types));
      }
      for (const Datum* value : data) values.literals.emplace(literal(*value), value);
    }
    return values;
  }

  // Does a member of `values` take the literal `value` (as `text`): a literal of it, or a member
  // of its JSON type whose bounds admit it? Each literal is held to each member, so past this
  // many members any member of its type is taken to admit it.
  static bool admits(const Contract& contract, const UnionValues& values, const std::string& text,
                     const Datum& value) {
    constexpr std::size_t most_held = 64;
    if (values.literals.contains(text)) return true;
    const TextSet type{std::string(json_type_of(value))};
    if (!covers(values.types, type)) return false;
    if (values.typed.size() > most_held) return true;
    return std::any_of(values.typed.begin(), values.typed.end(), [&](const auto& member) {
      return covers(member.second, type) &&
             bounds_admit(contract, contract.node(member.first), value);
    });
  }

  // Literals beside other members of a union (`Union[int, Literal["a", "b"]]`), whose JSON
  // types, and so the diff's signature and compare_types, stay the same while a literal comes or
  // goes, or a member of a type the literals stood for: a value one version takes and the other
  // has no member for is a narrowing or a widening.
  // A union beside one value (`Literal["a", "b"]` -> `Union[Literal["a"], Annotated[str,
  // Field(max_length=0)]]`) is compared as a union of that one member, for its literals alone.
  void compare_union_literals(std::string_view def, const std::string_view* field, NodeId old_id,
                              NodeId new_id, bool expand, TypeMoves reported) {
    const bool old_union = olds().node(old_id).form == TypeForm::alternatives;
    const bool new_union = news().node(new_id).form == TypeForm::alternatives;
    if (!old_union && !new_union) return;
    const UnionValues was = union_values(olds(), members_of(olds(), old_id), expand);
    const UnionValues now = union_values(news(), members_of(news(), new_id), expand);
    if (was.literals.empty() && now.literals.empty()) return;
    // A list or map held as a literal has no text of its own; the diff reports its change.
    for (const auto& [text, value] : was.literals) {
      if (value->is_scalar() && !admits(news(), now, text, *value))
        add(Rule::enum_member_removed, def, field, text);
    }
    for (const auto& [text, value] : now.literals) {
      if (value->is_scalar() && !admits(olds(), was, text, *value))
        add(Rule::enum_member_added, def, field, {}, text);
    }
    if (!old_union || !new_union) return;  // the types' moves are compare_types' to report
    const auto shown = [](const UnionValues& values) {
      TextSet all = values.types;
      for (const auto& entry : values.literals) all.insert(entry.first);
      return joined(all);
    };
    if (!reported.narrowed && !covers(now.types, was.types))
      add(Rule::type_narrowed, def, field, shown(was), shown(now));
    if (!reported.widened && !covers(was.types, now.types))
      add(Rule::type_widened, def, field, shown(was), shown(now));
  }

  // Narrowing and widening the diff's signature cannot see: number <-> integer, a literal set
  // appearing or going, a member of a union whose signature collapsed.
  TypeMoves compare_types(std::string_view def, const std::string_view* field,
                          const TypeNode& old_node, const TypeNode& new_node, bool expand,
                          bool old_literal, bool new_literal, const TextSet& old_literals,
                          const TextSet& new_literals) {
    TextSet old_types;
    TextSet new_types;
    json_types(olds(), old_node, expand, old_types);
    json_types(news(), new_node, expand, new_types);
    if (old_types.empty() || new_types.empty()) return {};
    bool narrowed = !covers(new_types, old_types);
    bool widened = !covers(old_types, new_types);
    if (!old_literal && new_literal) narrowed = true;
    if (old_literal && !new_literal) widened = true;
    if (!narrowed && !widened) return {};  // most fields: no texts to write
    const std::string old_text = joined(old_literal ? old_literals : old_types);
    const std::string new_text = joined(new_literal ? new_literals : new_types);
    // The module's type changes with the values, so code compiled against the old one may not
    // take it, unless integer and number alone trade places: both are `number` there.
    const auto spelled = [](const TextSet& types) {
      TextSet out;
      for (const std::string& type : types) out.insert(type == "integer" ? "number" : type);
      return out;
    };
    const bool retyped =
        old_literal != new_literal ||
        (old_literal ? old_literals != new_literals : spelled(old_types) != spelled(new_types));
    for (const auto& [moved, rule] :
         {std::pair(narrowed, Rule::type_narrowed), std::pair(widened, Rule::type_widened)}) {
      if (!moved) continue;
      add(rule, def, field, old_text, new_text);
      if (retyped)
        out.back().directions = rule_info(rule).directions | Directions::of(Direction::client);
    }
    return {narrowed, widened};
  }

  void compare_constraints(std::string_view def, const std::string_view* field,
                           const TypeNode& old_node, const TypeNode& new_node) {
    if (old_node.constraints.count == 0 && new_node.constraints.count == 0) return;
    // A vector's item bounds are its dimension, which its own rule compares.
    const bool vectors = is_vector(old_node) && is_vector(new_node);
    // Whether the values' lower and upper edges, each from both of its keys, moved inward or
    // outward: a key's own change that the edge does not make is no change of what is admitted.
    const auto edge_moves = [&](bool upper, bool inward) {
      const Edge was = edge_of(olds(), old_node, upper);
      const Edge now = edge_of(news(), new_node, upper);
      return inward ? edge_rejects_more(was, now, upper) : edge_rejects_more(now, was, upper);
    };
    for (const Bound& bound : bounds) {
      if (vectors && (bound.key == Atom::min_items || bound.key == Atom::max_items)) continue;
      const Datum& old_value = olds().constraint(old_node, bound.key);
      const Datum& new_value = news().constraint(new_node, bound.key);
      const std::optional<double> was = number_of(old_value);
      const std::optional<double> now = number_of(new_value);
      if (!was && !now) continue;
      const int order = was && now ? compare_bounds(new_value, old_value, *now, *was) : 0;
      bool tightened = now && (!was || (bound.upper ? order < 0 : order > 0));
      bool loosened = was && (!now || (bound.upper ? order > 0 : order < 0));
      if (bound.key == Atom::minimum || bound.key == Atom::exclusive_minimum ||
          bound.key == Atom::maximum || bound.key == Atom::exclusive_maximum) {
        tightened = tightened && edge_moves(bound.upper, true);
        loosened = loosened && edge_moves(bound.upper, false);
      }
      // No length or count is below 0: a floor of 0 rejects nothing, as no floor does.
      if (bound.key == Atom::min_length || bound.key == Atom::min_items ||
          bound.key == Atom::min_properties) {
        tightened = tightened && *now > 0;
        loosened = loosened && was && *was > 0;
      }
      if (!tightened && !loosened) continue;
      add(tightened ? bound.tightened : bound.loosened, def, field,
          was ? literal(old_value) : std::string(none_text),
          now ? literal(new_value) : std::string(none_text));
    }
    for (const Restriction& restriction : restrictions) {
      const Datum& old_value = olds().constraint(old_node, restriction.key);
      const Datum& new_value = news().constraint(new_node, restriction.key);
      if (!old_value.present && !new_value.present) continue;
      if (restriction.key == Atom::property_names &&
          compare_key_lists(def, field, old_node, new_node, restriction))
        continue;
      if (restriction.key == Atom::pattern_properties &&
          compare_key_patterns(def, field, old_node, new_node, restriction))
        continue;
      if (!admits_all(restriction.key, old_value, new_value))
        add(restriction.tightened, def, field, shown(old_value), shown(new_value));
      if (!admits_all(restriction.key, new_value, old_value))
        add(restriction.loosened, def, field, shown(old_value), shown(new_value));
    }
  }

  // The keys a map's propertyNames lists (a `Literal`, or an `Enum` with `expand`) and nothing
  // else says of them; none when it has no propertyNames. False when it constrains its keys
  // otherwise.
  static bool listed_keys(const Contract& contract, const TypeNode& node, bool expand, bool& listed,
                          TextSet& keys) {
    const NodeId names = contract.map_keys_of(node).names;
    listed = names != no_id;
    if (!listed) return !contract.constraint(node, Atom::property_names).present;
    const TypeNode& schema = contract.node(names);
    return schema.constraints.count == 0 && literal_set(contract, schema, expand, keys);
  }

  // The enumerations a map's propertyNames names, as compare_values reads them.
  static std::vector<std::string_view> key_enumerations(const Contract& contract,
                                                        const TypeNode& node) {
    const NodeId names = contract.map_keys_of(node).names;
    return names != no_id ? enumerations_named(contract, contract.node(names))
                          : std::vector<std::string_view>();
  }

  // Two maps whose keys are listed, or free, on each side: what each admits is compared, so a
  // key added loosens and a key removed tightens, and the order of the list is no change. False
  // when either side constrains its keys otherwise, which `admits_all` settles.
  bool compare_key_lists(std::string_view def, const std::string_view* field,
                         const TypeNode& old_node, const TypeNode& new_node,
                         const Restriction& restriction) {
    // An enumeration both name reports its own changes, at its definition.
    const bool expand = key_enumerations(olds(), old_node) != key_enumerations(news(), new_node);
    bool old_listed = false;
    bool new_listed = false;
    TextSet was;
    TextSet now;
    if (!listed_keys(olds(), old_node, expand, old_listed, was) ||
        !listed_keys(news(), new_node, expand, new_listed, now))
      return false;
    const auto shown_keys = [](bool listed, const TextSet& keys) {
      return listed ? joined(keys) : std::string(none_text);
    };
    // Free keys admit every listed one, and a list admits only its own keys.
    const bool tightened = new_listed && (!old_listed || !std::includes(now.begin(), now.end(),
                                                                        was.begin(), was.end()));
    const bool loosened = old_listed && (!new_listed || !std::includes(was.begin(), was.end(),
                                                                       now.begin(), now.end()));
    if (tightened)
      add(restriction.tightened, def, field, shown_keys(old_listed, was),
          shown_keys(new_listed, now));
    if (loosened)
      add(restriction.loosened, def, field, shown_keys(old_listed, was),
          shown_keys(new_listed, now));
    return true;
  }

  // A map's key patterns (`dict[Annotated[str, Field(pattern=...)], V]`), each quoted, or
  // "(none)".
  static std::string shown_patterns(std::span<const std::string_view> patterns) {
    if (patterns.empty()) return std::string(none_text);
    std::string out;
    for (const std::string_view pattern : patterns) {
      if (!out.empty()) out += ", ";
      out += '"';
      out += pattern;
      out += '"';
    }
    return out;
  }

  // Two maps whose keys have patterns, or no patternProperties, on each side. With the same
  // patterns, what stored values and readers meet is the values' schema under each, which the
  // value rules compare, as for `additionalProperties`. Patterns that come, go or change are
  // a tightening and a loosening, as any pattern change. False when a side's patternProperties
  // is not a map of schemas, which `admits_all` settles.
  bool compare_key_patterns(std::string_view def, const std::string_view* field,
                            const TypeNode& old_node, const TypeNode& new_node,
                            const Restriction& restriction) {
    const std::span<const std::string_view> old_patterns = olds().key_patterns(old_node);
    const std::span<const std::string_view> new_patterns = news().key_patterns(new_node);
    const std::span<const NodeId> old_values = olds().pattern_values(old_node);
    const std::span<const NodeId> new_values = news().pattern_values(new_node);
    const auto well_formed = [](const Contract& contract, const TypeNode& node,
                                std::span<const std::string_view> patterns,
                                std::span<const NodeId> values) {
      return patterns.size() == values.size() &&
             (!patterns.empty() || !contract.constraint(node, Atom::pattern_properties).present);
    };
    if (!well_formed(olds(), old_node, old_patterns, old_values) ||
        !well_formed(news(), new_node, new_patterns, new_values))
      return false;
    if (std::equal(old_patterns.begin(), old_patterns.end(), new_patterns.begin(),
                   new_patterns.end())) {
      for (std::size_t i = 0; i < old_values.size(); ++i) {
        if (!same_node(olds(), old_values[i], news(), new_values[i]))
          compare_values(def, field, old_values[i], new_values[i], false);
      }
      return true;
    }
    std::string was = shown_patterns(old_patterns);
    std::string now = shown_patterns(new_patterns);
    if (!new_patterns.empty()) add(restriction.tightened, def, field, was, now);
    if (!old_patterns.empty())
      add(restriction.loosened, def, field, std::move(was), std::move(now));
    return true;
  }

  static bool is_vector(const TypeNode& node) {
    return node.form == TypeForm::firestore && node.firestore == FirestoreKind::vector;
  }

  // `minItems` and `maxItems` of a vector: "4" when they agree, else both bounds.
  static std::string dimension(const Contract& contract, const TypeNode& node) {
    const Datum& low = contract.constraint(node, Atom::min_items);
    const Datum& high = contract.constraint(node, Atom::max_items);
    if (!low.present && !high.present) return std::string(none_text);
    if (low.present && high.present && same_datum(low, high)) return literal(low);
    return shown(low) + ".." + shown(high);
  }

  // Vector search compares vectors of one dimension: a change rejects stored vectors and writes
  // vectors old readers reject, whichever way it goes.
  void compare_dimensions(std::string_view def, const std::string_view* field,
                          const TypeNode& old_node, const TypeNode& new_node) {
    if (!is_vector(old_node) || !is_vector(new_node)) return;
    std::string was = dimension(olds(), old_node);
    std::string now = dimension(news(), new_node);
    if (was != now) add(Rule::vector_dimension_changed, def, field, std::move(was), std::move(now));
  }

  // What a `switch` over a union tells apart: a member's kind, a reference's name, a literal.
  static std::string variant_key(const Contract& contract, const TypeNode& node) {
    switch (node.form) {
      case TypeForm::reference:
        return "$ref " + std::string(contract.ref_name(node));
      case TypeForm::firestore:
        return "firestore " + std::string(contract.extras_of(node).firestore_text);
      case TypeForm::literal:
        return "const " + literal(contract.extras_of(node).constant);
      case TypeForm::json: {
        // `["string", "null"]` and `["null", "string"]` are one type.
        std::vector<std::string_view> names;
        for (const TypeName& name : contract.types(node)) names.push_back(contract.type_text(name));
        std::sort(names.begin(), names.end(), byte_less);
        std::string key = "type";
        for (const std::string_view name : names) {
          key += ' ';
          key += name;
        }
        return key;
      }
      default:
        return std::string(other_variant);  // their members have rules of their own
    }
  }

  // The non-null members of a union, or the node alone, by key.
  static std::unordered_map<std::string, NodeId> variants(const Contract& contract, NodeId id) {
    std::unordered_map<std::string, NodeId> out;
    const TypeNode& node = contract.node(id);
    if (node.form != TypeForm::alternatives) {
      if (!node.null_type) out.emplace(variant_key(contract, node), id);
      return out;
    }
    for (const NodeId member : contract.alternatives(node)) {
      if (!contract.node(member).null_type)
        out.emplace(variant_key(contract, contract.node(member)), member);
    }
    return out;
  }

  // The members of a union, or the one value where it is no union.
  static std::span<const NodeId> members_of(const Contract& contract, const NodeId& id) {
    const TypeNode& node = contract.node(id);
    return node.form == TypeForm::alternatives ? contract.alternatives(node)
                                               : std::span<const NodeId>(&id, 1);
  }

  // The non-null members of a union by kind (as variant_key reads them), each kind's in the
  // union's order: found once, so a union of many members is read in linear time.
  using Kinds = std::unordered_map<std::string, std::vector<NodeId>>;
  static Kinds by_kind(const Contract& contract, std::span<const NodeId> members) {
    Kinds found;
    for (const NodeId id : members) {
      const TypeNode& node = contract.node(id);
      if (!node.null_type) found[variant_key(contract, node)].push_back(id);
    }
    return found;
  }
  static const std::vector<NodeId>& of_kind(const Kinds& kinds, const std::string& kind) {
    static const std::vector<NodeId> none;
    const auto found = kinds.find(kind);
    return found != kinds.end() ? found->second : none;
  }

  // Members of one kind that several share on a side (`Union[Annotated[int, Field(ge=0)],
  // Annotated[int, Field(le=-10)]]`): which became which cannot be told, so unless both sides
  // hold the same members, the change is read as a narrowing and a widening at once, as any
  // change compat cannot decide.
  void compare_unpaired(std::string_view def, const std::string_view* field,
                        const std::string& kind, const std::vector<NodeId>& was,
                        const std::vector<NodeId>& now) {
    // Pairing is quadratic in the members of one kind: past this many, the answer is "changed".
    constexpr std::size_t most_paired = 64;
    bool same = was.size() == now.size() && was.size() <= most_paired;
    std::vector<bool> taken(now.size(), false);
    for (std::size_t i = 0; same && i < was.size(); ++i) {
      same = false;
      for (std::size_t j = 0; j < now.size() && !same; ++j) {
        if (!taken[j] && same_node(olds(), was[i], news(), now[j])) same = taken[j] = true;
      }
    }
    if (same) return;
    // The kind without its category word: "integer", "Card", "timestamp".
    const std::string_view named = std::string_view(kind).substr(kind.find(' ') + 1);
    const auto shown = [named](std::size_t count) {
      std::string out;
      for (std::size_t i = 0; i < count; ++i) {
        if (i != 0) out += " | ";
        out += named;
      }
      return count == 0 ? std::string(none_text) : out;
    };
    // Members of a kind one side has none of only add values (`was` empty: no narrowing), or
    // only take them away (`now` empty: no widening).
    if (!was.empty()) add(Rule::type_narrowed, def, field, shown(was.size()), shown(now.size()));
    if (!now.empty()) add(Rule::type_widened, def, field, shown(was.size()), shown(now.size()));
  }

  // A union that gains a member: client code that switches over the old members, or maps each
  // to a value, is no longer exhaustive.
  void compare_variants(std::string_view def, const std::string_view* field, NodeId old_id,
                        NodeId new_id) {
    if (olds().node(old_id).form != TypeForm::alternatives ||
        news().node(new_id).form != TypeForm::alternatives)
      return;
    const auto was = variants(olds(), old_id);
    const auto now = variants(news(), new_id);
    if (was.size() < 2) return;
    OrderedSet<std::string> added;  // in byte order, not the hash's
    for (const auto& [key, member] : now) {
      if (!was.contains(key)) added.insert(read_type_signature(news(), member));
    }
    for (const std::string& variant : added)
      add(Rule::union_variant_added, def, field, {}, variant);
  }

  // Values of a tag both versions name: a discriminator that comes or goes adds or removes no
  // variant, which the union's own rules compare.
  void compare_discriminators(std::string_view def, const std::string_view* field,
                              const TypeNode& old_node, const TypeNode& new_node) {
    if (!old_node.has_discriminator_property || !new_node.has_discriminator_property) return;
    merge_keys(
        olds().mapping(old_node), news().mapping(new_node),
        [](std::string_view key) { return key; },
        [&](std::string_view value, const std::string_view* was, const std::string_view* now) {
          std::string quoted;
          append_quoted(value, quoted);
          if (now == nullptr) {
            add(Rule::discriminator_value_removed, def, field, std::move(quoted));
          } else if (was == nullptr) {
            add(Rule::discriminator_value_added, def, field, {}, std::move(quoted));
          }
          return true;
        });
  }

  // The rules a property and an alias definition share. `type_reported`: the diff (or the
  // alias rule) already reported the type change.
  void compare_values(std::string_view def, const std::string_view* field, NodeId old_id,
                      NodeId new_id, bool type_reported) {
    std::tie(old_id, new_id) = through_aliases(olds(), old_id, news(), new_id);
    const std::pair<NodeId, NodeId> pair{old_id, new_id};
    // Values within values nest no deeper than the text they were read from, but for aliases.
    if (comparing.size() > max_depth ||
        std::find(comparing.begin(), comparing.end(), pair) != comparing.end())
      return;
    comparing.push_back(pair);
    compare_value_pair(def, field, old_id, new_id, type_reported);
    comparing.pop_back();
  }

  void compare_value_pair(std::string_view def, const std::string_view* field, NodeId old_id,
                          NodeId new_id, bool type_reported) {
    const TypeNode& old_node = olds().node(old_id);
    const TypeNode& new_node = news().node(new_id);
    // Enumerations both versions name report their own changes, at their definitions; read in
    // place only where one version names another.
    const bool expand =
        enumerations_named(olds(), old_node) != enumerations_named(news(), new_node);
    TextSet old_literals;
    TextSet new_literals;
    const bool old_literal = literal_set(olds(), old_node, expand, old_literals);
    const bool new_literal = literal_set(news(), new_node, expand, new_literals);
    if (old_literal && new_literal) {
      compare_members(def, field, old_literals, new_literals);
    } else {
      // A type change the diff reported stands for the moves; the literals are compared still.
      TypeMoves moved{.narrowed = type_reported, .widened = type_reported};
      if (!type_reported)
        moved = compare_types(def, field, old_node, new_node, expand, old_literal, new_literal,
                              old_literals, new_literals);
      compare_union_literals(def, field, old_id, new_id, expand, moved);
      compare_variants(def, field, old_id, new_id);
    }
    // An Optional's one value may name an alias the other version writes in place.
    const auto [old_value_id, new_value_id] =
        through_aliases(olds(), value_node(olds(), old_id), news(), value_node(news(), new_id));
    const TypeNode& old_value = olds().node(old_value_id);
    const TypeNode& new_value = news().node(new_value_id);
    // A union of several values holds its bounds and items in its members: each is compared
    // with the member of the same kind on the other side, or with the other side's one value.
    // Enums and unions within share one kind (other_variant), which pairs nothing. Members of a
    // kind that several share on either side cannot be paired: see compare_unpaired.
    const bool old_several = old_value.form == TypeForm::alternatives;
    const bool new_several = new_value.form == TypeForm::alternatives;
    if (old_several || new_several) {
      const auto was = variants(olds(), old_value_id);
      const auto now = variants(news(), new_value_id);
      const std::span<const NodeId> old_members = members_of(olds(), old_value_id);
      const Kinds old_kinds = by_kind(olds(), old_members);
      const Kinds new_kinds = by_kind(news(), members_of(news(), new_value_id));
      OrderedSet<std::string> unpaired;
      // In the old union's order, so the findings come in the order of the bundle.
      for (const NodeId old_member : old_members) {
        const std::string kind = variant_key(olds(), olds().node(old_member));
        if (kind != other_variant &&
            (of_kind(old_kinds, kind).size() > 1 || of_kind(new_kinds, kind).size() > 1)) {
          unpaired.insert(kind);
          continue;
        }
        const auto kept = was.find(kind);
        const auto match = now.find(kind);
        if (kept == was.end() || kept->second != old_member || kind == other_variant ||
            match == now.end())
          continue;
        if (!same_node(olds(), old_member, news(), match->second))
          compare_values(def, field, old_member, match->second, type_reported);
      }
      // A kind the old union had no member of, that several new members share.
      for (const auto& [kind, members] : new_kinds) {
        if (kind != other_variant && members.size() > 1 && of_kind(old_kinds, kind).empty())
          unpaired.insert(kind);
      }
      // Integers that a number member takes on the other side, which has no integer member:
      // `int` -> `Union[Annotated[float, Field(ge=0)], str]` holds the old integers to `ge=0`.
      const auto one = [](const Kinds& kinds, const std::string& kind) {
        const std::vector<NodeId>& found = of_kind(kinds, kind);
        return found.size() == 1 ? found.front() : no_id;
      };
      const auto none = [](const Kinds& kinds, const std::string& kind) {
        return of_kind(kinds, kind).empty();
      };
      const std::string integer(integer_kind);
      const std::string number(number_kind);
      if (const NodeId old_integer = one(old_kinds, integer), new_number = one(new_kinds, number);
          old_integer != no_id && new_number != no_id && none(new_kinds, integer))
        compare_values(def, field, old_integer, new_number, true);
      if (const NodeId old_number = one(old_kinds, number), new_integer = one(new_kinds, integer);
          new_integer != no_id && old_number != no_id && none(old_kinds, integer))
        compare_values(def, field, old_number, new_integer, true);
      if (!type_reported) {
        for (const std::string& kind : unpaired)
          compare_unpaired(def, field, kind, of_kind(old_kinds, kind), of_kind(new_kinds, kind));
      }
      if (old_several != new_several) return;
    }
    compare_dimensions(def, field, old_value, new_value);
    compare_constraints(def, field, old_value, new_value);
    compare_discriminators(def, field, old_value, new_value);
    // List items and map values hold stored values too (list[Literal[...]], dict[str, int]).
    const auto inner = [&](NodeId old_inner, NodeId new_inner) {
      if (old_inner != no_id && new_inner != no_id && olds().node(old_inner).is_object &&
          news().node(new_inner).is_object && !same_node(olds(), old_inner, news(), new_inner))
        compare_values(def, field, old_inner, new_inner, type_reported);
    };
    inner(old_value.items, new_value.items);
    inner(old_value.record_node, new_value.record_node);
    // A tuple's items, place by place; its length is its minItems and maxItems.
    const std::span<const NodeId> old_tuple = olds().tuple(old_value);
    const std::span<const NodeId> new_tuple = news().tuple(new_value);
    for (std::size_t i = 0; i < std::min(old_tuple.size(), new_tuple.size()); ++i)
      inner(old_tuple[i], new_tuple[i]);
  }

  void compare_property(std::string_view def, const Property& old_prop, const Property& new_prop,
                        bool type_reported) {
    if (same_property(olds(), old_prop, news(), new_prop)) return;
    const std::string_view* field = &old_prop.key;
    compare_values(def, field, old_prop.node, new_prop.node, type_reported);
    const TypeNode& was = olds().node(old_prop.node);
    const TypeNode& now = news().node(new_prop.node);
    // Stored documents without the field validated through the default.
    const Datum& old_default = olds().extras_of(was).default_value;
    if (old_default.present && !news().extras_of(now).default_value.present &&
        !was.presence_guaranteed)
      add(Rule::default_removed, def, field, literal(old_default));
  }

  // Does the new property take every value the old model kept under a key it did not name? A
  // model with `additionalProperties` true or a schema (Pydantic's `extra="allow"`) stores the
  // extra keys it is given, so a stored document may hold the added key with any such value. One
  // with none (`extra="ignore"`, the default) drops them, and stores none.
  bool extras_held(const TypeNode& old_model, const Property& added) const {
    if (old_model.record == RecordValues::schema)
      return holds(news(), added.node, olds(), old_model.record_node);
    if (!olds().constraint(old_model, Atom::additional_properties).is_true()) return true;
    return holds_anything(news(), added.node);
  }

  // Does the new model take the values a removed property stored? They are extra keys now: a
  // model that keeps them by a schema (a typed `extra="allow"`) holds them to it; one that keeps
  // any, or drops them, takes them.
  bool removed_held(const TypeNode& new_model, const Property& removed) const {
    return new_model.record != RecordValues::schema ||
           holds(news(), new_model.record_node, olds(), removed.node);
  }

  // Does the schema admit any value, as `additionalProperties` true does?
  static bool holds_anything(const Contract& contract, NodeId schema) {
    const TypeNode& node = contract.node(schema);
    return node.form == TypeForm::unknown && node.constraints.count == 0;
  }

  static bool is_doc_id(const Contract& contract, const Definition& model, std::string_view key) {
    return model.has_doc_id && contract.extras_of(model).doc_id == key;
  }

  // readOnly keeps a field out of the web module's Write type, not the Admin SDK's. Added, old
  // web code that writes the field no longer compiles; removed, old code leaves the field out,
  // which breaks only where the Write type now requires it. The document id is in neither
  // Write type, whatever its readOnly says.
  void compare_read_only(std::string_view def, const Definition& old_def, const Property& old_prop,
                         const Definition& new_def, const Property& new_prop) {
    const bool was = olds().node(old_prop.node).read_only;
    const bool now = news().node(new_prop.node).read_only;
    const auto written = [](const Contract& contract, const Definition& model,
                            const Property& property, Writer writer) {
      return presence_of(model, property, brenvale::Side::write, contract, writer);
    };
    if (!was && now && written(olds(), old_def, old_prop, Writer::client) != Presence::absent &&
        written(news(), new_def, new_prop, Writer::server) != Presence::absent)
      add(Rule::read_only_added, def, &old_prop.key);
    if (was && !now && written(olds(), old_def, old_prop, Writer::server) != Presence::absent &&
        written(news(), new_def, new_prop, Writer::client) == Presence::required)
      add(Rule::read_only_removed, def, &old_prop.key);
  }

  // A property that writes must now give, through the web module (client) or the Admin SDK's
  // (server, which writes readOnly fields too): old writer code that leaves it out no longer
  // compiles. `old_prop` is null for an added property. A readOnly field that turns writable has
  // its own rule for the web client. A property that turns required, where readers were not
  // promised it, also fails the stored documents that lack it when Pydantic reads them; one
  // finding says both.
  void compare_writes(std::string_view def, const Definition& old_def, const Property* old_prop,
                      const Definition& new_def, const Property& new_prop) {
    const auto required = [](const Contract& contract, const Definition& model,
                             const Property* property, Writer writer) {
      return property != nullptr && presence_of(model, *property, brenvale::Side::write, contract,
                                                writer) == Presence::required;
    };
    const bool read_only_removed = old_prop != nullptr && olds().node(old_prop->node).read_only &&
                                   !news().node(new_prop.node).read_only;
    const bool server = required(news(), new_def, &new_prop, Writer::server) &&
                        !required(olds(), old_def, old_prop, Writer::server);
    const bool client = required(news(), new_def, &new_prop, Writer::client) &&
                        !required(olds(), old_def, old_prop, Writer::client) && !read_only_removed;
    const bool turned_required = new_prop.required && (old_prop == nullptr || !old_prop->required);
    if (turned_required && !read_required(news(), new_prop) &&
        !is_doc_id(news(), new_def, new_prop.key)) {
      add(Rule::required_added, def, &new_prop.key);
      if (!server && !client) out.back().directions = Directions::of(Direction::backward);
    } else if (server || client) {
      add(Rule::required_in_writes, def, &new_prop.key);
    }
  }

  // What client code compiled against the old module calls the model's converter and path
  // function, and the parameters it passes, against what the new module exports.
  void compare_client_names(std::string_view def, const ClientNames& was, const ClientNames& now) {
    if (was.converter != now.converter)
      add(Rule::converter_renamed, def, nullptr, was.converter, now.converter);
    if (was.path_function != now.path_function)
      add(Rule::path_function_renamed, def, nullptr, was.path_function, now.path_function);
    // Calls pass parameters by place: a renamed one breaks none, one more or one fewer breaks
    // every call. The new or old names the other version lacks are named.
    const std::vector<std::string>& more = now.path_parameters.size() > was.path_parameters.size()
                                               ? now.path_parameters
                                               : was.path_parameters;
    const std::vector<std::string>& fewer =
        &more == &now.path_parameters ? was.path_parameters : now.path_parameters;
    if (more.size() == fewer.size()) return;
    const bool added = &more == &now.path_parameters;
    // A sorted copy keeps this linear in the parameters.
    std::vector<std::string_view> kept(fewer.begin(), fewer.end());
    std::sort(kept.begin(), kept.end(), byte_less);
    const auto report = [&](const std::string& parameter) {
      if (added) {
        add(Rule::path_parameter_added, def, nullptr, {}, parameter);
      } else {
        add(Rule::path_parameter_removed, def, nullptr, parameter);
      }
    };
    bool named = false;
    for (const std::string& parameter : more) {
      if (std::binary_search(kept.begin(), kept.end(), parameter, byte_less)) continue;
      report(parameter);
      named = true;
    }
    if (!named) report(more.back());  // a name used twice: the count alone changed
  }

  // The values a model keeps under keys it does not name (Pydantic's `extra="allow"`):
  // `additionalProperties` true keeps any, a schema those it admits. A model that keeps none
  // (none, which drops them, or false, which the restriction rules compare) stores and writes
  // none, so only two that keep some can disagree on them. A model without fields types them in
  // an index signature, whose type changes with them for client code too.
  void compare_extras(std::string_view def, const Definition& old_def, const Definition& new_def) {
    const TypeNode& old_model = olds().node(old_def.node);
    const TypeNode& new_model = news().node(new_def.node);
    const auto keeps_any = [](const Contract& contract, const TypeNode& model) {
      return contract.constraint(model, Atom::additional_properties).is_true();
    };
    const auto kept = [](const TypeNode& model) {
      return model.record == RecordValues::schema ? model.record_node : no_id;
    };
    const bool old_any = keeps_any(olds(), old_model);
    const bool new_any = keeps_any(news(), new_model);
    const NodeId old_values = kept(old_model);
    const NodeId new_values = kept(new_model);
    if ((!old_any && old_values == no_id) || (!new_any && new_values == no_id)) return;
    const bool stored_held = new_values == no_id ||
                             (old_values == no_id ? holds_anything(news(), new_values)
                                                  : holds(news(), new_values, olds(), old_values));
    const bool written_held = old_values == no_id ||
                              (new_values == no_id ? holds_anything(olds(), old_values)
                                                   : holds(olds(), old_values, news(), new_values));
    const auto shown_extras = [](const Contract& contract, bool any, NodeId values) {
      return any ? std::string("true") : read_type_signature(contract, values);
    };
    if (stored_held && written_held) return;
    const std::string was = shown_extras(olds(), old_any, old_values);
    const std::string now = shown_extras(news(), new_any, new_values);
    // Where both versions type the extras in an index signature and that type reads otherwise,
    // client code breaks too: not where `integer` becomes `number`, both `number`, nor where only
    // a bound changes, no part of a type. A signature reads a string enum as `string`, where the
    // module lists its values, so those are compared besides.
    const auto listed = [](const Contract& contract, NodeId values) {
      std::vector<std::string> texts;
      if (values == no_id || contract.node(values).form != TypeForm::enumeration) return texts;
      for (const Datum& value : contract.enum_values(contract.node(values))) {
        texts.emplace_back();
        serialise_scalar(value, texts.back());
      }
      std::sort(texts.begin(), texts.end());
      return texts;
    };
    const bool retyped = has_index_signature(olds(), old_def) &&
                         has_index_signature(news(), new_def) &&
                         (was != now || listed(olds(), old_values) != listed(news(), new_values));
    for (const auto& [held, rule] :
         {std::pair(stored_held, Rule::additional_properties_tightened),
          std::pair(written_held, Rule::additional_properties_loosened)}) {
      if (held) continue;
      add(rule, def, nullptr, was, now);
      if (retyped)
        out.back().directions = rule_info(rule).directions | Directions::of(Direction::client);
    }
  }

  // A model without fields that keeps other keys types them in an index signature, which client
  // code reads them through; the module drops it once the model gains a field or keeps none.
  void compare_index_signatures(std::string_view def, const Definition& old_def,
                                const Definition& new_def) {
    if (has_index_signature(olds(), old_def) && new_def.kind == DefinitionKind::model &&
        !has_index_signature(news(), new_def))
      add(Rule::index_signature_removed, def, nullptr);
  }

  // `first`, `last`: the diff's findings for the definition, by index into `out`, which grows.
  // `same`: the two are equal (same_definition).
  bool compare_models(std::string_view def, const Definition& old_def, const Definition& new_def,
                      bool same, std::size_t first, std::size_t last) {
    // Names can change with other definitions, so they are compared even for an equal model.
    if (!same) {
      compare_constraints(def, nullptr, olds().node(old_def.node), news().node(new_def.node));
      compare_extras(def, old_def, new_def);
      compare_index_signatures(def, old_def, new_def);
    }
    const ClientNames* old_client = client_of(old_side.clients, def);
    const ClientNames* new_client = client_of(new_side.clients, def);
    if (old_client != nullptr && new_client != nullptr)
      compare_client_names(def, *old_client, *new_client);
    // The model stays, its collection goes: so do the functions the module wrote for it.
    if (old_client != nullptr && new_client == nullptr)
      add(Rule::collection_functions_removed, def, nullptr,
          old_client->converter + ", " + old_client->path_function);
    if (same) return true;
    const bool closed =
        olds().constraint(olds().node(old_def.node), Atom::additional_properties).is_false();
    // The new model forbids extra keys: a stored document with a removed field is rejected.
    const bool closed_now =
        news().constraint(news().node(new_def.node), Atom::additional_properties).is_false();
    const TypeNode& old_model = olds().node(old_def.node);
    // The diff reported type changes in property order, the order walked here.
    std::size_t next_type = first;
    return merge_keys(
        olds().properties_of(old_def), news().properties_of(new_def),
        [](const Property& p) { return p.key; },
        [&](std::string_view key, const Property* old_prop, const Property* new_prop) {
          if (old_prop != nullptr && new_prop != nullptr) {
            while (next_type != last && (out[next_type].rule != Rule::type_changed ||
                                         byte_less(out[next_type].field, key)))
              ++next_type;
            const bool reported = next_type != last && out[next_type].field == key;
            compare_property(def, *old_prop, *new_prop, reported);
            compare_read_only(def, old_def, *old_prop, new_def, *new_prop);
          } else if (old_prop == nullptr && closed) {
            add(Rule::field_added_closed_model, def, &key);
          } else if (old_prop == nullptr && !extras_held(old_model, *new_prop) &&
                     !is_doc_id(news(), new_def, key)) {
            add(Rule::field_added_open_model, def, &key);
          } else if (new_prop == nullptr && closed_now && !is_doc_id(olds(), old_def, key)) {
            // The document id is no stored key: no stored document holds it.
            add(Rule::field_removed_closed_model, def, &key);
          } else if (new_prop == nullptr && !is_doc_id(olds(), old_def, key) &&
                     !removed_held(news().node(new_def.node), *old_prop)) {
            add(Rule::field_removed_typed_extras, def, &key);
          }
          if (new_prop != nullptr) compare_writes(def, old_def, old_prop, new_def, *new_prop);
          return !diff.stop();
        });
  }

  // Takes back the diff's type changes (from `first` on) between two spellings of one type.
  void drop_respelled(std::size_t first) {
    out.erase(
        std::remove_if(out.begin() + static_cast<std::ptrdiff_t>(first), out.end(),
                       [&](const Finding& finding) { return respelled(finding, olds(), news()); }),
        out.end());
  }

  // Root models, aliases and enums: what the diff leaves alone, compared like a property.
  void compare_alias(std::string_view def, const Definition& old_def, const Definition& new_def,
                     bool same) {
    if (same) return;
    OrderedSet<std::string> ignored;
    const bool literal_pair = literal_members(olds(), olds().node(old_def.node), ignored) &&
                              literal_members(news(), news().node(new_def.node), ignored);
    bool reported = false;
    if (!literal_pair) {
      std::string old_sig = read_type_signature(olds(), old_def.node);
      std::string new_sig = read_type_signature(news(), new_def.node);
      if (old_sig != new_sig && !spelled_alike(olds(), old_def.node, news(), new_def.node)) {
        add(Rule::alias_type_changed, def, nullptr, std::move(old_sig), std::move(new_sig));
        out.back().directions = change_directions(olds(), old_def.node, news(), new_def.node) |
                                Directions::of(Direction::client);
        reported = true;
      }
    }
    compare_values(def, nullptr, old_def.node, new_def.node, reported);
  }
};

// Collections of models that only the old model has: a model renamed around the same
// collection renames its converter.
std::unordered_map<std::string_view, std::string_view> removed_collections(const Contract& olds,
                                                                           const Contract& news) {
  std::unordered_map<std::string_view, std::string_view> collections;
  for (const Definition& definition : olds.definitions) {
    if (!definition.object_shaped || !definition.has_collection ||
        news.find(definition.name) != nullptr)
      continue;
    collections.emplace(olds.extras_of(definition).collection, definition.name);
  }
  return collections;
}

}  // namespace

bool spelled_alike(const Contract& old_contract, NodeId old_node, const Contract& new_contract,
                   NodeId new_node) {
  const auto [was, now] = through_aliases(old_contract, old_node, new_contract, new_node);
  return read_type_signature(old_contract, was, LiteralOrder::sorted) ==
         read_type_signature(new_contract, now, LiteralOrder::sorted);
}

bool respelled(const Finding& finding, const Contract& old_contract, const Contract& new_contract) {
  if (finding.rule != Rule::type_changed) return false;
  const Definition* old_def = old_contract.find(finding.def);
  const Definition* new_def = new_contract.find(finding.def);
  if (old_def == nullptr || new_def == nullptr) return false;
  const Property* was = old_contract.property(*old_def, finding.field);
  const Property* now = new_contract.property(*new_def, finding.field);
  return was != nullptr && now != nullptr &&
         spelled_alike(old_contract, was->node, new_contract, now->node);
}

bool rule_findings(const Contract& old_contract, const Contract& new_contract,
                   InterruptCheck interrupted, std::vector<Finding>& findings,
                   std::size_t halves_from) {
  // Each model's client names take a name table of their own: a large pair's are found on two
  // threads.
  ModuleNames old_names;
  ModuleNames new_names;
  std::future<ModuleNames> old_naming;
  if (large_comparison(old_contract, new_contract, halves_from))
    old_naming = on_own_thread([&] { return client_names(old_contract); });
  new_names = client_names(new_contract);
  old_names = old_naming.valid() ? old_naming.get() : client_names(old_contract);
  const ClientIndex old_clients = index_of(old_names.collections);
  const ClientIndex new_clients = index_of(new_names.collections);
  const ExportIndex old_exports(old_names.renamed.begin(), old_names.renamed.end());
  const ExportIndex new_exports(new_names.renamed.begin(), new_names.renamed.end());
  const auto renamed_from = removed_collections(old_contract, new_contract);
  const bool references_alike = references_read_alike(old_contract, new_contract);
  const auto pass = [&](std::span<const Definition> olds, std::span<const Definition> news,
                        Diff& diff) {
    std::vector<Finding>& out = diff.findings;
    Rules rules{{old_contract, old_clients}, {new_contract, new_clients}, diff, out};
    return merge_keys(
        olds, news, [](const Definition& d) { return d.name; },
        [&](std::string_view name, const Definition* old_def, const Definition* new_def) {
          const std::size_t first = out.size();
          const bool same = old_def != nullptr && new_def != nullptr &&
                            same_definition(old_contract, *old_def, new_contract, *new_def);
          // Most definitions of a new version are the old ones: the diff would walk them for
          // nothing.
          if (!(same && references_alike) && !diff_definition(diff, name, old_def, new_def))
            return false;
          if (old_def != nullptr && new_def != nullptr && out.size() != first)
            rules.drop_respelled(first);
          const std::size_t last = out.size();
          if (old_def != nullptr && new_def != nullptr) {
            if (old_def->object_shaped && new_def->object_shaped) {
              if (!rules.compare_models(name, *old_def, *new_def, same, first, last)) return false;
            } else if (!old_def->object_shaped && !new_def->object_shaped) {
              rules.compare_alias(name, *old_def, *new_def, same);
            }
            // Another definition can take the name, so this is asked of an equal one too.
            const std::string_view was = exported_name(old_exports, name);
            const std::string_view now = exported_name(new_exports, name);
            if (was != now)
              rules.add(Rule::type_renamed, name, nullptr, std::string(was), std::string(now));
          } else if (new_def != nullptr && new_def->object_shaped && new_def->has_collection) {
            const auto renamed = renamed_from.find(new_contract.extras_of(*new_def).collection);
            const ClientNames* old_client =
                renamed != renamed_from.end() ? client_of(old_clients, renamed->second) : nullptr;
            const ClientNames* new_client = client_of(new_clients, name);
            if (old_client != nullptr && new_client != nullptr &&
                old_client->converter != new_client->converter)
              rules.add(Rule::converter_renamed, name, nullptr, old_client->converter,
                        new_client->converter);
          }
          return !diff.stop();
        });
  };
  return compare_in_halves(old_contract, new_contract, interrupted, findings, pass, halves_from);
}

}  // namespace brenvale::compat
