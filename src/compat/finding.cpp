// Compat findings as data: the rule table, verdicts under a mode, and message text.
#include "compat/finding.hpp"

#include <array>

#include "text/fill.hpp"

namespace brenvale::compat {
namespace {

constexpr Directions backward = Directions::of(Direction::backward);
constexpr Directions forward = Directions::of(Direction::forward);
constexpr Directions client = Directions::of(Direction::client);
constexpr Directions both = backward | forward;
constexpr Verdict safe = Verdict::safe;
constexpr Verdict breaking = Verdict::breaking;

constexpr std::string_view tightened = "{key} tightened: {old} -> {new}";
constexpr std::string_view loosened = "{key} loosened: {old} -> {new}";

constexpr RuleInfo rules[] = {
    {"model-added", forward, safe, "model added (additive)"},
    {"model-removed", backward | client, breaking, "model removed (contract gone)"},
    {"definition-kind-changed", both | client, breaking,
     "definition kind changed (object <-> enum/scalar)"},
    {"doc-id-field-changed", backward | client, breaking, "{key} changed: {old} -> {new}",
     Atom::doc_id_field},
    {"collection-changed", backward, breaking, "{key} changed: {old} -> {new}", Atom::collection},
    {"field-added-read-required", backward, breaking, "field added as read-required"},
    {"field-added", forward, safe, "field added (read-optional)"},
    {"field-removed", forward | client, breaking, "field removed"},
    {"type-changed", backward | client, breaking, "type changed: {old} -> {new}"},
    {"read-required-to-optional", forward | client, breaking, "read required -> optional"},
    {"read-optional-to-required", backward, breaking, "read optional -> required"},
    {"max-length-tightened", backward, breaking, tightened, Atom::max_length},
    {"max-length-loosened", forward, breaking, loosened, Atom::max_length},
    {"min-length-tightened", backward, breaking, tightened, Atom::min_length},
    {"min-length-loosened", forward, breaking, loosened, Atom::min_length},
    {"maximum-tightened", backward, breaking, tightened, Atom::maximum},
    {"maximum-loosened", forward, breaking, loosened, Atom::maximum},
    {"minimum-tightened", backward, breaking, tightened, Atom::minimum},
    {"minimum-loosened", forward, breaking, loosened, Atom::minimum},
    {"exclusive-maximum-tightened", backward, breaking, tightened, Atom::exclusive_maximum},
    {"exclusive-maximum-loosened", forward, breaking, loosened, Atom::exclusive_maximum},
    {"exclusive-minimum-tightened", backward, breaking, tightened, Atom::exclusive_minimum},
    {"exclusive-minimum-loosened", forward, breaking, loosened, Atom::exclusive_minimum},
    {"max-items-tightened", backward, breaking, tightened, Atom::max_items},
    {"max-items-loosened", forward, breaking, loosened, Atom::max_items},
    {"min-items-tightened", backward, breaking, tightened, Atom::min_items},
    {"min-items-loosened", forward, breaking, loosened, Atom::min_items},
    {"pattern-tightened", backward, breaking, tightened, Atom::pattern},
    {"pattern-loosened", forward, breaking, loosened, Atom::pattern},
    {"format-tightened", backward, breaking, tightened, Atom::format},
    {"format-loosened", forward, breaking, loosened, Atom::format},
    {"multiple-of-tightened", backward, breaking, tightened, Atom::multiple_of},
    {"multiple-of-loosened", forward, breaking, loosened, Atom::multiple_of},
    {"unique-items-tightened", backward, breaking, tightened, Atom::unique_items},
    {"unique-items-loosened", forward, breaking, loosened, Atom::unique_items},
    {"additional-properties-tightened", backward, breaking, tightened, Atom::additional_properties},
    {"additional-properties-loosened", forward, breaking, loosened, Atom::additional_properties},
    {"enum-member-removed", backward | client, breaking, "enum member removed: {old}"},
    {"enum-member-added", forward | client, breaking, "enum member added: {new}"},
    {"type-narrowed", backward, breaking, "type narrowed: {old} -> {new}"},
    {"type-widened", forward, breaking, "type widened: {old} -> {new}"},
    {"alias-type-changed", backward | client, breaking, "type changed: {old} -> {new}"},
    {"default-removed", backward, breaking, "default removed: {old}"},
    {"discriminator-value-removed", backward | client, breaking,
     "discriminator value removed: {old}"},
    {"discriminator-value-added", forward | client, breaking, "discriminator value added: {new}"},
    {"field-added-closed-model", forward, breaking,
     "field added to a model that forbids extra keys"},
    {"read-only-added", client, breaking, "readOnly added: web clients can no longer write it"},
    {"read-only-removed", client, breaking, "readOnly removed"},
    {"converter-renamed", client, breaking, "converter renamed: {old} -> {new}"},
    {"path-function-renamed", client, breaking, "path function renamed: {old} -> {new}"},
    {"path-parameter-added", client, breaking, "path parameter added: {new}"},
    {"vector-dimension-changed", both, breaking, "vector dimension changed: {old} -> {new}"},
    {"required-in-writes", client, breaking, "required in writes: old writer code may omit it"},
    {"union-variant-added", client, breaking, "union variant added: {new}"},
    {"collection-functions-removed", client, breaking,
     "converter and path function removed: {old}"},
    {"field-removed-closed-model", backward, breaking,
     "field removed from a model that forbids extra keys"},
    {"path-parameter-removed", client, breaking, "path parameter removed: {old}"},
    {"type-renamed", client, breaking, "exported type renamed: {old} -> {new}"},
    {"max-properties-tightened", backward, breaking, tightened, Atom::max_properties},
    {"max-properties-loosened", forward, breaking, loosened, Atom::max_properties},
    {"min-properties-tightened", backward, breaking, tightened, Atom::min_properties},
    {"min-properties-loosened", forward, breaking, loosened, Atom::min_properties},
    {"property-names-tightened", backward, breaking, tightened, Atom::property_names},
    {"property-names-loosened", forward, breaking, loosened, Atom::property_names},
    {"pattern-properties-tightened", backward, breaking, tightened, Atom::pattern_properties},
    {"pattern-properties-loosened", forward, breaking, loosened, Atom::pattern_properties},
    {"field-added-open-model", backward, breaking,
     "field added to a model that keeps extra keys: stored documents may hold it already"},
    {"field-removed-typed-extras", backward, breaking,
     "field removed from a model that keeps extra keys of a type: its stored values may not be"},
    {"required-added", backward | client, breaking, "required now: stored documents may lack it"},
    {"index-signature-removed", client, breaking,
     "index signature removed: its other keys are no longer typed"},
};
static_assert(std::size(rules) == rule_count);

constexpr std::string_view direction_names[] = {"backward", "forward", "client"};

bool in_mode(Directions directions, Mode mode) {
  switch (mode) {
    case Mode::backward:
      return directions.has(Direction::backward);
    case Mode::forward:
      return directions.has(Direction::forward);
    case Mode::full:
      return !directions.empty();
  }
  return true;
}

}  // namespace

const RuleInfo& rule_info(Rule rule) { return rules[static_cast<std::size_t>(rule)]; }

Finding definition_finding(Rule rule, std::string_view def, std::string old_value,
                           std::string new_value) {
  return Finding{
      rule, def, {}, false, std::move(old_value), std::move(new_value), rule_info(rule).directions};
}

Finding field_finding(Rule rule, std::string_view def, std::string_view field,
                      std::string old_value, std::string new_value) {
  return Finding{rule,
                 def,
                 field,
                 true,
                 std::move(old_value),
                 std::move(new_value),
                 rule_info(rule).directions};
}

Verdict verdict_of(const Finding& finding, Mode mode) {
  return rule_info(finding.rule).verdict == Verdict::breaking && in_mode(finding.directions, mode)
             ? Verdict::breaking
             : Verdict::safe;
}

void append_message(const Finding& finding, std::string& out) {
  const RuleInfo& info = rule_info(finding.rule);
  fill(out, info.message,
       {{"key", text_of(info.key)}, {"old", finding.old_value}, {"new", finding.new_value}});
}

std::string_view direction_name(Direction direction) {
  return direction_names[static_cast<std::size_t>(direction)];
}

void append_directions(Directions directions, std::string& out) {
  bool first = true;
  for (const Direction direction : {Direction::backward, Direction::forward, Direction::client}) {
    if (!directions.has(direction)) continue;
    if (!first) out += '+';
    out += direction_name(direction);
    first = false;
  }
}

bool parse_mode(std::string_view text, Mode& mode) {
  for (std::size_t i = 0; i < mode_names.size(); ++i) {
    if (mode_names[i] == text) {
      mode = mode_values[i];
      return true;
    }
  }
  return false;
}

std::string unknown_mode_message(std::string_view text) {
  std::string message;
  fill(message, "mode must be 'backward', 'forward' or 'full', not '{mode}'", {{"mode", text}});
  return message;
}

}  // namespace brenvale::compat
