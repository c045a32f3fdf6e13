// Schema titles and descriptions as JSDoc blocks above declarations and members.
#include "typescript/render_doc.hpp"

#include <initializer_list>

#include "text/escape.hpp"
#include "text/fill.hpp"

namespace brenvale {
namespace {

// A block of the non-empty texts, a bare " *" line between two.
void append_doc(std::string_view indent, std::initializer_list<std::string_view> texts,
                std::string& out) {
  const std::string prefix = std::string(indent) + " *";
  bool first = true;
  for (const std::string_view text : texts) {
    if (text.empty()) continue;
    if (first)
      fill(out, "{indent}/**\n", {{"indent", indent}});
    else
      fill(out, "{prefix}\n", {{"prefix", prefix}});
    first = false;
    append_doc_comment_lines(text, prefix, out);
  }
  if (!first) fill(out, "{indent} */\n", {{"indent", indent}});
}

}  // namespace

std::string definition_doc(const Contract& contract, const Definition& definition) {
  const DefinitionExtras& x = contract.extras_of(definition);
  const std::string_view title = x.title == definition.name ? "" : x.title;
  std::string out;
  append_doc("", {title, x.description}, out);
  return out;
}

void append_property_doc(const NodeExtras& property, std::string& out) {
  append_doc("  ", {property.description}, out);
}

void append_property_doc(const NodeExtras& property, std::string_view note, std::string& out) {
  append_doc("  ", {property.description, note}, out);
}

}  // namespace brenvale
