// A model definition as its Firestore read or write interface.
#pragma once

#include <string>
#include <string_view>

#include "contract/model.hpp"
#include "typescript/render_type.hpp"

namespace brenvale {

// Appends the read interface (named `name`, the TypeScript name from the module's name table)
// or the write interface (named its write name). `doc` is written right above the declaration.
// Property types are recorded in `ctx` as they render, and with `ctx.jsdoc` each property's
// description is written above it.
// What the bounds of a vector field (`id`, or a member of its `anyOf`) say of its dimension:
// "4 dimensions", "at least 2 dimensions", ...; empty when it has none. Never fails.
std::string vector_dimensions(const Contract& contract, NodeId id);

void append_interface(Ctx& ctx, std::string_view name, const Definition& definition, Side side,
                      std::string_view doc, std::string& out);

}  // namespace brenvale
