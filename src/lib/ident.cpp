// Property names as TypeScript property keys.
#include "ident.hpp"

#include "literal.hpp"

namespace brenvale {
namespace {

constexpr bool is_ascii_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

bool is_plain_identifier(std::string_view name) {
  if (name.empty()) return false;
  const char first = name[0];
  if (!is_ascii_letter(first) && first != '_' && first != '$') return false;
  for (const char c : name) {
    if (!is_ascii_letter(c) && !(c >= '0' && c <= '9') && c != '_' && c != '$') return false;
  }
  return true;
}

void append_ident(std::string_view name, std::string& out) {
  if (is_plain_identifier(name)) {
    out += name;
  } else {
    append_quoted(name, out);
  }
}

std::string ident(std::string_view name) {
  std::string out;
  append_ident(name, out);
  return out;
}

}  // namespace brenvale
