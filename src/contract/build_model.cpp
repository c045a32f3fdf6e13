// Reads a parsed bundle into the contract model, one pass over each schema node.
#include <algorithm>
#include <bit>

#include "contract/alias_groups.hpp"
#include "contract/model.hpp"
#include "contract/schema_keys.hpp"
#include "util/byte_order.hpp"

namespace brenvale {
namespace {

constexpr std::pair<Atom, Constraint> constraint_keys[] = {
    {Atom::max_length, Constraint::max_length},
    {Atom::min_length, Constraint::min_length},
    {Atom::maximum, Constraint::maximum},
    {Atom::minimum, Constraint::minimum},
    {Atom::exclusive_maximum, Constraint::exclusive_maximum},
    {Atom::exclusive_minimum, Constraint::exclusive_minimum},
    {Atom::max_items, Constraint::max_items},
    {Atom::min_items, Constraint::min_items},
    {Atom::pattern, Constraint::pattern},
    {Atom::format, Constraint::format},
    {Atom::multiple_of, Constraint::multiple_of},
    {Atom::unique_items, Constraint::unique_items},
    {Atom::additional_properties, Constraint::additional_properties},
};
static_assert(std::size(constraint_keys) == constraint_count);

struct KindName {
  std::string_view text;
  FirestoreKind kind;
};
constexpr KindName firestore_kinds[] = {
    {"timestamp", FirestoreKind::timestamp}, {"reference", FirestoreKind::reference},
    {"geopoint", FirestoreKind::geopoint},   {"vector", FirestoreKind::vector},
    {"bytes", FirestoreKind::bytes},
};

struct TypeText {
  std::string_view text;
  JsonType type;
};
constexpr TypeText json_types[] = {
    {"null", JsonType::null},       {"string", JsonType::string},   {"number", JsonType::number},
    {"integer", JsonType::integer}, {"boolean", JsonType::boolean}, {"object", JsonType::object},
    {"array", JsonType::array},
};

FirestoreKind firestore_kind(std::string_view text) {
  for (const KindName& entry : firestore_kinds) {
    if (entry.text == text) return entry.kind;
  }
  return FirestoreKind::other;
}

JsonType json_type(std::string_view text) {
  for (const TypeText& entry : json_types) {
    if (entry.text == text) return entry.type;
  }
  return JsonType::other;
}

std::string_view last_segment(std::string_view ref) {
  const std::size_t slash = ref.rfind('/');
  return slash == std::string_view::npos ? ref : ref.substr(slash + 1);
}

const Value* string_at(const SchemaKeys& keys, Atom atom) {
  const Value* value = keys[atom];
  return value != nullptr && value->is_string() ? value : nullptr;
}

bool true_at(const SchemaKeys& keys, Atom atom) {
  return keys[atom] != nullptr && keys[atom]->is_true();
}

// A container's content as tagged text, equal exactly when the trees are equal.
void serialise(const Value& value, std::string& out) {
  switch (value.kind) {
    case Kind::null:
      out += 'n';
      return;
    case Kind::boolean:
      out += value.boolean ? 't' : 'f';
      return;
    case Kind::int64:
      out += 'i' + std::to_string(value.int64) + ';';
      return;
    case Kind::uint64:
      out += 'u' + std::to_string(value.uint64) + ';';
      return;
    case Kind::float64:
      out += 'd' + std::to_string(std::bit_cast<std::uint64_t>(value.float64)) + ';';
      return;
    case Kind::string:
      out += 's' + std::to_string(value.size) + ':';
      out += value.string();
      return;
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
  }
}

class Builder {
 public:
  Builder(Contract& contract, const Value& defs) : contract_(contract), defs_(defs) {}

  Datum datum(const Value* value) {
    Datum d;
    if (value == nullptr) return d;
    d.present = true;
    d.kind = value->kind;
    switch (value->kind) {
      case Kind::null:
        break;
      case Kind::boolean:
        d.boolean = value->boolean;
        break;
      case Kind::int64:
        d.int64 = value->int64;
        break;
      case Kind::uint64:
        d.uint64 = value->uint64;
        break;
      case Kind::float64:
        d.float64 = value->float64;
        break;
      case Kind::string:
        d.text = value->string();
        break;
      case Kind::array:
      case Kind::object: {
        std::string text;
        serialise(*value, text);
        d.text = keep(text);
        break;
      }
    }
    return d;
  }

  DefId definition_of(std::string_view name) const {
    const std::span<const Member> members = defs_.object();
    const auto it = std::lower_bound(
        members.begin(), members.end(), name,
        [](const Member& m, std::string_view key) { return byte_less(m.key, key); });
    return it != members.end() && it->key == name ? static_cast<DefId>(it - members.begin())
                                                  : no_id;
  }

