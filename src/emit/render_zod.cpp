// Schema node -> zod schema expression accepting exactly what its Firestore-mode type says.
#include "typescript/render_zod.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "contract/bundle.hpp"
#include "typescript/escape.hpp"
#include "typescript/fill.hpp"
#include "typescript/literal.hpp"

namespace brenvale {
namespace {

bool is_number(const Value* value) {
  return value != nullptr && (value->kind == Kind::int64 || value->kind == Kind::uint64 ||
                              value->kind == Kind::float64);
}

// A length or an item count: a non-negative integer.
bool is_count(const Value* value) {
  return value != nullptr &&
         (value->kind == Kind::uint64 || (value->kind == Kind::int64 && value->int64 >= 0));
}

bool is_scalar(const Value& value) {
  return value.kind != Kind::array && value.kind != Kind::object;
}

struct Check {
  Atom atom;
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
void append_checks(const SchemaKeys& keys, const std::array<Check, N>& checks, bool counts,
                   std::string& out) {
  for (const Check& check : checks) {
    const Value* bound = keys[check.atom];
    if (counts ? !is_count(bound) : !is_number(bound)) continue;
    fill(out, check.pattern, {{"n", literal(*bound)}});
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

void append_literals(std::span<const Value> values, std::string& out) {
  if (values.empty()) {
    out += "z.never()";
  } else if (!std::all_of(values.begin(), values.end(), is_scalar)) {
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

bool all_strings(std::span<const Value> values) {
  return std::all_of(values.begin(), values.end(), [](const Value& v) { return v.is_string(); });
}

std::string_view last_segment(std::string_view ref) {
  const std::size_t slash = ref.rfind('/');
  return slash == std::string_view::npos ? ref : ref.substr(slash + 1);
}

void append_contract_name(const ZodCtx& ctx, std::string_view raw, std::string& out) {
  out += contract_namespace;
  out += '.';
  ctx.types.names->append(raw, out);
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

void append_firestore_zod(ZodCtx& ctx, const SchemaKeys& keys, std::string_view kind, Side side,
                          std::string& out) {
  if (kind == "timestamp") {
    const bool server_filled =
        keys[Atom::server_timestamp] != nullptr && keys[Atom::server_timestamp]->is_true();
    if (side == Side::write && server_filled) {
      append_instance(ctx, "FieldValue", "", out);
    } else if (side == Side::write) {
      out += "z.union([";
      append_instance(ctx, "Timestamp", "", out);
      out += ", z.date()])";
    } else {
      append_instance(ctx, "Timestamp", "", out);
      if (server_filled) out += ".nullable()";
    }
  } else if (kind == "reference") {
    const Value* target = keys[Atom::ref_target];
    std::string type;
    if (target != nullptr && target->is_string() &&
        ctx.types.defs->find(target->string()) != nullptr) {
      append_contract_name(ctx, target->string(), type);
    } else {
      // No definition to name: the interface's own type is an error there already.
      ctx.types.imports.insert("DocumentData");
      type = "DocumentData";
    }
    // The type argument exists only for TypeScript; at run time any reference is one.
    append_instance(ctx, "DocumentReference", type, out);
  } else if (kind == "geopoint") {
    append_instance(ctx, "GeoPoint", "", out);
  } else if (kind == "vector") {
    append_instance(ctx, "VectorValue", "", out);
  } else if (kind == "bytes") {
    append_instance(ctx, "Bytes", "", out);
  } else {
    out += "z.unknown()";
  }
}

void append_reference_zod(ZodCtx& ctx, std::string_view ref, Side side, std::string& out) {
  const std::string_view name = last_segment(ref);
  const auto found = ctx.schemas.find(name);
  // A dangling name has no schema (its interface type is an error already); a circular one is
  // `unknown` in the alias, as the type renderer writes it.
  if (found == ctx.schemas.end() || refers_back_to_alias(ctx.types, name)) {
    out += "z.unknown()";
    return;
  }
  const Value* members = ctx.types.defs->find(name)->find(Atom::enum_values);
  if (members == nullptr) {
    const std::string& schema = side == Side::write ? found->second.write : found->second.read;
    fill(out, "z.lazy(() => {schema})", {{"schema", schema}});
  } else if (side == Side::read && !members->array().empty() && all_strings(members->array())) {
    // Read-side string enums also admit values a newer contract may add.
    fill(out, "z.union([z.lazy(() => {schema}), z.string()])", {{"schema", found->second.read}});
  } else {
    fill(out, "z.lazy(() => {schema})", {{"schema", found->second.read}});
  }
}

// The tag property of a discriminated union that zod can check as one: every alternative a
// `$ref` to a model whose tag property is required, constant and written on this side, with no
// tag value twice. Otherwise the alternatives are checked as a plain union.
std::optional<std::string_view> union_tag(const ZodCtx& ctx, const SchemaKeys& keys,
                                          std::span<const Value> alternatives, Side side) {
  const Value* discriminator = keys[Atom::discriminator];
  const Value* property = discriminator != nullptr ? discriminator->find("propertyName") : nullptr;
  if (property == nullptr || !property->is_string() || alternatives.empty()) return std::nullopt;
  const std::string_view tag = property->string();
  std::vector<std::string> values;
  for (const Value& alternative : alternatives) {
    const Value* ref = string_member(alternative, Atom::ref);
    if (ref == nullptr || ctx.schemas.count(last_segment(ref->string())) == 0) return std::nullopt;
    const Value& model = *ctx.types.defs->find(last_segment(ref->string()));
    if (is_enum_definition(model) || !is_model_definition(model)) return std::nullopt;
    const Value* schema = property_map(model).find(tag);
    const Value* value = schema != nullptr ? schema->find(Atom::const_value) : nullptr;
    const Value* read_only = schema != nullptr ? schema->find(Atom::read_only) : nullptr;
    const Value* doc_id = string_member(model, Atom::doc_id_field);
    if (value == nullptr || !is_scalar(*value) || !required_set(model).contains(tag) ||
        (side == Side::write && read_only != nullptr && read_only->is_true()) ||
        (doc_id != nullptr && doc_id->string() == tag))
      return std::nullopt;
    values.push_back(literal(*value));
  }
  std::sort(values.begin(), values.end());
  if (std::adjacent_find(values.begin(), values.end()) != values.end()) return std::nullopt;
  return tag;
}

void append_alternatives(ZodCtx& ctx, const SchemaKeys& keys, std::span<const Value> alternatives,
                         Side side, std::string& out) {
  if (const auto tag = union_tag(ctx, keys, alternatives, side)) {
    out += "z.discriminatedUnion(";
    append_quoted(*tag, out);
    out += ", [";
    for (std::size_t i = 0; i < alternatives.size(); ++i) {
      if (i != 0) out += ", ";
      append_reference_zod(ctx, alternatives[i].find(Atom::ref)->string(), side, out);
    }
    out += "])";
    return;
  }
  append_union(
      alternatives.size(),
      [&](std::size_t i, std::string& buffer) { append_zod(ctx, alternatives[i], side, buffer); },
      out);
}

void append_json_zod(ZodCtx& ctx, std::string_view type_name, const SchemaKeys& keys, Side side,
                     std::string& out) {
  if (type_name == "null") {
    out += "z.null()";
  } else if (type_name == "string") {
    out += "z.string()";
    append_checks(keys, string_checks, true, out);
    if (const Value* pattern = keys[Atom::pattern]; pattern != nullptr && pattern->is_string()) {
      // The pattern enters only as a string literal, compiled by the module's pattern helper.
      out += ".check(pattern(";
      append_quoted(pattern->string(), out);
      out += "))";
      ctx.patterns = true;
    }
  } else if (type_name == "number" || type_name == "integer") {
    out += type_name == "integer" ? "z.int()" : "z.number()";
    append_checks(keys, number_checks, false, out);
  } else if (type_name == "boolean") {
    out += "z.boolean()";
  } else if (type_name == "object") {
    const AliasGuardPause pause(ctx.types);
    const Value* values = keys[Atom::additional_properties];
    out += "z.record(z.string(), ";
    if (values == nullptr || values->is_true()) {
      out += "z.unknown()";
    } else if (values->is_object()) {
      append_zod(ctx, *values, side, out);
    } else {
      out += "z.never()";
    }
    out += ')';
  } else if (type_name == "array") {
    const AliasGuardPause pause(ctx.types);
    if (const Value* tuple = keys[Atom::prefix_items]; tuple != nullptr && tuple->is_array()) {
      out += "z.tuple([";
      for (std::size_t i = 0; i < tuple->array().size(); ++i) {
        if (i != 0) out += ", ";
        append_zod(ctx, tuple->array()[i], side, out);
      }
      out += "])";
      return;
    }
    out += "z.array(";
    if (const Value* items = keys[Atom::items]) {
      append_zod(ctx, *items, side, out);
    } else {
      out += "z.unknown()";
    }
    out += ')';
    append_checks(keys, array_checks, true, out);
  } else {
    out += "z.unknown()";
  }
}

void append_zod(ZodCtx& ctx, const SchemaKeys& keys, Side side, std::string& out) {
  if (const Value* kind = keys[Atom::firestore_type]; kind != nullptr && kind->is_string()) {
    append_firestore_zod(ctx, keys, kind->string(), side, out);
    return;
  }
  if (const Value* ref = keys[Atom::ref]; ref != nullptr && ref->is_string()) {
    append_reference_zod(ctx, ref->string(), side, out);
    return;
  }
  if (const Value* value = keys[Atom::const_value]) {
    if (is_scalar(*value)) {
      out += "z.literal(";
      append_literal(*value, out);
      out += ')';
    } else {
      out += "z.unknown()";
    }
    return;
  }
  if (const Value* members = keys[Atom::enum_values]; members != nullptr && members->is_array()) {
    const std::span<const Value> items = members->array();
    const bool open = side == Side::read && all_strings(items) && !items.empty();
    if (open) out += "z.union([";
    append_literals(items, out);
    if (open) out += ", z.string()])";
    return;
  }
  const Value* alternatives = keys[Atom::any_of];
  if (alternatives == nullptr || !alternatives->is_array()) alternatives = keys[Atom::one_of];
  if (alternatives != nullptr && alternatives->is_array()) {
    append_alternatives(ctx, keys, alternatives->array(), side, out);
    return;
  }
  if (const Value* type = keys[Atom::type]) {
    if (type->is_string()) {
      append_json_zod(ctx, type->string(), keys, side, out);
      return;
    }
    if (type->is_array()) {
      std::vector<std::string_view> names;
      for (const Value& entry : type->array()) {
        if (entry.is_string()) names.push_back(entry.string());
      }
      append_union(
          names.size(),
          [&](std::size_t i, std::string& buffer) {
            append_json_zod(ctx, names[i], keys, side, buffer);
          },
          out);
      return;
    }
  }
  out += "z.unknown()";
}

}  // namespace

void append_zod(ZodCtx& ctx, const Value& node, Side side, std::string& out) {
  append_zod(ctx, scan_schema(node), side, out);
}

void append_model_zod(ZodCtx& ctx, const Value& definition, Side side, std::string& out) {
  // A model that forbids other keys (Pydantic's extra="forbid") says so with
  // additionalProperties false.
  const Value* others = definition.find(Atom::additional_properties);
  const bool strict = others != nullptr && others->kind == Kind::boolean && !others->boolean;
  out += strict ? "z.strictObject({" : "z.object({";
  const NameSet required_names = required_set(definition);
  AscendingLookup required(required_names);
  const Value* doc_id = string_member(definition, Atom::doc_id_field);
  bool empty = true;
  for (const Member& property : property_map(definition).object()) {
    const std::string_view key = property.key;
    const SchemaKeys keys = scan_schema(property.value);
    const bool is_doc_id = doc_id != nullptr && key == doc_id->string();
    const bool read_only = keys[Atom::read_only] != nullptr && keys[Atom::read_only]->is_true();
    const bool is_required = required.contains(key);
    if (side == Side::write && (is_doc_id || read_only)) continue;
    out += empty ? "\n  " : "  ";
    empty = false;
    append_object_key(key, "", out);
    out += ": ";
    if (is_doc_id) {
      out += "z.string(),\n";  // the document id, which the converter fills in
      continue;
    }
    append_zod(ctx, keys, side, out);
    bool optional = !is_required;
    if (side == Side::read && is_required) {
      optional =
          keys[Atom::presence_guaranteed] == nullptr || !keys[Atom::presence_guaranteed]->is_true();
    }
    if (optional) out += ".optional()";
    out += ",\n";
  }
  out += "})";
}

void append_enum_zod(const Value& definition, std::string& out) {
  const Value* members = definition.find(Atom::enum_values);
  append_literals(members != nullptr ? members->array() : std::span<const Value>(), out);
}

bool has_constant_property(const Value& definition) {
  const std::span<const Member> properties = property_map(definition).object();
  return std::any_of(properties.begin(), properties.end(), [](const Member& property) {
    return property.value.find(Atom::const_value) != nullptr;
  });
}

}  // namespace brenvale
