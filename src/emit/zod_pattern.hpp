// Contract patterns the zod module cannot match in linear time: what Pydantic's engine refuses.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "contract/model.hpp"

namespace brenvale {

// A construct of a pattern, at a byte offset; `what` is empty when there is none.
struct PatternConstruct {
  std::size_t offset = 0;
  std::string_view what;  // a static text: "a backreference", "a look-ahead", ...
};

// The first construct of `pattern` (Rust regex syntax, as Pydantic reads it) that needs a
// backtracking engine: backreferences, look-around, atomic groups, and `\Z`, all of which Rust's
// regex crate refuses. Never fails; linear in the pattern.
PatternConstruct backtracking_construct(std::string_view pattern);

// The pattern the module matches for a contract's `pattern`: the same text, with code point
// escapes in the spelling RE2 reads, except for one that Pydantic writes itself and never
// matches as a regex (a `Decimal`'s, parsed instead), which has a look-ahead: for it, a pattern
// without one that matches the same strings.
std::string matched_pattern(std::string_view pattern);

// Whether `pattern` is one Pydantic writes for a `Decimal`'s text, with or without bounds on its
// digits.
bool is_decimal_pattern(std::string_view pattern);

// What Pydantic checks on a `Decimal`'s number for `max_digits` and `decimal_places`, read off
// the pattern it writes for them, which as a regex says neither for a text with an exponent;
// none for any other pattern.
struct DecimalDigits {
  std::optional<std::size_t> max_digits;
  std::optional<std::size_t> places;
};
std::optional<DecimalDigits> decimal_digits(std::string_view pattern);

// The first pattern of `contract` (borrowed) with such a construct, as a one-line error that
// names its definition and field; empty when there is none. Linear in the contract.
std::string zod_contract_error(const Contract& contract);

}  // namespace brenvale
