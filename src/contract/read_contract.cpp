// RapidJSON's SAX events read straight into the contract model: what each container means is
// known when it opens (a schema, a list of schemas, a table of definitions, data), so nothing is
// kept that the model does not hold. The result is the model build_contract makes of the value
// tree, fact for fact; a text with a duplicate key, whose last value the tree keeps, is read
// through the tree instead, as nothing rare is worth a second set of rules.
#include "contract/read_contract.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

// As in json_reader.cpp: the same scan in every file that includes the reader.
#if !defined(__SANITIZE_ADDRESS__)
#define RAPIDJSON_SSE2
#endif
#include <rapidjson/error/error.h>
#include <rapidjson/reader.h>

#include "contract/alias_groups.hpp"
#include "contract/model.hpp"
#include "contract/schema_meaning.hpp"
#include "util/byte_order.hpp"
#include "util/page_resource.hpp"

namespace brenvale {
namespace {

// What a container is to the model, decided when it opens.
enum class Role : std::uint8_t {
  skip,           // read by nothing: only its syntax matters
  root,           // the bundle
  table,          // the definitions, by name
  schema,         // a schema object: one node (and a definition's own, at the table's level)
  node_list,      // `anyOf`, `oneOf` or `prefixItems`: a node per item
  type_list,      // `type` as an array
  enum_list,      // `enum` as an array: one datum per item
  properties,     // a definition's `properties`: a property node per member
  required,       // a definition's `required`
  discriminator,  // `discriminator`
  mapping,        // `discriminator.mapping`: its keys
  opaque,         // data: only the names references give matter
};

// Where a value that is data (a constant, a bound, an enum member) goes once it is complete.
enum class Slot : std::uint8_t { none, constant, default_value, constraint, enum_item };

// Which list of schemas a node_list is.
enum class List : std::uint8_t { any_of, one_of, prefix_items };

struct Frame {
  Role role;
  bool object;
  Slot slot = Slot::none;
  List list = List::any_of;
  Atom key_atom;                 // the key the container is stored under
  std::string_view key;          // its text, when it is kept
  std::uint32_t keys = 0;        // first of its member key hashes in `key_hashes_`
  std::uint32_t index = 0;       // schema: its entry in `schemas_`; node_list: first child id
  std::uint32_t slot_index = 0;  // constraint or enum item the datum fills
  std::uint32_t capture = 0;     // where its serialisation starts in `capture_`
  std::uint32_t members = 0;     // first of its member records in `captured_keys_`
  std::uint64_t atoms_seen = 0;  // schema: the atoms met, for duplicates
};

// A schema object while it is read.
struct Schema {
  TypeNode n;
  NodeExtras x;
  NodeId id = no_id;
  bool has_extras = false;
  bool definition = false;
  bool any_of_array = false;
  bool one_of_array = false;
  bool any_of_seen = false;
  bool one_of_seen = false;
  bool type_seen = false;
  bool type_string = false;
  bool enum_seen = false;
  bool enum_array = false;
  bool properties_seen = false;
  bool type_object_word = false;
  bool additional_seen = false;
  bool additional_object = false;
  bool additional_true = false;
  Range any_of;
  Range one_of;
  Range tuple;
  std::uint32_t constraints = 0;  // first pending constraint
  std::uint32_t types = 0;        // first pending type name
  std::uint32_t data = 0;         // first pending datum of `enum`
};

// A stable sort that allocates nothing for the few entries a schema holds (std::stable_sort
// takes a buffer on every call); already sorted runs, as generators write them, cost one look.
template <class It, class Less>
void sort_small(It first, It last, Less less) {
  if (std::is_sorted(first, last, less)) return;
  constexpr std::ptrdiff_t insertion_limit = 24;
  if (last - first > insertion_limit) {
    std::stable_sort(first, last, less);
    return;
  }
  for (It it = first + 1; it < last; ++it) {
    auto moving = std::move(*it);
    It hole = it;
    for (; hole != first && less(moving, *(hole - 1)); --hole) *hole = std::move(*(hole - 1));
    *hole = std::move(moving);
  }
}

// Objects of more members than this, whose keys are not sorted anyway, are checked for
// duplicates by the tree.
constexpr std::size_t max_scanned_keys = 32;

// RapidJSON's handler base answers the callbacks the reader never gets: numbers arrive as raw
// text (kParseNumbersAsStringsFlag).
class ContractReader : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, ContractReader> {
 public:
  // `borrowed`: strings lie in `text` as they are (it holds no escape), at a place the stream's
  // position tells; otherwise the reader parses in place and strings stay where it wrote them.
  ContractReader(Contract& contract, DefinitionTable table, bool borrowed, bool escapes)
      : contract_(contract), table_(table), borrowed_(borrowed), escapes_(escapes) {
    // Room for the nesting of usual bundles: a small bundle pays for no more.
    constexpr std::size_t usual_depth = 16;
    frames_.reserve(usual_depth);
    schemas_.reserve(usual_depth);
  }

