// Schema titles and descriptions as JSDoc blocks above declarations and members.
#include "typescript/render_doc.hpp"

#include <initializer_list>

#include "contract/bundle.hpp"
#include "typescript/escape.hpp"
#include "typescript/fill.hpp"

namespace brenvale {
namespace {

// A block of the non-empty texts, a bare " *" line between two.
void append_doc(std::string_view indent, std::initializer_list<std::string_view> texts,
                std::string& out) {
  const std::string prefix = std::string(indent) + " *";
  bool first = true;
  for (const std::string_view text : texts) {
    if (text.empty()) continue;
    fill(out, first ? "{indent}/**\n" : "{prefix}\n", {{"indent", indent}, {"prefix", prefix}});
    first = false;
    append_doc_comment_lines(text, prefix, out);
  }
  if (!first) fill(out, "{indent} */\n", {{"indent", indent}});
}

std::string_view text_member(const Value* value) {
  return value != nullptr && value->is_string() ? value->string() : std::string_view();
}

}  // namespace

std::string definition_doc(std::string_view raw_name, const Value& definition) {
  std::string_view title = text_member(string_member(definition, Atom::title));
  if (title == raw_name) title = {};
  std::string out;
  append_doc("", {title, text_member(string_member(definition, Atom::description))}, out);
  return out;
}

void append_property_doc(const SchemaKeys& keys, std::string& out) {
  append_doc("  ", {text_member(keys[Atom::description])}, out);
}

}  // namespace brenvale
