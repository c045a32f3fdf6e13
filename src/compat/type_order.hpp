// Which way a type changed: whether each version's type accepts every value of the other.
#pragma once

#include <optional>
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

// Whether every value of `f` (in `from`) is a value of `t` (in `to`), proved within a bounded
// number of steps: change_directions' test, one way. Both contracts are borrowed.
bool holds(const Contract& to, NodeId t, const Contract& from, NodeId f);

// A number constraint's value as a double; none when it is no number.
std::optional<double> number_of(const Datum& value);

// Which of two bounds is larger (-1, 0, 1): two integers exactly, however large, else as
// doubles `x` and `y`.
int compare_bounds(const Datum& a, const Datum& b, double x, double y);

// A node's bound on one side of its values (`upper`: the maximum): the tighter of the inclusive
// (`minimum`) and the exclusive (`exclusiveMinimum`) one. Pydantic's `ge` and `gt` are one bound
// written under two keys: `gt=0` turned `ge=0` admits 0, a loosening, though `minimum` appeared.
struct Edge {
  Datum value;  // not present: no bound on this side
  double number = 0;
  bool strict = false;
};
Edge edge_of(const Contract& contract, const TypeNode& node, bool upper);
// Does the `now` edge reject a value the `was` edge admits (a tightening)?
bool edge_rejects_more(const Edge& was, const Edge& now, bool upper);

// Do the node's own bounds admit `value`, a literal's? Lengths count code points, as JSON
// Schema does. A text under a `pattern` or `format` is not taken to: compat cannot hold a value
// to one, and says "no" where it cannot prove "yes".
bool bounds_admit(const Contract& contract, const TypeNode& node, const Datum& value);

// Whether every value that satisfies the `old` restriction under `key` (`pattern`, `format`,
// `multipleOf`, `uniqueItems`, ...) also satisfies `now` (true when `now` is absent).
bool admits_all(Atom key, const Datum& old, const Datum& now);

// The literal values a node admits, when it admits nothing else: `enum`, `const`, or a union of
// those (null included). Texts are TypeScript literals, so 1 and "1" stay apart.
bool literal_members(const Contract& contract, const TypeNode& node, OrderedSet<std::string>& out);

}  // namespace brenvale::compat
