// Bundle text straight into the contract model, with no value tree in between.
#pragma once

#include <string_view>

#include "contract/model.hpp"
#include "json/json_reader.hpp"

namespace brenvale {

struct ReadResult {
  Contract contract;  // valid only when ok
  bool ok = false;
  ParseError error;         // when not ok
  bool has_table = false;   // the bundle holds an object of definitions the table reads
};

// Reads `text`, which must be followed by a NUL byte (`text.data()[text.size()] == '\0'`, as a
// std::string's or a Python str's UTF-8 buffer is), into the model that build_contract makes of
// its tree, and fails with the error parse_json gives. The model borrows strings from `text`,
// which must outlive it, unless the text holds escapes: then the model reads a copy of its own.
// May throw std::bad_alloc.
ReadResult read_contract(std::string_view text, DefinitionTable table);

}  // namespace brenvale
