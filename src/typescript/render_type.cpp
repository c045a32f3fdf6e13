// Schema node -> TypeScript type expression, in Firestore, plain or canonical mode.
#include "typescript/render_type.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <optional>
#include <unordered_set>

#include "contract/bundle.hpp"
#include "contract/schema_keys.hpp"
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

void append_joined_literals(std::span<const Value> values, std::string& out) {
  bool first = true;
  for (const Value& value : values) {
    if (!first) out += " | ";
    first = false;
    append_literal(value, out);
  }
}

bool all_strings(std::span<const Value> values) {
  return std::all_of(values.begin(), values.end(), [](const Value& v) { return v.is_string(); });
}

void append_name(const Ctx& ctx, std::string_view raw, std::string& out) {
  if (ctx.names != nullptr) {
    ctx.names->append(raw, out);
  } else {
    out += raw;
  }
}

// Records the import of a shared name, as the module spells it, and of its "...Write" type.
void record_shared(Ctx& ctx, std::string_view raw, Side side = Side::read) {
  if (ctx.shared.find(raw) == ctx.shared.end()) return;
  std::string name;
  append_name(ctx, raw, name);
  if (side == Side::write) name += "Write";
  if (ctx.used_shared.find(name) == ctx.used_shared.end()) ctx.used_shared.insert(std::move(name));
}

void append_firestore_type(Ctx& ctx, const SchemaKeys& keys, std::string_view kind, Side side,
                           std::string& out) {
  if (kind == "timestamp") {
    const bool server_filled =
        keys[Atom::server_timestamp] != nullptr && keys[Atom::server_timestamp]->is_true();
    if (side == Side::write && server_filled) {
      ctx.imports.insert("FieldValue");
      out += "FieldValue";
    } else {
      ctx.imports.insert("Timestamp");
      out += side == Side::write ? "Timestamp | Date"
             : server_filled     ? "Timestamp | null"
                                 : "Timestamp";
    }
  } else if (kind == "reference") {
    ctx.imports.insert("DocumentReference");
    if (const Value* target = keys[Atom::ref_target]; target != nullptr && target->is_string()) {
      // A target that names a shared definition must be imported like a $ref to it.
      record_shared(ctx, target->string());
      out += "DocumentReference<";
      append_name(ctx, target->string(), out);
      out += '>';
    } else {
      ctx.imports.insert("DocumentData");
      out += "DocumentReference<DocumentData>";
    }
  } else if (kind == "geopoint") {
    ctx.imports.insert("GeoPoint");
    out += "GeoPoint";
  } else if (kind == "vector") {
    // The Admin SDK does not export its VectorValue class; the module declares it for itself.
    ctx.imports.insert("VectorValue");
    out += "VectorValue";
  } else if (kind == "bytes") {
    // The Admin SDK reads bytes as a Buffer and writes any Uint8Array.
    if (ctx.sdk == Sdk::admin) {
      out += "Uint8Array";
    } else {
      ctx.imports.insert("Bytes");
      out += "Bytes";
    }
  } else {
    out += "unknown";
  }
}

void append_reference(Ctx& ctx, std::string_view ref, Side side, std::string& out) {
  const std::size_t slash = ref.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? ref : ref.substr(slash + 1);
  if (refers_back_to_alias(ctx, name)) {
    out += "unknown";
    return;
  }
  record_shared(ctx, name);
  const Value* definition = ctx.defs->find(name);
  const Value* members = definition != nullptr ? definition->find(Atom::enum_values) : nullptr;
  if (members == nullptr) {
    append_name(ctx, name, out);
    if (side == Side::write) {
      out += "Write";
      // The write side names the shared module's "...Write" type, so import that too.
      record_shared(ctx, name, Side::write);
    }
    return;
  }
  const std::span<const Value> items = members->array();
  const bool string_enum = !items.empty() && all_strings(items);
  if (ctx.mode == RenderMode::plain) {
    append_name(ctx, name, out);
  } else if (ctx.mode == RenderMode::canonical) {
    if (string_enum) {
      out += "string";
    } else if (members->is_array()) {
      append_joined_literals(items, out);
    } else {
      out += name;
    }
  } else {
    append_name(ctx, name, out);
    if (side == Side::read && string_enum) out += open_string_suffix;
  }
}

void append_inline_enum(const Ctx& ctx, std::span<const Value> items, Side side, std::string& out) {
  const bool strings_only = all_strings(items);
  if (ctx.mode == RenderMode::canonical && strings_only) {
    out += "string";
    return;
  }
  if (items.empty() && ctx.mode != RenderMode::canonical) {
    out += "never";  // no value is allowed
    return;
  }
  append_joined_literals(items, out);
  if (ctx.mode == RenderMode::firestore && side == Side::read && strings_only)
    out += open_string_suffix;
}

}  // namespace

