// Type node -> TypeScript type expression, in Firestore, plain or canonical mode.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "contract/model.hpp"
#include "typescript/name_table.hpp"
#include "typescript/render_mode.hpp"
#include "util/ordered_set.hpp"

namespace brenvale {

// One rendering context per emitter run or per signature.
struct Ctx {
  const Contract* contract = nullptr;   // borrowed
  SdkTypes imports;                     // types from the SDK module
  OrderedSet<std::string> shared;       // definitions imported from the shared module
  OrderedSet<std::string> used_shared;  // shared names the rendered text refers to
  const NameTable* names = nullptr;     // TypeScript names; raw names when null (signatures)
  // The alias definition being written, until an object, array, tuple or record is entered: a
  // reference to it (or to its group) there would make the alias circular.
  DefId alias_of = no_id;
  RenderMode mode = RenderMode::firestore;
  Sdk sdk = Sdk::web;
  bool jsdoc = false;            // titles and descriptions as JSDoc above declarations and members
  bool literals_sorted = false;  // canonical: an enum's values in byte order of their text
};

// Types rendered inside an object, array, tuple or record may refer to the alias itself.
class AliasGuardPause {
 public:
  explicit AliasGuardPause(Ctx& ctx) : ctx_(ctx), saved_(ctx.alias_of) { ctx.alias_of = no_id; }
  ~AliasGuardPause() { ctx_.alias_of = saved_; }
  AliasGuardPause(const AliasGuardPause&) = delete;
  AliasGuardPause& operator=(const AliasGuardPause&) = delete;

 private:
  Ctx& ctx_;
  DefId saved_;
};

// Would a reference to the definition `target` here make the alias being written circular?
bool refers_back_to_alias(const Ctx& ctx, DefId target);

// A read-side string enum: its members are all strings, and there is one at least.
bool is_open_enum(std::span<const Datum> members);

// An array read as a tuple: its places, of which a value holds the first `required` at least,
// then any number of `rest` items (no_id: none).
struct TupleShape {
  std::span<const NodeId> places;
  std::size_t required = 0;
  NodeId rest = no_id;
};

// The array `node` as a tuple: its `prefixItems` up to `maxItems`, optional past `minItems`, then
// `items` where that is a schema and `maxItems` leaves room. An array of at most 0 items is the
// empty tuple whatever it says. nullopt for a list.
std::optional<TupleShape> tuple_shape(const Contract& contract, const TypeNode& node);

// Appends the type text of `node` to `out`. Never fails; recursion is bounded by the nesting
// limit of the parsed tree.
void append_type(Ctx& ctx, NodeId node, Side side, std::string& out);
// What a bare `$ref` to `name` renders, wherever it stands, on the read side.
void append_reference(Ctx& ctx, std::string_view name, DefId target, Side side, std::string& out);

}  // namespace brenvale
