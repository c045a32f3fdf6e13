// What an Update type may offer: field names Firestore reads as paths, and maps the Admin SDK's
// UpdateData cannot expand.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "contract/model.hpp"
#include "contract/presence.hpp"

namespace brenvale {

// The keys of `model`'s write interface, as `writer` sees it, that are not plain field names, in
// byte order; borrowed from the contract. Never fails.
std::vector<std::string_view> path_like_keys(const Contract& contract, const Definition& model,
                                             Writer writer);

// For each definition, by its id: whether the Admin SDK's UpdateData gives up on it as a model's
// write type (TS2615, a circular type). It does when a map's values reach a document reference,
// since it expands every property of an index signature's values, the reference's class too,
// and when they reach back a model that holds the map (a cycle through a map's values).
// Conservative: any path from a map's values to a reference counts. False for every definition
// that is no model. Walks each definition at most three times, whatever the references between
// them, and the references between them twice more. May throw std::bad_alloc.
std::vector<bool> admin_update_data_failures(const Contract& contract);

// The most dotted paths a model's Update type may type with update paths: TypeScript builds no
// union of more members. Past it tsc may give up on UpdateData (TS2589, "excessively deep", or
// TS2590): it did at 117,188 paths, on a model holding itself in five optional fields, though
// it typed 267,881 of four models each holding the next in 19 fields.
inline constexpr std::size_t max_update_paths = 100000;
// How deep the update-paths helper builds them: a model nested deeper is updated whole.
inline constexpr std::size_t update_paths_depth = 8;

// For each definition, by its id: whether UpdateData, through the update-paths helper, would
// build more than max_update_paths dotted paths into the model (a model that holds itself in
// five fields: 5^8 of them at the helper's depth). Lists end paths, as the helper ends them.
// False for every definition that is no model. May throw std::bad_alloc.
std::vector<bool> update_path_overflows(const Contract& contract);

}  // namespace brenvale