  NodeId node(const Value& schema) {
    const auto id = static_cast<NodeId>(contract_.nodes.size());
    contract_.nodes.emplace_back();
    if (!schema.is_object()) return id;
    const SchemaKeys keys = scan_schema(schema);
    TypeNode n;
    n.is_object = true;
    n.server_timestamp = true_at(keys, Atom::server_timestamp);
    n.read_only = true_at(keys, Atom::read_only);
    n.presence_guaranteed = true_at(keys, Atom::presence_guaranteed);
    if (const Value* kind = string_at(keys, Atom::firestore_type)) {
      n.firestore_text = kind->string();
      n.firestore = firestore_kind(n.firestore_text);
    }
    if (const Value* ref = string_at(keys, Atom::ref)) {
      n.has_ref = true;
      n.ref = ref->string();
      n.ref_name = last_segment(n.ref);
      n.ref_def = definition_of(n.ref_name);
    }
    if (const Value* target = string_at(keys, Atom::ref_target)) {
      n.has_ref_target = true;
      n.ref_target = target->string();
      n.ref_target_def = definition_of(n.ref_target);
    }
    if (const Value* text = string_at(keys, Atom::description)) n.description = text->string();
    n.constant = datum(keys[Atom::const_value]);
    n.default_value = datum(keys[Atom::default_value]);
    if (const Value* values = keys[Atom::enum_values]; values != nullptr && values->is_array()) {
      n.has_enum = true;
      n.enum_values = data(values->array());
    }
    const Value* alternatives = keys[Atom::any_of];
    if (alternatives == nullptr || !alternatives->is_array()) alternatives = keys[Atom::one_of];
    if (alternatives != nullptr && alternatives->is_array()) {
      n.has_alternatives = true;
      n.alternatives = nodes(alternatives->array());
    }
    if (const Value* type = keys[Atom::type]) {
      n.types.first = static_cast<std::uint32_t>(contract_.type_names.size());
      if (type->is_string()) {
        contract_.type_names.push_back({json_type(type->string()), type->string()});
        n.null_type = type->string() == "null";
      }
      n.type_list = type->is_array();
      for (const Value& entry : type->array()) {
        if (entry.is_string())
          contract_.type_names.push_back({json_type(entry.string()), entry.string()});
      }
      n.types.count = static_cast<std::uint32_t>(contract_.type_names.size()) - n.types.first;
    }
    if (n.firestore_text.data() != nullptr) {
      n.form = TypeForm::firestore;
    } else if (n.has_ref) {
      n.form = TypeForm::reference;
    } else if (n.constant.present) {
      n.form = TypeForm::literal;
    } else if (n.has_enum) {
      n.form = TypeForm::enumeration;
    } else if (n.has_alternatives) {
      n.form = TypeForm::alternatives;
    } else if (keys[Atom::type] != nullptr &&
               (keys[Atom::type]->is_string() || keys[Atom::type]->is_array())) {
      n.form = TypeForm::json;
    }
    if (const Value* values = keys[Atom::additional_properties]) {
      if (values->is_object()) {
        n.record = RecordValues::schema;
        n.record_node = node(*values);
      } else if (!values->is_true()) {
        n.record = RecordValues::none;
      }
    }
    if (const Value* tuple = keys[Atom::prefix_items]; tuple != nullptr && tuple->is_array()) {
      n.has_tuple = true;
      n.tuple = nodes(tuple->array());
    }
    if (const Value* items = keys[Atom::items]) n.items = node(*items);
    if (const Value* discriminator = keys[Atom::discriminator]) {
      if (const Value* property = discriminator->find("propertyName");
          property != nullptr && property->is_string()) {
        n.has_discriminator_property = true;
        n.discriminator_property = property->string();
      }
      if (const Value* mapping = discriminator->find(Atom::mapping)) {
        n.mapping.first = static_cast<std::uint32_t>(contract_.keys.size());
        for (const Member& member : mapping->object()) contract_.keys.push_back(member.key);
        n.mapping.count = static_cast<std::uint32_t>(contract_.keys.size()) - n.mapping.first;
      }
    }
    Constraints found;
    bool any = false;
    for (const auto& [atom, constraint] : constraint_keys) {
      if (keys[atom] == nullptr) continue;
      found.values[static_cast<std::size_t>(constraint)] = datum(keys[atom]);
      any = true;
    }
    if (any) {
      n.constraints = static_cast<std::uint32_t>(contract_.constraints.size());
      contract_.constraints.push_back(found);
    }
    contract_.nodes[id] = n;
    return id;
  }

