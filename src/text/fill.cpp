// Generated text from constant templates with named placeholders.
#include "text/fill.hpp"

namespace brenvale {

void fill(std::string& out, const Template& pattern, std::initializer_list<Placeholder> values) {
  // Room for the text with each value once: a text filled from nothing would otherwise grow
  // through four or five blocks on its way.
  std::size_t size = out.size() + pattern.size();
  for (const Placeholder& placeholder : values) size += placeholder.value.size();
  out.reserve(size);
  const std::string_view text = pattern.text;
  for (std::size_t i = 0; i < pattern.count; ++i) {
    const Template::Run run = pattern.runs[i];
    if (!run.is_name) {
      out.append(text.data() + run.start, run.size);
      continue;
    }
    const std::string_view name = text.substr(run.start, run.size);
    const Placeholder* found = nullptr;
    for (const Placeholder& placeholder : values) {
      if (placeholder.name == name) {
        found = &placeholder;
        break;
      }
    }
    // A name no value has stays as written, braces and all.
    if (found != nullptr)
      out += found->value;
    else
      out.append(text.data() + run.start - 1, run.size + 2);
  }
}

}  // namespace brenvale
