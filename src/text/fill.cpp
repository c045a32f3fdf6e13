// Generated text from constant templates with named placeholders.
#include "text/fill.hpp"

namespace brenvale {

void fill(std::string& out, std::string_view pattern, std::initializer_list<Placeholder> values) {
  std::size_t start = 0;
  for (std::size_t open = pattern.find('{'); open != std::string_view::npos;
       open = pattern.find('{', open + 1)) {
    const std::size_t close = pattern.find('}', open);
    if (close == std::string_view::npos) break;
    const std::string_view name = pattern.substr(open + 1, close - open - 1);
    for (const Placeholder& placeholder : values) {
      if (placeholder.name != name) continue;
      out.append(pattern, start, open - start);
      out += placeholder.value;
      start = close + 1;
      open = close;
      break;
    }
  }
  out.append(pattern, start);
}

}  // namespace brenvale
