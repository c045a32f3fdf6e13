// Groups of alias definitions that name each other where a TypeScript alias may not.
#pragma once

#include "contract/model.hpp"

namespace brenvale {

// Sets `alias_group` of every alias definition of `contract`: two aliases share a group exactly
// when each reaches the other by references outside any object, array, tuple or record (through
// unions only). Sets `record_groups` the same way, through unions and the values of records,
// where some alias names another through a record's values.
// Linear in the definitions and their direct references. May throw std::bad_alloc.
void assign_alias_groups(Contract& contract);

}  // namespace brenvale
