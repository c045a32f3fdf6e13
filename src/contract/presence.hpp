// Whether a property is in what a read returns or a write takes, and whether it is optional.
#pragma once

#include "contract/model.hpp"

namespace brenvale {

enum class Presence : unsigned char {
  absent,       // left out on this side: a readOnly field, or the doc id, on a write
  document_id,  // the document id, a string on a read
  required,
  optional,
};

// Who writes a document: client code (the web SDK), or the server (the Admin SDK), which sets
// the readOnly fields: they are "set by a backend".
enum class Writer : unsigned char { client, server };

// The one statement of the presence rules: the doc-id field is filled from the snapshot on a
// read and never written; readOnly fields are written by the server only; a read promises a
// required field only when the contract guarantees its presence, a write must give every
// required one.
inline Presence presence_of(const Definition& model, const Property& property, Side side,
                            const Contract& contract, Writer writer = Writer::client) {
  if (model.has_doc_id && property.key == contract.extras_of(model).doc_id)
    return side == Side::read ? Presence::document_id : Presence::absent;
  const TypeNode& node = contract.node(property.node);
  if (side == Side::write && node.read_only && writer == Writer::client) return Presence::absent;
  if (!property.required) return Presence::optional;
  return side == Side::read && !node.presence_guaranteed ? Presence::optional : Presence::required;
}

// Does a converter move the document id in and out of the model? Only when the doc-id field is
// one of its properties: the read type has no member of another name to take the id or give it
// up, and a converter that named one would not compile.
inline bool converter_moves_id(const Contract& contract, const Definition& model) {
  return model.has_doc_id && contract.property(model, contract.extras_of(model).doc_id) != nullptr;
}

}  // namespace brenvale
