// Strict JSON text -> value tree, with error descriptions carrying line and column.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory_resource>
#include <string>
#include <string_view>

#include "json/json_value.hpp"

namespace brenvale {

// Nesting deeper than this many arrays/objects is refused.
inline constexpr std::size_t max_depth = 127;

// What a parse failure is; `parse_error_texts` holds the description of each, in this order,
// and every one of them is produced by some text.
enum class ParseErrorKind : std::uint8_t {
  eof_value,
  eof_list,
  eof_object,
  eof_string,
  expected_value,
  expected_ident,
  expected_colon,
  expected_comma_or_bracket,
  expected_comma_or_brace,
  key_not_string,
  trailing_comma,
  trailing_characters,
  invalid_number,
  number_out_of_range,
  invalid_escape,
  end_of_hex_escape,
  lone_surrogate,
  control_character,
  too_deep,
};

inline constexpr std::array<std::string_view, 19> parse_error_texts = {
    "EOF while parsing a value",
    "EOF while parsing a list",
    "EOF while parsing an object",
    "EOF while parsing a string",
    "expected value",
    "expected ident",
    "expected `:`",
    "expected `,` or `]`",
    "expected `,` or `}`",
    "key must be a string",
    "trailing comma",
    "trailing characters",
    "invalid number",
    "number out of range",
    "invalid escape",
    "unexpected end of hex escape",
    "lone leading surrogate in hex escape",
    "control character (\\u0000-\\u001F) found while parsing a string",
    "recursion limit exceeded",
};

struct ParseError {
  ParseErrorKind kind = ParseErrorKind::expected_value;
  std::size_t line = 0;    // from 1
  std::size_t column = 0;  // bytes of the line up to and including the stopping byte

  constexpr std::string_view description() const {
    return parse_error_texts[static_cast<std::size_t>(kind)];
  }
};

struct ParseResult {
  Document document;  // root is valid only when ok
  bool ok = false;
  ParseError error;
};

// Why a reader's handler stopped it, when it did.
enum class Stop : std::uint8_t { none, depth, number_range, surrogate, handler };

// Where a reader stood when it stopped: what the description of an error needs beside the text.
struct ReaderState {
  std::size_t depth = 0;   // containers open
  bool in_object = false;  // the innermost of them is an object
  Stop stop = Stop::none;
};

// The error RapidJSON reported (`code`, a rapidjson::ParseErrorCode, at byte `offset`) as ours.
ParseError describe_parse_error(std::string_view text, int code, std::size_t offset,
                                ReaderState state);

// The text with each control byte from 0x1A to 0x1F written as 0x01. A text holding one is no
// valid JSON; read again lowered, it fails where and as a text with any other control byte
// fails, whatever a fast scan might let through.
std::string with_late_controls_lowered(std::string_view text);

// What one pass over the text finds: before a reader with a sink starts, else once the reader
// refused the text (only a late control byte is then looked for).
struct TextScan {
  bool late_control = false;  // a byte 0x1A to 0x1F (the pass stops at the first)
  bool backslash = false;     // any escape: without one, strings decode to their own bytes
  std::size_t braces = 0;     // bytes `{`: at least as many as the objects the text holds
};
TextScan scan_text(std::string_view text);

// The error of a text the reader stopped reading after `consumed` bytes, at a NUL byte.
ParseError trailing_characters(std::string_view text, std::size_t consumed);

// True when RapidJSON's refusal `code` at `offset` is only an exponent past its range on a
// number that is zero, whose value is still 0.
bool is_zero_out_of_range(std::string_view text, int code, std::size_t offset);
// The text with every exponent of a zero number written as zeros of the same length, so
// offsets stay put. Strings are skipped: only number tokens change.
std::string zero_exponents_of_zeros(std::string_view text);

// The value of a JSON number token; false when it overflows a double.
bool read_number(std::string_view text, Value& v);

// Strings are decoded in place; RapidJSON decodes a lone \uDC00..\uDFFF escape into the
// 3-byte form of a surrogate, which is not UTF-8. True when `text` holds one.
bool holds_surrogate(std::string_view text);

// The entries of one object under the root object's key `table`, handed over one at a time as
// each is read, and then dropped: a tree of a large bundle never holds every entry at once. Each
// entry is built in the arena the sink last gave, which holds its value's containers; the sink
// may reuse an arena once it has read the entries built there (an entry's strings stay valid
// after, in the document's text). `begin` comes first, and again when the reader starts over;
// `objects` is at least the number of objects in the text.
struct EntrySink {
  Atom table = Atom::other;
  void* context = nullptr;
  // Returns the arena the first entry is built in.
  std::pmr::memory_resource& (*begin)(void* context, std::size_t objects) = nullptr;
  // Returns the arena the next entry is built in.
  std::pmr::memory_resource& (*take)(void* context, const Member& entry) = nullptr;
  // Called when the read ends in an exception, before the copy of the text goes: nothing may
  // read an entry handed over after this returns.
  void (*stop)(void* context) = nullptr;
};

// Parses exactly one JSON value. The document keeps its own copy of the text, which the tree
// points into; `text` is only borrowed for the call. A NUL byte inside the text is data. With a
// `sink`, the object under its key holds no members in the tree: they went to the sink.
// Never throws except std::bad_alloc, or what the sink throws.
ParseResult parse_json(std::string_view text, const EntrySink* sink = nullptr);
// The same for a text that outlives the document and is followed by a NUL byte (text[size()],
// as in a std::string or Python's UTF-8 buffer). A text without escapes is then read where it
// lies, with no copy and no write: the tree's strings point into `text` itself, and `copy` is
// `text`.
ParseResult parse_json_in_place(std::string_view text, const EntrySink* sink = nullptr);

}  // namespace brenvale
