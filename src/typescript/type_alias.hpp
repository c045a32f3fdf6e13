// Definitions that are neither enums nor models (root models, type aliases) as type aliases.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

#include "json/json_value.hpp"
#include "typescript/render_type.hpp"

namespace brenvale {

// Groups the alias definitions of `defs` (those neither enums nor models) by the references
// they make outside any object, array, tuple or record: two aliases share a group exactly when
// each reaches the other that way, so a reference within a group would make them circular.
std::unordered_map<std::string_view, std::size_t> alias_groups(const Value& defs);

// Appends "export type {name} = {read type};\n\n" then, in the Firestore mode,
// "export type {name}Write = {write type};\n\n", since a write-side reference to the
// definition names the "...Write" type. `name` is the raw definition name, written as the
// context's name table spells it; a reference to it, or to an alias of its group, outside any
// object, array, tuple or record renders "unknown", so the alias is never circular. With
// `ctx.jsdoc` the definition's JSDoc block stands above each.
void append_type_alias(Ctx& ctx, std::string_view name, const Value& definition, std::string& out);

}  // namespace brenvale
