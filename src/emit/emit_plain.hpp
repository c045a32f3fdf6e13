// The plain DTO module: one interface per model, one alias per enum, the Firestore types used.
#pragma once

#include <string>

#include "contract/model.hpp"

namespace brenvale {

// Output forms beyond the default module, each off unless asked for.
struct PlainOptions {
  // Titles and descriptions as JSDoc blocks above declarations and members.
  bool jsdoc = false;
};

// `contract` is borrowed. Never fails.
std::string emit_plain(const Contract& contract, const PlainOptions& options = {});

}  // namespace brenvale
