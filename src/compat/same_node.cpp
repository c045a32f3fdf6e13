// Exact equality of model parts across two contracts, which lets compat skip what did not change.
#include "compat/same_node.hpp"

#include <algorithm>
#include <tuple>

#include "util/byte_order.hpp"

namespace brenvale::compat {
namespace {

bool same_ids(const Contract& a, std::span<const NodeId> xs, const Contract& b,
              std::span<const NodeId> ys) {
  if (xs.size() != ys.size()) return false;
  for (std::size_t i = 0; i < xs.size(); ++i) {
    if (!same_node(a, xs[i], b, ys[i])) return false;
  }
  return true;
}

bool same_optional(const Contract& a, NodeId x, const Contract& b, NodeId y) {
  return (x == no_id) == (y == no_id) && (x == no_id || same_node(a, x, b, y));
}

bool same_constraints(const Contract& a, const TypeNode& x, const Contract& b, const TypeNode& y) {
  const std::span<const ConstraintEntry> p = a.constraints_of(x);
  const std::span<const ConstraintEntry> q = b.constraints_of(y);
  return std::equal(p.begin(), p.end(), q.begin(), q.end(),
                    [](const ConstraintEntry& e, const ConstraintEntry& f) {
                      return e.key == f.key && same_datum(e.value, f.value);
                    });
}

}  // namespace

bool same_node(const Contract& a, NodeId x_id, const Contract& b, NodeId y_id) {
  const TypeNode& x = a.node(x_id);
  const TypeNode& y = b.node(y_id);
  const auto flags = [](const TypeNode& n) {
    return std::tuple(n.form, n.firestore, n.record, n.is_object, n.server_timestamp, n.has_ref,
                      n.has_ref_target, n.has_enum, n.has_alternatives, n.type_list, n.null_type,
                      n.has_tuple, n.read_only, n.presence_guaranteed, n.has_discriminator_property,
                      n.has_constant);
  };
  if (flags(x) != flags(y) || !same_bytes(a.ref_name(x), b.ref_name(y))) return false;
  const NodeExtras& xe = a.extras_of(x);
  const NodeExtras& ye = b.extras_of(y);
  // A Firestore kind the reader knew is read from its one text: equal kinds, equal texts. The
  // texts lie in the two bundles, and each comparison of them reads both.
  const bool same_firestore_text =
      x.firestore != FirestoreKind::other || same_bytes(xe.firestore_text, ye.firestore_text);
  if (!same_firestore_text || !same_bytes(xe.ref_target, ye.ref_target) ||
      !same_bytes(xe.discriminator_property, ye.discriminator_property) ||
      !same_datum(xe.constant, ye.constant) || !same_datum(xe.default_value, ye.default_value))
    return false;
  const std::span<const Datum> xv = a.enum_values(x);
  const std::span<const Datum> yv = b.enum_values(y);
  const std::span<const TypeName> xt = a.types(x);
  const std::span<const TypeName> yt = b.types(y);
  const std::span<const std::string_view> xm = a.mapping(x);
  const std::span<const std::string_view> ym = b.mapping(y);
  const auto same_name = [&](const TypeName& p, const TypeName& q) {
    return p.type == q.type &&
           (p.type != JsonType::other || same_bytes(a.type_text(p), b.type_text(q)));
  };
  return std::equal(xv.begin(), xv.end(), yv.begin(), yv.end(), same_datum) &&
         std::equal(xt.begin(), xt.end(), yt.begin(), yt.end(), same_name) &&
         std::equal(xm.begin(), xm.end(), ym.begin(), ym.end(), same_bytes) &&
         same_constraints(a, x, b, y) && same_ids(a, a.alternatives(x), b, b.alternatives(y)) &&
         same_ids(a, a.tuple(x), b, b.tuple(y)) && same_optional(a, x.items, b, y.items) &&
         same_optional(a, x.record_node, b, y.record_node);
}

bool same_property(const Contract& a, const Property& x, const Contract& b, const Property& y) {
  return same_bytes(x.key, y.key) && x.required == y.required && same_node(a, x.node, b, y.node);
}

bool same_definition(const Contract& a, const Definition& x, const Contract& b,
                     const Definition& y) {
  const auto facts = [](const Contract& c, const Definition& d) {
    const DefinitionExtras& extras = c.extras_of(d);
    return std::tuple(d.kind, d.object_shaped, d.enum_is_array, d.has_collection, d.has_doc_id,
                      extras.collection, extras.doc_id);
  };
  if (facts(a, x) != facts(b, y) || !same_node(a, x.node, b, y.node)) return false;
  const std::span<const Datum> xm = a.members_of(x);
  const std::span<const Datum> ym = b.members_of(y);
  const std::span<const Property> xp = a.properties_of(x);
  const std::span<const Property> yp = b.properties_of(y);
  return std::equal(xm.begin(), xm.end(), ym.begin(), ym.end(), same_datum) &&
         std::equal(xp.begin(), xp.end(), yp.begin(), yp.end(),
                    [&](const Property& p, const Property& q) {
                      a.prefetch_key(p);
                      b.prefetch_key(q);
                      return same_property(a, p, b, q);
                    });
}

}  // namespace brenvale::compat
