// Which way a type changed: a bounded, sound test of "every value of one type is one of the other".
#include "compat/type_order.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>
#include <vector>

#include "typescript/literal.hpp"
#include "util/byte_order.hpp"

namespace brenvale::compat {

namespace {

// Is `value` a whole multiple of `step`? Decimal steps are inexact in binary: 0.3 / 0.1 is
// 2.9999999999999996.
bool whole_multiple(double value, double step) {
  const double ratio = value / step;
  return std::abs(ratio - std::round(ratio)) <= 1e-9 * std::max(1.0, std::abs(ratio));
}

// Does the node take integers only? Between integers an exclusive bound is the next inclusive
// one: `gt=0` admits what `ge=1` admits.
bool integers_only(const Contract& contract, const TypeNode& node) {
  return contract.is_only(node, JsonType::integer);
}

// Does a value of this kind belong to the JSON type? An integer is a number; arrays and objects
// are not looked into.
bool type_takes(JsonType type, Kind kind) {
  switch (kind) {
    case Kind::null:
      return type == JsonType::null;
    case Kind::boolean:
      return type == JsonType::boolean;
    case Kind::int64:
    case Kind::uint64:
      return type == JsonType::integer || type == JsonType::number;
    case Kind::float64:
      return type == JsonType::number;
    case Kind::string:
      return type == JsonType::string;
    case Kind::array:
    case Kind::object:
      return false;
  }
  return false;
}

// How bound `a` (as a double, `x`) stands to `b` (`y`) on the side of the values it bounds:
// positive when `a` lies further in, so admits less.
int inward(const Datum& a, double x, const Datum& b, double y, bool upper) {
  return compare_bounds(a, b, x, y) * (upper ? -1 : 1);
}

// Does the edge admit `value`, a number?
bool edge_admits(const Edge& edge, const Datum& value, bool upper) {
  if (!edge.value.present) return true;
  const int order = inward(value, *number_of(value), edge.value, edge.number, upper);
  return order > 0 || (order == 0 && !edge.strict);
}

}  // namespace

std::optional<double> number_of(const Datum& value) {
  if (!value.present) return std::nullopt;
  switch (value.kind) {
    case Kind::int64:
      return static_cast<double>(value.int64);
    case Kind::uint64:
      return static_cast<double>(value.uint64);
    case Kind::float64:
      return value.float64;
    default:
      return std::nullopt;
  }
}

int compare_bounds(const Datum& a, const Datum& b, double x, double y) {
  const auto wide = [](const Datum& d) -> std::optional<__int128> {
    if (d.kind == Kind::int64) return d.int64;
    if (d.kind == Kind::uint64) return d.uint64;
    return std::nullopt;
  };
  const std::optional<__int128> i = wide(a);
  const std::optional<__int128> j = wide(b);
  if (i && j) return *i < *j ? -1 : (*i > *j ? 1 : 0);
  return x < y ? -1 : (x > y ? 1 : 0);
}

Edge edge_of(const Contract& contract, const TypeNode& node, bool upper) {
  const Atom exclusive = upper ? Atom::exclusive_maximum : Atom::exclusive_minimum;
  Edge edge;
  for (const Atom key : {upper ? Atom::maximum : Atom::minimum, exclusive}) {
    const Datum& value = contract.constraint(node, key);
    const std::optional<double> number = number_of(value);
    if (!number) continue;
    const bool strict = key == exclusive;
    const int order =
        edge.value.present ? inward(value, *number, edge.value, edge.number, upper) : 1;
    // At one value the exclusive bound is the tighter.
    if (order > 0 || (order == 0 && strict)) edge = {value, *number, strict};
  }
  if (edge.strict && edge.value.kind == Kind::int64 && integers_only(contract, node)) {
    constexpr std::int64_t least = std::numeric_limits<std::int64_t>::min();
    constexpr std::int64_t most = std::numeric_limits<std::int64_t>::max();
    if (upper ? edge.value.int64 != least : edge.value.int64 != most) {
      edge.value.int64 += upper ? -1 : 1;
      edge.number = static_cast<double>(edge.value.int64);
      edge.strict = false;
    }
  }
  return edge;
}

bool bounds_admit(const Contract& contract, const TypeNode& node, const Datum& value) {
  if (value.is_string()) {
    if (contract.constraint(node, Atom::pattern).present ||
        contract.constraint(node, Atom::format).present)
      return false;
    const std::string_view text = value.text();
    const auto length =
        static_cast<std::uint64_t>(std::count_if(text.begin(), text.end(), [](char c) {
          return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        }));
    const Datum& least = contract.constraint(node, Atom::min_length);
    const Datum& most = contract.constraint(node, Atom::max_length);
    return !(least.is_count() && length < least.count()) &&
           !(most.is_count() && length > most.count());
  }
  if (!value.is_number()) return true;
  for (const bool upper : {false, true}) {
    if (!edge_admits(edge_of(contract, node, upper), value, upper)) return false;
  }
  const Datum& step = contract.constraint(node, Atom::multiple_of);
  if (value.kind == Kind::int64 && step.kind == Kind::int64 && step.int64 > 0)
    return value.int64 % step.int64 == 0;
  const std::optional<double> size = number_of(step);
  return !size || *size <= 0 || whole_multiple(*number_of(value), *size);
}

bool edge_rejects_more(const Edge& was, const Edge& now, bool upper) {
  if (!now.value.present) return false;
  if (!was.value.present) return true;
  const int order = inward(now.value, now.number, was.value, was.number, upper);
  return order > 0 || (order == 0 && now.strict && !was.strict);
}

bool admits_all(Atom key, const Datum& old, const Datum& now) {
  if (!now.present) return true;
  if (key == Atom::unique_items) return !now.is_true() || old.is_true();
  if (key == Atom::additional_properties) return !now.is_false() || old.is_false();
  if (key == Atom::multiple_of) {
    // Multiples of 6 are multiples of 3: the old step must be a multiple of the new one.
    const std::optional<double> step = number_of(now);
    const std::optional<double> old_step = number_of(old);
    if (!step || *step == 0) return true;
    return old_step && whole_multiple(*old_step, *step);
  }
  return old.present && same_datum(old, now);  // pattern, format
}

namespace {

// Nesting depth, as everywhere else; references to aliases count as a level.
constexpr int max_depth = 127;
// Steps per question beyond the size of the two types: what keeps the test linear in the
// findings and the types they compare, whatever references and unions lead to.
constexpr std::size_t step_budget = 4096;

// The entries of a type written in place (members, values, items), references not followed.
std::size_t inline_size(const Contract& contract, NodeId id, int depth) {
  const TypeNode& node = contract.node(id);
  std::size_t size = 1 + (node.has_enum ? contract.enum_values(node).size() : 0);
  if (depth > max_depth) return size;
  const auto add = [&](NodeId child) {
    if (child != no_id) size += inline_size(contract, child, depth + 1);
  };
  for (const NodeId member : contract.alternatives(node)) add(member);
  for (const NodeId member : contract.tuple(node)) add(member);
  add(node.items);
  add(node.record_node);
  return size;
}

// A definition whose values compat compares at the definition itself (a model), or none.
bool compared_by_name(const Contract& contract, const TypeNode& node) {
  return node.ref_def == no_id || contract.definitions[node.ref_def].object_shaped;
}

// Does the bound `now` on a count (a length, items, keys) admit every count `was` admits? A floor
// of 0 rejects nothing.
bool count_admits_all(const Datum& was, const Datum& now, bool upper) {
  const std::optional<double> most = number_of(now);
  if (!most || (!upper && *most <= 0)) return true;
  const std::optional<double> held = number_of(was);
  if (!held) return false;
  const int order = compare_bounds(now, was, *most, *held);
  return upper ? order >= 0 : order <= 0;
}

// Do `t`'s own bounds and restrictions admit every value of the JSON type `type` that `f`'s
// admit? Only those of that type count: `maxLength` says nothing of a number.
bool bounds_hold(const Contract& to, const TypeNode& t, const Contract& from, const TypeNode& f,
                 JsonType type) {
  if (t.constraints.count == 0) return true;
  const auto counts = [&](Atom least, Atom most) {
    return count_admits_all(from.constraint(f, least), to.constraint(t, least), false) &&
           count_admits_all(from.constraint(f, most), to.constraint(t, most), true);
  };
  const auto restricts = [&](Atom key) {
    return admits_all(key, from.constraint(f, key), to.constraint(t, key));
  };
  switch (type) {
    case JsonType::string:
      return counts(Atom::min_length, Atom::max_length) && restricts(Atom::pattern) &&
             restricts(Atom::format);
    case JsonType::integer:
    case JsonType::number: {
      for (const bool upper : {false, true}) {
        if (edge_rejects_more(edge_of(from, f, upper), edge_of(to, t, upper), upper)) return false;
      }
      // Every integer is a multiple of 1, so of 0.5.
      Datum step = from.constraint(f, Atom::multiple_of);
      if (!step.present && type == JsonType::integer) {
        step.present = true;
        step.kind = Kind::int64;
        step.int64 = 1;
      }
      return admits_all(Atom::multiple_of, step, to.constraint(t, Atom::multiple_of));
    }
    case JsonType::array:
      return counts(Atom::min_items, Atom::max_items) && restricts(Atom::unique_items);
    case JsonType::object:
      return counts(Atom::min_properties, Atom::max_properties) &&
             restricts(Atom::property_names) && restricts(Atom::pattern_properties);
    default:
      return true;
  }
}

// One question: does every value of a type of `from` belong to a type of `to`? "No" is always a
// safe answer, and the one given when the steps run out.
struct Order {
  const Contract& to;
  const Contract& from;
  std::size_t steps;
  // Two Firestore values held each other though one was a server timestamp and the other not.
  bool marker_differs = false;

