// Two contract bundles -> ordered findings, by linear merges over definition and property names.
#include "compat/diff.hpp"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>

#include "compat/merge_keys.hpp"
#include "compat/type_signature.hpp"
#include "contract/bundle.hpp"

namespace brenvale::compat {

namespace {

constexpr std::string_view none_text = "(none)";

// The canonical text of a bare `$ref` to `ref` against `defs`: what the renderer writes for
// every reference to that name, wherever it stands.
std::string reference_signature(const Value& defs, std::string_view ref) {
  Value target;
  target.kind = Kind::string;
  target.key_atom = Atom::ref;
  target.size = static_cast<std::uint32_t>(ref.size());
  target.chars = ref.data();
  const Member member{text_of(Atom::ref), target};
  Value node;
  node.kind = Kind::object;
  node.size = 1;
  node.members = &member;
  return read_type_signature(defs, node);
}

// Whether a `$ref` renders alike in both bundles, decided once per name. The canonical renderer
// reads nothing of a reference but the referenced definition, so equal definitions (compared as
// plain trees) give equal text; changed ones are rendered once each. A property's signature is
// then rendered only when something it reaches renders differently, and a definition referenced
// from M properties costs its size once, not M times.
class SameReference {
 public:
  SameReference(const Value& old_defs, const Value& new_defs)
      : old_defs_(old_defs), new_defs_(new_defs) {}

  bool operator()(std::string_view ref) {
    const std::size_t slash = ref.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? ref : ref.substr(slash + 1);
    const auto known = same_.find(name);
    if (known != same_.end()) return known->second;
    const Value* old_def = old_defs_.find(name);
    const Value* new_def = new_defs_.find(name);
    const bool same = (old_def != nullptr && new_def != nullptr && same_tree(*old_def, *new_def)) ||
                      reference_signature(old_defs_, ref) == reference_signature(new_defs_, ref);
    same_.emplace(name, same);
    return same;
  }

 private:
  const Value& old_defs_;
  const Value& new_defs_;
  std::unordered_map<std::string_view, bool> same_;  // lookups only
};

Finding definition_finding(std::string_view def, Verdict verdict, std::string message) {
  return Finding{std::string(def), std::nullopt, verdict, std::move(message)};
}

// Being in `required` alone is not enough: the reader must also be promised the field exists.
bool read_required(const NameSet& required, std::string_view name, const Value& schema) {
  const Value* guaranteed = schema.find(Atom::presence_guaranteed);
  return guaranteed != nullptr && guaranteed->is_true() && required.contains(name);
}

void compare_string_key(std::string_view def, const Value& old_def, const Value& new_def, Atom key,
                        std::vector<Finding>& findings) {
  const Value* old_value = string_member(old_def, key);
  const Value* new_value = string_member(new_def, key);
  if (old_value == nullptr && new_value == nullptr) return;
  if (old_value != nullptr && new_value != nullptr && old_value->string() == new_value->string()) {
    return;
  }
  const std::string_view old_text = old_value != nullptr ? old_value->string() : none_text;
  const std::string_view new_text = new_value != nullptr ? new_value->string() : none_text;
  std::string message;
  message.reserve(text_of(key).size() + old_text.size() + new_text.size() + 14);
  message.append(text_of(key))
      .append(" changed: ")
      .append(old_text)
      .append(" -> ")
      .append(new_text);
  findings.push_back(definition_finding(def, Verdict::breaking, std::move(message)));
}

struct Side {
  const Value& defs;
  const NameSet required;
};

// One diff: both definition tables, the reference memo and the interrupt poll.
struct Run {
  const Value& old_defs;
  const Value& new_defs;
  SameReference same_reference;
  InterruptCheck interrupted;
  std::vector<Finding>& findings;

  bool stop() const { return interrupted != nullptr && interrupted(); }
};

// Both versions of one property: its type, then its read-requiredness.
void compare_property(Run& run, std::string_view def, std::string_view name, const Value& old_prop,
                      const Value& new_prop, const Side& old_side, const Side& new_side) {
  std::vector<Finding>& findings = run.findings;
  if (!same_tree(old_prop, new_prop, run.same_reference)) {
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

bool compare_properties(Run& run, std::string_view def, const Value& old_def,
                        const Value& new_def) {
  const Side old_side{run.old_defs, required_set(old_def)};
  const Side new_side{run.new_defs, required_set(new_def)};
  std::vector<Finding>& findings = run.findings;
  return merge_keys(
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
          compare_property(run, def, name, *old_prop, *new_prop, old_side, new_side);
        }
        return !run.stop();
      });
}

}  // namespace

Finding field_finding(std::string_view def, std::string_view field, Verdict verdict,
                      std::string_view message) {
  return Finding{std::string(def), std::string(field), verdict, std::string(message)};
}

std::vector<Finding> diff(const Value& old_bundle, const Value& new_bundle) {
  std::vector<Finding> findings;
  diff(old_bundle, new_bundle, nullptr, findings);
  return findings;
}

bool diff(const Value& old_bundle, const Value& new_bundle, InterruptCheck interrupted,
          std::vector<Finding>& findings) {
  const Value& old_defs = definitions(old_bundle);
  const Value& new_defs = definitions(new_bundle);
  Run run{old_defs, new_defs, SameReference(old_defs, new_defs), interrupted, findings};
  return merge_keys(
      old_defs.object(), new_defs.object(),
      [&](std::string_view name, const Value* old_def, const Value* new_def) {
        if (old_def == nullptr) {
          findings.push_back(definition_finding(name, Verdict::safe, "model added (additive)"));
          return !run.stop();
        }
        if (new_def == nullptr) {
          findings.push_back(
              definition_finding(name, Verdict::breaking, "model removed (contract gone)"));
          return !run.stop();
        }
        const bool old_model = is_model_definition(*old_def);
        const bool new_model = is_model_definition(*new_def);
        if (!old_model && !new_model) return !run.stop();  // enums and scalars are not compared
        if (old_model != new_model) {
          findings.push_back(definition_finding(
              name, Verdict::breaking, "definition kind changed (object <-> enum/scalar)"));
          return !run.stop();
        }
        compare_string_key(name, *old_def, *new_def, Atom::doc_id_field, findings);
        compare_string_key(name, *old_def, *new_def, Atom::collection, findings);
        return compare_properties(run, name, *old_def, *new_def) && !run.stop();
      });
}

}  // namespace brenvale::compat
