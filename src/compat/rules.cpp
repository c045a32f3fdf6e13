// The compat rule set: diff findings tagged with rule ids, then the rules diff does not make.
#include "compat/rules.hpp"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "compat/merge_keys.hpp"
#include "compat/type_signature.hpp"
#include "contract/bundle.hpp"
#include "typescript/emit_firestore.hpp"
#include "typescript/escape.hpp"
#include "typescript/literal.hpp"
#include "util/ordered_set.hpp"

namespace brenvale::compat {

namespace {

struct Rule {
  std::string_view id;
  Direction direction;
};

// Every diff message, mapped to its rule. A prefix entry matches a message with placeholders;
// the key-changed messages start with their key.
struct BaseRule {
  std::string_view message;
  bool prefix;
  Rule rule;
};

constexpr BaseRule base_rules[] = {
    {"model added (additive)", false, {"model-added", Direction::forward}},
    {"model removed (contract gone)", false, {"model-removed", Direction::backward}},
    {"definition kind changed (object <-> enum/scalar)",
     false,
     {"definition-kind-changed", Direction::backward}},
    {text_of(Atom::doc_id_field), true, {"doc-id-field-changed", Direction::backward}},
    {text_of(Atom::collection), true, {"collection-changed", Direction::backward}},
    {"field added as read-required", false, {"field-added-read-required", Direction::backward}},
    {"field added (read-optional)", false, {"field-added", Direction::forward}},
    {"field removed", false, {"field-removed", Direction::forward}},
    {"type changed: ", true, {"type-changed", Direction::backward}},
    {"read required -> optional", false, {"read-required-to-optional", Direction::forward}},
    {"read optional -> required", false, {"read-optional-to-required", Direction::backward}},
};

constexpr std::string_view type_changed_prefix = "type changed: ";
constexpr std::string_view none_text = "(none)";

Rule base_rule(std::string_view message) {
  for (const BaseRule& entry : base_rules) {
    if (entry.prefix ? message.starts_with(entry.message) : message == entry.message) {
      return entry.rule;
    }
  }
  return {"unknown", Direction::backward};  // unreachable while the table lists every message
}

// Bounds: moving one inward rejects stored values (backward), outward admits values old readers
// reject (forward).
struct Bound {
  Atom key;
  bool upper;
  Rule tightened;
  Rule loosened;
};

constexpr Bound bounds[] = {
    {Atom::max_length,
     true,
     {"max-length-tightened", Direction::backward},
     {"max-length-loosened", Direction::forward}},
    {Atom::min_length,
     false,
     {"min-length-tightened", Direction::backward},
     {"min-length-loosened", Direction::forward}},
    {Atom::maximum,
     true,
     {"maximum-tightened", Direction::backward},
     {"maximum-loosened", Direction::forward}},
    {Atom::minimum,
     false,
     {"minimum-tightened", Direction::backward},
     {"minimum-loosened", Direction::forward}},
    {Atom::exclusive_maximum,
     true,
     {"exclusive-maximum-tightened", Direction::backward},
     {"exclusive-maximum-loosened", Direction::forward}},
    {Atom::exclusive_minimum,
     false,
     {"exclusive-minimum-tightened", Direction::backward},
     {"exclusive-minimum-loosened", Direction::forward}},
    {Atom::max_items,
     true,
     {"max-items-tightened", Direction::backward},
     {"max-items-loosened", Direction::forward}},
    {Atom::min_items,
     false,
     {"min-items-tightened", Direction::backward},
     {"min-items-loosened", Direction::forward}},
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
    {Atom::pattern,
     {"pattern-tightened", Direction::backward},
     {"pattern-loosened", Direction::forward}},
    {Atom::format,
     {"format-tightened", Direction::backward},
     {"format-loosened", Direction::forward}},
    {Atom::multiple_of,
     {"multiple-of-tightened", Direction::backward},
     {"multiple-of-loosened", Direction::forward}},
    {Atom::unique_items,
     {"unique-items-tightened", Direction::backward},
     {"unique-items-loosened", Direction::forward}},
    {Atom::additional_properties,
     {"additional-properties-tightened", Direction::backward},
     {"additional-properties-loosened", Direction::forward}},
};

constexpr Rule enum_member_removed{"enum-member-removed", Direction::backward};
constexpr Rule enum_member_added{"enum-member-added", Direction::forward};
constexpr Rule type_narrowed{"type-narrowed", Direction::backward};
constexpr Rule type_widened{"type-widened", Direction::forward};
constexpr Rule alias_type_changed{"alias-type-changed", Direction::backward};
constexpr Rule default_removed{"default-removed", Direction::backward};
constexpr Rule discriminator_value_removed{"discriminator-value-removed", Direction::backward};
constexpr Rule discriminator_value_added{"discriminator-value-added", Direction::forward};
constexpr Rule field_added_closed_model{"field-added-closed-model", Direction::forward};
constexpr Rule read_only_added{"read-only-added", Direction::client};
constexpr Rule read_only_removed{"read-only-removed", Direction::client};
constexpr Rule converter_renamed{"converter-renamed", Direction::client};
constexpr Rule path_function_renamed{"path-function-renamed", Direction::client};
constexpr Rule path_parameter_added{"path-parameter-added", Direction::client};

// A finding before the mode decides its verdict: SAFE here stays SAFE in every mode.
struct Pending {
  Finding finding;
  Rule rule;
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

bool is_true(const Value& node, Atom key) {
  const Value* value = node.find(key);
  return value != nullptr && value->is_true();
}

bool is_null_type(const Value& node) {
  const Value* type = node.find(Atom::type);
  return type != nullptr && type->string() == "null";
}

const Value* alternatives(const Value& node) {
  const Value* members = node.find(Atom::any_of);
  if (members == nullptr || !members->is_array()) members = node.find(Atom::one_of);
  return members != nullptr && members->is_array() ? members : nullptr;
}

// The node that carries the constraints: an Optional's one non-null member, else the node.
const Value& value_node(const Value& node) {
  const Value* members = alternatives(node);
  if (members == nullptr) return node;
  const Value* only = nullptr;
  for (const Value& member : members->array()) {
    if (is_null_type(member)) continue;
    if (only != nullptr) return node;
    only = &member;
  }
  return only != nullptr ? *only : node;
}

// The literal values a node admits, when it admits nothing else: `enum`, `const`, or a union of
// those (null included). Texts are TypeScript literals, so 1 and "1" stay apart.
bool literal_members(const Value& node, TextSet& out) {
  if (const Value* value = node.find(Atom::const_value)) {
    out.insert(literal(*value));
    return true;
  }
  if (const Value* values = node.find(Atom::enum_values); values != nullptr && values->is_array()) {
    for (const Value& value : values->array()) out.insert(literal(value));
    return true;
  }
  const Value* members = alternatives(node);
  if (members == nullptr || members->size == 0) return false;
  for (const Value& member : members->array()) {
    if (is_null_type(member)) {
      out.insert("null");
    } else if (!literal_members(member, out)) {
      return false;
    }
  }
  return true;
}

std::string_view json_type_of(const Value& value) {
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

// The JSON types a node admits; a reference or Firestore type counts as a type of its own.
// Empty when the node does not say (any value).
void json_types(const Value& node, TextSet& out) {
  if (const Value* kind = string_member(node, Atom::firestore_type)) {
    out.emplace(kind->string());
    return;
  }
  if (const Value* ref = string_member(node, Atom::ref)) {
    const std::string_view text = ref->string();
    out.emplace(text.substr(text.rfind('/') + 1));
    return;
  }
  if (const Value* value = node.find(Atom::const_value)) {
    out.emplace(json_type_of(*value));
    return;
  }
  if (const Value* values = node.find(Atom::enum_values); values != nullptr && values->is_array()) {
    for (const Value& value : values->array()) out.emplace(json_type_of(value));
    return;
  }
  if (const Value* members = alternatives(node)) {
    for (const Value& member : members->array()) json_types(member, out);
    return;
  }
  const Value* type = node.find(Atom::type);
  if (type == nullptr) return;
  if (type->is_string()) out.emplace(type->string());
  for (const Value& entry : type->array()) {
    if (entry.is_string()) out.emplace(entry.string());
  }
}

// Every type of `from` is admitted by `to` (an integer is a number).
bool covers(const TextSet& to, const TextSet& from) {
  return std::all_of(from.begin(), from.end(), [&](const std::string& type) {
    return to.contains(type) || (type == "integer" && to.contains("number"));
  });
}

std::optional<double> number_of(const Value* value) {
  if (value == nullptr) return std::nullopt;
  switch (value->kind) {
    case Kind::int64:
      return static_cast<double>(value->int64);
    case Kind::uint64:
      return static_cast<double>(value->uint64);
    case Kind::float64:
      return value->float64;
    default:
      return std::nullopt;
  }
}

std::string shown(const Value* value) {
  return value != nullptr ? literal(*value) : std::string(none_text);
}

// Whether every value that satisfies `old` restriction also satisfies `now` (true when `now` is
// absent): the new contract accepts every stored value as far as this key goes.
bool admits_all(Atom key, const Value* old, const Value* now) {
  if (now == nullptr) return true;
  if (key == Atom::unique_items) return !now->is_true() || (old != nullptr && old->is_true());
  if (key == Atom::additional_properties) {
    return !(now->kind == Kind::boolean && !now->boolean) ||
           (old != nullptr && old->kind == Kind::boolean && !old->boolean);
  }
  if (key == Atom::multiple_of) {
    // Multiples of 6 are multiples of 3: the old step must be a multiple of the new one.
    const std::optional<double> step = number_of(now);
    const std::optional<double> old_step = number_of(old);
    if (!step || *step == 0) return true;
    if (!old_step) return false;
    // Decimal steps are inexact in binary: 0.3 / 0.1 is 2.9999999999999996.
    const double ratio = *old_step / *step;
    return std::abs(ratio - std::round(ratio)) <= 1e-9 * std::max(1.0, std::abs(ratio));
  }
  return old != nullptr && same_tree(*old, *now);  // pattern, format
}

// One run of the rules: both definition tables and the findings so far.
// The converter and path function names of a bundle's collection models, by definition.
using ClientIndex = std::unordered_map<std::string_view, const ClientNames*>;

ClientIndex index_of(const std::vector<ClientNames>& names) {
  ClientIndex index;
  for (const ClientNames& entry : names) index.emplace(entry.definition, &entry);
  return index;
}

const ClientNames* client_of(const ClientIndex& index, std::string_view def) {
  const auto found = index.find(def);
  return found != index.end() ? found->second : nullptr;
}

struct Rules {
  const Value& old_defs;
  const Value& new_defs;
  const ClientIndex& old_clients;
  const ClientIndex& new_clients;
  std::vector<Pending>& out;
  // "def\0field" of every property whose type diff already reported.
  std::unordered_set<std::string> type_reported;

  void add(std::string_view def, const std::string_view* field, Rule rule, std::string message) {
    out.push_back(
        Pending{Finding{std::string(def),
                        field != nullptr ? std::optional<std::string>(*field) : std::nullopt,
                        Verdict::breaking, std::move(message)},
                rule});
  }

  void compare_members(std::string_view def, const std::string_view* field, const TextSet& olds,
                       const TextSet& news) {
    for (const std::string& member : olds) {
      if (!news.contains(member))
        add(def, field, enum_member_removed, "enum member removed: " + member);
    }
    for (const std::string& member : news) {
      if (!olds.contains(member))
        add(def, field, enum_member_added, "enum member added: " + member);
    }
  }

  // Narrowing and widening the diff's signature cannot see: number <-> integer, a literal set
  // appearing or going, a member of a union whose signature collapsed.
  void compare_types(std::string_view def, const std::string_view* field, const Value& old_node,
                     const Value& new_node, bool old_literal, bool new_literal,
                     const TextSet& old_literals, const TextSet& new_literals) {
    TextSet old_types;
    TextSet new_types;
    json_types(old_node, old_types);
    json_types(new_node, new_types);
    if (old_types.empty() || new_types.empty()) return;
    const std::string old_text = joined(old_literal ? old_literals : old_types);
    const std::string new_text = joined(new_literal ? new_literals : new_types);
    bool narrowed = !covers(new_types, old_types);
    bool widened = !covers(old_types, new_types);
    if (!old_literal && new_literal) narrowed = true;
    if (old_literal && !new_literal) widened = true;
    if (narrowed) add(def, field, type_narrowed, "type narrowed: " + old_text + " -> " + new_text);
    if (widened) add(def, field, type_widened, "type widened: " + old_text + " -> " + new_text);
  }

  void compare_constraints(std::string_view def, const std::string_view* field,
                           const Value& old_node, const Value& new_node) {
    for (const Bound& bound : bounds) {
      const Value* old_value = old_node.find(bound.key);
      const Value* new_value = new_node.find(bound.key);
      const std::optional<double> was = number_of(old_value);
      const std::optional<double> now = number_of(new_value);
      if (!was && !now) continue;
      const bool tightened = now && (!was || (bound.upper ? *now < *was : *now > *was));
      const bool loosened = was && (!now || (bound.upper ? *now > *was : *now < *was));
      if (!tightened && !loosened) continue;
      add(def, field, tightened ? bound.tightened : bound.loosened,
          std::string(text_of(bound.key)) + (tightened ? " tightened: " : " loosened: ") +
              (was ? literal(*old_value) : std::string(none_text)) + " -> " +
              (now ? literal(*new_value) : std::string(none_text)));
    }
    for (const Restriction& restriction : restrictions) {
      const Value* old_value = old_node.find(restriction.key);
      const Value* new_value = new_node.find(restriction.key);
      if (old_value == nullptr && new_value == nullptr) continue;
      const std::string change = " " + shown(old_value) + " -> " + shown(new_value);
      if (!admits_all(restriction.key, old_value, new_value)) {
        add(def, field, restriction.tightened,
            std::string(text_of(restriction.key)) + " tightened:" + change);
      }
      if (!admits_all(restriction.key, new_value, old_value)) {
        add(def, field, restriction.loosened,
            std::string(text_of(restriction.key)) + " loosened:" + change);
      }
    }
  }

  void compare_discriminators(std::string_view def, const std::string_view* field,
                              const Value& old_node, const Value& new_node) {
    const auto mapping = [](const Value& node) -> const Value& {
      const Value* discriminator = node.find(Atom::discriminator);
      const Value* values = discriminator != nullptr ? discriminator->find(Atom::mapping) : nullptr;
      return values != nullptr && values->is_object() ? *values : empty_object();
    };
    merge_keys(
        mapping(old_node).object(), mapping(new_node).object(),
        [&](std::string_view value, const Value* was, const Value* now) {
          std::string quoted;
          append_quoted(value, quoted);
          if (now == nullptr) {
            add(def, field, discriminator_value_removed, "discriminator value removed: " + quoted);
          } else if (was == nullptr) {
            add(def, field, discriminator_value_added, "discriminator value added: " + quoted);
          }
          return true;
        });
  }

  // The rules a property and an alias definition share. `type_reported`: the base diff (or the
  // alias rule) already reported the type change.
  void compare_values(std::string_view def, const std::string_view* field, const Value& old_node,
                      const Value& new_node, bool type_reported) {
    TextSet old_literals;
    TextSet new_literals;
    const bool old_literal = literal_members(old_node, old_literals);
    const bool new_literal = literal_members(new_node, new_literals);
    if (old_literal && new_literal) {
      compare_members(def, field, old_literals, new_literals);
    } else if (!type_reported) {
      compare_types(def, field, old_node, new_node, old_literal, new_literal, old_literals,
                    new_literals);
    }
    const Value& old_value = value_node(old_node);
    const Value& new_value = value_node(new_node);
    compare_constraints(def, field, old_value, new_value);
    compare_discriminators(def, field, old_value, new_value);
    // List items and map values hold stored values too (list[Literal[...]], dict[str, int]).
    for (const Atom key : {Atom::items, Atom::additional_properties}) {
      const Value* old_inner = old_value.find(key);
      const Value* new_inner = new_value.find(key);
      if (old_inner != nullptr && new_inner != nullptr && old_inner->is_object() &&
          new_inner->is_object() && !same_tree(*old_inner, *new_inner)) {
        compare_values(def, field, *old_inner, *new_inner, type_reported);
      }
    }
  }

  void compare_property(std::string_view def, std::string_view name, const Value& old_prop,
                        const Value& new_prop) {
    if (same_tree(old_prop, new_prop)) return;
    const std::string_view* field = &name;
    std::string key(def);
    key += '\0';
    key += name;
    compare_values(def, field, old_prop, new_prop, type_reported.contains(key));
    // Stored documents without the field validated through the default.
    const bool present = is_true(old_prop, Atom::presence_guaranteed);
    if (const Value* value = old_prop.find(Atom::default_value);
        value != nullptr && new_prop.find(Atom::default_value) == nullptr && !present) {
      add(def, field, default_removed, "default removed: " + literal(*value));
    }
    const bool was_read_only = is_true(old_prop, Atom::read_only);
    const bool is_read_only = is_true(new_prop, Atom::read_only);
    if (!was_read_only && is_read_only) add(def, field, read_only_added, "readOnly added");
    if (was_read_only && !is_read_only) add(def, field, read_only_removed, "readOnly removed");
  }

  // What client code compiled against the old module calls the model's converter and path
  // function, and the parameters it passes, against what the new module exports.
  void compare_client_names(std::string_view def, const ClientNames& old_names,
                            const ClientNames& new_names) {
    if (old_names.converter != new_names.converter) {
      add(def, nullptr, converter_renamed,
          "converter renamed: " + old_names.converter + " -> " + new_names.converter);
    }
    if (old_names.path_function != new_names.path_function) {
      add(def, nullptr, path_function_renamed,
          "path function renamed: " + old_names.path_function + " -> " + new_names.path_function);
    }
    const std::vector<std::string>& olds = old_names.path_parameters;
    for (const std::string& parameter : new_names.path_parameters) {
      if (std::find(olds.begin(), olds.end(), parameter) == olds.end()) {
        add(def, nullptr, path_parameter_added, "path parameter added: " + parameter);
      }
    }
  }

  bool compare_models(std::string_view def, const Value& old_def, const Value& new_def,
                      InterruptCheck interrupted) {
    // Names can change with other definitions, so they are compared even for an equal model.
    const bool same = same_tree(old_def, new_def);
    if (!same) compare_constraints(def, nullptr, old_def, new_def);
    const ClientNames* old_client = client_of(old_clients, def);
    const ClientNames* new_client = client_of(new_clients, def);
    if (old_client != nullptr && new_client != nullptr) {
      compare_client_names(def, *old_client, *new_client);
    }
    if (same) return true;
    const Value* extra = old_def.find(Atom::additional_properties);
    const bool closed = extra != nullptr && extra->kind == Kind::boolean && !extra->boolean;
    return merge_keys(property_map(old_def).object(), property_map(new_def).object(),
                      [&](std::string_view name, const Value* old_prop, const Value* new_prop) {
                        if (old_prop != nullptr && new_prop != nullptr) {
                          compare_property(def, name, *old_prop, *new_prop);
                        } else if (old_prop == nullptr && closed) {
                          add(def, &name, field_added_closed_model,
                              "field added to a model that forbids extra keys");
                        }
                        return interrupted == nullptr || !interrupted();
                      });
  }

  // Root models, aliases and enums: what diff leaves alone, compared like a property.
  void compare_alias(std::string_view def, const Value& old_def, const Value& new_def) {
    if (same_tree(old_def, new_def)) return;
    TextSet ignored;
    const bool literal_pair =
        literal_members(old_def, ignored) && literal_members(new_def, ignored);
    bool reported = false;
    if (!literal_pair) {
      const std::string old_sig = read_type_signature(old_defs, old_def);
      const std::string new_sig = read_type_signature(new_defs, new_def);
      if (old_sig != new_sig) {
        add(def, nullptr, alias_type_changed, "type changed: " + old_sig + " -> " + new_sig);
        reported = true;
      }
    }
    compare_values(def, nullptr, old_def, new_def, reported);
  }
};

bool in_mode(Direction direction, Mode mode) {
  switch (mode) {
    case Mode::backward:
      return direction == Direction::backward;
    case Mode::forward:
      return direction == Direction::forward;
    case Mode::full:
      return true;
  }
  return true;
}

// Collections of models that only the old bundle has: a model renamed around the same
// collection renames its converter.
std::unordered_map<std::string_view, std::string_view> removed_collections(const Value& old_defs,
                                                                           const Value& new_defs) {
  std::unordered_map<std::string_view, std::string_view> collections;
  for (const Member& definition : old_defs.object()) {
    if (new_defs.find(definition.key) != nullptr || !is_model_definition(definition.value)) {
      continue;
    }
    if (const Value* collection = string_member(definition.value, Atom::collection)) {
      collections.emplace(collection->string(), definition.key);
    }
  }
  return collections;
}

}  // namespace

std::string_view direction_name(Direction direction) {
  switch (direction) {
    case Direction::backward:
      return "backward";
    case Direction::forward:
      return "forward";
    case Direction::client:
      return "client";
  }
  return "backward";
}

bool parse_mode(std::string_view text, Mode& mode) {
  if (text == "backward") {
    mode = Mode::backward;
  } else if (text == "forward") {
    mode = Mode::forward;
  } else if (text == "full") {
    mode = Mode::full;
  } else {
    return false;
  }
  return true;
}

bool rule_findings(const Value& old_bundle, const Value& new_bundle, Mode mode,
                   InterruptCheck interrupted, std::vector<RuleFinding>& findings) {
  std::vector<Finding> base;
  if (!diff(old_bundle, new_bundle, interrupted, base)) return false;

  const Value& old_defs = definitions(old_bundle);
  const Value& new_defs = definitions(new_bundle);
  const std::vector<ClientNames> old_names = client_names(old_bundle);
  const std::vector<ClientNames> new_names = client_names(new_bundle);
  const ClientIndex old_clients = index_of(old_names);
  const ClientIndex new_clients = index_of(new_names);
  std::vector<Pending> extra;
  Rules rules{old_defs, new_defs, old_clients, new_clients, extra, {}};
  for (const Finding& finding : base) {
    if (finding.field && finding.message.starts_with(type_changed_prefix)) {
      rules.type_reported.insert(finding.def + '\0' + *finding.field);
    }
  }
  const auto renamed_from = removed_collections(old_defs, new_defs);
  const bool finished = merge_keys(
      old_defs.object(), new_defs.object(),
      [&](std::string_view name, const Value* old_def, const Value* new_def) {
        if (old_def != nullptr && new_def != nullptr) {
          const bool old_model = is_model_definition(*old_def);
          const bool new_model = is_model_definition(*new_def);
          if (old_model && new_model) {
            if (!rules.compare_models(name, *old_def, *new_def, interrupted)) return false;
          } else if (!old_model && !new_model) {
            rules.compare_alias(name, *old_def, *new_def);
          }
        } else if (new_def != nullptr && is_model_definition(*new_def)) {
          const Value* collection = string_member(*new_def, Atom::collection);
          const auto renamed =
              collection != nullptr ? renamed_from.find(collection->string()) : renamed_from.end();
          const ClientNames* old_client =
              renamed != renamed_from.end() ? client_of(old_clients, renamed->second) : nullptr;
          const ClientNames* new_client = client_of(new_clients, name);
          if (old_client != nullptr && new_client != nullptr &&
              old_client->converter != new_client->converter) {
            rules.add(
                name, nullptr, converter_renamed,
                "converter renamed: " + old_client->converter + " -> " + new_client->converter);
          }
        }
        return interrupted == nullptr || !interrupted();
      });
  if (!finished) return false;

  // Both lists run in definition order; each definition's diff findings come first.
  findings.reserve(findings.size() + base.size() + extra.size());
  auto resolve = [&](Finding finding, Rule rule) {
    if (!in_mode(rule.direction, mode)) finding.verdict = Verdict::safe;
    findings.push_back(RuleFinding{std::move(finding), rule.id, rule.direction});
  };
  auto next_extra = extra.begin();
  for (Finding& finding : base) {
    while (next_extra != extra.end() && next_extra->finding.def < finding.def) {
      resolve(std::move(next_extra->finding), next_extra->rule);
      ++next_extra;
    }
    const Rule rule = base_rule(finding.message);
    resolve(std::move(finding), rule);
  }
  for (; next_extra != extra.end(); ++next_extra) {
    resolve(std::move(next_extra->finding), next_extra->rule);
  }
  return true;
}

}  // namespace brenvale::compat