  // Definitions wait here until the table ends: room for as many as the text can hold, since
  // pages never touched cost nothing and a vector that regrows holds both copies at once.
  void reserve_definitions(std::size_t objects) { pending_definitions_.reserve(objects); }

  void set_cursor(const char* const* cursor) { cursor_ = cursor; }

  // RapidJSON calls the handler by these names.
  // NOLINTBEGIN(readability-identifier-naming)
  bool Null() {
    Datum d;
    d.present = true;
    d.kind = Kind::null;
    return scalar(d);
  }
  bool Bool(bool b) {
    Datum d;
    d.present = true;
    d.kind = Kind::boolean;
    d.boolean = b;
    return scalar(d);
  }
  bool RawNumber(const char* str, rapidjson::SizeType length, bool) {
    Value v;
    if (!read_number(std::string_view(str, length), v)) return stop(Stop::number_range);
    return scalar(scalar_datum(v));
  }
  bool String(const char* str, rapidjson::SizeType length, bool) {
    const std::string_view text = kept(str, length);
    if (text.data() == nullptr) return false;
    Datum d;
    d.present = true;
    d.kind = Kind::string;
    d.chars = text.data();
    d.size = length;
    return scalar(d);
  }
  bool Key(const char* str, rapidjson::SizeType length, bool) {
    key_ = kept(str, length);
    if (key_.data() == nullptr) return false;
    key_atom_ = atom_of(key_);
    Frame& frame = frames_.back();
    if (capture_depth_ > 0) {
      captured_keys_.push_back({static_cast<std::uint32_t>(capture_.size()), length});
      capture_ += key_;
    }
    switch (frame.role) {
      case Role::table:
      case Role::properties:
      case Role::mapping:
        return true;  // their keys are sorted, where duplicates meet
      case Role::schema:
        if (key_atom_ != Atom::other) {
          const std::uint64_t bit = std::uint64_t{1} << static_cast<unsigned>(key_atom_);
          if ((frame.atoms_seen & bit) != 0) return stop(Stop::handler);
          frame.atoms_seen |= bit;
          return true;
        }
        break;
      case Role::skip:
        return true;
      default:
        break;
    }
    const std::uint64_t hash = std::hash<std::string_view>()(key_);
    const auto first = key_hashes_.begin() + frame.keys;
    if (key_hashes_.end() - first >= static_cast<std::ptrdiff_t>(max_scanned_keys) ||
        std::find(first, key_hashes_.end(), hash) != key_hashes_.end()) {
      return stop(Stop::handler);
    }
    key_hashes_.push_back(hash);
    return true;
  }
  bool StartObject() { return open(true); }
  bool StartArray() { return open(false); }
  bool EndObject(rapidjson::SizeType) { return close(); }
  bool EndArray(rapidjson::SizeType) { return close(); }
  // NOLINTEND(readability-identifier-naming)

  ReaderState state() const {
    return {frames_.size(), !frames_.empty() && frames_.back().object, stop_};
  }
  bool has_table() const { return table_found_; }

  // The model, once the text is read: definitions in order, references resolved.
  void finish() {
    std::vector<Definition>& defs = contract_.definitions;
    contract_.index.build(static_cast<std::uint32_t>(defs.size()),
                          [&defs](DefId id) { return defs[id].name; });
    const auto definition_of = [this](std::string_view name) {
      return contract_.index.find(name,
                                  [this](DefId id) { return contract_.definitions[id].name; });
    };
    for (TypeNode& node : contract_.nodes) {
      if (!node.has_ref) continue;
      node.ref_def = definition_of(node.ref_name);
      if (node.ref_def == no_id) names_.push_back(node.ref_name);
    }
    for (NodeExtras& extras : contract_.extras) {
      if (extras.ref_target.data() == nullptr) continue;
      extras.ref_target_def = definition_of(extras.ref_target);
      if (extras.ref_target_def == no_id) names_.push_back(extras.ref_target);
    }
    std::vector<std::string_view>& foreign = contract_.foreign_names;
    for (const std::string_view name : names_) {
      if (definition_of(name) == no_id) foreign.push_back(name);
    }
    std::sort(foreign.begin(), foreign.end(), byte_less);
    foreign.erase(std::unique(foreign.begin(), foreign.end()), foreign.end());
    assign_alias_groups(contract_);
  }

