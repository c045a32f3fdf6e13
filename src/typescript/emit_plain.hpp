// The plain DTO module: one interface per model, one alias per enum, the Firestore types used.
#pragma once

#include <string>

#include "json/json_value.hpp"

namespace brenvale {

// `bundle` is borrowed. Never fails.
std::string emit_plain(const Value& bundle);

}  // namespace brenvale
