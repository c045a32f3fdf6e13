// Contract patterns the zod module cannot match in linear time: what Pydantic's engine refuses.
#include "emit/zod_pattern.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <optional>
#include <string>
#include <vector>

#include "text/escape.hpp"
#include "text/fill.hpp"

namespace brenvale {
namespace {

struct Opener {
  std::string_view text;  // after "("
  std::string_view what;
};

// Groups Rust's regex crate refuses; "(?<" followed by anything else names a group.
constexpr std::array<Opener, 6> group_openers = {{
    {"?=", "a look-ahead"},
    {"?!", "a look-ahead"},
    {"?<=", "a look-behind"},
    {"?<!", "a look-behind"},
    {"?>", "an atomic group"},
    {"?P=", "a backreference"},  // Python's (?P=name), which only looks like a group
}};

// Pydantic writes a `Decimal` string's pattern as this prefix and one of three rests, and never
// matches it as a regex (it parses the number). The prefix's look-ahead refuses a text of signs and
// points only, so each form is matched as the same strings without one.
constexpr std::string_view decimal_prefix = R"(^(?!^[-+.]*$)[+-]?0*)";

// `text` from `at` on as a count, moving `at` past it; nothing when no digit is there.
std::optional<std::size_t> count_at(std::string_view text, std::size_t& at) {
  std::size_t value = 0;
  const auto [end, error] = std::from_chars(text.data() + at, text.data() + text.size(), value);
  if (error != std::errc()) return std::nullopt;
  at = static_cast<std::size_t>(end - text.data());
  return value;
}

// The bounds that `rest` encodes when it is what Pydantic writes after the prefix for
// `max_digits` (m), alone or with `decimal_places` (d), exactly:
// (?:\d{0,i}|(?=[\d.]{1,m+1}0*$)TAIL), where TAIL is \d{0,i}\.\d{0,d}0*$) with i = max(0, m - d),
// or \d*\.\d*0*$) with i = m.
std::optional<DecimalDigits> digits_bound(std::string_view rest) {
  std::size_t at = 0;
  const auto take = [&](std::string_view expected) {
    if (rest.substr(at, expected.size()) != expected) return false;
    at += expected.size();
    return true;
  };
  std::optional<std::size_t> whole;
  std::optional<std::size_t> span;
  if (!take(R"((?:\d{0,)") || !(whole = count_at(rest, at)) || !take(R"(}|(?=[\d.]{1,)") ||
      !(span = count_at(rest, at)) || !take(R"(}0*$))") || *span == 0)
    return std::nullopt;
  const std::size_t digits = *span - 1;
  if (take(R"(\d*\.\d*0*$))")) {
    if (at != rest.size() || *whole != digits) return std::nullopt;
    return DecimalDigits{digits, std::nullopt};
  }
  std::optional<std::size_t> again;
  std::optional<std::size_t> places;
  if (!take(R"(\d{0,)") || !(again = count_at(rest, at)) || !take(R"(}\.\d{0,)") ||
      !(places = count_at(rest, at)) || !take(R"(}0*$))"))
    return std::nullopt;
  if (at != rest.size() || *again != *whole || *whole != (digits > *places ? digits - *places : 0))
    return std::nullopt;
  return DecimalDigits{digits, places};
}

// Any `Decimal` text: digits with at most one point, a digit somewhere, and perhaps an exponent.
// Pydantic's own pattern has none, yet it writes one itself: `Decimal("1E-7")`, or one made by
// `normalize()`, is stored as `"1E-7"`, which it reads back.
constexpr std::string_view decimal_text = R"(^[+-]?(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?$)";

// The bound on places that `rest` encodes when it is what Pydantic writes after the prefix for
// `decimal_places` (d) alone: \d*\.?\d{0,d}0*$.
std::optional<std::size_t> places_bound(std::string_view rest) {
  constexpr std::string_view places_head = R"(\d*\.?\d{0,)";
  constexpr std::string_view places_tail = "}0*$";
  if (!rest.starts_with(places_head) || !rest.ends_with(places_tail)) return std::nullopt;
  std::size_t at = places_head.size();
  const std::optional<std::size_t> places = count_at(rest, at);
  if (!places || at + places_tail.size() != rest.size()) return std::nullopt;
  return places;
}

// A decimal text for a Pydantic `Decimal` pattern, which has a look-ahead; empty for any other.
// Its bounds on digits and places are left to decimal_digits: the pattern's first alternative
// for `max_digits` matches the empty text at the start and is not anchored at the end, so as a
// regex it passes every text but one of signs and points only, while Pydantic parses the number
// and counts its digits, whatever its exponent.
std::string decimal_pattern_linear(std::string_view pattern) {
  if (!pattern.starts_with(decimal_prefix)) return {};
  const std::string_view rest = pattern.substr(decimal_prefix.size());
  if (rest == R"(\d*\.?\d*$)" || digits_bound(rest) || places_bound(rest))
    return std::string(decimal_text);
  return {};
}

// The hex digits of a code point escape after `\u` (`width` 4) or `\U` (8) at `at`: exactly that
// many, or any number in braces. Moves `at` past them; empty when neither is there.
std::string_view code_point_digits(std::string_view pattern, std::size_t& at, std::size_t width) {
  const auto hex = [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
  };
  std::size_t end = at;
  if (end < pattern.size() && pattern[end] == '{') {
    while (++end < pattern.size() && hex(pattern[end])) {
    }
    if (end == at + 1 || end >= pattern.size() || pattern[end] != '}') return {};
    const std::string_view digits = pattern.substr(at + 1, end - at - 1);
    at = end + 1;
    return digits;
  }
  while (end < pattern.size() && end - at < width && hex(pattern[end])) ++end;
  if (end - at != width) return {};
  const std::string_view digits = pattern.substr(at, width);
  at = end;
  return digits;
}

// Rust's word-boundary assertions, which RE2 reads as other syntax (`\<` as a literal `<`), as
// the look-arounds they mean: RE2 refuses those, so the module fails each value and says why.
struct Boundary {
  std::string_view rust;  // after the backslash
  std::string_view meaning;
};
constexpr std::array<Boundary, 6> word_boundaries = {{
    {"b{start-half}", R"((?<!\w))"},
    {"b{end-half}", R"((?!\w))"},
    {"b{start}", R"(\b(?=\w))"},
    {"b{end}", R"(\b(?<=\w))"},
    {"<", R"(\b(?=\w))"},
    {">", R"(\b(?<=\w))"},
}};

// Rust's `\w` and `\s` are Unicode's; RE2's are ASCII, and would take a text Pydantic refuses by
// `\W` or `\S` (a no-break space for `^\S+$`). These classes are Rust's, as the categories both
// read: `\w` is Alphabetic (letters, Nl, marks, and the circled and squared letters), marks,
// decimal digits, connector punctuation and the joiners; `\s` is White_Space.
constexpr std::string_view word_items =
    R"(\p{L}\p{Nl}\p{M}\p{Nd}\p{Pc}\x{200C}\x{200D}\x{24B6}-\x{24E9}\x{1F130}-\x{1F149})"
    R"(\x{1F150}-\x{1F169}\x{1F170}-\x{1F189})";
constexpr std::string_view space_items = R"(\x{9}-\x{D}\x{85}\p{Z})";

// Rust's Perl class `\{escaped}` in RE2's spelling, `in_class` or not; empty for another escape,
// and for `\W` and `\S` within a class, which no list of items can say.
std::string perl_class(char escaped, bool in_class) {
  if (escaped == 'd' || escaped == 'D') return escaped == 'd' ? R"(\p{Nd})" : R"(\P{Nd})";
  const bool word = escaped == 'w' || escaped == 'W';
  if (!word && escaped != 's' && escaped != 'S') return {};
  const std::string_view items = word ? word_items : space_items;
  if (in_class) return escaped == 'w' || escaped == 's' ? std::string(items) : std::string();
  const bool negated = escaped == 'W' || escaped == 'S';
  return (negated ? "[^" : "[") + std::string(items) + "]";
}

// The nesting of character classes, which Rust's syntax nests, as a pattern is read from the
// left. `step` reads the byte at `i`, which no backslash escapes, and returns how many bytes
// after it go with it: a "]" first in a class (after any "^") is a literal.
struct ClassDepth {
  std::size_t depth = 0;

