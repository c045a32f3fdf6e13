// Schema node -> zod schema expression accepting exactly what its Firestore-mode type says.
#include "emit/render_zod.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "contract/presence.hpp"
#include "text/escape.hpp"
#include "text/fill.hpp"
#include "typescript/literal.hpp"
#include "util/byte_order.hpp"

namespace brenvale {
namespace {

struct Check {
  Atom key;
  std::string_view pattern;  // {n} is the bound
};

// Lengths count code points, as JSON Schema and Pydantic do; zod's own string bounds count
// UTF-16 code units, which differ for every character outside the BMP.
constexpr std::array<Check, 2> string_checks = {{
    {Atom::min_length,
     ".refine((text) => [...text].length >= {n}, \"Too short: expected at least {n} "
     "characters\")"},
    {Atom::max_length,
     ".refine((text) => [...text].length <= {n}, \"Too long: expected at most {n} "
     "characters\")"},
}};
constexpr std::array<Check, 5> number_checks = {{
    {Atom::minimum, ".gte({n})"},
    {Atom::maximum, ".lte({n})"},
    {Atom::exclusive_minimum, ".gt({n})"},
    {Atom::exclusive_maximum, ".lt({n})"},
    {Atom::multiple_of, ".multipleOf({n})"},
}};
constexpr std::array<Check, 2> array_checks = {{
    {Atom::min_items, ".min({n})"},
    {Atom::max_items, ".max({n})"},
}};

template <std::size_t N>
void append_checks(const ZodCtx& ctx, const TypeNode& node, const std::array<Check, N>& checks,
                   bool counts, std::string& out) {
  for (const Check& check : checks) {
    const Datum& bound = ctx.types.contract->constraint(node, check.key);
    if (counts ? !bound.is_count() : !bound.is_number()) continue;
    fill(out, check.pattern, {{"n", literal(bound)}});
  }
}

// Appends `count` members, rendered by `render(i, out)`, as one union: a single member stands
// alone and none is z.never(), as the type renderer writes `never`.
template <class Render>
void append_union(std::size_t count, Render render, std::string& out) {
  if (count == 0) {
    out += "z.never()";
    return;
  }
  if (count > 1) out += "z.union([";
  for (std::size_t i = 0; i < count; ++i) {
    if (i != 0) out += ", ";
    render(i, out);
  }
  if (count > 1) out += "])";
}

void append_literals(std::span<const Datum> values, std::string& out) {
  if (values.empty()) {
    out += "z.never()";
  } else if (!std::all_of(values.begin(), values.end(),
                          [](const Datum& value) { return value.is_scalar(); })) {
    out += "z.unknown()";  // the type renderer writes such a member as `unknown`
  } else {
    out += "z.literal([";
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (i != 0) out += ", ";
      append_literal(values[i], out);
    }
    out += "])";
  }
}

void append_contract_name(const ZodCtx& ctx, const Definition& definition, std::string& out) {
  out += contract_namespace;
  out += '.';
  ctx.types.names->append(definition.name, out);
}

// A Firestore value class by instanceof; some of them have private constructors, which
// z.instanceof does not take.
void append_instance(ZodCtx& ctx, std::string_view type_class, std::string_view type_argument,
                     std::string& out) {
  ctx.types.imports.insert(type_class);
  std::string type(type_class);
  if (!type_argument.empty()) fill(type, "<{argument}>", {{"argument", type_argument}});
  fill(out, "z.custom<{type}>((value) => value instanceof {class})",
       {{"type", type}, {"class", type_class}});
}

void append_firestore_zod(ZodCtx& ctx, const TypeNode& node, Side side, std::string& out) {
  switch (node.firestore) {
    case FirestoreKind::timestamp:
      if (side == Side::write && node.server_timestamp) {
        append_instance(ctx, "FieldValue", "", out);
      } else if (side == Side::write) {
        out += "z.union([";
        append_instance(ctx, "Timestamp", "", out);
        out += ", z.date()])";
      } else {
        append_instance(ctx, "Timestamp", "", out);
        if (node.server_timestamp) out += ".nullable()";
      }
      return;
    case FirestoreKind::reference: {
      std::string type;
      if (const DefId target = ctx.types.contract->extras_of(node).ref_target_def;
          target != no_id) {
        append_contract_name(ctx, ctx.types.contract->definitions[target], type);
      } else {
        // No definition to name: the interface's own type is an error there already.
        ctx.types.imports.insert("DocumentData");
        type = "DocumentData";
      }
      // The type argument exists only for TypeScript; at run time any reference is one.
      append_instance(ctx, "DocumentReference", type, out);
      return;
    }
    case FirestoreKind::geopoint:
      append_instance(ctx, "GeoPoint", "", out);
      return;
    case FirestoreKind::vector:
      append_instance(ctx, "VectorValue", "", out);
      return;
    case FirestoreKind::bytes:
      append_instance(ctx, "Bytes", "", out);
      return;
    case FirestoreKind::other:
      out += "z.unknown()";
      return;
  }
}

void append_reference_zod(ZodCtx& ctx, DefId target, Side side, std::string& out) {
  // A dangling name has no schema (its interface type is an error already); a circular one is
  // `unknown` in the alias, as the type renderer writes it.
  if (target == no_id || refers_back_to_alias(ctx.types, target)) {
    out += "z.unknown()";
    return;
  }
  const Definition& definition = ctx.types.contract->definitions[target];
  const SchemaNames& schemas = ctx.schemas[target];
  if (definition.kind != DefinitionKind::enumeration) {
    fill(out, "z.lazy(() => {schema})",
         {{"schema", side == Side::write ? schemas.write : schemas.read}});
  } else if (side == Side::read && is_open_enum(ctx.types.contract->members_of(definition))) {
    // Read-side string enums also admit values a newer contract may add.
    fill(out, "z.union([z.lazy(() => {schema}), z.string()])", {{"schema", schemas.read}});
  } else {
    fill(out, "z.lazy(() => {schema})", {{"schema", schemas.read}});
  }
}

// The tag property of a discriminated union that zod can check as one: every alternative a
// `$ref` to a model whose tag property is required, constant and written on this side, with no
// tag value twice. Otherwise the alternatives are checked as a plain union.
std::optional<std::string_view> union_tag(const ZodCtx& ctx, const TypeNode& node,
                                          std::span<const NodeId> alternatives, Side side) {
  if (!node.has_discriminator_property || alternatives.empty()) return std::nullopt;
  const Contract& contract = *ctx.types.contract;
  const std::string_view tag = contract.extras_of(node).discriminator_property;
  std::vector<std::string> values;
  for (const NodeId alternative : alternatives) {
    const TypeNode& member = contract.node(alternative);
    if (!member.has_ref || member.ref_def == no_id) return std::nullopt;
    const Definition& model = contract.definitions[member.ref_def];
    if (model.kind != DefinitionKind::model) return std::nullopt;
    const std::span<const Property> properties = contract.properties_of(model);
    const auto property = std::lower_bound(
        properties.begin(), properties.end(), tag,
        [](const Property& p, std::string_view key) { return byte_less(p.key, key); });
    if (property == properties.end() || property->key != tag) return std::nullopt;
    const Datum& value = contract.extras_of(contract.node(property->node)).constant;
    // Only a tag every document of this side carries can pick the member.
    if (!value.is_scalar() || !property->required ||
        presence_of(model, *property, side, contract) == Presence::absent ||
        presence_of(model, *property, Side::read, contract) == Presence::document_id)
      return std::nullopt;
    values.push_back(literal(value));
  }
  std::sort(values.begin(), values.end());
  if (std::adjacent_find(values.begin(), values.end()) != values.end()) return std::nullopt;
  return tag;
}

void append_alternatives(ZodCtx& ctx, const TypeNode& node, Side side, std::string& out) {
  const std::span<const NodeId> alternatives = ctx.types.contract->alternatives(node);
  if (const auto tag = union_tag(ctx, node, alternatives, side)) {
    out += "z.discriminatedUnion(";
    append_quoted(*tag, out);
    out += ", [";
    for (std::size_t i = 0; i < alternatives.size(); ++i) {
      if (i != 0) out += ", ";
      append_reference_zod(ctx, ctx.types.contract->node(alternatives[i]).ref_def, side, out);
    }
    out += "])";
    return;
  }
  append_union(
      alternatives.size(),
      [&](std::size_t i, std::string& buffer) { append_zod(ctx, alternatives[i], side, buffer); },
      out);
}

void append_json_zod(ZodCtx& ctx, JsonType type, const TypeNode& node, Side side,
                     std::string& out) {
  switch (type) {
    case JsonType::null:
      out += "z.null()";
      return;
    case JsonType::string:
      out += "z.string()";
      append_checks(ctx, node, string_checks, true, out);
      if (const Datum& pattern = ctx.types.contract->constraint(node, Atom::pattern);
          pattern.is_string()) {
        // The pattern enters only as a string literal, compiled by the module's pattern helper.
        out += ".check(pattern(";
        append_quoted(pattern.text(), out);
        out += "))";
        ctx.patterns = true;
      }
      return;
    case JsonType::number:
    case JsonType::integer:
      out += type == JsonType::integer ? "z.int()" : "z.number()";
      append_checks(ctx, node, number_checks, false, out);
      return;
    case JsonType::boolean:
      out += "z.boolean()";
      return;
    case JsonType::object: {
      const AliasGuardPause pause(ctx.types);
      out += "z.record(z.string(), ";
      if (node.record == RecordValues::any) {
        out += "z.unknown()";
      } else if (node.record == RecordValues::schema) {
        append_zod(ctx, node.record_node, side, out);
      } else {
        out += "z.never()";
      }
      out += ')';
      return;
    }
    case JsonType::array: {
      const AliasGuardPause pause(ctx.types);
      if (node.has_tuple) {
        const std::span<const NodeId> tuple = ctx.types.contract->tuple(node);
        out += "z.tuple([";
        for (std::size_t i = 0; i < tuple.size(); ++i) {
          if (i != 0) out += ", ";
          append_zod(ctx, tuple[i], side, out);
        }
        out += "])";
        return;
      }
      out += "z.array(";
      if (node.items != no_id) {
        append_zod(ctx, node.items, side, out);
      } else {
        out += "z.unknown()";
      }
      out += ')';
      append_checks(ctx, node, array_checks, true, out);
      return;
    }
    case JsonType::other:
      out += "z.unknown()";
      return;
  }
}

}  // namespace

