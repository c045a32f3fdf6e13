// Type node -> TypeScript type expression, in Firestore, plain or canonical mode.
#include "typescript/render_type.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <optional>
#include <unordered_set>
#include <vector>

#include "typescript/literal.hpp"

namespace brenvale {
namespace {

// Lets a read-side string enum accept values added by a later contract version.
constexpr std::string_view open_string_suffix = " | (string & {})";

// A union member already written into the output buffer.
struct Span {
  std::size_t offset;
  std::size_t length;
};

// The kept members of one union. Most unions are "T | null": the first few spans live inline,
// so rendering them allocates nothing.
class SpanList {
 public:
  void push_back(Span span) {
    if (size_ < few_.size()) {
      few_[size_] = span;
    } else {
      if (size_ == few_.size()) many_.assign(few_.begin(), few_.end());
      many_.push_back(span);
    }
    ++size_;
  }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const Span* begin() const { return size_ <= few_.size() ? few_.data() : many_.data(); }
  const Span* end() const { return begin() + size_; }

 private:
  std::array<Span, 4> few_{};
  std::vector<Span> many_;
  std::size_t size_ = 0;
};

// Keeps the first occurrence of each member text and, in canonical mode, sorts them.
// Members are rendered straight into `out`; a duplicate is cut off again right away.
class UnionWriter {
 public:
  UnionWriter(std::string& out, bool sort) : out_(out), base_(out.size()), sort_(sort) {}

  template <class Render>
  void add(Render&& render) {
    const std::size_t before = out_.size();
    if (!kept_.empty()) out_ += " | ";
    const std::size_t start = out_.size();
    render(out_);
    const Span span{start, out_.size() - start};
    if (is_duplicate(span)) {
      out_.resize(before);
      return;
    }
    kept_.push_back(span);
    if (seen_) seen_->insert(span);
  }

  bool empty() const { return kept_.empty(); }

  void finish() {
    if (!sort_ || kept_.size() < 2) return;
    std::vector<std::string_view> members;
    members.reserve(kept_.size());
    const std::string text = out_.substr(base_);
    for (const Span& span : kept_)
      members.emplace_back(text.data() + (span.offset - base_), span.length);
    std::sort(members.begin(), members.end());
    out_.resize(base_);
    for (std::size_t i = 0; i < members.size(); ++i) {
      if (i != 0) out_ += " | ";
      out_ += members[i];
    }
  }

 private:
  // Hashes and compares spans through the buffer, which may move as it grows.
  struct SpanHash {
    const std::string* buffer;
    std::size_t operator()(const Span& s) const {
      return std::hash<std::string_view>()(std::string_view(buffer->data() + s.offset, s.length));
    }
  };
  struct SpanEqual {
    const std::string* buffer;
    bool operator()(const Span& a, const Span& b) const {
      return a.length == b.length &&
             std::memcmp(buffer->data() + a.offset, buffer->data() + b.offset, a.length) == 0;
    }
  };
  using SpanSet = std::unordered_set<Span, SpanHash, SpanEqual>;

  std::string_view view(const Span& s) const { return {out_.data() + s.offset, s.length}; }

  bool is_duplicate(const Span& span) {
    // Short unions are scanned; long ones switch to a hash set so they stay linear.
    constexpr std::size_t scan_limit = 8;
    if (!seen_ && kept_.size() >= scan_limit) {
      seen_.emplace(kept_.size() * 2, SpanHash{&out_}, SpanEqual{&out_});
      seen_->insert(kept_.begin(), kept_.end());
    }
    if (seen_) return seen_->count(span) != 0;
    const std::string_view text = view(span);
    return std::any_of(kept_.begin(), kept_.end(), [&](const Span& s) { return view(s) == text; });
  }

