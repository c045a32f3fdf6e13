// Compat findings as data: the rule that fired, where, and the old and new values it compared.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "json/key_atoms.hpp"
#include "text/fill.hpp"

namespace brenvale::compat {

enum class Verdict : std::uint8_t { safe, breaking };

// Whom a change breaks: documents already stored, read under the new contract (backward); new
// documents, read by old readers (forward); client code compiled against the old module (client).
enum class Direction : std::uint8_t { backward, forward, client };

// Every direction one finding breaks: a change may break several (a removed field breaks old
// readers and the client code that reads it). Written in the order of Direction.
struct Directions {
  std::uint8_t bits = 0;

  static constexpr Directions of(Direction direction) {
    return {static_cast<std::uint8_t>(1U << static_cast<unsigned>(direction))};
  }
  constexpr bool has(Direction direction) const { return (bits & of(direction).bits) != 0; }
  constexpr bool empty() const { return bits == 0; }
  friend constexpr Directions operator|(Directions a, Directions b) {
    return {static_cast<std::uint8_t>(a.bits | b.bits)};
  }
  friend constexpr bool operator==(Directions a, Directions b) = default;
};
// Which directions are BREAKING: backward or forward alone, or all three (full).
enum class Mode : std::uint8_t { backward, forward, full };
// The modes by name, the default first; the extension module exports this list.
inline constexpr std::array<std::string_view, 3> mode_names = {"full", "backward", "forward"};
inline constexpr std::array<Mode, 3> mode_values = {Mode::full, Mode::backward, Mode::forward};

// Every rule, in the order of the table in finding.cpp.
enum class Rule : std::uint8_t {
  model_added,
  model_removed,
  definition_kind_changed,
  doc_id_field_changed,
  collection_changed,
  field_added_read_required,
  field_added,
  field_removed,
  type_changed,
  read_required_to_optional,
  read_optional_to_required,
  max_length_tightened,
  max_length_loosened,
  min_length_tightened,
  min_length_loosened,
  maximum_tightened,
  maximum_loosened,
  minimum_tightened,
  minimum_loosened,
  exclusive_maximum_tightened,
  exclusive_maximum_loosened,
  exclusive_minimum_tightened,
  exclusive_minimum_loosened,
  max_items_tightened,
  max_items_loosened,
  min_items_tightened,
  min_items_loosened,
  pattern_tightened,
  pattern_loosened,
  format_tightened,
  format_loosened,
  multiple_of_tightened,
  multiple_of_loosened,
  unique_items_tightened,
  unique_items_loosened,
  additional_properties_tightened,
  additional_properties_loosened,
  enum_member_removed,
  enum_member_added,
  type_narrowed,
  type_widened,
  alias_type_changed,
  default_removed,
  discriminator_value_removed,
  discriminator_value_added,
  field_added_closed_model,
  read_only_added,
  read_only_removed,
  converter_renamed,
  path_function_renamed,
  path_parameter_added,
  vector_dimension_changed,
  required_in_writes,
  union_variant_added,
  collection_functions_removed,
  field_removed_closed_model,
  path_parameter_removed,
  type_renamed,
  max_properties_tightened,
  max_properties_loosened,
  min_properties_tightened,
  min_properties_loosened,
  property_names_tightened,
  property_names_loosened,
  pattern_properties_tightened,
  pattern_properties_loosened,
  field_added_open_model,
  field_removed_typed_extras,
  required_added,
  index_signature_removed,
};
inline constexpr std::size_t rule_count =
    static_cast<std::size_t>(Rule::index_signature_removed) + 1;

// What a rule is called, whom it breaks, its verdict where one of its directions counts, and its
// message: a constant template over the schema key it reads and the old and new values.
struct RuleInfo {
  std::string_view id;    // stable kebab-case
  Directions directions;  // a finding's own, unless the rule computes them (`type-changed`)
  Verdict verdict;
  Template message;  // placeholders {key}, {old}, {new}
  Atom key = Atom::other;
};

const RuleInfo& rule_info(Rule rule);

// One finding. `def` and `field` are borrowed from the compared contracts; the values are the
// texts the message shows. `directions` are the rule's, or what the change itself breaks.
struct Finding {
  Rule rule;
  std::string_view def;
  std::string_view field;
  bool has_field = false;
  std::string old_value;
  std::string new_value;
  Directions directions;
};

Finding definition_finding(Rule rule, std::string_view def, std::string old_value = {},
                           std::string new_value = {});
Finding field_finding(Rule rule, std::string_view def, std::string_view field,
                      std::string old_value = {}, std::string new_value = {});

// The verdict under `mode`: a SAFE rule stays SAFE; another is BREAKING when one of the
// finding's directions counts in the mode (all of them do under full).
Verdict verdict_of(const Finding& finding, Mode mode);
// Appends the finding's message.
void append_message(const Finding& finding, std::string& out);

std::string_view direction_name(Direction direction);
// Appends the names of `directions` joined by "+": "backward+client".
void append_directions(Directions directions, std::string& out);
// "backward", "forward" or "full"; false for any other text.
bool parse_mode(std::string_view text, Mode& mode);
// The error text for a mode `parse_mode` refuses.
std::string unknown_mode_message(std::string_view text);

// Polled between definitions and properties; true stops the work. A plain function pointer, so
// the caller decides what an interrupt is (the Python module checks for signals).
using InterruptCheck = bool (*)();

}  // namespace brenvale::compat
