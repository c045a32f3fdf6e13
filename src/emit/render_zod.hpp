// Type node -> zod schema expression accepting exactly what its Firestore-mode type says.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "contract/model.hpp"
#include "typescript/render_type.hpp"

namespace brenvale {

// The schema constants of one definition; `write` is empty for enums, which have one form.
// Views into the module's name table, taken once every name of the module is claimed.
struct SchemaNames {
  std::string_view read;
  std::string_view write;
};

// One zod module run. `types` holds the contract, the name table, the alias guard and the SDK,
// as the Firestore module's renderer uses them; its `imports` collects the SDK's type names the
// schemas use.
struct ZodCtx {
  Ctx types;
  std::span<const SchemaNames> schemas;  // by definition; borrowed
  OrderedSet<std::string_view> helpers;  // the module's runtime helpers the schemas call
  // Whether the node being written may be left out of the write: set for an optional property,
  // it holds for that node and the members of its union, where a write may delete the field.
  bool may_be_absent = false;
  bool tagged = false;  // a schema written carries the tag values a discriminated union reads
};

// The runtime helpers a zod module may declare, each written once when a schema calls it.
struct ZodHelper {
  std::string_view name;
  std::string_view text;
};
// Every helper, in the order the module declares them.
std::span<const ZodHelper> zod_helpers();

// The namespace the generated module imports the Firestore module's types under.
inline constexpr std::string_view contract_namespace = "contract";

// Appends the zod expression for `node` on `side`, whose output type is assignable to the type
// append_type writes for it. Never fails; recursion is bounded by the nesting limit of the tree.
void append_zod(ZodCtx& ctx, NodeId node, Side side, std::string& out);
// The object schema of a model definition: the members its read or write interface has.
void append_model_zod(ZodCtx& ctx, const Definition& definition, Side side, std::string& out);
// The schema of an enum definition: its members as literals, closed, as the enum's type is.
void append_enum_zod(std::span<const Datum> members, std::string& out);
// Do the model's schemas carry the tag values a discriminated union reads? They do where it has
// a constant property, unless it is read with its own keys alone (z.preprocess gives no values),
// and they are then declared with a type that says so.
bool carries_tag_values(const Contract& contract, const Definition& definition);

}  // namespace brenvale
