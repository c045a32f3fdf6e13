// Property names as TypeScript property keys.
#include "typescript/ident.hpp"

#include "typescript/literal.hpp"

namespace brenvale {

bool is_plain_identifier(std::string_view name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
  for (const char c : name) {
    if (!is_identifier_char(c)) return false;
  }
  return true;
}

void append_ident(std::string_view name, std::string& out) {
  if (is_plain_identifier(name)) {
    out += name;
  } else {
    append_quoted(name, out);
  }
}

}  // namespace brenvale