  bool step(int depth) { return depth <= max_depth && spend(1); }

  // Work over a list counts a step per entry, so no union or enum makes a question quadratic.
  bool spend(std::size_t count) {
    if (steps < count) {
      steps = 0;
      return false;
    }
    steps -= count;
    return true;
  }

  // The node a reference to an alias or enum stands for; a model's is its name.
  static NodeId target(const Contract& contract, NodeId id) {
    const TypeNode& node = contract.node(id);
    if (node.form != TypeForm::reference || compared_by_name(contract, node)) return id;
    return contract.definitions[node.ref_def].node;
  }

  bool covers(NodeId t_id, NodeId f_id, int depth) {
    if (!step(depth)) return false;
    const TypeNode& t = to.node(t_id);
    const TypeNode& f = from.node(f_id);
    if (t.form == TypeForm::unknown) return true;
    if (f.form == TypeForm::alternatives) {
      // Literals on both sides (an enum, a union of constants) meet as two sets.
      OrderedSet<std::string> members;
      const bool literals = literal_members(from, f, members);
      if (!spend(members.size())) return false;
      if (literals && covers_literals(t_id, members, depth)) return true;
    }
    switch (f.form) {
      case TypeForm::alternatives:
        return std::all_of(from.alternatives(f).begin(), from.alternatives(f).end(),
                           [&](NodeId member) { return covers(t_id, member, depth + 1); });
      case TypeForm::reference:
        if (compared_by_name(from, f)) return covers_named(t_id, f, depth);
        return covers(t_id, target(from, f_id), depth + 1);
      case TypeForm::literal:
        return accepts(t_id, from.extras_of(f).constant, depth);
      case TypeForm::enumeration:
        return covers_members(t_id, f, depth);
      case TypeForm::json:
        return std::all_of(from.types(f).begin(), from.types(f).end(),
                           [&](const TypeName& name) { return covers_json(t_id, f, name, depth); });
      case TypeForm::firestore:
        return covers_firestore(t_id, f, depth);
      case TypeForm::unknown:
        return false;  // any value, and `to` says which
    }
    return false;
  }

