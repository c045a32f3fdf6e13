// Every fact of a contract model as text, nodes reached from the definitions, so two models
// read by different routes compare whatever order they numbered their nodes in.
#pragma once

#include <bit>
#include <string>

#include "contract/model.hpp"

namespace brenvale::testing {

inline void dump_datum(const Datum& d, std::string& out) {
  if (!d.present) {
    out += '-';
    return;
  }
  out += std::to_string(static_cast<int>(d.kind)) + ':';
  switch (d.kind) {
    case Kind::null:
      break;
    case Kind::boolean:
      out += d.boolean ? 't' : 'f';
      break;
    case Kind::int64:
      out += std::to_string(d.int64);
      break;
    case Kind::uint64:
      out += std::to_string(d.uint64);
      break;
    case Kind::float64:
      out += std::to_string(std::bit_cast<std::uint64_t>(d.float64));
      break;
    default:
      out += std::to_string(d.size) + '"';
      out += d.text();
  }
  out += ' ';
}

inline void dump_text(std::string_view text, std::string& out) {
  out += text.data() == nullptr ? std::string("~") : std::to_string(text.size()) + '"';
  out += text;
  out += ' ';
}

// `depth` bounds the walk; the model's nesting is bounded by the text's anyway.
inline void dump_node(const Contract& c, NodeId id, std::string& out, int depth = 0) {
  if (id == no_id) {
    out += "none ";
    return;
  }
  const TypeNode& n = c.node(id);
  out += "{form" + std::to_string(static_cast<int>(n.form)) + " fs" +
         std::to_string(static_cast<int>(n.firestore)) + " rec" +
         std::to_string(static_cast<int>(n.record)) + " bits";
  for (const bool bit :
       {bool(n.is_object), bool(n.server_timestamp), bool(n.has_ref), bool(n.has_ref_target),
        bool(n.has_enum), bool(n.has_alternatives), bool(n.type_list), bool(n.null_type),
        bool(n.has_tuple), bool(n.read_only), bool(n.presence_guaranteed),
        bool(n.has_discriminator_property), bool(n.has_constant)}) {
    out += bit ? '1' : '0';
  }
  out += " ref" + std::to_string(n.ref_def) + ' ';
  dump_text(n.ref_name, out);
  for (const TypeName& t : c.types(n)) {
    out += "type" + std::to_string(static_cast<int>(t.type)) + ' ';
    dump_text(t.text, out);
  }
  for (const ConstraintEntry& e : c.constraints_of(n)) {
    out += std::string(text_of(e.key)) + '=';
    dump_datum(e.value, out);
  }
  out += n.extras == no_id ? "noextras " : "extras ";
  const NodeExtras& x = c.extras_of(n);
  dump_text(x.firestore_text, out);
  dump_text(x.ref_target, out);
  dump_text(x.description, out);
  dump_text(x.discriminator_property, out);
  out += "target" + std::to_string(x.ref_target_def) + ' ';
  dump_datum(x.constant, out);
  dump_datum(x.default_value, out);
  for (const std::string_view key : c.mapping(n)) dump_text(key, out);
  out += "enum ";
  for (const Datum& d : c.enum_values(n)) dump_datum(d, out);
  if (depth > 200) return;
  out += "alt[";
  for (const NodeId child : c.alternatives(n)) dump_node(c, child, out, depth + 1);
  out += "] tuple[";
  for (const NodeId child : c.tuple(n)) dump_node(c, child, out, depth + 1);
  out += "] items ";
  dump_node(c, n.items, out, depth + 1);
  out += " record ";
  dump_node(c, n.record_node, out, depth + 1);
  out += "}";
}

inline std::string dump_contract(const Contract& c) {
  std::string out;
  for (const Definition& d : c.definitions) {
    out += "def ";
    dump_text(d.name, out);
    out += std::to_string(static_cast<int>(d.kind)) + (d.object_shaped ? "o" : "-") +
           (d.enum_is_array ? "e" : "-") + (d.has_collection ? "c" : "-") +
           (d.has_doc_id ? "d" : "-") + " group" + std::to_string(d.alias_group) + ' ';
    dump_text(d.collection, out);
    dump_text(d.doc_id, out);
    dump_text(d.title, out);
    dump_text(d.description, out);
    for (const Datum& m : c.members_of(d)) dump_datum(m, out);
    dump_node(c, d.node, out);
    out += '\n';
    for (const Property& p : c.properties_of(d)) {
      out += "  prop ";
      dump_text(p.key, out);
      out += p.required ? "req " : "opt ";
      dump_node(c, p.node, out);
      out += '\n';
    }
  }
  out += "foreign";
  for (const std::string_view name : c.foreign_names) dump_text(name, out);
  return out;
}

}  // namespace brenvale::testing
