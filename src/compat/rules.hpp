// The compat rule set: every diff finding with its rule and direction, plus the value-level,
// forward and client rules, each BREAKING or SAFE under a mode.
#pragma once

#include <string_view>
#include <vector>

#include "compat/diff.hpp"

namespace brenvale::compat {

// Whom a change breaks: documents already stored, read under the new contract (backward); new
// documents, read by old readers (forward); client code compiled against the old module (client).
enum class Direction : unsigned char { backward, forward, client };
// Which directions are BREAKING: backward or forward alone, or all three (full).
enum class Mode : unsigned char { backward, forward, full };

struct RuleFinding {
  Finding finding;        // its verdict decided for the mode
  std::string_view rule;  // stable kebab-case id; static text
  Direction direction;
};

std::string_view direction_name(Direction direction);
// "backward", "forward" or "full"; false for any other text.
bool parse_mode(std::string_view text, Mode& mode);

// Both bundles are borrowed; the findings own their texts. Every finding of diff(old, new) is
// among them, in its order, with its def, field and message, and under Mode::full its verdict.
// Returns false when `interrupted` (may be null) stopped the work; the findings are then
// incomplete. Never fails otherwise.
bool rule_findings(const Value& old_bundle, const Value& new_bundle, Mode mode,
                   InterruptCheck interrupted, std::vector<RuleFinding>& findings);

}  // namespace brenvale::compat
