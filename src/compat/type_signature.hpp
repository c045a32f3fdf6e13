// Canonical read-side type text of a type node, compared by the contract diff.
#pragma once

#include <string>
#include <string_view>

#include "contract/model.hpp"

namespace brenvale {

// `contract` holds `node` (borrowed). Never fails.
std::string read_type_signature(const Contract& contract, NodeId node);
// What a bare `$ref` to `name` reads as in `contract`.
std::string reference_signature(const Contract& contract, std::string_view name);

}  // namespace brenvale
