// Definitions that are neither enums nor models (root models, type aliases) as type aliases.
#include "type_alias.hpp"

namespace brenvale {

void append_type_alias(Ctx& ctx, std::string_view name, const Value& definition, bool with_write,
                       std::string& out) {
  const std::string type_name = ctx.names != nullptr ? ctx.names->name_of(name) : std::string(name);
  ctx.alias_of = name;
  out += "export type ";
  out += type_name;
  out += " = ";
  append_type(ctx, definition, false, out);
  out += ";\n\n";
  if (with_write) {
    out += "export type ";
    out += type_name;
    out += "Write = ";
    append_type(ctx, definition, true, out);
    out += ";\n\n";
  }
  ctx.alias_of.reset();
}

}  // namespace brenvale
