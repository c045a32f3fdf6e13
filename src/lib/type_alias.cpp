// Definitions that are neither enums nor models (root models, type aliases) as type aliases.
#include "type_alias.hpp"

#include <algorithm>
#include <array>

namespace brenvale {

bool is_predefined_type_name(std::string_view name) {
  static constexpr std::array<std::string_view, 12> predefined = {
      "any",    "bigint", "boolean", "never",     "null",    "number",
      "object", "string", "symbol",  "undefined", "unknown", "void"};
  return std::find(predefined.begin(), predefined.end(), name) != predefined.end();
}

void append_type_alias(Ctx& ctx, std::string_view name, const Value& definition, bool with_write,
                       std::string& out) {
  if (!is_predefined_type_name(name)) {
    out += "export type ";
    out += name;
    out += " = ";
    append_type(ctx, definition, false, out);
    out += ";\n\n";
  }
  if (with_write) {
    out += "export type ";
    out += name;
    out += "Write = ";
    append_type(ctx, definition, true, out);
    out += ";\n\n";
  }
}

}  // namespace brenvale
