// Definitions that are neither enums nor models (root models, type aliases) as type aliases.
#pragma once

#include <string>
#include <string_view>

#include "json_value.hpp"
#include "render_type.hpp"

namespace brenvale {

// True for the names TypeScript predefines (`string`, `any`, ...), which cannot be declared.
bool is_predefined_type_name(std::string_view name);

// Appends "export type {name} = {read type};\n\n" unless `name` is predefined, then, when
// `with_write`, "export type {name}Write = {write type};\n\n", since a write-side reference
// to the definition names the "...Write" type.
void append_type_alias(Ctx& ctx, std::string_view name, const Value& definition, bool with_write,
                       std::string& out);

}  // namespace brenvale
