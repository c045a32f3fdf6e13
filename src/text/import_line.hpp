// The import lines of a generated module.
#pragma once

#include <string>
#include <string_view>

#include "text/escape.hpp"
#include "text/fill.hpp"

namespace brenvale {

// Appends "import type { {names} } from {module};\n\n", the names joined with ", " in the
// order given and the module specifier as an escaped string literal.
void append_import_line(const auto& names, std::string_view from, std::string& out) {
  std::string joined;
  std::size_t size = 0;
  for (const auto& name : names) size += std::string_view(name).size() + 2;
  joined.reserve(size);
  for (const auto& name : names) {
    if (!joined.empty()) joined += ", ";
    joined += name;
  }
  std::string module;
  append_quoted(from, module);
  fill(out, "import type { {names} } from {module};\n\n", {{"names", joined}, {"module", module}});
}

}  // namespace brenvale
