// A model definition as its Firestore read or write interface.
#include "emit/render_interface.hpp"

#include "contract/presence.hpp"
#include "text/escape.hpp"
#include "text/fill.hpp"
#include "typescript/render_doc.hpp"

namespace brenvale {
namespace {

// The count a vector's bound keeps, as text; empty when it keeps none.
std::string count_text(const Datum& bound) {
  if (!bound.is_count()) return {};
  return std::to_string(bound.count());
}

}  // namespace

std::string vector_dimensions(const Contract& contract, NodeId id) {
  const TypeNode& field = contract.node(id);
  const NodeId own[] = {id};
  const std::span<const NodeId> candidates =
      field.form == TypeForm::alternatives ? contract.alternatives(field) : std::span(own);
  for (const NodeId candidate : candidates) {
    const TypeNode& node = contract.node(candidate);
    if (node.form != TypeForm::firestore || node.firestore != FirestoreKind::vector) continue;
    const std::string least = count_text(contract.constraint(node, Atom::min_items));
    const std::string most = count_text(contract.constraint(node, Atom::max_items));
    std::string text;
    if (least.empty() && most.empty()) continue;
    if (least == most) {
      fill(text, "{n} dimensions", {{"n", least}});
    } else if (most.empty()) {
      fill(text, "at least {n} dimensions", {{"n", least}});
    } else if (least.empty()) {
      fill(text, "at most {n} dimensions", {{"n", most}});
    } else {
      fill(text, "{least} to {most} dimensions", {{"least", least}, {"most", most}});
    }
    return text;
  }
  return {};
}

bool has_index_signature(const Contract& contract, const Definition& definition) {
  const TypeNode& node = contract.node(definition.node);
  return definition.kind == DefinitionKind::model && definition.properties.count == 0 &&
         node.record != RecordValues::none &&
         contract.constraint(node, Atom::additional_properties).present;
}

void append_index_signature(Ctx& ctx, const Definition& definition, Side side, std::string& out) {
  const Contract& contract = *ctx.contract;
  if (!has_index_signature(contract, definition)) return;
  const TypeNode& node = contract.node(definition.node);
  out += "  [key: string]: ";
  if (node.record == RecordValues::schema) {
    append_type(ctx, node.record_node, side, out);
  } else {
    out += "unknown";
  }
  out += ";\n";
}

void append_interface(Ctx& ctx, std::string_view name, const Definition& definition, Side side,
                      std::string_view doc, std::string& out) {
  if (side == Side::read && definition.has_collection) {
    out += "// @firestore-collection ";
    append_comment_text(ctx.contract->extras_of(definition).collection, out);
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
    ctx.contract->prefetch_key(property);
    const TypeNode& node = ctx.contract->node(property.node);
    const Writer writer = ctx.sdk == Sdk::admin ? Writer::server : Writer::client;
    const Presence presence = presence_of(definition, property, side, *ctx.contract, writer);
    if (presence == Presence::absent) continue;
    const std::string dimensions = vector_dimensions(*ctx.contract, property.node);
    if (ctx.jsdoc) append_property_doc(ctx.contract->extras_of(node), dimensions, out);
    out += "  ";
    append_ident(property.key, out);
    if (presence == Presence::document_id) {
      out += ": string;\n";
      continue;
    }
    if (presence == Presence::optional) out += '?';
    out += ": ";
    append_type(ctx, property.node, side, out);
    out += ';';
    // VectorValue's type holds no length, so the dimension is said where the field is.
    if (!dimensions.empty()) fill(out, " // {dimensions}", {{"dimensions", dimensions}});
    out += '\n';
  }
  append_index_signature(ctx, definition, side, out);
  out += "}\n\n";
}

}  // namespace brenvale
