// Schema titles and descriptions as JSDoc blocks above declarations and members.
#pragma once

#include <string>
#include <string_view>

#include "contract/model.hpp"

namespace brenvale {

// The block for a definition: its title, unless it only repeats the name as Pydantic's default
// does, then its description; empty when there is neither. Never fails.
std::string definition_doc(const Contract& contract, const Definition& definition);

// Appends the block for a property, indented as a member: its description, if any.
void append_property_doc(const NodeExtras& property, std::string& out);
// The same, with `note` (a text of the generator's own) as a paragraph after the description.
void append_property_doc(const NodeExtras& property, std::string_view note, std::string& out);

}  // namespace brenvale