  std::size_t step(std::string_view pattern, std::size_t i) {
    std::size_t taken = 0;
    if (pattern[i] == '[') {
      ++depth;
      for (const char first : {'^', ']'}) {
        if (i + taken + 1 < pattern.size() && pattern[i + taken + 1] == first) ++taken;
      }
    } else if (pattern[i] == ']' && depth > 0) {
      --depth;
    }
    return taken;
  }
};

// Whether the pattern asserts a word boundary, `\b` or `\B` outside a class: RE2's are ASCII, so
// such a pattern keeps RE2's ASCII classes too, which agree with its boundaries as Rust's agree
// with Rust's (`^\B\w` refuses "é" in both engines then).
bool asserts_ascii_boundary(std::string_view pattern) {
  ClassDepth classes;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '\\' && i + 1 < pattern.size()) {
      if (classes.depth == 0 && (pattern[i + 1] == 'b' || pattern[i + 1] == 'B')) return true;
      ++i;
    } else {
      i += classes.step(pattern, i);
    }
  }
  return false;
}

// The pattern with Rust's code point escapes, which RE2 does not read (`\u00e9`, `\u{e9}`,
// `\U0001F600`, `\U{1F600}`), written as the `\x{...}` both read, its Perl classes as above,
// and with the word boundaries above outside a class; anything else as it stands.
std::string in_re2_spelling(std::string_view pattern) {
  std::string out;
  out.reserve(pattern.size());
  const bool unicode_classes = !asserts_ascii_boundary(pattern);
  ClassDepth classes;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '\\' || i + 1 == pattern.size()) {
      const std::size_t taken = classes.step(pattern, i);
      out += pattern.substr(i, taken + 1);
      i += taken;
      continue;
    }
    const std::size_t depth = classes.depth;
    const std::string_view rest = pattern.substr(i + 1);
    const auto boundary =
        std::find_if(word_boundaries.begin(), word_boundaries.end(),
                     [&](const Boundary& b) { return depth == 0 && rest.starts_with(b.rust); });
    if (boundary != word_boundaries.end()) {
      out += boundary->meaning;
      i += boundary->rust.size();
      continue;
    }
    const char escaped = pattern[i + 1];
    if (const std::string spelled = unicode_classes ? perl_class(escaped, depth > 0) : "";
        !spelled.empty()) {
      out += spelled;
      ++i;
      continue;
    }
    std::size_t at = i + 2;
    const std::string_view digits = escaped == 'u' || escaped == 'U'
                                        ? code_point_digits(pattern, at, escaped == 'u' ? 4 : 8)
                                        : std::string_view();
    if (digits.empty()) {
      out += pattern.substr(i, 2);  // an escape, whatever it is, is two characters at least
      ++i;
      continue;
    }
    out += "\\x{";
    out += digits;
    out += '}';
    i = at - 1;
  }
  return out;
}