  void definition(const Member& entry) {
    const Value& schema = entry.value;
    const SchemaKeys keys = scan_schema(schema);
    Definition d{};
    d.name = entry.key;
    d.alias_group = no_id;
    const Value* type = keys[Atom::type];
    d.object_shaped = keys[Atom::properties] != nullptr ||
                      (type != nullptr && type->is_string() && type->string() == "object");
    const Value* members = keys[Atom::enum_values];
    d.kind = members != nullptr ? DefinitionKind::enumeration
             : d.object_shaped  ? DefinitionKind::model
                                : DefinitionKind::alias;
    if (members != nullptr && members->is_array()) {
      d.enum_is_array = true;
      d.members = data(members->array());
    }
    if (const Value* text = string_at(keys, Atom::collection)) {
      d.has_collection = true;
      d.collection = text->string();
    }
    if (const Value* text = string_at(keys, Atom::doc_id_field)) {
      d.has_doc_id = true;
      d.doc_id = text->string();
    }
    if (const Value* text = string_at(keys, Atom::title)) d.title = text->string();
    if (const Value* text = string_at(keys, Atom::description)) d.description = text->string();
    d.node = node(schema);
    if (const Value* properties = keys[Atom::properties]) {
      std::vector<std::string_view> required;
      if (const Value* names = keys[Atom::required]) {
        for (const Value& item : names->array()) {
          if (item.is_string()) required.push_back(item.string());
        }
        std::sort(required.begin(), required.end(), byte_less);
      }
      // Property keys come in byte order: one walk through the sorted required names.
      std::size_t next = 0;
      std::vector<Property> found;
      found.reserve(properties->object().size());
      for (const Member& property : properties->object()) {
        while (next < required.size() && byte_less(required[next], property.key)) ++next;
        const bool is_required = next < required.size() && required[next] == property.key;
        found.push_back({property.key, node(property.value), is_required});
      }
      d.properties.first = static_cast<std::uint32_t>(contract_.properties.size());
      d.properties.count = static_cast<std::uint32_t>(found.size());
      contract_.properties.insert(contract_.properties.end(), found.begin(), found.end());
    }
    contract_.definitions.push_back(d);
  }

 private:
  std::string_view keep(const std::string& text) {
    std::pmr::polymorphic_allocator<char> allocator(contract_.pool.get());
    char* copy = allocator.allocate(text.size());
    std::copy(text.begin(), text.end(), copy);
    return {copy, text.size()};
  }

  Range data(std::span<const Value> values) {
    Range range{static_cast<std::uint32_t>(contract_.data.size()),
                static_cast<std::uint32_t>(values.size())};
    for (const Value& value : values) contract_.data.push_back(datum(&value));
    return range;
  }

  // Children are built first, then listed together.
  Range nodes(std::span<const Value> schemas) {
    std::vector<NodeId> ids;
    ids.reserve(schemas.size());
    for (const Value& schema : schemas) ids.push_back(node(schema));
    Range range{static_cast<std::uint32_t>(contract_.node_lists.size()),
                static_cast<std::uint32_t>(ids.size())};
    contract_.node_lists.insert(contract_.node_lists.end(), ids.begin(), ids.end());
    return range;
  }

  Contract& contract_;
  const Value& defs_;
};

// Every `$ref` last segment and reference target under `root` that names no definition, walked
// without recursion, wherever it stands.
void collect_foreign_names(const Value& root, std::vector<std::string_view>& found) {
  std::vector<const Value*> pending = {&root};
  while (!pending.empty()) {
    const Value* node = pending.back();
    pending.pop_back();
    for (const Value& item : node->array()) pending.push_back(&item);
    for (const Member& member : node->object()) {
      if (member.value.is_string() &&
          (member.value.key_atom == Atom::ref || member.value.key_atom == Atom::ref_target)) {
        const std::string_view text = member.value.string();
        const std::string_view name =
            member.value.key_atom == Atom::ref ? last_segment(text) : text;
        if (root.find(name) == nullptr) found.push_back(name);
      }
      pending.push_back(&member.value);
    }
  }
  std::sort(found.begin(), found.end(), byte_less);
  found.erase(std::unique(found.begin(), found.end()), found.end());
}

const Value& definition_table(const Value& bundle, DefinitionTable table) {
  const Value* defs = bundle.find(Atom::defs);
  if (defs == nullptr && table == DefinitionTable::defs_or_draft07)
    defs = bundle.find("definitions");
  return defs != nullptr && defs->is_object() ? *defs : empty_object();
}

}  // namespace

bool same_datum(const Datum& a, const Datum& b) {
  if (a.present != b.present || a.kind != b.kind) return false;
  if (!a.present) return true;
  switch (a.kind) {
    case Kind::null:
      return true;
    case Kind::boolean:
      return a.boolean == b.boolean;
    case Kind::int64:
      return a.int64 == b.int64;
    case Kind::uint64:
      return a.uint64 == b.uint64;
    case Kind::float64:
      return std::bit_cast<std::uint64_t>(a.float64) == std::bit_cast<std::uint64_t>(b.float64);
    default:
      return a.text == b.text;
  }
}

const Definition* Contract::find(std::string_view name) const {
  const auto it = std::lower_bound(
      definitions.begin(), definitions.end(), name,
      [](const Definition& d, std::string_view key) { return byte_less(d.name, key); });
  return it != definitions.end() && it->name == name ? &*it : nullptr;
}

const Datum& Contract::constraint(const TypeNode& node, Constraint c) const {
  static const Datum absent;
  return node.constraints == no_id ? absent : constraints[node.constraints][c];
}

Contract build_contract(const Value& bundle, DefinitionTable table) {
  Contract contract;
  const Value& defs = definition_table(bundle, table);
  contract.definitions.reserve(defs.object().size());
  Builder builder(contract, defs);
  for (const Member& entry : defs.object()) builder.definition(entry);
  collect_foreign_names(defs, contract.foreign_names);
  assign_alias_groups(contract);
  return contract;
}

}  // namespace brenvale