 private:
  bool stop(Stop why) {
    stop_ = why;
    return false;
  }

  // A string's text where it stays while the model lives. The reader reads a string through a
  // copy of the stream, so the stream itself still stands on the opening quote.
  std::string_view kept(const char* str, std::size_t length) {
    if (borrowed_) return {*cursor_ + 1, length};
    if (escapes_ && holds_surrogate(std::string_view(str, length))) {
      stop(Stop::surrogate);
      return {};
    }
    return {str, length};
  }

  // --- Data: the serialisation build_contract gives a container, written as it is read.

  void capture_scalar(const Datum& d) { serialise_scalar(d, capture_); }

  // An object's members, written as read, rewritten in key order; false on a duplicate key.
  bool close_captured_object(const Frame& frame) {
    const auto first = captured_keys_.begin() + frame.members;
    const auto last = captured_keys_.end();
    const std::size_t count = static_cast<std::size_t>(last - first);
    // Each member's value runs to the next member's key.
    member_order_.clear();
    for (std::size_t i = 0; i < count; ++i) member_order_.push_back(static_cast<std::uint32_t>(i));
    const auto key_of = [&](std::uint32_t i) {
      return std::string_view(capture_).substr(first[i].first, first[i].count);
    };
    sort_small(member_order_.begin(), member_order_.end(),
               [&](std::uint32_t a, std::uint32_t b) { return byte_less(key_of(a), key_of(b)); });
    std::string object = "{";
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint32_t at = member_order_[i];
      if (i > 0 && key_of(member_order_[i - 1]) == key_of(at)) return false;
      const std::size_t value_start = first[at].first + first[at].count;
      const std::size_t value_end = at + 1 < count ? first[at + 1].first : capture_.size();
      object += std::to_string(first[at].count) + ':';
      object += key_of(at);
      object.append(capture_, value_start, value_end - value_start);
    }
    object += '}';
    capture_.resize(frame.capture);
    capture_ += object;
    captured_keys_.erase(first, last);
    return true;
  }

  // The serialisation of a finished container, kept as its datum.
  Datum captured(const Frame& frame, Kind kind) {
    const std::string_view text = std::string_view(capture_).substr(frame.capture);
    std::pmr::polymorphic_allocator<char> allocator(contract_.pool.get());
    char* copy = allocator.allocate(text.size());
    std::copy(text.begin(), text.end(), copy);
    Datum d;
    d.present = true;
    d.kind = kind;
    d.chars = copy;
    d.size = static_cast<std::uint32_t>(text.size());
    return d;
  }

  void fill(Slot slot, std::uint32_t slot_index, const Datum& d) {
    Schema& s = schemas_.back();
    switch (slot) {
      case Slot::constant:
        s.x.constant = d;
        break;
      case Slot::default_value:
        s.x.default_value = d;
        break;
      case Slot::constraint:
        constraints_[slot_index].value = d;
        break;
      case Slot::enum_item:
        data_[slot_index] = d;
        break;
      case Slot::none:
        break;
    }
  }

  // --- Values.

  // A name a reference gives: a definition's, or one the module names all the same.
  void reference_name(std::string_view name) { names_.push_back(name); }

  // A string stored under `$ref` or `x-firestore-ref-target` anywhere names a definition.
  void named_by_key(const Datum& d) {
    if (d.kind != Kind::string) return;
    if (key_atom_ == Atom::ref) reference_name(last_segment(d.text()));
    if (key_atom_ == Atom::ref_target) reference_name(d.text());
  }

  // A schema that is no object: a node that says nothing.
  NodeId plain_node(const Datum* d) {
    const auto id = static_cast<NodeId>(contract_.nodes.size());
    contract_.nodes.emplace_back();
    if (d != nullptr) named_by_key(*d);
    return id;
  }

