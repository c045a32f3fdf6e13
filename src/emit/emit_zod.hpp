// The zod module: a read and a write schema per definition, and validating converters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "contract/model.hpp"
#include "typescript/render_mode.hpp"
#include "util/blocks_in_order.hpp"

namespace brenvale {

// `contract` is borrowed. The module imports the interfaces it checks against from
// `contract_path`, the Firestore module of the same bundle for `sdk`, whose names it follows.
// Never fails: a contract it cannot be written for is found by zod_contract_error first.
// A contract of `blocks_from` definitions and properties or more has its schemas written in
// blocks on two threads (see write_blocks_in_order); the text is the same either way.
std::string emit_zod_module(const Contract& contract, std::string_view contract_path,
                            Sdk sdk = Sdk::web, std::size_t blocks_from = write_in_blocks_from);

}  // namespace brenvale
