// The import lines of a generated module.
#pragma once

#include <string>
#include <string_view>

#include "typescript/literal.hpp"

namespace brenvale {

// Appends "import type { {names} } from {module};\n\n", the names joined with ", " in the
// order given and the module specifier as an escaped string literal.
void append_import_line(const auto& names, std::string_view from, std::string& out) {
  out += "import type { ";
  bool first = true;
  for (const auto& name : names) {
    if (!first) out += ", ";
    first = false;
    out += name;
  }
  out += " } from ";
  append_quoted(from, out);
  out += ";\n\n";
}

}  // namespace brenvale
