// Reads a parsed bundle into the contract model, one pass over each schema node.
#include <algorithm>
#include <array>
#include <bit>
#include <optional>
#include <string>
#include <utility>

#include "contract/alias_groups.hpp"
#include "contract/model.hpp"
#include "contract/schema_meaning.hpp"
#include "util/byte_order.hpp"
#include "util/page_resource.hpp"
#include "util/spare_list.hpp"

namespace brenvale {
namespace {

// A container's content as tagged text, equal exactly when the trees are equal.
void serialise(const Value& value, std::string& out) {
  switch (value.kind) {
    case Kind::array:
      out += '[';
      for (const Value& item : value.array()) serialise(item, out);
      out += ']';
      return;
    case Kind::object:
      out += '{';
      for (const Member& member : value.object()) {
        out += std::to_string(member.key.size()) + ':';
        out += member.key;
        serialise(member.value, out);
      }
      out += '}';
      return;
    default:
      serialise_scalar(scalar_datum(value), out);
      return;
  }
}

// The lists a builder only works in. Each thread keeps them from one model to the next, so a
// small bundle's read allocates none of them: a builder takes the thread's lists while it reads
// (another builder meanwhile starts with none), then gives them back.
struct BuilderLists {
  std::vector<std::pair<NodeId, std::string_view>> references;
  std::vector<NodeId> targets;
  std::vector<std::string_view> named;
  std::vector<std::string_view> required;
  std::vector<const Value*> pending;
  std::vector<NodeId> child_ids;
};

// Out of line: inlined, GCC asks the thread's address again after each call that follows.
[[gnu::noinline]] BuilderLists& spare_lists() {
  thread_local BuilderLists lists;
  return lists;
}

class Builder {
 public:
  Builder(Contract& contract, DefinitionTable table)
      : contract_(contract), reads_all_of_(table == DefinitionTable::defs_or_draft07) {
    leaves_.fill(no_id);
    BuilderLists& spare = spare_lists();
    references_ = std::move(spare.references);
    targets_ = std::move(spare.targets);
    named_ = std::move(spare.named);
    required_ = std::move(spare.required);
    pending_ = std::move(spare.pending);
    child_ids_ = std::move(spare.child_ids);
  }
  Builder(const Builder&) = delete;
  Builder& operator=(const Builder&) = delete;
  Contract& contract() { return contract_; }
  // The lists go back to the thread, unless a large bundle grew them.
  ~Builder() {
    BuilderLists& spare = spare_lists();
    keep_spare(references_, spare.references);
    keep_spare(targets_, spare.targets);
    keep_spare(named_, spare.named);
    keep_spare(required_, spare.required);
    keep_spare(pending_, spare.pending);
    keep_spare(child_ids_, spare.child_ids);
  }

  Datum datum(const Value* value) {
    if (value == nullptr) return Datum();
    if (value->kind != Kind::array && value->kind != Kind::object) return scalar_datum(*value);
    Datum d;
    d.present = true;
    d.kind = value->kind;
    std::string text;
    serialise(*value, text);
    const std::string_view kept = keep(text);
    d.chars = kept.data();
    d.size = static_cast<std::uint32_t>(kept.size());
    return d;
  }

  // What a node's `allOf` leaves as its alternatives: an `allOf` of one schema is that schema,
  // read as a union of it alone, where the node names no type, union or reference of its own;
  // otherwise (several schemas are an intersection) it is not read, and names what it names.
  [[gnu::cold]] [[gnu::noinline]] const Value* alternatives_of_all(const Value& all_of,
                                                                   const Value* alternatives,
                                                                   bool typed) {
    if (!typed && all_of.is_array() && all_of.array().size() == 1 &&
        (alternatives == nullptr || !alternatives->is_array()))
      return &all_of;
    foreign_names_under(all_of);
    return alternatives;
  }

