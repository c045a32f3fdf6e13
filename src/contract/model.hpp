// The typed contract model every output renders and compat compares: read once from the bundle.
#pragma once

#include <bit>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <memory_resource>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "contract/name_index.hpp"
#include "json/json_value.hpp"
#include "util/byte_order.hpp"

namespace brenvale {

// Which form of a document a type describes: what a read returns, or what a write accepts.
enum class Side : std::uint8_t { read, write };

using DefId = std::uint32_t;
using NodeId = std::uint32_t;
inline constexpr std::uint32_t no_id = std::numeric_limits<std::uint32_t>::max();
static_assert(no_id == NameIndex::empty);

// A run of entries in one of the model's side vectors.
struct Range {
  std::uint32_t first = 0;
  std::uint32_t count = 0;
  bool operator==(const Range&) const = default;
};

// A JSON value the contract carries as data: a constant, an enum member, a default, a bound. An
// array or object keeps, as its text, a canonical serialisation of its content: outputs write it
// as `unknown`, and only equality looks inside it.
struct Datum {
  Kind kind = Kind::null;
  bool present = false;
  std::uint32_t size = 0;  // of the text
  union {
    bool boolean;
    std::int64_t int64;
    std::uint64_t uint64;
    double float64;
    const char* chars;  // a string's text, or a container's serialisation
  };

  Datum() : int64(0) {}
  std::string_view text() const {
    return kind == Kind::string || kind == Kind::array || kind == Kind::object
               ? std::string_view(chars, size)
               : std::string_view();
  }
  bool is_true() const { return present && kind == Kind::boolean && boolean; }
  bool is_false() const { return present && kind == Kind::boolean && !boolean; }
  bool is_string() const { return present && kind == Kind::string; }
  bool is_number() const {
    return present && (kind == Kind::int64 || kind == Kind::uint64 || kind == Kind::float64);
  }
  // A length or an item count: a non-negative integer.
  bool is_count() const {
    return present && (kind == Kind::uint64 || (kind == Kind::int64 && int64 >= 0));
  }
  // The count, where is_count() holds.
  std::uint64_t count() const {
    return kind == Kind::uint64 ? uint64 : static_cast<std::uint64_t>(int64);
  }
  bool is_scalar() const { return present && kind != Kind::array && kind != Kind::object; }
};

// Exact equality, floats bit for bit (-0.0 and 0.0 print differently). Inline: a comparison of
// two models asks it of every node's constant and default, most of them absent.
inline bool same_datum(const Datum& a, const Datum& b) {
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
      return same_bytes(a.text(), b.text());
  }
}

// What a schema node is, in the order the keys decide it: the first that applies wins.
enum class TypeForm : std::uint8_t {
  firestore,     // a string `x-firestore-type`
  reference,     // a string `$ref`
  literal,       // `const`, whatever its value
  enumeration,   // an `enum` array
  alternatives,  // an `anyOf` (else `oneOf`) array
  json,          // `type`, a string or an array of them
  unknown,       // none of these, or no object at all
};

enum class FirestoreKind : std::uint8_t { timestamp, reference, geopoint, vector, bytes, other };
enum class JsonType : std::uint8_t { null, string, number, integer, boolean, object, array, other };

// The text of a JSON type, as `type` spells it (other: none).
constexpr std::string_view json_type_text(JsonType type) {
  static_assert(static_cast<int>(Word::null) == static_cast<int>(JsonType::null) + 1 &&
                static_cast<int>(Word::array) == static_cast<int>(JsonType::array) + 1);
  return type == JsonType::other ? std::string_view()
                                 : word_texts[static_cast<std::size_t>(type) + 1];
}

// One string entry of `type`. Compat names a type it does not know by its text, kept aside:
// the known ones are spelt as json_type_text spells them.
struct TypeName {
  JsonType type;
  std::uint32_t text = no_id;  // JsonType::other: the index of its text in Contract::type_texts
};

// What an object type holds under other keys: `additionalProperties` absent or true, a schema,
// or anything else (nothing).
enum class RecordValues : std::uint8_t { any, schema, none };

// One bound or restriction of a node (`maxLength`, `pattern`, `additionalProperties`, ...), by
// its key, with its value as written (any JSON value).
struct ConstraintEntry {
  Atom key;
  Datum value;
};

// What fewer nodes carry, kept beside them.
struct NodeExtras {
  std::string_view firestore_text;          // `x-firestore-type`
  std::string_view ref_target;              // `x-firestore-ref-target`
  std::string_view ref_name;                // a `$ref` that names no definition: its last segment
  std::string_view description;             // a string `description`
  std::string_view discriminator_property;  // `discriminator.propertyName`
  DefId ref_target_def = no_id;             // the definition the target names, if any
  std::uint32_t map_keys = no_id;           // index into Contract::map_keys, if it has one
  Datum constant;                           // `const`
  Datum default_value;                      // `default`
  Range mapping;                            // `discriminator.mapping` keys, in byte order
  Range enum_values;                        // Datums
  Range tuple;                              // NodeIds
};