  bool scalar(const Datum& d) {
    if (frames_.empty()) return true;  // a bundle that is a bare value holds nothing
    if (capture_depth_ > 0) capture_scalar(d);
    Frame& frame = frames_.back();
    switch (frame.role) {
      case Role::schema:
        schema_scalar(d);
        break;
      case Role::table:
        definition_of_scalar(&d);
        break;
      case Role::node_list:
        child_ids_.push_back(plain_node(&d));
        break;
      case Role::type_list:
        if (d.kind == Kind::string) types_.push_back({json_type_of(word_of(d.text())), d.text()});
        break;
      case Role::enum_list:
        data_.push_back(d);
        break;
      case Role::properties:
        properties_.push_back({key_, plain_node(&d), false});
        break;
      case Role::required:
        if (d.kind == Kind::string) required_.push_back(d.text());
        break;
      case Role::discriminator:
        if (key_ == "propertyName" && d.kind == Kind::string) {
          Schema& s = schemas_.back();
          s.n.has_discriminator_property = true;
          s.x.discriminator_property = d.text();
          s.has_extras = true;
        }
        named_by_key(d);
        break;
      case Role::mapping:
        mapping_keys_.push_back(key_);
        named_by_key(d);
        break;
      case Role::opaque:
        if (frame.object) named_by_key(d);
        break;
      case Role::root:
      case Role::skip:
        break;
    }
    return true;
  }

  void schema_scalar(const Datum& d) {
    Schema& s = schemas_.back();
    const Atom atom = key_atom_;
    if (is_constraint_key(atom)) constraints_.push_back({atom, d});
    switch (atom) {
      case Atom::server_timestamp:
        s.n.server_timestamp = d.kind == Kind::boolean && d.boolean;
        break;
      case Atom::read_only:
        s.n.read_only = d.kind == Kind::boolean && d.boolean;
        break;
      case Atom::presence_guaranteed:
        s.n.presence_guaranteed = d.kind == Kind::boolean && d.boolean;
        break;
      case Atom::firestore_type:
        if (d.kind == Kind::string) {
          s.x.firestore_text = d.text();
          s.n.firestore = firestore_kind_of(word_of(d.text()));
          s.has_extras = true;
        }
        break;
      case Atom::ref:
        if (d.kind == Kind::string) {
          s.n.has_ref = true;
          s.n.ref_name = last_segment(d.text());
        }
        break;
      case Atom::ref_target:
        if (d.kind == Kind::string) {
          s.n.has_ref_target = true;
          s.x.ref_target = d.text();
          s.has_extras = true;
        }
        break;
      case Atom::description:
        if (d.kind == Kind::string) {
          s.x.description = d.text();
          s.has_extras = true;
          if (s.definition) definition_.description = d.text();
        }
        break;
      case Atom::const_value:
        s.n.has_constant = true;
        s.x.constant = d;
        s.has_extras = true;
        break;
      case Atom::default_value:
        s.x.default_value = d;
        s.has_extras = true;
        break;
      case Atom::type:
        s.type_seen = true;
        if (d.kind == Kind::string) {
          const Word word = word_of(d.text());
          s.type_string = true;
          types_.push_back({json_type_of(word), d.text()});
          s.n.null_type = word == Word::null;
          s.type_object_word = word == Word::object;
        }
        break;
      case Atom::any_of:
        s.any_of_seen = true;
        break;
      case Atom::one_of:
        s.one_of_seen = true;
        break;
      case Atom::items:
        s.n.items = plain_node(&d);
        break;
      case Atom::additional_properties:
        s.additional_seen = true;
        s.additional_true = d.kind == Kind::boolean && d.boolean;
        break;
      case Atom::enum_values:
        s.enum_seen = true;
        break;
      case Atom::properties:
        s.properties_seen = true;
        break;
      case Atom::collection:
        if (s.definition && d.kind == Kind::string) {
          definition_.has_collection = true;
          definition_.collection = d.text();
        }
        break;
      case Atom::doc_id_field:
        if (s.definition && d.kind == Kind::string) {
          definition_.has_doc_id = true;
          definition_.doc_id = d.text();
        }
        break;
      case Atom::title:
        if (s.definition && d.kind == Kind::string) definition_.title = d.text();
        break;
      default:
        break;
    }
  }

  // A definition whose schema is no object (or the start of one that is).
  Definition& new_definition() {
    Definition& d = pending_definitions_.emplace_back();
    d.name = key_;
    d.alias_group = no_id;
    d.kind = DefinitionKind::alias;
    return d;
  }

  void definition_of_scalar(const Datum* d) { new_definition().node = plain_node(d); }

  // --- Containers.

  bool push(Frame frame) {
    if (frames_.size() == max_depth) return stop(Stop::depth);
    frame.key = key_;
    frame.key_atom = key_atom_;
    frame.keys = static_cast<std::uint32_t>(key_hashes_.size());
    frames_.push_back(frame);
    return true;
  }

