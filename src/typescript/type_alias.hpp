// Definitions that are neither enums nor models (root models, type aliases) as type aliases.
#pragma once

#include <string>

#include "contract/model.hpp"
#include "typescript/render_type.hpp"

namespace brenvale {

// Appends "export type {name} = {read type};\n\n" then, in the Firestore mode, the write form
// likewise, since a write-side reference to the definition names it. A reference to the
// definition, or to an alias of its group, outside any object, array, tuple or record renders
// "unknown", so the alias is never circular. With `ctx.jsdoc` the definition's JSDoc block
// stands above each.
void append_type_alias(Ctx& ctx, const Definition& definition, std::string& out);

}  // namespace brenvale