// What a map says of its keys, kept beside the few nodes that say it.
struct MapKeys {
  NodeId names = no_id;  // `propertyNames`, when it is a schema
  Range patterns;        // `patternProperties`: each pattern, in keys, in byte order
  Range values;          // the schema of the values under each pattern: NodeIds, in that order
};

// One schema node. Every fact is kept whatever `form` says, since compat reads some of them
// past the form (a `const` beside a `$ref`, the alternatives around an Optional's value). One
// cache line: the fields are ordered so that nothing pads.
struct TypeNode {
  TypeForm form = TypeForm::unknown;
  FirestoreKind firestore = FirestoreKind::other;
  RecordValues record = RecordValues::any;
  bool is_object : 1 = false;         // the schema was a JSON object
  bool server_timestamp : 1 = false;  // `x-firestore-server-timestamp` true
  bool has_ref : 1 = false;           // a string `$ref`
  bool has_ref_target : 1 = false;    // a string `x-firestore-ref-target`
  bool has_enum : 1 = false;          // an `enum` array
  bool has_alternatives : 1 = false;  // an `anyOf` or `oneOf` array
  bool type_list : 1 = false;         // `type` is an array
  bool null_type : 1 = false;         // `type` is the string "null"
  bool has_tuple : 1 = false;         // a `prefixItems` array
  bool read_only : 1 = false;         // `readOnly` true
  bool presence_guaranteed : 1 = false;
  bool has_discriminator_property : 1 = false;
  bool has_constant : 1 = false;  // `const`, whatever its value
  DefId ref_def = no_id;          // the definition `$ref` names, when the bundle has it
  NodeId items = no_id;           // `items`, whatever its value
  Range alternatives;             // NodeIds
  Range types;                    // TypeNames
  Range constraints;              // ConstraintEntries, in key order
  NodeId record_node = no_id;     // `additionalProperties` when it is a schema
  std::uint32_t extras = no_id;   // index into Contract::extras; enum values and tuples are there
  bool operator==(const TypeNode&) const = default;
};
static_assert(sizeof(TypeNode) <= 48);

enum class DefinitionKind : std::uint8_t { enumeration, model, alias };

struct Property {
  std::string_view key;
  NodeId node;
  bool required;   // named in the model's `required`
  bool path_like;  // no plain field name: Firestore reads the key as a path (schema_meaning.hpp)
};

// What fewer definitions carry, kept beside them.
struct DefinitionExtras {
  std::string_view collection;
  std::string_view doc_id;
  std::string_view title;
  std::string_view description;
};

struct Definition {
  std::string_view name;  // as the bundle writes it
  NodeId node;            // the definition's own schema, whose `enum` an enumeration lists
  Range properties;       // in byte order of key
  // Aliases of one group reach each other outside any object, array, tuple or record: a
  // reference within the group there would make the alias circular.
  std::uint32_t alias_group = no_id;
  std::uint32_t extras = no_id;  // index into Contract::definition_extras
  DefinitionKind kind;
  // Flags in one byte, which keeps a definition at 40 bytes: a bundle may hold 10^6 of them.
  // Has `properties` or `type` "object": compat's notion of a model, which an enum with
  // properties also meets.
  bool object_shaped : 1;
  bool enum_is_array : 1;  // an enumeration's `enum` is an array (else it lists nothing)
  bool has_collection : 1;
  bool has_doc_id : 1;
};
static_assert(sizeof(Definition) <= 40);

// What a node or a definition that keeps nothing beside it has there: inline, since the
// renderers and compat ask for every node's.
inline const NodeExtras no_node_extras{};
inline const MapKeys no_map_keys{};
inline const DefinitionExtras no_definition_extras{};

// Where a bundle lists its definitions, and whose spellings it is read in: this system's own, or
// also those of other tools (draft-07 `definitions`, and an `allOf` of one schema, which older
// Pydantic and draft-07 tools wrap a `$ref` in to give it a description or a default).
enum class DefinitionTable : std::uint8_t {
  defs,             // `$defs` only
  defs_or_draft07,  // `$defs`, else draft-07 `definitions`; `allOf` of one schema as that schema
};

