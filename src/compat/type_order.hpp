// Which way a type changed: whether each version's type accepts every value of the other.
#pragma once

#include <string>

#include "compat/finding.hpp"
#include "contract/model.hpp"
#include "util/ordered_set.hpp"

namespace brenvale::compat {

// The directions a change of type from `old_node` (in `olds`) to `new_node` (in `news`) breaks:
// backward when the new type may reject a value the old one accepts (a narrowing), forward when
// the old type may reject a value the new one accepts (a widening). Sound, not complete: a
// direction is left out only when the model proves it safe, so an incomparable change, one too
// large to decide in a bounded number of steps, or two types that accept the same values yet
// read differently, give both; but a type whose server timestamp marker alone came or went
// stores the same values, and gives none. Both contracts are borrowed. Never fails.
Directions change_directions(const Contract& olds, NodeId old_node, const Contract& news,
                             NodeId new_node);

// The literal values a node admits, when it admits nothing else: `enum`, `const`, or a union of
// those (null included). Texts are TypeScript literals, so 1 and "1" stay apart.
bool literal_members(const Contract& contract, const TypeNode& node, OrderedSet<std::string>& out);

}  // namespace brenvale::compat