  // A schema node and everything under it. `with_properties`: the caller reads `properties` as
  // the definition's own.
  NodeId node(const Value& schema, bool with_properties = false) {
    ++contract_.schemas;
    const auto id = static_cast<NodeId>(contract_.nodes.size());
    contract_.nodes.emplace_back();
    if (!schema.is_object()) {
      // A schema that is a string under `$ref` (a property so named) still names a definition.
      named_by(schema);
      foreign_names_under(schema);
      return id;
    }
    // The members the node is read from, found in one pass.
    const Value* type = nullptr;
    const Value* any_of = nullptr;
    const Value* one_of = nullptr;
    const Value* prefix_items = nullptr;
    const Value* items = nullptr;
    const Value* additional = nullptr;
    const Value* enum_values = nullptr;
    const Value* properties = nullptr;
    const Value* key_names = nullptr;
    const Value* key_patterns = nullptr;
    const Value* all_of = nullptr;
    // Written where it lies: a whole node built aside and copied in was read back right after
    // its bit-fields were written, which stalled that read on every node. A call below that
    // may add nodes can move the vector, so `n` is taken again after each.
    TypeNode* n = &contract_.nodes[id];
    // The rarer facts gather in `extras_`, kept only when one is there: nothing below recurses
    // before it is stored.
    NodeExtras& x = extras_;
    bool has_extras = false;
    bool renamed_bound = false;  // a bound read under Pydantic's own name
    n->is_object = true;
    n->constraints.first = static_cast<std::uint32_t>(contract_.constraints.size());
    for (const Member& member : schema.object()) {
      const Value& value = member.value;
      const Atom atom = value.key_atom;
      if (atom == Atom::other) {
        // Read in another tool's spellings only; the key table keeps to this system's keys.
        if (reads_all_of_ && member.key == "allOf") [[unlikely]] {
          all_of = &value;
          continue;
        }
        if (const Atom bound = reads_all_of_ ? pydantic_bound(member.key) : Atom::other;
            bound != Atom::other && value.kind >= Kind::int64 && value.kind <= Kind::float64 &&
            schema.find(bound) == nullptr) [[unlikely]] {
          contract_.constraints.push_back({bound, datum(&value)});
          renamed_bound = true;
          continue;
        }
        foreign_names_under(value);
        continue;
      }
      // In key order, the same in every model: compat compares the lists as they stand.
      if (is_constraint_key(atom)) {
        contract_.constraints.push_back({atom, datum(&value)});
        if (!holds_schemas(atom)) foreign_names_under(value);
      }
      switch (atom) {
        case Atom::server_timestamp:
          n->server_timestamp = value.is_true();
          foreign_names_under(value);
          break;
        case Atom::read_only:
          n->read_only = value.is_true();
          foreign_names_under(value);
          break;
        case Atom::presence_guaranteed:
          n->presence_guaranteed = value.is_true();
          foreign_names_under(value);
          break;
        case Atom::firestore_type:
          if (value.is_string()) {
            x.firestore_text = value.string();
            n->firestore = firestore_kind_of(value.word);
            has_extras = true;
          } else {
            foreign_names_under(value);
          }
          break;
        case Atom::ref:
          if (value.is_string()) {
            n->has_ref = true;
            if (const std::optional<std::string_view> decoded = decoded_ref_name(value.string()))
                [[unlikely]]
              decoded_refs_.push_back({references_.size(), *decoded});
            references_.push_back({id, last_segment(value.string())});
          } else {
            foreign_names_under(value);
          }
          break;
        case Atom::ref_target:
          if (value.is_string()) {
            n->has_ref_target = true;
            x.ref_target = value.string();
            targets_.push_back(id);
            has_extras = true;
          } else {
            foreign_names_under(value);
          }
          break;
        case Atom::description:
          if (value.is_string()) {
            x.description = value.string();
            has_extras = true;
          } else {
            foreign_names_under(value);
          }
          break;
        case Atom::const_value:
          n->has_constant = true;
          x.constant = datum(&value);
          has_extras = true;
          foreign_names_under(value);
          break;
        case Atom::default_value:
          x.default_value = datum(&value);
          has_extras = true;
          foreign_names_under(value);
          break;
        case Atom::type:
          type = &value;
          break;
        case Atom::any_of:
          any_of = &value;
          break;
        case Atom::one_of:
          one_of = &value;
          break;
        case Atom::prefix_items:
          prefix_items = &value;
          break;
        case Atom::items:
          items = &value;
          break;
        case Atom::additional_properties:
          additional = &value;
          break;
        case Atom::enum_values:
          enum_values = &value;
          foreign_names_under(value);
          break;
        case Atom::discriminator:
          if (const Value* property = value.find("propertyName");
              property != nullptr && property->is_string()) {
            n->has_discriminator_property = true;
            x.discriminator_property = property->string();
            has_extras = true;
          }
          if (const Value* mapping = value.find(Atom::mapping)) {
            x.mapping.first = static_cast<std::uint32_t>(contract_.keys.size());
            for (const Member& key : mapping->object()) contract_.keys.push_back(key.key);
            x.mapping.count = static_cast<std::uint32_t>(contract_.keys.size()) - x.mapping.first;
            has_extras = has_extras || x.mapping.count != 0;
          }
          foreign_names_under(value);
          break;
        case Atom::properties:
          properties = &value;
          break;
        case Atom::property_names:
          key_names = &value;
          has_extras = has_extras || value.is_object();
          break;
        case Atom::pattern_properties:
          key_patterns = &value;
          has_extras = has_extras || value.is_object();
          break;
        default:
          foreign_names_under(value);
          break;
      }
    }
    n->constraints.count =
        static_cast<std::uint32_t>(contract_.constraints.size()) - n->constraints.first;
    if (renamed_bound) [[unlikely]] {
      // In the order of the keys they mean, as a bundle that spells them so lists them.
      const auto from = contract_.constraints.begin() + n->constraints.first;
      std::stable_sort(from, contract_.constraints.end(),
                       [](const ConstraintEntry& a, const ConstraintEntry& b) {
                         return byte_less(text_of(a.key), text_of(b.key));
                       });
    }
    const bool firestore_named = x.firestore_text.data() != nullptr;
    if (enum_values != nullptr && enum_values->is_array()) {
      n->has_enum = true;
      x.enum_values = data(enum_values->array());
      has_extras = true;
    }
    // A tuple's range is written into its extras once its members are read.
    n->has_tuple = prefix_items != nullptr && prefix_items->is_array();
    if (has_extras || n->has_tuple) {
      n->extras = static_cast<std::uint32_t>(contract_.extras.size());
      contract_.extras.push_back(x);
      x = NodeExtras{};
    }
    if (properties != nullptr && !(with_properties && properties->is_object()))
      foreign_names_under(*properties);
    const Value* alternatives = any_of;
    if (alternatives == nullptr || !alternatives->is_array()) alternatives = one_of;
    if (all_of != nullptr) [[unlikely]]
      alternatives = alternatives_of_all(*all_of, alternatives,
                                         type != nullptr || n->has_ref || firestore_named);
    if (alternatives != nullptr && alternatives->is_array()) {
      n->has_alternatives = true;
      const Range list = nodes(alternatives->array());
      n = &contract_.nodes[id];
      n->alternatives = list;
    }
    // Whichever of the two is not read as alternatives may still name definitions.
    for (const Value* other : {any_of, one_of}) {
      if (other != nullptr && !(n->has_alternatives && other == alternatives))
        foreign_names_under(*other);
    }
    if (type != nullptr) {
      n->types.first = static_cast<std::uint32_t>(contract_.type_names.size());
      if (type->is_string()) {
        type_name(*type);
        n->null_type = type->word == Word::null;
      }
      n->type_list = type->is_array();
      for (const Value& entry : type->array()) {
        if (entry.is_string())
          type_name(entry);
        else
          foreign_names_under(entry);
      }
      n->types.count = static_cast<std::uint32_t>(contract_.type_names.size()) - n->types.first;
      if (!type->is_string() && !type->is_array()) foreign_names_under(*type);
    }
    n->form =
        form_of(*n, firestore_named, type != nullptr && (type->is_string() || type->is_array()));
    if (additional != nullptr) {
      if (additional->is_object()) {
        n->record = RecordValues::schema;
        const NodeId values = node(*additional);
        n = &contract_.nodes[id];
        n->record_node = values;
      } else {
        if (!additional->is_true()) n->record = RecordValues::none;
        foreign_names_under(*additional);
      }
    }
    if (prefix_items != nullptr) {
      if (n->has_tuple) {
        const Range tuple = nodes(prefix_items->array());
        n = &contract_.nodes[id];
        contract_.extras[n->extras].tuple = tuple;
      } else {
        foreign_names_under(*prefix_items);
      }
    }
    if (items != nullptr) {
      const NodeId item = node(*items);
      contract_.nodes[id].items = item;
    }
    // Either key, when it is no object, holds no schema.
    if (key_names != nullptr && !key_names->is_object()) {
      foreign_names_under(*key_names);
      key_names = nullptr;
    }
    if (key_patterns != nullptr && !key_patterns->is_object()) {
      foreign_names_under(*key_patterns);
      key_patterns = nullptr;
    }
    if (key_names != nullptr || key_patterns != nullptr) read_map_keys(id, key_names, key_patterns);
    return shared_leaf(id);
  }

