// The compat rule set: every diff finding with its rule and direction, plus the value-level,
// forward and client rules, each BREAKING or SAFE under a mode.
#pragma once

#include <vector>

#include "compat/finding.hpp"
#include "contract/model.hpp"

namespace brenvale::compat {

// Both models are borrowed, and the findings borrow names from them. Every finding of the diff
// is among them, in its order; each definition's diff findings come first, then the other
// rules'. Returns false when `interrupted` (may be null) stopped the work; the findings are then
// incomplete. Never fails otherwise.
bool rule_findings(const Contract& old_contract, const Contract& new_contract,
                   InterruptCheck interrupted, std::vector<Finding>& findings);

}  // namespace brenvale::compat
