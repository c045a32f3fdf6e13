// An enum definition as a literal-union type alias.
#include "typescript/render_enum.hpp"

#include "typescript/literal.hpp"

namespace brenvale {

void append_enum(std::string_view name, std::span<const Datum> members, std::string& out) {
  out += "export type ";
  out += name;
  out += " = ";
  if (members.empty()) {
    out += "never";
  } else {
    bool first = true;
    for (const Datum& member : members) {
      if (!first) out += " | ";
      first = false;
      append_literal(member, out);
    }
  }
  out += ";\n\n";
}

}  // namespace brenvale