  // A node that says only its JSON type (`{"type": "string"}`, most properties of most models)
  // is the same node wherever it stands: the first one is kept, and a later one, just built and
  // last in the model with its one type name, is taken back. Nothing reads a node's id as its
  // place in the bundle.
  NodeId shared_leaf(NodeId id) {
    const TypeNode& n = contract_.nodes[id];
    if (n.types.count != 1 || n.constraints.count != 0 || id + 1 != contract_.nodes.size() ||
        n.types.first + 1 != contract_.type_names.size())
      return id;
    const JsonType type = contract_.type_names[n.types.first].type;
    if (type == JsonType::other) return id;
    TypeNode plain;
    plain.form = TypeForm::json;
    plain.is_object = true;
    plain.null_type = type == JsonType::null;
    plain.types = n.types;
    plain.constraints = n.constraints;
    if (!(n == plain)) return id;
    NodeId& kept = leaves_[static_cast<std::size_t>(type)];
    if (kept == no_id) {
      kept = id;
      return id;
    }
    contract_.nodes.pop_back();
    contract_.type_names.pop_back();
    return kept;
  }

  // Every `$ref` last segment and reference target under a value not read as a schema: those
  // that name no definition the module refers to all the same.
  void foreign_names_under(const Value& root) {
    if (root.kind < Kind::array) [[likely]]
      return;
    pending_.push_back(&root);
    while (!pending_.empty()) {
      const Value* value = pending_.back();
      pending_.pop_back();
      for (const Value& item : value->array()) {
        if (item.is_array() || item.is_object()) pending_.push_back(&item);
      }
      for (const Member& member : value->object()) {
        const Value& child = member.value;
        named_by(child);
        if (child.is_array() || child.is_object()) pending_.push_back(&child);
      }
    }
  }