  // A schema object opens: its node is numbered now, filled when it closes.
  bool open_schema(Frame frame, bool definition) {
    Schema& s = schemas_.emplace_back();
    s.id = static_cast<NodeId>(contract_.nodes.size());
    contract_.nodes.emplace_back();
    s.definition = definition;
    s.n.is_object = true;
    s.constraints = static_cast<std::uint32_t>(constraints_.size());
    s.types = static_cast<std::uint32_t>(types_.size());
    s.data = static_cast<std::uint32_t>(data_.size());
    if (definition) {
      definition_ = Definition{};
      definition_.name = key_;
      definition_.alias_group = no_id;
      properties_.clear();
      required_.clear();
    }
    frame.role = Role::schema;
    frame.index = static_cast<std::uint32_t>(schemas_.size() - 1);
    return push(frame);
  }

  bool open(bool object) {
    Frame frame{};
    frame.object = object;
    frame.role = Role::opaque;
    if (capture_depth_ > 0) {
      frame.capture = static_cast<std::uint32_t>(capture_.size());
      frame.members = static_cast<std::uint32_t>(captured_keys_.size());
      if (!object) capture_ += '[';
    }
    const Role role = frames_.empty() ? Role::root : frames_.back().role;
    switch (role) {
      case Role::root:
        if (frames_.empty()) {
          frame.role = object ? Role::root : Role::skip;
          return push(frame);
        }
        frame.role = Role::skip;
        if (object && is_table_key()) {
          if (table_found_) return stop(Stop::handler);  // two tables: the tree decides
          table_found_ = true;
          frame.role = Role::table;
        }
        return push(frame);
      case Role::skip:
        frame.role = Role::skip;
        return push(frame);
      case Role::table:
        if (object) return open_schema(frame, true);
        definition_of_scalar(nullptr);
        return push(frame);
      case Role::schema:
        return open_in_schema(frame, object);
      case Role::node_list:
        if (object) {
          child_ids_.push_back(static_cast<NodeId>(contract_.nodes.size()));
          return open_schema(frame, false);
        }
        child_ids_.push_back(plain_node(nullptr));
        return push(frame);
      case Role::enum_list:
        data_.emplace_back();
        return open_captured(frame, Slot::enum_item, static_cast<std::uint32_t>(data_.size() - 1));
      case Role::properties:
        if (object) {
          properties_.push_back({key_, static_cast<NodeId>(contract_.nodes.size()), false});
          return open_schema(frame, false);
        }
        properties_.push_back({key_, plain_node(nullptr), false});
        return push(frame);
      case Role::discriminator:
        if (object && key_atom_ == Atom::mapping) {
          frame.role = Role::mapping;
          frame.index = static_cast<std::uint32_t>(mapping_keys_.size());
        }
        return push(frame);
      case Role::mapping:
        mapping_keys_.push_back(key_);
        return push(frame);
      case Role::type_list:
      case Role::required:
      case Role::opaque:
        return push(frame);
    }
    return push(frame);
  }

  bool is_table_key() const {
    if (key_atom_ == Atom::defs) return true;
    return table_ == DefinitionTable::defs_or_draft07 && key_ == "definitions";
  }

  // A container whose value is data: serialised as it is read, inside any serialisation
  // already under way.
  void begin_datum(Frame& frame, Slot slot, std::uint32_t slot_index) {
    frame.slot = slot;
    frame.slot_index = slot_index;
    if (capture_depth_++ > 0) return;
    frame.capture = static_cast<std::uint32_t>(capture_.size());
    frame.members = static_cast<std::uint32_t>(captured_keys_.size());
    if (!frame.object) capture_ += '[';
  }

  bool open_captured(Frame frame, Slot slot, std::uint32_t slot_index) {
    begin_datum(frame, slot, slot_index);
    return push(frame);
  }

