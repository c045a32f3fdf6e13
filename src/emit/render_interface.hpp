// A model definition as its Firestore read or write interface.
#pragma once

#include <string>
#include <string_view>

#include "json/json_value.hpp"
#include "typescript/render_type.hpp"

namespace brenvale {

// Appends the read interface (`write` false, named `name`, the TypeScript name from the
// module's name table) or the write interface (`write` true, named `name` + "Write").
// `doc` is written right above the declaration. Property types are recorded in `ctx` as they
// render, and with `ctx.jsdoc` each property's description is written above it.
void append_interface(Ctx& ctx, std::string_view name, const Value& definition, Side side,
                      std::string_view doc, std::string& out);

}  // namespace brenvale
