// First character to lower case, by the full Unicode mapping.
#include "text/lower_first.hpp"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "util/utf8_decode.hpp"

namespace brenvale {
namespace {

struct Lowering {
  std::uint32_t code_point;
  const char* lower;  // UTF-8
};

// Every code point whose lower-case form differs from itself, ascending.
constexpr Lowering lowercase_table[] = {
#include "lowercase_table.inc"
};

}  // namespace

void append_lower_first(std::string_view text, std::string& out) {
  std::uint32_t code_point = 0;
  const std::size_t length = decode_utf8(text, code_point);
  const auto* end = std::end(lowercase_table);
  const auto* found = std::lower_bound(
      std::begin(lowercase_table), end, code_point,
      [](const Lowering& entry, std::uint32_t cp) { return entry.code_point < cp; });
  if (length == 0 || found == end || found->code_point != code_point) {
    out += text;
    return;
  }
  out += found->lower;
  out += text.substr(length);
}

std::string lower_first(std::string_view text) {
  std::string out;
  append_lower_first(text, out);
  return out;
}

}  // namespace brenvale