void append_zod(ZodCtx& ctx, NodeId id, Side side, std::string& out) {
  const Contract& contract = *ctx.types.contract;
  const TypeNode& node = contract.node(id);
  switch (node.form) {
    case TypeForm::firestore:
      append_firestore_zod(ctx, node, side, out);
      return;
    case TypeForm::reference:
      append_reference_zod(ctx, node.ref_def, side, out);
      return;
    case TypeForm::literal:
      if (const Datum& constant = contract.extras_of(node).constant; constant.is_scalar()) {
        out += "z.literal(";
        append_literal(constant, out);
        out += ')';
      } else {
        out += "z.unknown()";
      }
      return;
    case TypeForm::enumeration: {
      const std::span<const Datum> items = contract.enum_values(node);
      const bool open = side == Side::read && is_open_enum(items);
      if (open) out += "z.union([";
      append_literals(items, out);
      if (open) out += ", z.string()])";
      return;
    }
    case TypeForm::alternatives:
      append_alternatives(ctx, node, side, out);
      return;
    case TypeForm::json: {
      const std::span<const TypeName> types = contract.types(node);
      if (!node.type_list) {
        append_json_zod(ctx, types.front().type, node, side, out);
        return;
      }
      append_union(
          types.size(),
          [&](std::size_t i, std::string& buffer) {
            append_json_zod(ctx, types[i].type, node, side, buffer);
          },
          out);
      return;
    }
    case TypeForm::unknown:
      out += "z.unknown()";
      return;
  }
}

