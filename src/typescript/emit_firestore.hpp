// The Firestore-mode module: interfaces, update types, converters, path functions.
#pragma once

#include <string>
#include <string_view>

#include "json/json_value.hpp"
#include "util/ordered_set.hpp"

namespace brenvale {

// `bundle` is borrowed; `shared` is taken over by the run. Empty `shared` is plain `emit`.
// Never fails.
std::string emit_firestore_module(const Value& bundle, OrderedSet<std::string> shared,
                                  std::string_view shared_path);

}  // namespace brenvale
