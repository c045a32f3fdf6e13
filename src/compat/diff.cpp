// Two contract bundles -> ordered findings, by linear merges over definition and property names.
#include "diff.hpp"

#include <bit>
#include <cstdint>
#include <span>
#include <utility>

#include "bundle.hpp"
#include "type_signature.hpp"

namespace brenvale::compat {

namespace {

constexpr std::string_view doc_id_key = "x-firestore-doc-id-field";
constexpr std::string_view collection_key = "x-firestore-collection";
constexpr std::string_view presence_key = "x-firestore-presence-guaranteed";
constexpr std::string_view none_text = "(none)";

// Objects iterate in byte order with unique keys, so one linear pass yields the union of both
// key sequences in order, each name once, borrowed, with its value on each side (or nullptr).
template <class Visit>
void merge_keys(std::span<const Member> olds, std::span<const Member> news, Visit&& visit) {
  auto old_it = olds.begin();
  auto new_it = news.begin();
  while (old_it != olds.end() || new_it != news.end()) {
    if (new_it == news.end() || (old_it != olds.end() && old_it->key < new_it->key)) {
      visit(old_it->key, &old_it->value, nullptr);
      ++old_it;
    } else if (old_it == olds.end() || new_it->key < old_it->key) {
      visit(new_it->key, nullptr, &new_it->value);
      ++new_it;
    } else {
      visit(old_it->key, &old_it->value, &new_it->value);
      ++old_it;
      ++new_it;
    }
  }
}

// Exact structural equality (floats bit for bit: -0.0 and 0.0 print differently), false as soon
// as either side holds a `$ref`. The renderer consults the definition table only through `$ref`,
// so two such nodes have equal signatures without rendering them; most properties are unchanged.
bool same_without_refs(const Value& a, const Value& b) {
  if (a.kind != b.kind || a.size != b.size) return false;
  switch (a.kind) {
    case Kind::null:
      return true;
    case Kind::boolean:
      return a.boolean == b.boolean;
    case Kind::int64:
      return a.int64 == b.int64;
    case Kind::uint64:
      return a.uint64 == b.uint64;
    case Kind::float64:
      return std::bit_cast<std::uint64_t>(a.float64) == std::bit_cast<std::uint64_t>(b.float64);
    case Kind::string:
      return a.string() == b.string();
    case Kind::array:
      for (std::uint32_t i = 0; i < a.size; ++i) {
        if (!same_without_refs(a.items[i], b.items[i])) return false;
      }
      return true;
    case Kind::object:
      for (std::uint32_t i = 0; i < a.size; ++i) {
        const Member& x = a.members[i];
        if (x.key == "$ref" || x.key != b.members[i].key) return false;
        if (!same_without_refs(x.value, b.members[i].value)) return false;
      }
      return true;
  }
  return false;
}

Finding definition_finding(std::string_view def, Verdict verdict, std::string message) {
  return Finding{std::string(def), std::nullopt, verdict, std::move(message)};
}

// Being in `required` alone is not enough: the reader must also be promised the field exists.
bool read_required(const NameSet& required, std::string_view name, const Value& schema) {
  const Value* guaranteed = schema.find(presence_key);
  return guaranteed != nullptr && guaranteed->is_true() && required.contains(name);
}

void compare_string_key(std::string_view def, const Value& old_def, const Value& new_def,
                        std::string_view key, std::vector<Finding>& findings) {
  const Value* old_value = string_member(old_def, key);
  const Value* new_value = string_member(new_def, key);
  if (old_value == nullptr && new_value == nullptr) return;
  if (old_value != nullptr && new_value != nullptr && old_value->string() == new_value->string()) {
    return;
  }
  const std::string_view old_text = old_value != nullptr ? old_value->string() : none_text;
  const std::string_view new_text = new_value != nullptr ? new_value->string() : none_text;
  std::string message;
  message.reserve(key.size() + old_text.size() + new_text.size() + 14);
  message.append(key).append(" changed: ").append(old_text).append(" -> ").append(new_text);
  findings.push_back(definition_finding(def, Verdict::breaking, std::move(message)));
}

struct Side {
  const Value& defs;
  const NameSet required;
};

// Both versions of one property: its type, then its read-requiredness.
void compare_property(std::string_view def, std::string_view name, const Value& old_prop,
                      const Value& new_prop, const Side& old_side, const Side& new_side,
                      std::vector<Finding>& findings) {
  if (!same_without_refs(old_prop, new_prop)) {
    // Each side's `$ref`s resolve against its own bundle.
    const std::string old_sig = read_type_signature(old_side.defs, old_prop);
    const std::string new_sig = read_type_signature(new_side.defs, new_prop);
    if (old_sig != new_sig) {
      std::string message;
      message.reserve(old_sig.size() + new_sig.size() + 18);
      message.append("type changed: ").append(old_sig).append(" -> ").append(new_sig);
      findings.push_back(field_finding(def, name, Verdict::breaking, message));
    }
  }
  const bool was_required = read_required(old_side.required, name, old_prop);
  const bool is_required = read_required(new_side.required, name, new_prop);
  if (was_required && !is_required) {
    findings.push_back(field_finding(def, name, Verdict::breaking, "read required -> optional"));
  } else if (!was_required && is_required) {
    findings.push_back(field_finding(def, name, Verdict::breaking, "read optional -> required"));
  }
}

void compare_properties(std::string_view def, const Value& old_def, const Value& new_def,
                        const Value& old_defs, const Value& new_defs,
                        std::vector<Finding>& findings) {
  const Side old_side{old_defs, required_set(old_def)};
  const Side new_side{new_defs, required_set(new_def)};
  merge_keys(
      property_map(old_def).object(), property_map(new_def).object(),
      [&](std::string_view name, const Value* old_prop, const Value* new_prop) {
        if (old_prop == nullptr) {
          findings.push_back(
              read_required(new_side.required, name, *new_prop)
                  ? field_finding(def, name, Verdict::breaking, "field added as read-required")
                  : field_finding(def, name, Verdict::safe, "field added (read-optional)"));
        } else if (new_prop == nullptr) {
          findings.push_back(field_finding(def, name, Verdict::breaking, "field removed"));
        } else {
          compare_property(def, name, *old_prop, *new_prop, old_side, new_side, findings);
        }
      });
}

}  // namespace

Finding field_finding(std::string_view def, std::string_view field, Verdict verdict,
                      std::string_view message) {
  return Finding{std::string(def), std::string(field), verdict, std::string(message)};
}

std::vector<Finding> diff(const Value& old_bundle, const Value& new_bundle) {
  const Value& old_defs = definitions(old_bundle);
  const Value& new_defs = definitions(new_bundle);
  std::vector<Finding> findings;
  merge_keys(
      old_defs.object(), new_defs.object(),
      [&](std::string_view name, const Value* old_def, const Value* new_def) {
        if (old_def == nullptr) {
          findings.push_back(definition_finding(name, Verdict::safe, "model added (additive)"));
          return;
        }
        if (new_def == nullptr) {
          findings.push_back(
              definition_finding(name, Verdict::breaking, "model removed (contract gone)"));
          return;
        }
        const bool old_model = is_model_definition(*old_def);
        const bool new_model = is_model_definition(*new_def);
        if (!old_model && !new_model) return;  // enums and scalars are not compared
        if (old_model != new_model) {
          findings.push_back(definition_finding(
              name, Verdict::breaking, "definition kind changed (object <-> enum/scalar)"));
          return;
        }
        compare_string_key(name, *old_def, *new_def, doc_id_key, findings);
        compare_string_key(name, *old_def, *new_def, collection_key, findings);
        compare_properties(name, *old_def, *new_def, old_defs, new_defs, findings);
      });
  return findings;
}

}  // namespace brenvale::compat