  bool covers_members(NodeId t_id, const TypeNode& f, int depth) {
    if (!spend(from.enum_values(f).size())) return false;
    OrderedSet<std::string> members;
    literal_members(from, f, members);
    if (covers_literals(t_id, members, depth)) return true;
    return std::all_of(from.enum_values(f).begin(), from.enum_values(f).end(),
                       [&](const Datum& value) { return accepts(t_id, value, depth); });
  }

  // Does `t`, when it reads as literals too, hold every one of `members`? False when it does not
  // read as literals, which leaves the answer to the slower test.
  bool covers_literals(NodeId t_id, const OrderedSet<std::string>& members, int depth) {
    NodeId held = t_id;  // through aliases first, so that two wide enums meet as two sets
    for (int hops = depth; hops <= max_depth && target(to, held) != held; ++hops)
      held = target(to, held);
    OrderedSet<std::string> accepted;
    const bool literals = literal_members(to, to.node(held), accepted);
    if (!spend(accepted.size()) || !literals) return false;
    return std::all_of(members.begin(), members.end(),
                       [&](const std::string& member) { return accepted.contains(member); });
  }

  // Is the constant `value` one of `t`'s values? Arrays and objects are not looked into.
  bool accepts(NodeId t_id, const Datum& value, int depth) {
    if (!step(depth)) return false;
    const TypeNode& t = to.node(t_id);
    switch (t.form) {
      case TypeForm::unknown:
        return true;
      case TypeForm::literal:
        return same_datum(to.extras_of(t).constant, value);
      case TypeForm::enumeration:
        return spend(to.enum_values(t).size()) &&
               std::any_of(to.enum_values(t).begin(), to.enum_values(t).end(),
                           [&](const Datum& member) { return same_datum(member, value); });
      case TypeForm::alternatives: {
        const UnionIndex& index = index_of(t_id);
        if (index.literals.contains(literal(value))) return true;
        return std::any_of(index.valued.begin(), index.valued.end(),
                           [&](NodeId member) { return accepts(member, value, depth + 1); });
      }
      case TypeForm::reference:
        return !compared_by_name(to, t) && accepts(target(to, t_id), value, depth + 1);
      case TypeForm::json: {
        const bool typed =
            std::any_of(to.types(t).begin(), to.types(t).end(),
                        [&](const TypeName& name) { return type_takes(name.type, value.kind); });
        return typed && bounds_admit(to, t, value);
      }
      case TypeForm::firestore:
        return false;
    }
    return false;
  }

