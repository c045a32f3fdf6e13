// The zod module: a read and a write schema per definition, and validating converters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "contract/model.hpp"
#include "typescript/render_mode.hpp"

namespace brenvale {

// Definitions and properties of a contract from which its schemas are written on two threads:
// a thread takes tens of microseconds to start, and this many parts take milliseconds to write.
inline constexpr std::size_t write_in_blocks_from = 16384;

// `contract` is borrowed. The module imports the interfaces it checks against from
// `contract_path`, the Firestore module of the same bundle for `sdk`, whose names it follows.
// Never fails: a contract it cannot be written for is found by zod_contract_error first.
// `blocks_from`: see write_in_blocks_from; the text is the same either way.
std::string emit_zod_module(const Contract& contract, std::string_view contract_path,
                            Sdk sdk = Sdk::web, std::size_t blocks_from = write_in_blocks_from);

}  // namespace brenvale