  std::string& out_;
  std::size_t base_;
  bool sort_;
  SpanList kept_;
  std::optional<SpanSet> seen_;
};

// With `sorted`, in byte order of their text: one set of values, whatever its order, reads alike.
void append_joined_literals(std::span<const Datum> values, bool sorted, std::string& out) {
  if (sorted) {
    std::vector<std::string> texts(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) append_literal(values[i], texts[i]);
    std::sort(texts.begin(), texts.end());
    for (std::size_t i = 0; i < texts.size(); ++i) {
      if (i != 0) out += " | ";
      out += texts[i];
    }
    return;
  }
  bool first = true;
  for (const Datum& value : values) {
    if (!first) out += " | ";
    first = false;
    append_literal(value, out);
  }
}

void append_name(const Ctx& ctx, std::string_view raw, std::string& out) {
  if (ctx.names != nullptr) {
    ctx.names->append(raw, out);
  } else {
    out += raw;
  }
}

// The same for a name known to be the definition `target` (or no definition): its entry is
// found by id, not searched for by its text.
void append_name(const Ctx& ctx, std::string_view raw, DefId target, std::string& out) {
  if (ctx.names != nullptr && target != no_id) {
    out += ctx.names->of(target);
  } else {
    append_name(ctx, raw, out);
  }
}

void append_write_name(const Ctx& ctx, std::string_view raw, std::string& out) {
  if (ctx.names != nullptr) {
    ctx.names->append_write(raw, out);
  } else {
    out += write_name(raw);
  }
}

// Records the import of a shared name, as the module spells it, and of its write type.
void record_shared(Ctx& ctx, std::string_view raw, Side side = Side::read) {
  if (ctx.shared.find(raw) == ctx.shared.end()) return;
  std::string name;
  if (side == Side::write) {
    append_write_name(ctx, raw, name);
  } else {
    append_name(ctx, raw, name);
  }
  if (ctx.used_shared.find(name) == ctx.used_shared.end()) ctx.used_shared.insert(std::move(name));
}

void append_firestore_type(Ctx& ctx, const TypeNode& node, Side side, std::string& out) {
  switch (node.firestore) {
    case FirestoreKind::timestamp:
      if (side == Side::write && node.server_timestamp) {
        ctx.imports.insert(SdkType::field_value);
        out += "FieldValue";
      } else {
        ctx.imports.insert(SdkType::timestamp);
        out += side == Side::write     ? "Timestamp | Date"
               : node.server_timestamp ? "Timestamp | null"
                                       : "Timestamp";
      }
      return;
    case FirestoreKind::reference:
      ctx.imports.insert(SdkType::document_reference);
      if (node.has_ref_target) {
        // A target that names a shared definition must be imported like a $ref to it.
        const NodeExtras& extras = ctx.contract->extras_of(node);
        record_shared(ctx, extras.ref_target);
        out += "DocumentReference<";
        append_name(ctx, extras.ref_target, extras.ref_target_def, out);
        out += '>';
      } else {
        ctx.imports.insert(SdkType::document_data);
        out += "DocumentReference<DocumentData>";
      }
      return;
    case FirestoreKind::geopoint:
      ctx.imports.insert(SdkType::geo_point);
      out += "GeoPoint";
      return;
    case FirestoreKind::vector:
      // The Admin SDK does not export its VectorValue class; the module declares it for itself.
      ctx.imports.insert(SdkType::vector_value);
      out += "VectorValue";
      return;
    case FirestoreKind::bytes:
      // The Admin SDK reads bytes as a Buffer and writes any Uint8Array.
      if (ctx.sdk == Sdk::admin) {
        out += "Uint8Array";
      } else {
        ctx.imports.insert(SdkType::bytes);
        out += "Bytes";
      }
      return;
    case FirestoreKind::other:
      out += "unknown";
      return;
  }
}

void append_inline_enum(const Ctx& ctx, std::span<const Datum> items, Side side, std::string& out) {
  const bool strings_only =
      std::all_of(items.begin(), items.end(), [](const Datum& d) { return d.is_string(); });
  if (ctx.mode == RenderMode::canonical && strings_only) {
    out += "string";
    return;
  }
  if (items.empty() && ctx.mode != RenderMode::canonical) {
    out += "never";  // no value is allowed
    return;
  }
  append_joined_literals(items, ctx.literals_sorted, out);
  if (ctx.mode == RenderMode::firestore && side == Side::read && strings_only)
    out += open_string_suffix;
}

// Does the node name the alias being written, or one that names it back, where TypeScript
// resolves the name as it resolves the alias: through unions, and through the values of records,
// since an instantiation of `Record` is resolved at once where an array or object type waits.
// Recursion is bounded by the nesting limit of the tree the contract was read from.
bool eagerly_refers_back(const Ctx& ctx, NodeId id) {
  if (ctx.alias_of == no_id || id == no_id) return false;
  const TypeNode& node = ctx.contract->node(id);
  switch (node.form) {
    case TypeForm::reference: {
      const std::vector<std::uint32_t>& groups = ctx.contract->record_groups;
      return refers_back_to_alias(ctx, node.ref_def) ||
             (node.ref_def != no_id && !groups.empty() && groups[ctx.alias_of] != no_id &&
              groups[ctx.alias_of] == groups[node.ref_def]);
    }
    case TypeForm::alternatives: {
      const auto members = ctx.contract->alternatives(node);
      return std::any_of(members.begin(), members.end(),
                         [&ctx](NodeId member) { return eagerly_refers_back(ctx, member); });
    }
    case TypeForm::json: {
      const auto types = ctx.contract->types(node);
      return node.record == RecordValues::schema &&
             std::any_of(types.begin(), types.end(),
                         [](const TypeName& name) { return name.type == JsonType::object; }) &&
             eagerly_refers_back(ctx, node.record_node);
    }
    default:
      return false;
  }
}

// The type of `id` with a postfix (`[]`, or `?` of an optional tuple place), which binds
// tighter than a union: a union is put in parentheses first.
void append_suffixed(Ctx& ctx, NodeId id, Side side, std::string_view suffix, std::string& out) {
  const std::size_t start = out.size();
  append_type(ctx, id, side, out);
  if (out.find('|', start) != std::string::npos) {
    out.insert(start, 1, '(');
    out += ')';
  }
  out += suffix;
}

void append_json_type(Ctx& ctx, JsonType type, const TypeNode& node, Side side, std::string& out) {
  switch (type) {
    case JsonType::null:
      out += "null";
      return;
    case JsonType::string:
      out += "string";
      return;
    case JsonType::number:
    case JsonType::integer:
      out += "number";
      return;
    case JsonType::boolean:
      out += "boolean";
      return;
    case JsonType::object: {
      // A record whose values name the alias would make it circular; an index signature waits.
      const bool index_signature =
          node.record == RecordValues::schema && eagerly_refers_back(ctx, node.record_node);
      const AliasGuardPause pause(ctx);
      if (node.record == RecordValues::any) {
        out += "Record<string, unknown>";
      } else if (node.record == RecordValues::schema) {
        out += index_signature ? "{ [key: string]: " : "Record<string, ";
        append_type(ctx, node.record_node, side, out);
        out += index_signature ? " }" : ">";
      } else {
        out += "Record<string, never>";
      }
      return;
    }
    case JsonType::array: {
      const AliasGuardPause pause(ctx);
      std::optional<TupleShape> shape = tuple_shape(*ctx.contract, node);
      if (ctx.mode == RenderMode::canonical) {
        // Compat weighs an array's length by the rules on its bounds: a signature names every
        // place of a tuple, and a list's items.
        shape.reset();
        if (node.has_tuple) {
          const std::span<const NodeId> places = ctx.contract->tuple(node);
          shape = TupleShape{places, places.size()};
        }
      }
      if (shape) {
        out += '[';
        for (std::size_t i = 0; i < shape->places.size(); ++i) {
          if (i != 0) out += ", ";
          if (i < shape->required) {
            append_type(ctx, shape->places[i], side, out);
          } else {
            append_suffixed(ctx, shape->places[i], side, "?", out);
          }
        }
        if (shape->rest != no_id) {
          if (!shape->places.empty()) out += ", ";
          out += "...";
          append_suffixed(ctx, shape->rest, side, "[]", out);
        }
        out += ']';
      } else if (node.items != no_id) {
        append_suffixed(ctx, node.items, side, "[]", out);
      } else {
        out += "unknown[]";
      }
      return;
    }
    case JsonType::other:
      out += "unknown";
      return;
  }
}

}  // namespace

std::optional<TupleShape> tuple_shape(const Contract& contract, const TypeNode& node) {
  const Datum& most = contract.constraint(node, Atom::max_items);
  const bool bounded = most.is_count();
  if (!node.has_tuple && !(bounded && most.count() == 0)) return std::nullopt;
  TupleShape shape;
  shape.places = contract.tuple(node);
  if (bounded && most.count() < shape.places.size())
    shape.places = shape.places.first(most.count());
  const Datum& least = contract.constraint(node, Atom::min_items);
  shape.required = least.is_count() && least.count() < shape.places.size()
                       ? static_cast<std::size_t>(least.count())
                       : shape.places.size();
  // `items` with `prefixItems` are the items past its places; `false` or `true` is no schema.
  if (node.has_tuple && node.items != no_id && contract.node(node.items).is_object &&
      (!bounded || most.count() > shape.places.size()))
    shape.rest = node.items;
  return shape;
}

bool is_open_enum(std::span<const Datum> members) {
  return !members.empty() &&
         std::all_of(members.begin(), members.end(), [](const Datum& d) { return d.is_string(); });
}

bool refers_back_to_alias(const Ctx& ctx, DefId target) {
  if (ctx.alias_of == no_id || target == no_id) return false;
  if (ctx.alias_of == target) return true;
  const Definition& from = ctx.contract->definitions[ctx.alias_of];
  const Definition& to = ctx.contract->definitions[target];
  return from.alias_group != no_id && from.alias_group == to.alias_group;
}

void append_reference(Ctx& ctx, std::string_view name, DefId target, Side side, std::string& out) {
  if (refers_back_to_alias(ctx, target)) {
    out += "unknown";
    return;
  }
  record_shared(ctx, name);
  const Definition* definition = target != no_id ? &ctx.contract->definitions[target] : nullptr;
  if (definition == nullptr || definition->kind != DefinitionKind::enumeration) {
    if (definition != nullptr && ctx.names != nullptr) {
      out += ctx.names->of(target);
      if (side == Side::write) out += write_suffix;
    } else if (side == Side::write) {
      append_write_name(ctx, name, out);
    } else {
      append_name(ctx, name, out);
    }
    // The write side names the shared module's write type, so import that too.
    if (side == Side::write) record_shared(ctx, name, Side::write);
    return;
  }
  const std::span<const Datum> items = ctx.contract->members_of(*definition);
  const bool string_enum = is_open_enum(items);
  if (ctx.mode == RenderMode::plain) {
    append_name(ctx, name, target, out);
  } else if (ctx.mode == RenderMode::canonical) {
    if (string_enum) {
      out += "string";
    } else if (definition->enum_is_array) {
      append_joined_literals(items, ctx.literals_sorted, out);
    } else {
      out += name;
    }
  } else {
    append_name(ctx, name, target, out);
    if (side == Side::read && string_enum) out += open_string_suffix;
  }
}

void append_type(Ctx& ctx, NodeId id, Side side, std::string& out) {
  const TypeNode& node = ctx.contract->node(id);
  switch (node.form) {
    case TypeForm::firestore:
      append_firestore_type(ctx, node, side, out);
      return;
    case TypeForm::reference:
      append_reference(ctx, ctx.contract->ref_name(node), node.ref_def, side, out);
      return;
    case TypeForm::literal:
      append_literal(ctx.contract->extras_of(node).constant, out);
      return;
    case TypeForm::enumeration:
      append_inline_enum(ctx, ctx.contract->enum_values(node), side, out);
      return;
    case TypeForm::alternatives: {
      UnionWriter writer(out, ctx.mode == RenderMode::canonical);
      for (const NodeId member : ctx.contract->alternatives(node)) {
        writer.add([&](std::string& buffer) { append_type(ctx, member, side, buffer); });
      }
      writer.finish();
      if (writer.empty() && ctx.mode != RenderMode::canonical) out += "never";
      return;
    }
    case TypeForm::json: {
      const std::span<const TypeName> types = ctx.contract->types(node);
      if (!node.type_list) {
        append_json_type(ctx, types.front().type, node, side, out);
        return;
      }
      UnionWriter writer(out, ctx.mode == RenderMode::canonical);
      for (const TypeName& entry : types) {
        writer.add(
            [&](std::string& buffer) { append_json_type(ctx, entry.type, node, side, buffer); });
      }
      writer.finish();
      if (writer.empty() && ctx.mode != RenderMode::canonical) out += "never";
      return;
    }
    case TypeForm::unknown:
      out += "unknown";
      return;
  }
}

}  // namespace brenvale