  // A `$ref` names the definition its last segment names as written, and failing that, where
  // its pointer is escaped (`#/$defs/shop~1Address`), the one its decoded last segment names:
  // that name, kept in the pool; nullopt where the ref holds no escape, or one that does not
  // decode, or decodes to the segment as written.
  std::optional<std::string_view> decoded_ref_name(std::string_view ref) {
    if (!may_hold_ref_escape(ref)) [[likely]]
      return std::nullopt;
    const std::optional<std::string> decoded = decode_ref_name(ref);
    if (!decoded.has_value() || *decoded == last_segment(ref)) return std::nullopt;
    return keep(*decoded);
  }

  // The name a string under `$ref` or `x-firestore-ref-target` gives where no schema reads it.
  void named_by(const Value& value) {
    if (!value.is_string() || (value.key_atom != Atom::ref && value.key_atom != Atom::ref_target))
      return;
    if (value.key_atom == Atom::ref) {
      if (const std::optional<std::string_view> decoded = decoded_ref_name(value.string()))
          [[unlikely]] {
        named_decoded_.emplace_back(last_segment(value.string()), *decoded);
        return;
      }
    }
    named_.push_back(value.key_atom == Atom::ref ? last_segment(value.string()) : value.string());
  }

  // Room for `count` references, and for what a usual model's scratch lists hold at once.
  void reserve_references(std::size_t count) {
    references_.reserve(count);
    if (count >= 8) {
      required_.reserve(32);
      child_ids_.reserve(32);
    }
  }

  void move_pending_names(const std::function<void(std::string_view&)>& move) {
    for (auto& reference : references_) move(reference.second);
    for (std::string_view& name : named_) move(name);
    for (auto& names : named_decoded_) move(names.first);
  }