  bool open_in_schema(Frame frame, bool object) {
    Schema& s = schemas_.back();
    const Atom atom = key_atom_;
    if (is_constraint_key(atom)) {
      constraints_.push_back({atom, Datum()});
      const auto at = static_cast<std::uint32_t>(constraints_.size() - 1);
      if (atom == Atom::additional_properties) {
        s.additional_seen = true;
        if (object) {
          s.additional_object = true;
          s.n.record_node = static_cast<NodeId>(contract_.nodes.size());
          // Both the record's schema and, serialised, a bound compat compares.
          begin_datum(frame, Slot::constraint, at);
          return open_schema(frame, false);
        }
      }
      return open_captured(frame, Slot::constraint, at);
    }
    switch (atom) {
      case Atom::const_value:
        s.n.has_constant = true;
        s.has_extras = true;
        return open_captured(frame, Slot::constant, 0);
      case Atom::default_value:
        s.has_extras = true;
        return open_captured(frame, Slot::default_value, 0);
      case Atom::type:
        s.type_seen = true;
        if (!object) {
          s.n.type_list = true;
          frame.role = Role::type_list;
        }
        return push(frame);
      case Atom::any_of:
      case Atom::one_of:
      case Atom::prefix_items:
        if (atom == Atom::any_of) s.any_of_seen = true;
        if (atom == Atom::one_of) s.one_of_seen = true;
        if (!object) {
          frame.role = Role::node_list;
          frame.list = atom == Atom::any_of   ? List::any_of
                       : atom == Atom::one_of ? List::one_of
                                              : List::prefix_items;
          frame.index = static_cast<std::uint32_t>(child_ids_.size());
        }
        return push(frame);
      case Atom::items:
        if (object) {
          s.n.items = static_cast<NodeId>(contract_.nodes.size());
          return open_schema(frame, false);
        }
        s.n.items = plain_node(nullptr);
        return push(frame);
      case Atom::enum_values:
        s.enum_seen = true;
        if (!object) {
          s.enum_array = true;
          frame.role = Role::enum_list;
        }
        return push(frame);
      case Atom::discriminator:
        if (object) frame.role = Role::discriminator;
        return push(frame);
      case Atom::properties:
        s.properties_seen = true;
        if (object && s.definition) frame.role = Role::properties;
        return push(frame);
      case Atom::required:
        if (!object && s.definition) frame.role = Role::required;
        return push(frame);
      default:
        return push(frame);
    }
  }

  // Moves the pending entries from `first` on into `into`, as one run.
  template <class T>
  static Range move_run(std::vector<T>& pending, std::size_t first, std::vector<T>& into) {
    Range range{static_cast<std::uint32_t>(into.size()),
                static_cast<std::uint32_t>(pending.size() - first)};
    into.insert(into.end(), pending.begin() + static_cast<std::ptrdiff_t>(first), pending.end());
    pending.resize(first);
    return range;
  }

  bool close() {
    const Frame frame = frames_.back();
    if (capture_depth_ > 0) {
      if (!frame.object) {
        capture_ += ']';
      } else if (!close_captured_object(frame)) {
        return stop(Stop::handler);
      }
    }
    bool ok = true;
    switch (frame.role) {
      case Role::schema:
        ok = close_schema();
        break;
      case Role::node_list: {
        const Range range = move_run(child_ids_, frame.index, contract_.node_lists);
        Schema& s = schemas_.back();
        if (frame.list == List::any_of) {
          s.any_of_array = true;
          s.any_of = range;
        } else if (frame.list == List::one_of) {
          s.one_of_array = true;
          s.one_of = range;
        } else {
          s.n.has_tuple = true;
          s.tuple = range;
        }
        break;
      }
      case Role::table:
        ok = close_table();
        break;
      case Role::mapping: {
        Schema& s = schemas_.back();
        const auto first = mapping_keys_.begin() + frame.index;
        sort_small(first, mapping_keys_.end(), byte_less);
        if (std::adjacent_find(first, mapping_keys_.end()) != mapping_keys_.end()) {
          ok = false;
        } else {
          s.x.mapping = move_run(mapping_keys_, frame.index, contract_.keys);
          s.has_extras = s.has_extras || s.x.mapping.count != 0;
        }
        break;
      }
      default:
        break;
    }
    if (!ok) return stop(Stop::handler);
    if (frame.slot != Slot::none) {
      fill(frame.slot, frame.slot_index,
           captured(frame, frame.object ? Kind::object : Kind::array));
      if (--capture_depth_ == 0) capture_.clear();
    }
    key_hashes_.resize(frame.keys);
    frames_.pop_back();
    key_ = frame.key;
    key_atom_ = frame.key_atom;
    return true;
  }

  bool close_table() {
    std::vector<Definition>& defs = pending_definitions_;
    sort_small(defs.begin(), defs.end(),
               [](const Definition& a, const Definition& b) { return byte_less(a.name, b.name); });
    const auto same_name = [](const Definition& a, const Definition& b) {
      return a.name == b.name;
    };
    if (std::adjacent_find(defs.begin(), defs.end(), same_name) != defs.end()) return false;
    contract_.definitions = std::move(defs);
    return true;
  }

