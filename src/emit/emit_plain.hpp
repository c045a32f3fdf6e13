// The plain DTO module: one interface per model, one alias per enum, the Firestore types used.
#pragma once

#include <cstddef>
#include <string>

#include "contract/model.hpp"
#include "util/blocks_in_order.hpp"

namespace brenvale {

// Output forms beyond the default module, each off unless asked for.
struct PlainOptions {
  // Titles and descriptions as JSDoc blocks above declarations and members.
  bool jsdoc = false;
};

// `contract` is borrowed. A contract of `blocks_from` definitions and properties or more has its
// declarations written in blocks on two threads (see write_blocks_in_order); the text is the
// same either way. Never fails.
std::string emit_plain(const Contract& contract, const PlainOptions& options = {},
                       std::size_t blocks_from = write_in_blocks_from);

}  // namespace brenvale