  // Once every definition is read: definitions in byte order of name, each reference resolved,
  // the names no definition has gathered. False when two definitions share a name, which only
  // the whole table can settle (its last one stands).
  bool finish() {
    std::vector<Definition>& definitions = contract_.definitions;
    const auto by_name = [](const Definition& a, const Definition& b) {
      return byte_less(a.name, b.name);
    };
    if (!std::is_sorted(definitions.begin(), definitions.end(), by_name))
      std::stable_sort(definitions.begin(), definitions.end(), by_name);
    if (std::adjacent_find(definitions.begin(), definitions.end(),
                           [](const Definition& a, const Definition& b) {
                             return a.name == b.name;
                           }) != definitions.end())
      return false;
    contract_.index.build(static_cast<std::uint32_t>(definitions.size()),
                          [&definitions](DefId id) { return definitions[id].name; });
    std::vector<std::string_view> foreign;
    const auto find = [&](std::string_view name) {
      return contract_.index.find(name, [&definitions](DefId at) { return definitions[at].name; });
    };
    const auto resolve = [&](std::string_view name) {
      const DefId id = find(name);
      if (id == no_id) foreign.push_back(name);
      return id;
    };
    auto decoded = decoded_refs_.begin();
    for (std::size_t at = 0; at < references_.size(); ++at) {
      const auto& [id, ref_name] = references_[at];
      TypeNode& n = contract_.nodes[id];
      n.ref_def = find(ref_name);
      if (decoded != decoded_refs_.end() && decoded->at == at) {
        if (n.ref_def == no_id) n.ref_def = find(decoded->name);
        ++decoded;
      }
      if (n.ref_def != no_id) continue;
      foreign.push_back(ref_name);
      // The name is kept only where no definition holds it; rare in a sound bundle.
      if (n.extras == no_id) {
        n.extras = static_cast<std::uint32_t>(contract_.extras.size());
        contract_.extras.emplace_back();
      }
      contract_.extras[n.extras].ref_name = ref_name;
    }
    for (const NodeId id : targets_) {
      NodeExtras& x = contract_.extras[contract_.nodes[id].extras];
      x.ref_target_def = resolve(x.ref_target);
    }
    for (const std::string_view name : named_) resolve(name);
    for (const auto& [name, decoded_name] : named_decoded_) {
      if (find(name) == no_id && find(decoded_name) == no_id) foreign.push_back(name);
    }
    std::sort(foreign.begin(), foreign.end(), byte_less);
    foreign.erase(std::unique(foreign.begin(), foreign.end()), foreign.end());
    contract_.foreign_names = std::move(foreign);
    assign_alias_groups(contract_);
    return true;
  }

  void definition(const Member& entry) {
    const Value& schema = entry.value;
    Definition d{};
    d.name = entry.key;
    d.alias_group = no_id;
    const Value* type = nullptr;
    const Value* members = nullptr;
    const Value* properties = nullptr;
    const Value* required = nullptr;
    DefinitionExtras x;
    for (const Member& member : schema.object()) {
      const Value& value = member.value;
      switch (value.key_atom) {
        case Atom::type:
          type = &value;
          break;
        case Atom::enum_values:
          members = &value;
          break;
        case Atom::properties:
          properties = &value;
          break;
        case Atom::required:
          required = &value;
          break;
        case Atom::collection:
          if (value.is_string()) {
            d.has_collection = true;
            x.collection = value.string();
          }
          break;
        case Atom::doc_id_field:
          if (value.is_string()) {
            d.has_doc_id = true;
            x.doc_id = value.string();
          }
          break;
        case Atom::title:
          if (value.is_string()) x.title = value.string();
          break;
        case Atom::description:
          if (value.is_string()) x.description = value.string();
          break;
        default:
          break;
      }
    }
    d.object_shaped = properties != nullptr ||
                      (type != nullptr && type->is_string() && type->word == Word::object);
    d.kind = members != nullptr ? DefinitionKind::enumeration
             : d.object_shaped  ? DefinitionKind::model
                                : DefinitionKind::alias;
    if (x.collection.data() != nullptr || x.doc_id.data() != nullptr || x.title.data() != nullptr ||
        x.description.data() != nullptr) {
      d.extras = static_cast<std::uint32_t>(contract_.definition_extras.size());
      contract_.definition_extras.push_back(x);
    }
    d.node = node(schema, true);
    d.enum_is_array = members != nullptr && members->is_array();
    if (properties != nullptr && properties->is_object()) {
      required_.clear();
      if (required != nullptr) {
        for (const Value& item : required->array()) {
          if (item.is_string()) required_.push_back(item.string());
        }
        if (!std::is_sorted(required_.begin(), required_.end(), byte_less))
          std::sort(required_.begin(), required_.end(), byte_less);
      }
      // Property keys come in byte order: one walk through the sorted required names.
      std::size_t next = 0;
      d.properties.first = static_cast<std::uint32_t>(contract_.properties.size());
      const std::span<const Member> members = properties->object();
      for (std::size_t i = 0; i < members.size(); ++i) {
        const Member& property = members[i];
        // Keys lie far apart in the text; asking for a later one early hides its cache miss.
        constexpr std::size_t ahead = 4;
        if (i + ahead < members.size()) __builtin_prefetch(members[i + ahead].key.data());
        while (next < required_.size() && byte_less(required_[next], property.key)) ++next;
        const bool is_required = next < required_.size() && required_[next] == property.key;
        const NodeId id = node(property.value);
        // The key is in the cache now; the module asks about it several times.
        contract_.properties.push_back(
            {property.key, id, is_required, !is_plain_field_name(property.key)});
      }
      d.properties.count =
          static_cast<std::uint32_t>(contract_.properties.size()) - d.properties.first;
    }
    contract_.definitions.push_back(d);
  }

