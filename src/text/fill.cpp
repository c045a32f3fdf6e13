// Generated text from constant templates with named placeholders.
#include "text/fill.hpp"

namespace brenvale {

void fill(std::string& out, std::string_view pattern, std::initializer_list<Placeholder> values) {
  // Room for the text with each value once: a text filled from nothing would otherwise grow
  // through four or five blocks on its way.
  std::size_t size = out.size() + pattern.size();
  for (const Placeholder& placeholder : values) size += placeholder.value.size();
  out.reserve(size);
  std::size_t start = 0;
  for (std::size_t open = pattern.find('{'); open != std::string_view::npos;
       open = pattern.find('{', open + 1)) {
    // Most braces are the code's own: each name is tried where it would stand, its closing
    // brace first, so no brace costs a search for the next one.
    const std::string_view rest = pattern.substr(open + 1);
    for (const Placeholder& placeholder : values) {
      const std::size_t size = placeholder.name.size();
      if (rest.size() <= size || rest[size] != '}' || !rest.starts_with(placeholder.name)) continue;
      out.append(pattern, start, open - start);
      out += placeholder.value;
      start = open + size + 2;
      open += size + 1;
      break;
    }
  }
  out.append(pattern, start);
}

}  // namespace brenvale
