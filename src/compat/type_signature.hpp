// Canonical read-side type text of a schema node, compared by the contract diff.
#pragma once

#include <string>

#include "json/json_value.hpp"

namespace brenvale {

// `defs` is the definition table of the bundle holding `node` (borrowed). Never fails.
std::string read_type_signature(const Value& defs, const Value& node);

}  // namespace brenvale