 private:
  std::string_view keep(const std::string& text) {
    // A first buffer small enough for malloc's per-thread cache: most models keep a few short
    // texts here (the default's kilobyte was searched for in malloc's bins, and freed there).
    constexpr std::size_t first_buffer = 256;
    if (!contract_.pool)
      contract_.pool = std::make_unique<std::pmr::monotonic_buffer_resource>(first_buffer);
    std::pmr::polymorphic_allocator<char> allocator(contract_.pool.get());
    char* copy = allocator.allocate(text.size());
    std::copy(text.begin(), text.end(), copy);
    return {copy, text.size()};
  }

  void type_name(const Value& type) {
    TypeName name{json_type_of(type.word)};
    if (name.type == JsonType::other) {
      name.text = static_cast<std::uint32_t>(contract_.type_texts.size());
      contract_.type_texts.push_back(type.string());
    }
    contract_.type_names.push_back(name);
  }

  Range data(std::span<const Value> values) {
    Range range{static_cast<std::uint32_t>(contract_.data.size()),
                static_cast<std::uint32_t>(values.size())};
    for (const Value& value : values) contract_.data.push_back(datum(&value));
    return range;
  }

  Range nodes(std::span<const Value> schemas) {
    return listed(schemas, [](const Value& schema) -> const Value& { return schema; });
  }

  // Children are built first, then listed together: each is `schema_of` an item.
  // The children's ids wait on one stack, which each level leaves as it found it.
  template <class Item, class SchemaOf>
  Range listed(std::span<const Item> items, SchemaOf schema_of) {
    const std::size_t start = child_ids_.size();
    for (const Item& item : items) {
      const NodeId id = node(schema_of(item));
      child_ids_.push_back(id);
    }
    Range range{static_cast<std::uint32_t>(contract_.node_lists.size()),
                static_cast<std::uint32_t>(items.size())};
    const auto first = child_ids_.begin() + static_cast<std::ptrdiff_t>(start);
    contract_.node_lists.insert(contract_.node_lists.end(), first, child_ids_.end());
    child_ids_.erase(first, child_ids_.end());
    return range;
  }

  // What node `id` says of a map's keys, from its `propertyNames` and `patternProperties`
  // objects (either may be null). The patterns are listed first, as a schema of the values may
  // list keys of its own, then the values' schemas.
  void read_map_keys(NodeId id, const Value* names, const Value* patterns) {
    const auto at = static_cast<std::uint32_t>(contract_.map_keys.size());
    contract_.map_keys.emplace_back();
    contract_.extras[contract_.nodes[id].extras].map_keys = at;
    if (names != nullptr) {
      const NodeId schema = node(*names);
      contract_.map_keys[at].names = schema;
    }
    if (patterns == nullptr) return;
    const std::span<const Member> members = patterns->object();
    const Range keys{static_cast<std::uint32_t>(contract_.keys.size()),
                     static_cast<std::uint32_t>(members.size())};
    for (const Member& pattern : members) contract_.keys.push_back(pattern.key);
    const Range values =
        listed(members, [](const Member& pattern) -> const Value& { return pattern.value; });
    contract_.map_keys[at].patterns = keys;
    contract_.map_keys[at].values = values;
  }