  // Does `t` hold every value of `f` of the JSON type `name`?
  bool covers_json(NodeId t_id, const TypeNode& f, const TypeName& name, int depth) {
    if (!step(depth)) return false;
    const TypeNode& t = to.node(t_id);
    switch (t.form) {
      case TypeForm::unknown:
        return true;
      case TypeForm::alternatives:
        return std::any_of(to.alternatives(t).begin(), to.alternatives(t).end(),
                           [&](NodeId member) { return covers_json(member, f, name, depth + 1); });
      case TypeForm::reference:
        return !compared_by_name(to, t) && covers_json(target(to, t_id), f, name, depth + 1);
      case TypeForm::json:
        return std::any_of(to.types(t).begin(), to.types(t).end(), [&](const TypeName& held) {
          const bool same = held.type == name.type && (name.type != JsonType::other ||
                                                       to.type_text(held) == from.type_text(name));
          const bool integer = name.type == JsonType::integer && held.type == JsonType::number;
          if (!same && !integer) return false;
          if (!bounds_hold(to, t, from, f, name.type)) return false;
          if (name.type == JsonType::array) return covers_items(t, f, depth);
          if (name.type == JsonType::object) return covers_record(t, f, depth);
          return true;
        });
      default:
        return false;
    }
  }

  bool covers_optional(NodeId t_id, NodeId f_id, int depth) {
    if (t_id == no_id || to.node(t_id).form == TypeForm::unknown) return true;
    return f_id != no_id && covers(t_id, f_id, depth + 1);
  }

