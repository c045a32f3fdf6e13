// Schema node -> TypeScript type expression, in Firestore, plain or canonical mode.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "contract/schema_keys.hpp"
#include "json/json_value.hpp"
#include "typescript/name_table.hpp"
#include "typescript/render_mode.hpp"
#include "util/ordered_set.hpp"

namespace brenvale {

// One rendering context per emitter run or per signature.
struct Ctx {
  OrderedSet<std::string_view> imports;  // names from the SDK module; static strings only
  OrderedSet<std::string> shared;        // definitions imported from the shared module
  OrderedSet<std::string> used_shared;   // shared names the rendered text refers to
  const Value* defs = &empty_object();   // borrowed `$defs` table
  const NameTable* names = nullptr;      // TypeScript names; raw names when null (signatures)
  // The definition whose alias is being written, until an object, array, tuple or record is
  // entered: a reference to it there would make the alias circular.
  std::optional<std::string_view> alias_of;
  // Alias definition -> its group: aliases of one group refer to each other there.
  const std::unordered_map<std::string_view, std::size_t>* alias_groups = nullptr;
  RenderMode mode = RenderMode::firestore;
  Sdk sdk = Sdk::web;
  bool jsdoc = false;  // titles and descriptions as JSDoc above declarations and members
};

// Types rendered inside an object, array, tuple or record may refer to the alias itself.
class AliasGuardPause {
 public:
  explicit AliasGuardPause(Ctx& ctx) : ctx_(ctx), saved_(ctx.alias_of) { ctx.alias_of.reset(); }
  ~AliasGuardPause() { ctx_.alias_of = saved_; }
  AliasGuardPause(const AliasGuardPause&) = delete;
  AliasGuardPause& operator=(const AliasGuardPause&) = delete;

 private:
  Ctx& ctx_;
  std::optional<std::string_view> saved_;
};

// Would a reference to the definition `name` here make the alias being written circular?
bool refers_back_to_alias(const Ctx& ctx, std::string_view name);

// Appends the type text of `node` to `out`. Never fails; recursion is bounded by the
// nesting limit of the parsed tree.
void append_type(Ctx& ctx, const Value& node, Side side, std::string& out);
// The same for a node whose keys were scanned already.
void append_type(Ctx& ctx, const SchemaKeys& keys, Side side, std::string& out);
// Appends the type text for one JSON Schema type name carried by `node`.
void append_json_type(Ctx& ctx, std::string_view type_name, const Value& node, Side side,
                      std::string& out);
void append_json_type(Ctx& ctx, std::string_view type_name, const SchemaKeys& keys, Side side,
                      std::string& out);

// The owned-string form of the first.
std::string render_type(Ctx& ctx, const Value& node, Side side);

}  // namespace brenvale
