// An enum definition as a literal-union type alias.
#pragma once

#include <string>
#include <string_view>

#include "contract/model.hpp"

namespace brenvale {

// `name` is the TypeScript name the module's name table gives the definition.
void append_enum(std::string_view name, std::span<const Datum> members, std::string& out);

}  // namespace brenvale