  bool close_schema() {
    Schema& s = schemas_.back();
    TypeNode n = s.n;
    // Bounds in key order, as the tree lists them.
    const auto first = constraints_.begin() + s.constraints;
    sort_small(first, constraints_.end(), [](const ConstraintEntry& a, const ConstraintEntry& b) {
      return byte_less(text_of(a.key), text_of(b.key));
    });
    n.constraints = move_run(constraints_, s.constraints, contract_.constraints);
    n.types = move_run(types_, s.types, contract_.type_names);
    if (s.enum_array) {
      n.has_enum = true;
      s.x.enum_values = move_run(data_, s.data, contract_.data);
      s.has_extras = true;
    } else {
      data_.resize(s.data);
    }
    if (n.has_tuple) s.x.tuple = s.tuple;
    if (s.has_extras || n.has_tuple) {
      n.extras = static_cast<std::uint32_t>(contract_.extras.size());
      contract_.extras.push_back(s.x);
    }
    if (s.any_of_array) {
      n.has_alternatives = true;
      n.alternatives = s.any_of;
    } else if (s.one_of_array) {
      n.has_alternatives = true;
      n.alternatives = s.one_of;
    }
    n.form = form_of(n, s.x.firestore_text.data() != nullptr, s.type_string || n.type_list);
    if (s.additional_seen) {
      if (s.additional_object) {
        n.record = RecordValues::schema;
      } else {
        n.record_node = no_id;
        if (!s.additional_true) n.record = RecordValues::none;
      }
    }
    contract_.nodes[s.id] = n;
    if (s.definition) {
      Definition& d = definition_;
      d.node = s.id;
      d.object_shaped = s.properties_seen || s.type_object_word;
      d.kind = s.enum_seen       ? DefinitionKind::enumeration
               : d.object_shaped ? DefinitionKind::model
                                 : DefinitionKind::alias;
      if (n.has_enum) {
        d.enum_is_array = true;
        d.members = s.x.enum_values;
      }
      if (!close_properties(d)) return false;
      pending_definitions_.push_back(d);
    }
    schemas_.pop_back();
    return true;
  }

  // A definition's properties in byte order of key, each marked when `required` names it.
  bool close_properties(Definition& d) {
    d.properties.first = static_cast<std::uint32_t>(contract_.properties.size());
    if (properties_.empty()) return true;
    sort_small(properties_.begin(), properties_.end(),
               [](const Property& a, const Property& b) { return byte_less(a.key, b.key); });
    const auto same_key = [](const Property& a, const Property& b) { return a.key == b.key; };
    if (std::adjacent_find(properties_.begin(), properties_.end(), same_key) != properties_.end()) {
      return false;
    }
    if (!std::is_sorted(required_.begin(), required_.end(), byte_less))
      std::sort(required_.begin(), required_.end(), byte_less);
    std::size_t next = 0;
    for (Property& property : properties_) {
      while (next < required_.size() && byte_less(required_[next], property.key)) ++next;
      property.required = next < required_.size() && required_[next] == property.key;
    }
    contract_.properties.insert(contract_.properties.end(), properties_.begin(), properties_.end());
    d.properties.count = static_cast<std::uint32_t>(properties_.size());
    properties_.clear();
    required_.clear();
    return true;
  }

