// A model definition as its Firestore read or write interface.
#include "emit/render_interface.hpp"

#include "contract/presence.hpp"
#include "text/escape.hpp"
#include "typescript/render_doc.hpp"

namespace brenvale {

void append_interface(Ctx& ctx, std::string_view name, const Definition& definition, Side side,
                      std::string_view doc, std::string& out) {
  if (side == Side::read && definition.has_collection) {
    out += "// @firestore-collection ";
    append_comment_text(definition.collection, out);
    out += '\n';
  }
  out += doc;
  out += "export interface ";
  if (side == Side::write) {
    out += write_name(name);
  } else {
    out += name;
  }
  out += " {\n";
  for (const Property& property : ctx.contract->properties_of(definition)) {
    const TypeNode& node = ctx.contract->node(property.node);
    const Writer writer = ctx.sdk == Sdk::admin ? Writer::server : Writer::client;
    const Presence presence = presence_of(definition, property, side, *ctx.contract, writer);
    if (presence == Presence::absent) continue;
    if (ctx.jsdoc) append_property_doc(ctx.contract->extras_of(node), out);
    out += "  ";
    append_ident(property.key, out);
    if (presence == Presence::document_id) {
      out += ": string;\n";
      continue;
    }
    if (presence == Presence::optional) out += '?';
    out += ": ";
    append_type(ctx, property.node, side, out);
    out += ";\n";
  }
  out += "}\n\n";
}

}  // namespace brenvale
