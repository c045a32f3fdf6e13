// Exact equality of model parts across two contracts, which lets compat skip what did not change.
#pragma once

#include "contract/model.hpp"

namespace brenvale::compat {

// Every fact the rules read is equal, children compared alike (references by name, not by what
// they name). Linear in the size of the parts. Never fails.
bool same_node(const Contract& a, NodeId x, const Contract& b, NodeId y);
bool same_property(const Contract& a, const Property& x, const Contract& b, const Property& y);
bool same_definition(const Contract& a, const Definition& x, const Contract& b,
                     const Definition& y);

}  // namespace brenvale::compat
