// Converter and path function names as the Firestore module exports them.
#include "compat/client_names.hpp"

#include "typescript/escape.hpp"
#include "typescript/lower_first.hpp"

namespace brenvale::compat {

namespace {

bool is_placeholder(std::string_view segment) {
  return segment.size() >= 2 && segment.front() == '{' && segment.back() == '}';
}

// The emitter's identifier text: a leading digit gets "_", every ASCII byte that cannot stand
// in an identifier and every line or paragraph separator becomes "_".
void append_identifier_text(std::string_view text, std::string& out) {
  if (text.empty() || (text[0] >= '0' && text[0] <= '9')) out += '_';
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (starts_line_separator(text, i)) {
      out += '_';
      i += 2;
    } else if (static_cast<unsigned char>(c) >= 0x80 || is_identifier_char(c)) {
      out += c;
    } else {
      out += '_';
    }
  }
}

template <class Visit>
void for_each_segment(std::string_view collection, Visit&& visit) {
  for (std::size_t start = 0;;) {
    const std::size_t slash = collection.find('/', start);
    visit(collection.substr(start, slash - start));
    if (slash == std::string_view::npos) return;
    start = slash + 1;
  }
}

}  // namespace

std::string client_name(ClientName kind, std::string_view source) {
  if (kind == ClientName::converter) return lower_first(source) + "Converter";
  // Named after the last segment that is not a placeholder.
  std::string_view name_segment = "doc";
  for_each_segment(source, [&](std::string_view segment) {
    if (segment.empty() || segment.front() != '{') name_segment = segment;
  });
  std::string out;
  append_identifier_text(lower_first(name_segment) + "Path", out);
  return out;
}

std::vector<std::string> path_parameters(std::string_view collection) {
  std::vector<std::string> parameters;
  for_each_segment(collection, [&](std::string_view segment) {
    if (!is_placeholder(segment)) return;
    std::string parameter;
    append_identifier_text(segment.substr(1, segment.size() - 2), parameter);
    parameters.push_back(std::move(parameter));
  });
  return parameters;
}

}  // namespace brenvale::compat