  bool covers_items(const TypeNode& t, const TypeNode& f, int depth) {
    if (!t.has_tuple && f.has_tuple) return list_covers_tuple(t, f, depth);
    if (t.has_tuple || f.has_tuple) {
      const std::span<const NodeId> ts = to.tuple(t);
      const std::span<const NodeId> fs = from.tuple(f);
      if (!t.has_tuple || !f.has_tuple || ts.size() != fs.size()) return false;
      for (std::size_t i = 0; i < ts.size(); ++i) {
        if (!covers(ts[i], fs[i], depth + 1)) return false;
      }
    }
    return covers_optional(t.items, f.items, depth);
  }

  // A list holds a tuple whose every place its items hold, and past whose places the tuple holds
  // items the list's items hold, or, bounded to its places, none: `tuple[int, int]` -> `list[int]`.
  bool list_covers_tuple(const TypeNode& t, const TypeNode& f, int depth) {
    const std::span<const NodeId> places = from.tuple(f);
    for (const NodeId place : places) {
      if (!covers_optional(t.items, place, depth)) return false;
    }
    if (f.items != no_id) return covers_optional(t.items, f.items, depth);
    const Datum& most = from.constraint(f, Atom::max_items);
    return most.is_count() && most.count() <= places.size();
  }

  bool covers_record(const TypeNode& t, const TypeNode& f, int depth) {
    switch (t.record) {
      case RecordValues::any:
        return true;
      case RecordValues::schema:
        return f.record == RecordValues::schema && covers(t.record_node, f.record_node, depth + 1);
      case RecordValues::none:
        return f.record == RecordValues::none;
    }
    return false;
  }

  bool covers_firestore(NodeId t_id, const TypeNode& f, int depth) {
    if (!step(depth)) return false;
    const TypeNode& t = to.node(t_id);
    switch (t.form) {
      case TypeForm::alternatives:
        return std::any_of(to.alternatives(t).begin(), to.alternatives(t).end(),
                           [&](NodeId member) { return covers_firestore(member, f, depth + 1); });
      case TypeForm::reference:
        return !compared_by_name(to, t) && covers_firestore(target(to, t_id), f, depth + 1);
      case TypeForm::firestore: {
        const NodeExtras& te = to.extras_of(t);
        const NodeExtras& fe = from.extras_of(f);
        // A reference to any document holds a reference to one of a given collection. A server
        // timestamp is stored as a Timestamp: the marker says only who writes it.
        const bool holds =
            t.firestore == f.firestore && te.firestore_text == fe.firestore_text &&
            (!t.has_ref_target || (f.has_ref_target && te.ref_target == fe.ref_target));
        marker_differs = marker_differs || (holds && t.server_timestamp != f.server_timestamp);
        return holds;
      }
      default:
        return t.form == TypeForm::unknown;
    }
  }

  // `f` is a reference read by its name (a model, or a name the bundle does not define): `t`
  // holds it when it names the same kind of thing by the same name.
  bool covers_named(NodeId t_id, const TypeNode& f, int depth) {
    if (!step(depth)) return false;
    const TypeNode& t = to.node(t_id);
    switch (t.form) {
      case TypeForm::alternatives: {
        const UnionIndex& index = index_of(t_id);
        const auto same_name = std::equal_range(
            index.named.begin(), index.named.end(), std::pair(from.ref_name(f), no_id),
            [](const auto& a, const auto& b) { return byte_less(a.first, b.first); });
        for (auto it = same_name.first; it != same_name.second; ++it) {
          if (covers_named(it->second, f, depth + 1)) return true;
        }
        return std::any_of(index.nested.begin(), index.nested.end(),
                           [&](NodeId member) { return covers_named(member, f, depth + 1); });
      }
      case TypeForm::reference:
        if (!compared_by_name(to, t)) return covers_named(target(to, t_id), f, depth + 1);
        return to.ref_name(t) == from.ref_name(f) && (t.ref_def == no_id) == (f.ref_def == no_id);
      default:
        return t.form == TypeForm::unknown;
    }
  }

