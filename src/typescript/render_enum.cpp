// An enum definition as a literal-union type alias.
#include "typescript/render_enum.hpp"

#include "typescript/literal.hpp"

namespace brenvale {

void append_enum(std::string_view name, const Value& definition, std::string& out) {
  out += "export type ";
  out += name;
  out += " = ";
  const Value* members = definition.find(Atom::enum_values);
  if (members == nullptr || members->array().empty()) {
    out += "never";
  } else {
    bool first = true;
    for (const Value& member : members->array()) {
      if (!first) out += " | ";
      first = false;
      append_literal(member, out);
    }
  }
  out += ";\n\n";
}

}  // namespace brenvale