// The text searched for a refused construct: a Decimal's pattern without its look-ahead, any other
// as the contract writes it, so that the offset an error gives counts the contract's bytes.
std::string searched_pattern(std::string_view pattern) {
  std::string linear = decimal_pattern_linear(pattern);
  return linear.empty() ? std::string(pattern) : linear;
}

// Past the class whose `[` is at `at`, onto its `]` (Rust's classes nest).
void class_at(std::string_view pattern, std::size_t& at) {
  ClassDepth classes;
  for (; at < pattern.size(); ++at) {
    if (pattern[at] == '\\') {
      ++at;
      continue;
    }
    at += classes.step(pattern, at);
    if (classes.depth == 0) return;
  }
}

// Escapes refused outside a class: `\1`..`\9` and `\k<name>` refer back to a group.
std::string_view refused_escape(char escaped) {
  if (escaped >= '0' && escaped <= '9') return "a backreference";
  if (escaped == 'k') return "a backreference";
  if (escaped == 'Z') return "\\Z (Rust's regex has only \\z)";
  return {};
}

void append_refusal(std::string_view definition, std::string_view field,
                    const PatternConstruct& found, std::string& out) {
  std::string names;
  append_quoted(definition, names);
  if (!field.empty()) {
    names += ", field ";
    append_quoted(field, names);
  }
  if (found.what == oversized) {
    fill(out,
         "definition {names}: its pattern takes more than {steps} steps with its repeats "
         "counted, which Pydantic's regex engine (Rust's regex crate) refuses as too large",
         {{"names", names}, {"steps", std::to_string(max_pattern_steps)}});
    return;
  }
  fill(out,
       "definition {names}: its pattern has {what} at byte {offset}, which Pydantic's regex "
       "engine (Rust's regex crate) refuses and no linear-time engine can match",
       {{"names", names}, {"what", found.what}, {"offset", std::to_string(found.offset)}});
}

