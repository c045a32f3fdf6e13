// Canonical read-side type text of a type node, compared by the contract diff.
#pragma once

#include <string>
#include <string_view>

#include "contract/model.hpp"

namespace brenvale {

// How a signature writes an enum's values: as the bundle lists them (what a message shows), or
// sorted, where only the set of values counts.
enum class LiteralOrder : bool { listed, sorted };

// `contract` holds `node` (borrowed). Never fails.
std::string read_type_signature(const Contract& contract, NodeId node,
                                LiteralOrder order = LiteralOrder::listed);
// What a bare `$ref` to `name` reads as in `contract`.
std::string reference_signature(const Contract& contract, std::string_view name);

}  // namespace brenvale