void append_model_zod(ZodCtx& ctx, const Definition& definition, Side side, std::string& out) {
  const Contract& contract = *ctx.types.contract;
  // A model that forbids other keys (Pydantic's extra="forbid") says so with
  // additionalProperties false.
  const bool strict =
      contract.constraint(contract.node(definition.node), Atom::additional_properties).is_false();
  out += strict ? "z.strictObject({" : "z.object({";
  bool empty = true;
  for (const Property& property : contract.properties_of(definition)) {
    const Presence presence = presence_of(definition, property, side, contract);
    if (presence == Presence::absent) continue;
    out += empty ? "\n  " : "  ";
    empty = false;
    append_object_key(property.key, "", out);
    out += ": ";
    if (presence == Presence::document_id) {
      out += "z.string(),\n";  // the document id, which the converter fills in
      continue;
    }
    append_zod(ctx, property.node, side, out);
    if (presence == Presence::optional) out += ".optional()";
    out += ",\n";
  }
  out += "})";
}

void append_enum_zod(std::span<const Datum> members, std::string& out) {
  append_literals(members, out);
}

bool has_constant_property(const Contract& contract, const Definition& definition) {
  const std::span<const Property> properties = contract.properties_of(definition);
  return std::any_of(properties.begin(), properties.end(), [&](const Property& property) {
    return contract.node(property.node).has_constant;
  });
}

}  // namespace brenvale
