// A bundle's text into the contract model: the one entry the native functions read through.
#pragma once

#include <cstdint>
#include <string_view>

#include "contract/model.hpp"
#include "json/json_reader.hpp"

namespace brenvale {

struct ReadResult {
  Contract contract;  // valid only when ok
  bool ok = false;
  ParseError error;                     // when not ok
  bool has_table = false;               // the bundle holds an object of definitions the table reads
  TableDoubt doubt = TableDoubt::none;  // when ok: what the table read may leave out
};

// A text this long has a tree larger than a core's cache: its definitions are read one at a
// time, each as soon as the reader has it, and the whole tree is never built.
inline constexpr std::size_t stream_definitions_from = std::size_t{1} << 20;

// How many threads a read may use: with two, a streamed text's definitions are added to the
// model on a second thread while the reader parses the next ones.
enum class Threads : std::uint8_t { one, two };

// Parses `text` and reads the model from it, failing with the error parse_json gives. The tree
// goes as soon as the model is read (see stream_definitions_from). A NUL byte must follow `text`
// (text[size()], as in a std::string or Python's UTF-8 buffer). A text without escapes decodes
// to itself: it is read where it lies, and the model's strings lie in `text`, which must then
// outlive the model; a text with escapes is read from a copy, which goes with the model. Only
// the model stays beside what is rendered from it. A streamed model's lists are written to
// `pages`. May throw std::bad_alloc.
ReadResult read_contract(std::string_view text, DefinitionTable table,
                         std::size_t stream_from = stream_definitions_from,
                         Threads threads = Threads::two, ListPages pages = ListPages::base);

// Both texts read as read_contract reads each, the first (say, the old contract) on a thread of
// its own when either is large enough to stream: reading is most of a comparison's time. Each
// read then has one thread, and its model's lists huge pages.
struct ReadPair {
  ReadResult first;
  ReadResult second;
};
ReadPair read_contracts(std::string_view first, std::string_view second, DefinitionTable table);

}  // namespace brenvale