  Contract& contract_;
  bool reads_all_of_;  // an `allOf` of one schema as that schema (DefinitionTable)
  // Nodes to resolve: with a `$ref` (and its last segment), with a reference target.
  std::vector<std::pair<NodeId, std::string_view>> references_;
  std::vector<NodeId> targets_;
  std::vector<std::string_view> named_;  // names found outside any schema, resolved at the end
  // The decoded names of escaped references (by index into references_), and of escaped `$ref`
  // strings outside any schema (beside the name as written): see decoded_ref_name.
  struct DecodedRef {
    std::size_t at;
    std::string_view name;
  };
  std::vector<DecodedRef> decoded_refs_;
  std::vector<std::pair<std::string_view, std::string_view>> named_decoded_;
  std::vector<std::string_view> required_;
  std::vector<const Value*> pending_;
  std::vector<NodeId> child_ids_;
  NodeExtras extras_;
  std::array<NodeId, static_cast<std::size_t>(JsonType::other)> leaves_;  // by JSON type
};

}  // namespace

const Value* find_definition_table(const Value& bundle, DefinitionTable table) {
  const Value* defs = bundle.find(Atom::defs);
  if (defs != nullptr && defs->is_object()) return defs;
  if (table == DefinitionTable::defs) return nullptr;
  const Value* draft07 = bundle.find("definitions");
  return draft07 != nullptr && draft07->is_object() ? draft07 : nullptr;
}

TableDoubt doubtful_table(const Value& bundle) {
  if (!bundle.is_object()) return TableDoubt::none;
  const Value* defs = bundle.find(Atom::defs);
  const Value* draft07 = bundle.find("definitions");
  if (defs != nullptr && defs->is_object() && draft07 != nullptr && draft07->is_object() &&
      !draft07->object().empty())
    return TableDoubt::two_tables;
  if (find_definition_table(bundle, DefinitionTable::defs_or_draft07) == nullptr)
    return TableDoubt::none;  // no bundle at all, which its reader says
  // Properties at the top are a model that is none of the definitions. A `$ref` or a union of
  // them there names definitions the table holds, and loses nothing.
  const Value* properties = bundle.find(Atom::properties);
  const bool model_at_top =
      properties != nullptr && properties->is_object() && !properties->object().empty();
  return model_at_top ? TableDoubt::schema_at_top : TableDoubt::none;
}

const Definition* Contract::find(std::string_view name) const {
  const DefId id = index.find(name, [this](DefId at) { return definitions[at].name; });
  return id != no_id ? &definitions[id] : nullptr;
}

const Datum& Contract::constraint(const TypeNode& node, Atom key) const {
  static const Datum absent;
  for (const ConstraintEntry& entry : constraints_of(node)) {
    if (entry.key == key) return entry.value;
  }
  return absent;
}

const Property* Contract::property(const Definition& model, std::string_view key) const {
  const std::span<const Property> listed = properties_of(model);
  const auto found = std::lower_bound(
      listed.begin(), listed.end(), key,
      [](const Property& property, std::string_view k) { return byte_less(property.key, k); });
  return found != listed.end() && found->key == key ? &*found : nullptr;
}

namespace {

// The lists of models that a thread keeps; the builder takes them, and a model gives them back.
struct SpareModelLists {
  SpareListPair<Definition> definitions;
  SpareListPair<Property> properties;
  SpareListPair<TypeNode> nodes;
  SpareListPair<NodeId> node_lists;
  SpareListPair<Datum> data;
  SpareListPair<TypeName> type_names;
  SpareListPair<ConstraintEntry> constraints;
  SpareListPair<NodeExtras> extras;
  SpareListPair<DefinitionExtras> definition_extras;
  bool alive = true;  // false once the thread's lists are destroyed, as it ends