// The model of one bundle. Texts are borrowed from the parsed document it was built from, which
// must outlive it, unless the model took the document's text over (`source`); texts the model
// writes itself live in its own pool.
struct Contract {
  Contract() = default;
  Contract(const Contract&) = delete;
  Contract& operator=(const Contract&) = delete;
  Contract(Contract&&) = default;
  Contract& operator=(Contract&&) = default;
  // A small model's lists stay with the thread for the next model it builds (see
  // ContractBuilder): a model of a small bundle then allocates hardly any.
  ~Contract();

  std::vector<Definition> definitions;  // in byte order of name
  std::vector<Property> properties;
  std::vector<TypeNode> nodes;
  std::vector<NodeId> node_lists;
  std::vector<Datum> data;
  std::vector<TypeName> type_names;
  std::vector<std::string_view> type_texts;  // of the type names that name no JSON type
  std::vector<std::string_view> keys;
  std::vector<ConstraintEntry> constraints;
  std::vector<NodeExtras> extras;
  std::vector<MapKeys> map_keys;
  std::vector<DefinitionExtras> definition_extras;
  // Every name a `$ref` or reference target names anywhere in the definitions that is no
  // definition, in byte order: names the generated module refers to all the same.
  std::vector<std::string_view> foreign_names;
  // Each alias's group of aliases that reach each other through unions and the values of
  // records, where TypeScript resolves a name as soon as it meets it (`Record` is instantiated at
  // once); no_id for other definitions. Empty when no alias names another through a record's
  // values: the groups are then the `alias_group`s.
  std::vector<std::uint32_t> record_groups;
  // Schemas read, each time one stands: a node may stand for many (a plain `{"type": "string"}`
  // is one node however often it is written), and output grows with every place it stands.
  std::size_t schemas = 0;
  NameIndex index;  // definition names -> ids
  // Texts the model writes itself; made with the first, as most models write none.
  std::unique_ptr<std::pmr::monotonic_buffer_resource> pool;
  std::unique_ptr<std::pmr::monotonic_buffer_resource> source;  // a document's text, taken over

  const TypeNode& node(NodeId id) const { return nodes[id]; }
  const Definition* find(std::string_view name) const;
  DefId id_of(const Definition& definition) const {
    return static_cast<DefId>(&definition - definitions.data());
  }
  std::span<const Property> properties_of(const Definition& definition) const {
    return {properties.data() + definition.properties.first, definition.properties.count};
  }
  // An enumeration's values: its schema's `enum`.
  std::span<const Datum> members_of(const Definition& definition) const {
    if (!definition.enum_is_array) return {};
    return enum_values(node(definition.node));
  }
  std::span<const Datum> enum_values(const TypeNode& node) const {
    const Range range = extras_of(node).enum_values;
    return {data.data() + range.first, range.count};
  }
  std::span<const NodeId> alternatives(const TypeNode& node) const {
    return {node_lists.data() + node.alternatives.first, node.alternatives.count};
  }
  std::span<const NodeId> tuple(const TypeNode& node) const {
    const Range range = extras_of(node).tuple;
    return {node_lists.data() + range.first, range.count};
  }
  // The last segment of the node's `$ref`: the name of the definition it names, or kept aside.
  std::string_view ref_name(const TypeNode& node) const {
    return node.ref_def != no_id ? definitions[node.ref_def].name : extras_of(node).ref_name;
  }
  std::span<const TypeName> types(const TypeNode& node) const {
    return {type_names.data() + node.types.first, node.types.count};
  }
  // Does the node take one JSON type alone, `type` (written alone or as a list of one)?
  bool is_only(const TypeNode& node, JsonType type) const {
    return node.form == TypeForm::json && node.types.count == 1 &&
           type_names[node.types.first].type == type;
  }
  std::string_view type_text(const TypeName& name) const {
    return name.type == JsonType::other ? type_texts[name.text] : json_type_text(name.type);
  }
  // Asks for the key of the property `ahead` places after `property` in the model, if any.
  // Keys lie far apart in a large bundle's text: a loop over properties that reads each key
  // calls this so the key is in the cache when its turn comes.
  void prefetch_key(const Property& property, std::size_t ahead = 8) const {
    const std::size_t at = static_cast<std::size_t>(&property - properties.data()) + ahead;
    if (at < properties.size()) __builtin_prefetch(properties[at].key.data());
  }
  // What the node keeps beside it: all absent when it has none.
  const NodeExtras& extras_of(const TypeNode& node) const {
    return node.extras == no_id ? no_node_extras : extras[node.extras];
  }
  // What the definition keeps beside it: all absent when it has none.
  const DefinitionExtras& extras_of(const Definition& definition) const {
    return definition.extras == no_id ? no_definition_extras : definition_extras[definition.extras];
  }
  std::span<const std::string_view> mapping(const TypeNode& node) const {
    const Range range = extras_of(node).mapping;
    return {keys.data() + range.first, range.count};
  }
  // What the node says of a map's keys: all absent when it says nothing.
  const MapKeys& map_keys_of(const TypeNode& node) const {
    const std::uint32_t at = extras_of(node).map_keys;
    return at == no_id ? no_map_keys : map_keys[at];
  }
  std::span<const std::string_view> key_patterns(const TypeNode& node) const {
    const Range range = map_keys_of(node).patterns;
    return {keys.data() + range.first, range.count};
  }
  std::span<const NodeId> pattern_values(const TypeNode& node) const {
    const Range range = map_keys_of(node).values;
    return {node_lists.data() + range.first, range.count};
  }
  std::span<const ConstraintEntry> constraints_of(const TypeNode& node) const {
    return {constraints.data() + node.constraints.first, node.constraints.count};
  }
  // The node's constraint `c`; absent when the node has none.
  const Datum& constraint(const TypeNode& node, Atom key) const;
  // The model's property stored under `key`; nullptr when it has none.
  const Property* property(const Definition& model, std::string_view key) const;
};