// The first refused pattern at `id` or under it, as a construct; none when there is none.
// Recursion is bounded by the nesting limit of the tree the contract was read from.
PatternConstruct find_in_node(const Contract& contract, NodeId id) {
  const TypeNode& node = contract.node(id);
  if (const Datum& pattern = contract.constraint(node, Atom::pattern); pattern.is_string()) {
    if (const PatternConstruct found = refused_construct(searched_pattern(pattern.text()));
        !found.what.empty())
      return found;
  }
  const auto first = [&](auto children) {
    for (const NodeId child : children) {
      if (const PatternConstruct found = find_in_node(contract, child); !found.what.empty())
        return found;
    }
    return PatternConstruct{};
  };
  if (const PatternConstruct found = first(contract.alternatives(node)); !found.what.empty())
    return found;
  if (const PatternConstruct found = first(contract.tuple(node)); !found.what.empty()) return found;
  for (const std::string_view key_pattern : contract.key_patterns(node)) {
    if (const PatternConstruct found = refused_construct(searched_pattern(key_pattern));
        !found.what.empty())
      return found;
  }
  if (const PatternConstruct found = first(contract.pattern_values(node)); !found.what.empty())
    return found;
  for (const NodeId child : {node.items, node.record_node, contract.map_keys_of(node).names}) {
    if (child == no_id) continue;
    if (const PatternConstruct found = find_in_node(contract, child); !found.what.empty())
      return found;
  }
  return {};
}

}  // namespace

bool is_decimal_pattern(std::string_view pattern) {
  return !decimal_pattern_linear(pattern).empty();
}

std::optional<DecimalDigits> decimal_digits(std::string_view pattern) {
  if (!pattern.starts_with(decimal_prefix)) return std::nullopt;
  const std::string_view rest = pattern.substr(decimal_prefix.size());
  if (const std::optional<std::size_t> places = places_bound(rest))
    return DecimalDigits{std::nullopt, places};
  return digits_bound(rest);
}

std::string matched_pattern(std::string_view pattern) {
  std::string linear = decimal_pattern_linear(pattern);
  return linear.empty() ? in_re2_spelling(pattern) : linear;
}

PatternConstruct backtracking_construct(std::string_view pattern) {
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '\\') {
      if (i + 1 < pattern.size()) {
        if (const std::string_view what = refused_escape(pattern[i + 1]); !what.empty())
          return {i, what};
      }
      ++i;  // the escaped character is a literal, whatever it is
    } else if (c == '[') {
      class_at(pattern, i);  // a class holds no group and no backreference
    } else if (c == '(') {
      const std::string_view rest = pattern.substr(i + 1);
      for (const Opener& opener : group_openers) {
        if (rest.starts_with(opener.text)) return {i, opener.what};
      }
    }
  }
  return {};
}

