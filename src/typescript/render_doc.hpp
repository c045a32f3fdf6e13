// Schema titles and descriptions as JSDoc blocks above declarations and members.
#pragma once

#include <string>
#include <string_view>

#include "contract/schema_keys.hpp"
#include "json/json_value.hpp"

namespace brenvale {

// The block for definition `raw_name` (borrowed): its title, unless it only repeats the name as
// Pydantic's default does, then its description; empty when there is neither. Never fails.
std::string definition_doc(std::string_view raw_name, const Value& definition);

// Appends the block for a property, indented as a member: its description, if any.
void append_property_doc(const SchemaKeys& keys, std::string& out);

}  // namespace brenvale