// The bundle's object of definitions: `$defs`, or with defs_or_draft07 draft-07 `definitions`
// when `$defs` is no object; nullptr when there is none. Borrowed from `bundle`.
const Value* find_definition_table(const Value& bundle, DefinitionTable table);
// Why the definitions table read from `bundle` may not hold all the bundle means: a model's
// properties at the top (a model's `model_json_schema()`, whose model is no definition),
// or a draft-07 `definitions` with entries beside a `$defs`, which is read instead of it. Read
// as they are, such files give an empty module or "0 breaking".
enum class TableDoubt : std::uint8_t { none, schema_at_top, two_tables };
TableDoubt doubtful_table(const Value& bundle);

// The pages a model's large lists are written to. A comparison builds two models at once, one
// on each thread, and their page faults contend for the process's memory map: huge pages spare
// most of them, at the cost of up to a huge page of room per list.
enum class ListPages : std::uint8_t { base, huge };

// Reads definitions into `contract` (empty, borrowed) one at a time, in any order: from a table
// of the tree, or as parse_json's EntrySink hands them over. The model is built where it is to
// stay: a model is a score of lists, and moving one moves each. `objects`, at least the objects
// the definitions hold, and `definitions` size its storage up front, on `pages`. Each entry
// (borrowed) is read when added; only its strings must outlive the model. May throw
// std::bad_alloc.
class ContractBuilder {
 public:
  ContractBuilder(Contract& contract, std::size_t objects, std::size_t definitions = 0,
                  ListPages pages = ListPages::base, DefinitionTable table = DefinitionTable::defs);
  ContractBuilder(const ContractBuilder&) = delete;
  ContractBuilder& operator=(const ContractBuilder&) = delete;
  ~ContractBuilder();

  void add(const Member& definition);
  // The model read so far, and each name it has yet to resolve: a caller moving the strings off
  // a text that is about to go moves these too, before finish().
  Contract& contract();
  void move_pending_names(const std::function<void(std::string_view&)>& move);
  // Completes the model, once; false when two definitions share a name, which only the whole
  // table settles (its last one stands): the model is then incomplete.
  bool finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Reads `bundle` (borrowed; its document must outlive the result) into the model; `objects`,
// the document's count of objects, sizes its storage up front. Never fails; recursion is bounded
// by the nesting limit of the parsed tree. May throw std::bad_alloc.
Contract build_contract(const Value& bundle, DefinitionTable table, std::size_t objects = 0);
// The same into `contract`, which must be empty.
void build_contract_into(Contract& contract, const Value& bundle, DefinitionTable table,
                         std::size_t objects);
inline Contract build_contract(const Document& bundle, DefinitionTable table) {
  return build_contract(bundle.root, table, bundle.objects);
}
// The same for a document the caller is done with: the model takes its text over, and its tree
// is freed before this returns (its root is then null), so the tree never sits beside what is
// rendered from the model, and the text goes with the model. May throw std::bad_alloc.
Contract build_contract(Document& bundle, DefinitionTable table);
// What a model's strings lie in, beside a text the caller keeps: the document's text it took
// over and its own pool. Held after the model is freed, views taken of its strings stay valid
// (a comparison's findings name definitions and fields by such views).
struct ContractTexts {
  std::unique_ptr<std::pmr::monotonic_buffer_resource> pool;
  std::unique_ptr<std::pmr::monotonic_buffer_resource> source;
};
// Frees the model but for the texts its strings lie in, which it hands back.
ContractTexts release_model(Contract&& contract);

// Hands the document's text to the model, whose strings lie in it, and frees the tree.
void adopt_text(Contract& contract, Document& bundle);

}  // namespace brenvale
