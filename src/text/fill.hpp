// Generated text from constant templates with named placeholders.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace brenvale {

struct Placeholder {
  std::string_view name;
  std::string_view value;  // already escaped for where the placeholder stands
};

// Called only for a template too large for a Template (over 40 runs or 64 KB): not constexpr,
// so such a template fails to compile.
void template_too_large();

// A constant template, split where it is compiled into runs of text and "{name}" runs, so that
// filling it copies runs instead of searching for braces. Only a constant expression converts
// to one (consteval): user data can never be a template, and enters only as a placeholder's
// value, which is never read for placeholders itself.
struct Template {
  struct Run {
    std::uint16_t start = 0;  // a name's run starts past its brace
    std::uint16_t size = 0;   // a name's, its braces left out
    bool is_name = false;     // "{name}", where name is letters, digits and '_'
  };
  static constexpr std::size_t capacity = 40;

  consteval Template(const char* pattern) : Template(std::string_view(pattern)) {}  // NOLINT
  consteval Template(std::string_view pattern) : text(pattern) {                    // NOLINT
    std::size_t start = 0;
    for (std::size_t open = 0; open < pattern.size(); ++open) {
      if (pattern[open] != '{') continue;
      std::size_t close = open + 1;
      while (close < pattern.size() && is_name_byte(pattern[close])) ++close;
      if (close == open + 1 || close == pattern.size() || pattern[close] != '}') continue;
      if (open > start) add({to_offset(start), to_offset(open - start), false});
      add({to_offset(open + 1), to_offset(close - open - 1), true});
      start = close + 1;
      open = close;
    }
    if (pattern.size() > start) add({to_offset(start), to_offset(pattern.size() - start), false});
  }

  std::size_t size() const { return text.size(); }

  std::string_view text;
  std::array<Run, capacity> runs{};
  std::size_t count = 0;

 private:
  static constexpr bool is_name_byte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  }
  static consteval std::uint16_t to_offset(std::size_t offset) {
    if (offset > UINT16_MAX) template_too_large();
    return static_cast<std::uint16_t>(offset);
  }
  consteval void add(Run run) {
    if (count == capacity) template_too_large();
    runs[count++] = run;
  }
};

// Appends `pattern` with each "{name}" of `values` replaced by its value; every other character,
// braces included, is copied as it stands. A name is letters, digits and '_'. Never fails.
void fill(std::string& out, const Template& pattern, std::initializer_list<Placeholder> values);

}  // namespace brenvale
