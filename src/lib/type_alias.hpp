// Definitions that are neither enums nor models (root models, type aliases) as type aliases.
#pragma once

#include <string>
#include <string_view>

#include "json_value.hpp"
#include "render_type.hpp"

namespace brenvale {

// Appends "export type {name} = {read type};\n\n" then, when `with_write`,
// "export type {name}Write = {write type};\n\n", since a write-side reference to the
// definition names the "...Write" type. `name` is the raw definition name, written as the
// context's name table spells it; a reference to it outside any object, array, tuple or
// record renders "unknown", so the alias is never circular.
void append_type_alias(Ctx& ctx, std::string_view name, const Value& definition, bool with_write,
                       std::string& out);

}  // namespace brenvale