  SpareModelLists() = default;
  SpareModelLists(const SpareModelLists&) = delete;
  SpareModelLists& operator=(const SpareModelLists&) = delete;
  ~SpareModelLists() { alive = false; }
};

// Out of line, as spare_lists().
[[gnu::noinline]] SpareModelLists& spare_model_lists() {
  thread_local SpareModelLists lists;
  return lists;
}

// Calls `each(list, spare)` on each list of the model that a builder sizes up front.
template <class Each>
void each_sized_list(Contract& contract, SpareModelLists& spare, Each each) {
  each(contract.definitions, spare.definitions);
  each(contract.properties, spare.properties);
  each(contract.nodes, spare.nodes);
  each(contract.node_lists, spare.node_lists);
  each(contract.data, spare.data);
  each(contract.type_names, spare.type_names);
  each(contract.constraints, spare.constraints);
  each(contract.extras, spare.extras);
  each(contract.definition_extras, spare.definition_extras);
}

}  // namespace

Contract::~Contract() {
  SpareModelLists& spare = spare_model_lists();
  if (!spare.alive) return;
  each_sized_list(*this, spare, [](auto& list, auto& kept) { kept.keep(list); });
}

struct ContractBuilder::State {
  State(Contract& contract, DefinitionTable table) : builder(contract, table) {}
  Builder builder;
};

ContractBuilder::ContractBuilder(Contract& contract, std::size_t objects, std::size_t definitions,
                                 ListPages pages, DefinitionTable table)
    : state_(std::make_unique<State>(contract, table)) {
  if (pages == ListPages::base) {
    each_sized_list(contract, spare_model_lists(), [](auto& list, auto& kept) {
      if (list.capacity() == 0) kept.take(list);
    });
  }
  // A definition holds an object or more, of its own or of its properties' schemas.
  contract.definitions.reserve(definitions != 0 ? definitions : objects / 4);
  // Nearly every object is a node, or a property's; the few others cost little room.
  const std::size_t nodes = objects != 0 ? objects : definitions * 8;
  state_->builder.reserve_references(nodes / 2);
  contract.nodes.reserve(nodes);
  contract.properties.reserve(nodes);
  // Most nodes name a type; the rarer facts are reserved for as many, since pages that stay
  // untouched cost nothing and a move of a large vector costs both copies at once.
  contract.type_names.reserve(nodes);
  contract.extras.reserve(nodes / 2);
  // Lists a small text may not use at all; a larger one would grow them step by step.
  if (nodes >= 16) {
    contract.data.reserve(nodes / 2);
    contract.node_lists.reserve(nodes / 2);
    contract.constraints.reserve(nodes / 2);
  }
  contract.definition_extras.reserve(contract.definitions.capacity());
  if (pages == ListPages::base) return;
  const auto advise = [](auto& list) {
    advise_huge_pages(list.data(), list.capacity() * sizeof(list[0]));
  };
  advise(contract.definitions);
  advise(contract.nodes);
  advise(contract.properties);
  advise(contract.type_names);
  advise(contract.extras);
  advise(contract.data);
  advise(contract.node_lists);
  advise(contract.constraints);
  advise(contract.definition_extras);
}

ContractBuilder::~ContractBuilder() = default;

void ContractBuilder::add(const Member& definition) { state_->builder.definition(definition); }

Contract& ContractBuilder::contract() { return state_->builder.contract(); }

void ContractBuilder::move_pending_names(const std::function<void(std::string_view&)>& move) {
  state_->builder.move_pending_names(move);
}

bool ContractBuilder::finish() { return state_->builder.finish(); }

void build_contract_into(Contract& contract, const Value& bundle, DefinitionTable table,
                         std::size_t objects) {
  const Value* table_object = find_definition_table(bundle, table);
  const Value& defs = table_object != nullptr ? *table_object : empty_object();
  ContractBuilder builder(contract, objects, defs.object().size(), ListPages::base, table);
  for (const Member& entry : defs.object()) builder.add(entry);
  // The tree's members are sorted with one per key: no two definitions share a name.
  builder.finish();
}

Contract build_contract(const Value& bundle, DefinitionTable table, std::size_t objects) {
  Contract contract;
  build_contract_into(contract, bundle, table, objects);
  return contract;
}

ContractTexts release_model(Contract&& contract) {
  ContractTexts texts{std::move(contract.pool), std::move(contract.source)};
  const Contract freed = std::move(contract);
  return texts;
}

void adopt_text(Contract& contract, Document& bundle) {
  contract.source = std::move(bundle.text);
  bundle.root = Value();
  bundle.objects = 0;
  bundle.arena.reset();
}

Contract build_contract(Document& bundle, DefinitionTable table) {
  Contract contract = build_contract(bundle.root, table, bundle.objects);
  adopt_text(contract, bundle);
  return contract;
}

}  // namespace brenvale
