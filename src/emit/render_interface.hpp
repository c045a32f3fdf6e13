// A model definition as its Firestore read or write interface.
#pragma once

#include <string>
#include <string_view>

#include "contract/model.hpp"
#include "typescript/render_type.hpp"

namespace brenvale {

// What the bounds of a vector field (`id`, or a member of its `anyOf`) say of its dimension:
// "4 dimensions", "at least 2 dimensions", ...; empty when it has none. Never fails.
std::string vector_dimensions(const Contract& contract, NodeId id);

// Whether a model's interfaces have an index signature: a model that is a map, with no fields
// and extra keys it says what they hold (`RootModel[dict[str, V]]`, or `extra="allow"` with no
// fields). Without it the interface would be empty, and take any value.
bool has_index_signature(const Contract& contract, const Definition& definition);

// Appends that index signature, where the model has one.
void append_index_signature(Ctx& ctx, const Definition& definition, Side side, std::string& out);

// Appends the read interface (named `name`, the TypeScript name from the module's name table)
// or the write interface (named its write name). `doc` is written right above the declaration.
// Property types are recorded in `ctx` as they render, and with `ctx.jsdoc` each property's
// description is written above it.
void append_interface(Ctx& ctx, std::string_view name, const Definition& definition, Side side,
                      std::string_view doc, std::string& out);

}  // namespace brenvale
