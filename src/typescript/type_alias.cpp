// Definitions that are neither enums nor models (root models, type aliases) as type aliases.
#include "typescript/type_alias.hpp"

#include "text/fill.hpp"
#include "typescript/render_doc.hpp"

namespace brenvale {

void append_type_alias(Ctx& ctx, const Definition& definition, std::string& out) {
  const std::string_view type_name =
      ctx.names != nullptr ? ctx.names->of(ctx.contract->id_of(definition)) : definition.name;
  const std::string doc = ctx.jsdoc ? definition_doc(*ctx.contract, definition) : std::string();
  ctx.alias_of = ctx.contract->id_of(definition);
  // The Firestore module also writes the alias's write form.
  for (const Side side : {Side::read, Side::write}) {
    if (side == Side::write && ctx.mode != RenderMode::firestore) break;
    out += doc;
    fill(out, "export type {name} = ",
         {{"name", side == Side::write ? write_name(type_name) : type_name}});
    append_type(ctx, definition.node, side, out);
    out += ";\n\n";
  }
  ctx.alias_of = no_id;
}

}  // namespace brenvale
