// A model definition as its Firestore read or write interface.
#include "typescript/render_interface.hpp"

#include "contract/bundle.hpp"
#include "typescript/escape.hpp"
#include "typescript/render_doc.hpp"

namespace brenvale {

void append_interface(Ctx& ctx, std::string_view name, const Value& definition, Side side,
                      std::string_view doc, std::string& out) {
  if (side == Side::read) {
    if (const Value* collection = string_member(definition, Atom::collection)) {
      out += "// @firestore-collection ";
      append_comment_text(collection->string(), out);
      out += '\n';
    }
  }
  out += doc;
  out += "export interface ";
  out += name;
  if (side == Side::write) out += "Write";
  out += " {\n";

  const NameSet required_names = required_set(definition);
  AscendingLookup required(required_names);
  const Value* doc_id = string_member(definition, Atom::doc_id_field);
  for (const Member& property : property_map(definition).object()) {
    const std::string_view key = property.key;
    const Value& schema = property.value;
    if (doc_id != nullptr && key == doc_id->string()) {
      if (side == Side::read) {
        if (ctx.jsdoc) append_property_doc(scan_schema(schema), out);
        out += "  ";
        append_ident(key, out);
        out += ": string;\n";
      }
      continue;
    }
    const SchemaKeys keys = scan_schema(schema);
    if (side == Side::write && keys[Atom::read_only] != nullptr && keys[Atom::read_only]->is_true())
      continue;
    if (ctx.jsdoc) append_property_doc(keys, out);
    const bool is_required = required.contains(key);
    bool optional = !is_required;
    if (side == Side::read && is_required) {
      optional =
          keys[Atom::presence_guaranteed] == nullptr || !keys[Atom::presence_guaranteed]->is_true();
    }
    out += "  ";
    append_ident(key, out);
    if (optional) out += '?';
    out += ": ";
    append_type(ctx, keys, side, out);
    out += ";\n";
  }
  out += "}\n\n";
}

}  // namespace brenvale
