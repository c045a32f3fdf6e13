// Every TypeScript escaper: string literal, template literal, comments, property name.
#include "text/escape.hpp"

#include <array>

namespace brenvale {
namespace {

// Copies `text` to `out`, each byte `escape` maps to a replacement written instead; `escape`
// returns the replacement and sets how many bytes it stands for (empty: the byte is kept).
template <class Escape>
void append_escaped(std::string_view text, std::string& out, Escape escape) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::size_t width = 1;
    const std::string_view escaped = escape(text, i, width);
    if (escaped.empty()) continue;
    out.append(text, start, i - start);
    out += escaped;
    start = i + width;
    i += width - 1;
  }
  out.append(text, start);
}

// The width of the line break starting at `at`, 0 when none does.
std::size_t line_break_width(std::string_view text, std::size_t at) {
  if (text[at] == '\r') return at + 1 < text.size() && text[at + 1] == '\n' ? 2 : 1;
  if (text[at] == '\n') return 1;
  return starts_line_separator(text, at) ? 3 : 0;
}

}  // namespace

void append_quoted(std::string_view text, std::string& out) {
  out += '"';
  append_escaped(text, out, [](std::string_view s, std::size_t i, std::size_t&) {
    switch (s[i]) {
      case '"':
        return std::string_view("\\\"");
      case '\\':
        return std::string_view("\\\\");
      case '\n':
        return std::string_view("\\n");
      case '\r':
        return std::string_view("\\r");
      default:
        return std::string_view();
    }
  });
  out += '"';
}

void append_template_text(std::string_view text, std::string& out) {
  append_escaped(text, out, [](std::string_view s, std::size_t i, std::size_t&) {
    if (s[i] == '\\') return std::string_view("\\\\");
    if (s[i] == '`') return std::string_view("\\`");
    if (s[i] == '\r') return std::string_view("\\r");
    if (s[i] == '$' && i + 1 < s.size() && s[i + 1] == '{') return std::string_view("\\$");
    return std::string_view();
  });
}

void append_comment_text(std::string_view text, std::string& out) {
  // Anything that ends a line would turn the rest of the text into code.
  append_escaped(text, out, [](std::string_view s, std::size_t i, std::size_t& width) {
    if (s[i] == '\n') return std::string_view("\\n");
    if (s[i] == '\r') return std::string_view("\\r");
    if (!starts_line_separator(s, i)) return std::string_view();
    width = 3;
    return std::string_view(s[i + 2] == '\xA8' ? "\\u2028" : "\\u2029");
  });
}

void append_doc_comment_lines(std::string_view text, std::string_view prefix, std::string& out) {
  std::size_t start = 0;
  for (std::size_t end = 0; end <= text.size(); ++end) {
    const std::size_t width = end == text.size() ? 1 : line_break_width(text, end);
    if (width == 0) continue;
    out += prefix;
    if (end > start) {
      out += ' ';
      // Only "*/" ends the block; "/*" inside it is text.
      append_escaped(text.substr(start, end - start), out,
                     [](std::string_view s, std::size_t i, std::size_t&) {
                       return s[i] == '/' && i > 0 && s[i - 1] == '*' ? std::string_view("\\/")
                                                                      : std::string_view();
                     });
    }
    out += '\n';
    start = end + width;
    end = start - 1;
  }
}

void append_ident(std::string_view name, std::string& out) {
  static constexpr auto identifier_bytes = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 256; ++c) table[c] = is_identifier_char(static_cast<char>(c));
    return table;
  }();
  bool bare = !name.empty() && !(name[0] >= '0' && name[0] <= '9');
  for (std::size_t i = 0; bare && i < name.size(); ++i)
    bare = identifier_bytes[static_cast<unsigned char>(name[i])];
  if (bare) {
    out += name;
  } else {
    append_quoted(name, out);
  }
}

void append_object_key(std::string_view name, std::string_view computed_cast, std::string& out) {
  if (name != "__proto__") {
    append_ident(name, out);
    return;
  }
  out += '[';
  append_quoted(name, out);
  if (!computed_cast.empty()) {
    out += ' ';
    out += computed_cast;
  }
  out += ']';
}

}  // namespace brenvale