bool refers_back_to_alias(const Ctx& ctx, std::string_view name) {
  if (!ctx.alias_of) return false;
  if (*ctx.alias_of == name) return true;
  if (ctx.alias_groups == nullptr) return false;
  const auto from = ctx.alias_groups->find(*ctx.alias_of);
  const auto to = ctx.alias_groups->find(name);
  return from != ctx.alias_groups->end() && to != ctx.alias_groups->end() &&
         from->second == to->second;
}

void append_type(Ctx& ctx, const Value& node, Side side, std::string& out) {
  append_type(ctx, scan_schema(node), side, out);
}

void append_type(Ctx& ctx, const SchemaKeys& keys, Side side, std::string& out) {
  if (keys[Atom::firestore_type] != nullptr && keys[Atom::firestore_type]->is_string()) {
    append_firestore_type(ctx, keys, keys[Atom::firestore_type]->string(), side, out);
    return;
  }
  if (keys[Atom::ref] != nullptr && keys[Atom::ref]->is_string()) {
    append_reference(ctx, keys[Atom::ref]->string(), side, out);
    return;
  }
  if (keys[Atom::const_value] != nullptr) {
    append_literal(*keys[Atom::const_value], out);
    return;
  }
  if (keys[Atom::enum_values] != nullptr && keys[Atom::enum_values]->is_array()) {
    append_inline_enum(ctx, keys[Atom::enum_values]->array(), side, out);
    return;
  }
  const Value* alternatives = keys[Atom::any_of];
  if (alternatives == nullptr || !alternatives->is_array()) alternatives = keys[Atom::one_of];
  if (alternatives != nullptr && alternatives->is_array()) {
    UnionWriter writer(out, ctx.mode == RenderMode::canonical);
    for (const Value& member : alternatives->array()) {
      writer.add([&](std::string& buffer) { append_type(ctx, member, side, buffer); });
    }
    writer.finish();
    if (writer.empty() && ctx.mode != RenderMode::canonical) out += "never";
    return;
  }
  if (const Value* type = keys[Atom::type]) {
    if (type->is_string()) {
      append_json_type(ctx, type->string(), keys, side, out);
      return;
    }
    if (type->is_array()) {
      UnionWriter writer(out, ctx.mode == RenderMode::canonical);
      for (const Value& entry : type->array()) {
        if (!entry.is_string()) continue;
        writer.add([&](std::string& buffer) {
          append_json_type(ctx, entry.string(), keys, side, buffer);
        });
      }
      writer.finish();
      if (writer.empty() && ctx.mode != RenderMode::canonical) out += "never";
      return;
    }
  }
  out += "unknown";
}

void append_json_type(Ctx& ctx, std::string_view type_name, const Value& node, Side side,
                      std::string& out) {
  append_json_type(ctx, type_name, scan_schema(node), side, out);
}

void append_json_type(Ctx& ctx, std::string_view type_name, const SchemaKeys& keys, Side side,
                      std::string& out) {
  if (type_name == "null") {
    out += "null";
  } else if (type_name == "string") {
    out += "string";
  } else if (type_name == "number" || type_name == "integer") {
    out += "number";
  } else if (type_name == "boolean") {
    out += "boolean";
  } else if (type_name == "object") {
    const AliasGuardPause pause(ctx);
    const Value* values = keys[Atom::additional_properties];
    if (values == nullptr || values->is_true()) {
      out += "Record<string, unknown>";
    } else if (values->is_object()) {
      out += "Record<string, ";
      append_type(ctx, *values, side, out);
      out += '>';
    } else {
      out += "Record<string, never>";
    }
  } else if (type_name == "array") {
    const AliasGuardPause pause(ctx);
    if (const Value* tuple = keys[Atom::prefix_items]; tuple != nullptr && tuple->is_array()) {
      out += '[';
      bool first = true;
      for (const Value& member : tuple->array()) {
        if (!first) out += ", ";
        first = false;
        append_type(ctx, member, side, out);
      }
      out += ']';
    } else if (const Value* items = keys[Atom::items]) {
      const std::size_t start = out.size();
      append_type(ctx, *items, side, out);
      if (out.find('|', start) != std::string::npos) {
        out.insert(start, 1, '(');
        out += ")[]";
      } else {
        out += "[]";
      }
    } else {
      out += "unknown[]";
    }
  } else {
    out += "unknown";
  }
}

std::string render_type(Ctx& ctx, const Value& node, Side side) {
  std::string out;
  append_type(ctx, node, side, out);
  return out;
}

}  // namespace brenvale
