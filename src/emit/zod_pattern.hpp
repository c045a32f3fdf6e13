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

// The most steps a pattern may take, its repeats counted (`a{1000}` is 1000, `(?:ab){3}` 6):
// Rust's regex crate, at Pydantic's size limit, compiles `a{327674}` and refuses one more.
inline constexpr std::size_t max_pattern_steps = 327674;
// What a pattern of more steps is, in a refusal (its offset: the pattern's length).
inline constexpr std::string_view oversized = "more steps than Rust's regex crate compiles";

// A lower bound on the steps of `pattern`, at most max_pattern_steps + 1: each character, class
// and escape that matches one character counts one, a counted repeat multiplies what it repeats
// by its larger bound, and nothing else counts. Rust spends at least as much on each, so a
// pattern over the bound is one Pydantic refuses. Linear in the pattern.
std::size_t pattern_steps(std::string_view pattern);

// backtracking_construct, else `oversized` when the pattern takes more than max_pattern_steps.
PatternConstruct refused_construct(std::string_view pattern);

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
