// The zod module: a read and a write schema per definition, and validating converters.
#pragma once

#include <string>
#include <string_view>

#include "contract/model.hpp"
#include "typescript/render_mode.hpp"

namespace brenvale {

// `contract` is borrowed. The module imports the interfaces it checks against from
// `contract_path`, the Firestore module of the same bundle for `sdk`, whose names it follows.
// Never fails: a contract it cannot be written for is found by zod_contract_error first.
std::string emit_zod_module(const Contract& contract, std::string_view contract_path,
                            Sdk sdk = Sdk::web);

}  // namespace brenvale
