// The compat rule set: every diff finding with its rule and direction, plus the value-level,
// forward and client rules, each BREAKING or SAFE under a mode.
#pragma once

#include <cstddef>
#include <vector>

#include "compat/diff.hpp"
#include "compat/finding.hpp"
#include "contract/model.hpp"

namespace brenvale::compat {

// Do the two types (`old_node` of the old model, `new_node` of the new; both borrowed) read as one
// type spelled two ways: some enum's values in another order, or an alias one version names and
// the other writes in place, at the top? Every module then reads them alike, and they take the
// same values.
bool spelled_alike(const Contract& old_contract, NodeId old_node, const Contract& new_contract,
                   NodeId new_node);

// Is `finding` a diff's type change between two types spelled alike, which the rule set takes
// back? The models are the two the diff compared.
bool respelled(const Finding& finding, const Contract& old_contract, const Contract& new_contract);

// Both models are borrowed, and the findings borrow names from them. Every finding of the diff
// is among them, in its order, but a type change between types spelled alike; each definition's
// diff findings come first, then the other rules'. Returns false when `interrupted` (may be null)
// stopped the work; the findings are then incomplete. Never fails otherwise. `halves_from`: see
// compare_in_halves.
bool rule_findings(const Contract& old_contract, const Contract& new_contract,
                   InterruptCheck interrupted, std::vector<Finding>& findings,
                   std::size_t halves_from = compare_in_halves_from);

}  // namespace brenvale::compat