  // A union's members in `to` by what finds them fast: references by name, sorted; the members
  // that may hold one further down (aliases, unions, any value); the constants and enum values
  // of its members, as literals; and the members that hold other values.
  struct UnionIndex {
    std::vector<std::pair<std::string_view, NodeId>> named;
    std::vector<NodeId> nested;
    OrderedSet<std::string> literals;
    std::vector<NodeId> valued;
  };
  std::unordered_map<NodeId, UnionIndex> unions{};

  const UnionIndex& index_of(NodeId t_id) {
    auto [entry, added] = unions.try_emplace(t_id);
    if (added) {
      for (const NodeId member : to.alternatives(to.node(t_id))) {
        const TypeNode& node = to.node(member);
        if (node.form == TypeForm::reference && compared_by_name(to, node)) {
          entry->second.named.emplace_back(to.ref_name(node), member);
        } else if (node.form == TypeForm::reference || node.form == TypeForm::alternatives ||
                   node.form == TypeForm::unknown) {
          entry->second.nested.push_back(member);
        }
        if (node.form == TypeForm::literal || node.form == TypeForm::enumeration) {
          literal_members(to, node, entry->second.literals);
        } else if (node.form != TypeForm::reference || !compared_by_name(to, node)) {
          entry->second.valued.push_back(member);
        }
      }
      std::sort(entry->second.named.begin(), entry->second.named.end(),
                [](const auto& a, const auto& b) { return byte_less(a.first, b.first); });
    }
    return entry->second;
  }
};

}  // namespace

bool literal_members(const Contract& contract, const TypeNode& node, OrderedSet<std::string>& out) {
  if (node.has_constant) {
    out.insert(literal(contract.extras_of(node).constant));
    return true;
  }
  if (node.has_enum) {
    for (const Datum& value : contract.enum_values(node)) out.insert(literal(value));
    return true;
  }
  if (!node.has_alternatives || node.alternatives.count == 0) return false;
  for (const NodeId id : contract.alternatives(node)) {
    const TypeNode& member = contract.node(id);
    if (member.null_type) {
      out.insert("null");
    } else if (!literal_members(contract, member, out)) {
      return false;
    }
  }
  return true;
}

bool holds(const Contract& to, NodeId t, const Contract& from, NodeId f) {
  Order order{to, from, step_budget + 4 * (inline_size(to, t, 0) + inline_size(from, f, 0))};
  return order.covers(t, f, 0);
}

Directions change_directions(const Contract& olds, NodeId old_node, const Contract& news,
                             NodeId new_node) {
  const std::size_t steps =
      step_budget + 4 * (inline_size(olds, old_node, 0) + inline_size(news, new_node, 0));
  Order keeps_stored{news, olds, steps};
  Order keeps_readers{olds, news, steps};
  Directions directions;
  if (!keeps_stored.covers(new_node, old_node, 0))
    directions = directions | Directions::of(Direction::backward);
  if (!keeps_readers.covers(old_node, new_node, 0))
    directions = directions | Directions::of(Direction::forward);
  // The same stored values, the module's types apart from a server timestamp's marker: only code
  // compiled against the module sees the change, which the caller says.
  if (directions.empty() && (keeps_stored.marker_differs || keeps_readers.marker_differs))
    return directions;
  // Equal as far as the model tells, yet read differently: no side is proved safe.
  return directions.empty()
             ? Directions::of(Direction::backward) | Directions::of(Direction::forward)
             : directions;
}

}  // namespace brenvale::compat