namespace {

// The steps of one group while it is read: its alternatives so far, the one being read, and the
// last thing read in it, which a repeat after it multiplies.
struct GroupSteps {
  std::size_t alternatives = 0;
  std::size_t sequence = 0;
  std::size_t last = 0;
};

std::size_t capped(std::size_t steps) { return std::min(steps, max_pattern_steps + 1); }

// Past a repeat's bounds `{n}`, `{n,}` or `{n,m}` at `at` (its `{`): the larger bound, or nothing
// when no repeat stands there (then the `{` is a literal).
std::optional<std::size_t> repeat_at(std::string_view pattern, std::size_t& at) {
  std::size_t end = at + 1;
  const std::optional<std::size_t> least = count_at(pattern, end);
  if (!least) return std::nullopt;
  std::size_t most = *least;
  if (end < pattern.size() && pattern[end] == ',') {
    ++end;
    if (const std::optional<std::size_t> upper = count_at(pattern, end)) most = *upper;
  }
  if (end >= pattern.size() || pattern[end] != '}') return std::nullopt;
  at = end;
  return std::max(most, *least);
}

// Past the escape whose backslash is at `at`, onto its last byte; whether it matches a character
// (not an assertion such as `\b` or `\A`).
bool escape_at(std::string_view pattern, std::size_t& at) {
  if (++at >= pattern.size()) return false;
  const char escaped = pattern[at];
  if (std::string_view("pPxuUb").find(escaped) != std::string_view::npos &&
      at + 1 < pattern.size() && pattern[at + 1] == '{') {
    at = std::min(pattern.find('}', at), pattern.size() - 1);
    return escaped != 'b';
  }
  std::size_t width = 0;
  if (escaped == 'x') width = 2;
  if (escaped == 'u') width = 4;
  if (escaped == 'U') width = 8;
  if (escaped == 'p' || escaped == 'P') width = 1;
  at = std::min(at + width, pattern.size() - 1);
  return std::string_view("bBAz<>").find(escaped) == std::string_view::npos;
}

// Onto the last byte of what opens the group whose `(` is at `at`: the `(` itself, or the `:` of
// `(?:` and `(?i:`, the `>` of a name, the `)` of flags alone.
std::size_t group_prefix_end(std::string_view pattern, std::size_t at) {
  if (at + 1 >= pattern.size() || pattern[at + 1] != '?') return at;
  std::size_t end = at + 2;
  if (end < pattern.size() && pattern[end] == 'P') ++end;
  if (end < pattern.size() && pattern[end] == '<')
    return std::min(pattern.find('>', end), pattern.size() - 1);
  while (end < pattern.size() &&
         (std::isalpha(static_cast<unsigned char>(pattern[end])) != 0 || pattern[end] == '-'))
    ++end;
  return std::min(end, pattern.size() - 1);
}

}  // namespace

std::size_t pattern_steps(std::string_view pattern) {
  std::vector<GroupSteps> groups(1);
  for (std::size_t at = 0; at < pattern.size(); ++at) {
    GroupSteps& group = groups.back();
    std::size_t atom = 1;
    const char c = pattern[at];
    if (c == '\\') {
      atom = escape_at(pattern, at) ? 1 : 0;
    } else if (c == '[') {
      class_at(pattern, at);
    } else if (c == '(') {
      groups.emplace_back();
      at = group_prefix_end(pattern, at);
      if (pattern[at] == ')') {  // flags alone, `(?i)`: no group, and nothing to repeat
        groups.pop_back();
        groups.back().last = 0;
      }
      continue;
    } else if (c == '|') {
      group.alternatives = capped(group.alternatives + group.sequence);
      group.sequence = group.last = 0;
      continue;
    } else if (c == ')' && groups.size() > 1) {
      atom = capped(group.alternatives + group.sequence);
      groups.pop_back();
    } else if (c == '{') {
      if (const std::optional<std::size_t> most = repeat_at(pattern, at)) {
        const std::size_t repeated = capped(group.last * std::min(*most, max_pattern_steps + 1));
        group.sequence = capped(group.sequence - group.last + repeated);
        group.last = repeated;
        continue;
      }
    } else if (c == '^' || c == '$' || c == '*' || c == '+' || c == '?') {
      atom = 0;  // an assertion, or a repeat that adds no copy of what it repeats
      if (c != '^' && c != '$') continue;
    }
    GroupSteps& into = groups.back();
    into.sequence = capped(into.sequence + atom);
    into.last = atom;
  }
  std::size_t steps = 0;
  for (const GroupSteps& group : groups)
    steps = capped(steps + group.alternatives + group.sequence);
  return steps;
}

PatternConstruct refused_construct(std::string_view pattern) {
  if (const PatternConstruct found = backtracking_construct(pattern); !found.what.empty())
    return found;
  if (pattern_steps(pattern) > max_pattern_steps) return {pattern.size(), oversized};
  return {};
}

std::string zod_contract_error(const Contract& contract) {
  std::string error;
  for (const Definition& definition : contract.definitions) {
    if (definition.kind == DefinitionKind::model) {
      for (const Property& property : contract.properties_of(definition)) {
        if (const PatternConstruct found = find_in_node(contract, property.node);
            !found.what.empty()) {
          append_refusal(definition.name, property.key, found, error);
          return error;
        }
      }
    }
    if (const PatternConstruct found = find_in_node(contract, definition.node);
        !found.what.empty()) {
      append_refusal(definition.name, "", found, error);
      return error;
    }
  }
  return error;
}

}  // namespace brenvale