  Contract& contract_;
  DefinitionTable table_;
  const char* const* cursor_ = nullptr;
  bool borrowed_;
  bool escapes_;
  bool table_found_ = false;
  int capture_depth_ = 0;  // open containers whose serialisation is a datum
  Stop stop_ = Stop::none;
  std::string_view key_;
  Atom key_atom_ = Atom::other;
  std::vector<Frame> frames_;
  std::vector<Schema> schemas_;
  Definition definition_{};  // the definition whose schema is open
  std::vector<std::uint64_t> key_hashes_;
  std::vector<Definition> pending_definitions_;
  std::vector<Property> properties_;
  std::vector<std::string_view> required_;
  std::vector<ConstraintEntry> constraints_;
  std::vector<TypeName> types_;
  std::vector<Datum> data_;
  std::vector<std::string_view> mapping_keys_;
  std::vector<NodeId> child_ids_;
  std::vector<std::string_view> names_;
  std::string capture_;
  std::vector<Range> captured_keys_;  // first: where the key starts in capture_; count: length
  std::vector<std::uint32_t> member_order_;
};

constexpr unsigned borrowed_flags = rapidjson::kParseNumbersAsStringsFlag;
constexpr unsigned in_place_flags =
    rapidjson::kParseNumbersAsStringsFlag | rapidjson::kParseInsituFlag;

// How many times `c` occurs in `text`. Byte counters, emptied every 255 blocks, let the compiler
// compare 16 bytes at once, where std::count widens every byte to a 64-bit sum.
std::size_t count_of(std::string_view text, char c) {
  constexpr std::size_t lanes = 16;
  constexpr std::size_t block = 255 * lanes;
  std::size_t total = 0;
  std::size_t at = 0;
  for (; at + block <= text.size(); at += block) {
    std::uint8_t counts[lanes] = {};
    for (std::size_t i = 0; i < block; i += lanes) {
      for (std::size_t lane = 0; lane < lanes; ++lane) counts[lane] += text[at + i + lane] == c;
    }
    for (const std::uint8_t n : counts) total += n;
  }
  for (; at < text.size(); ++at) total += text[at] == c;
  return total;
}

// Reserves the model's storage from the count of objects the text can hold at most: a vector
// that regrows holds both copies at once.
std::size_t reserve(Contract& contract, std::string_view text) {
  const std::size_t objects = count_of(text, '{');
  contract.nodes.reserve(objects);
  contract.properties.reserve(objects);
  contract.type_names.reserve(objects);
  contract.extras.reserve(objects / 2);
  return objects;
}

// One read of `text`; `fallback` is set when the tree must decide instead.
ReadResult read_once(std::string_view text, DefinitionTable table, bool& fallback,
                     std::unique_ptr<std::pmr::monotonic_buffer_resource> own) {
  ReadResult result;
  const std::size_t objects = reserve(result.contract, text);
  rapidjson::Reader reader;
  rapidjson::ParseResult parsed;
  std::size_t consumed = 0;
  const bool borrowed = own == nullptr && text.find('\\') == std::string_view::npos;
  if (!borrowed && own == nullptr) {
    own = std::make_unique<std::pmr::monotonic_buffer_resource>(text.size() + 1,
                                                                &large_page_resource());
  }
  ReaderState state;
  if (borrowed) {
    ContractReader handler(result.contract, table, true, false);
    handler.reserve_definitions(objects);
    rapidjson::StringStream stream(text.data());
    handler.set_cursor(&stream.src_);
    parsed = reader.Parse<borrowed_flags>(stream, handler);
    consumed = stream.Tell();
    state = handler.state();
    if (!parsed.IsError() && consumed == text.size()) handler.finish();
    result.has_table = handler.has_table();
  } else {
    auto* copy = static_cast<char*>(own->allocate(text.size() + 1, 1));
    std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    ContractReader handler(result.contract, table, false,
                           text.find("\\u") != std::string_view::npos);
    handler.reserve_definitions(objects);
    rapidjson::InsituStringStream stream(copy);
    parsed = reader.Parse<in_place_flags>(stream, handler);
    consumed = stream.Tell();
    state = handler.state();
    if (!parsed.IsError() && consumed == text.size()) handler.finish();
    result.has_table = handler.has_table();
    result.contract.source = std::move(own);
  }
  if (parsed.IsError()) {
    if (state.stop == Stop::handler) {
      fallback = true;
      return result;
    }
    result.error = describe_parse_error(text, parsed.Code(), parsed.Offset(), state);
    return result;
  }
  // The reader stops at a NUL byte as if the text had ended there.
  if (consumed != text.size()) {
    result.error = trailing_characters(text, consumed);
    return result;
  }
  result.ok = true;
  return result;
}

// Through the tree: for the texts the reader leaves to it.
ReadResult read_through_tree(std::string_view text, DefinitionTable table) {
  ReadResult result;
  ParseResult parsed = parse_json(text);
  if (!parsed.ok) {
    result.error = parsed.error;
    return result;
  }
  result.has_table = find_definition_table(parsed.document.root, table) != nullptr;
  result.contract = build_contract(parsed.document, table);
  result.ok = true;
  return result;
}

}  // namespace

ReadResult read_contract(std::string_view text, DefinitionTable table, ReadRoute route) {
  // A text holding a control byte the string scan misses is no JSON: the tree tells where.
  if ((route == ReadRoute::by_size && text.size() < direct_read_bytes) || holds_late_control(text))
    return read_through_tree(text, table);
  bool fallback = false;
  ReadResult result = read_once(text, table, fallback, nullptr);
  if (fallback) return read_through_tree(text, table);
  if (!result.ok && result.error.kind == ParseErrorKind::number_out_of_range) {
    // RapidJSON refuses an exponent past 308 even on zero, whose value is still 0: the tree's
    // reader knows the rewrite that mends it.
    return read_through_tree(text, table);
  }
  return result;
}

}  // namespace brenvale
