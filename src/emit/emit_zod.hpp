// The zod module: a read and a write schema per definition, and validating converters.
#pragma once

#include <string>
#include <string_view>

#include "json/json_value.hpp"

namespace brenvale {

// `bundle` is borrowed. The module imports the interfaces it checks against from
// `contract_path`, the Firestore module of the same bundle, whose names it follows. Never fails.
std::string emit_zod_module(const Value& bundle, std::string_view contract_path);

}  // namespace brenvale
