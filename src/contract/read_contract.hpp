// Bundle text straight into the contract model, with no value tree in between.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "contract/model.hpp"
#include "json/json_reader.hpp"

namespace brenvale {

struct ReadResult {
  Contract contract;  // valid only when ok
  bool ok = false;
  ParseError error;        // when not ok
  bool has_table = false;  // the bundle holds an object of definitions the table reads
};

// How a text is read: through the value tree, which is faster while the text and its tree fit
// in the cache, or straight into the model, which keeps no tree beside it and borrows the
// strings of a text without escapes, for large texts, where memory is what counts.
enum class ReadRoute : std::uint8_t { by_size, direct };

// Texts of this many bytes or more are read straight into the model. Measured on generated
// bundles of 35 KB to 28 MB: the tree is up to 25% faster below a few megabytes; at 28 MB the
// two take the same time and the direct reader's peak memory is a third lower.
inline constexpr std::size_t direct_read_bytes = std::size_t{16} << 20;

// Reads `text`, which must be followed by a NUL byte (`text.data()[text.size()] == '\0'`, as a
// std::string's or a Python str's UTF-8 buffer is), into the model that build_contract makes of
// its tree, and fails with the error parse_json gives. The model borrows strings from `text`,
// which must outlive it, unless the text holds escapes: then the model reads a copy of its own.
// May throw std::bad_alloc.
ReadResult read_contract(std::string_view text, DefinitionTable table,
                         ReadRoute route = ReadRoute::by_size);

}  // namespace brenvale
