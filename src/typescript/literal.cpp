// TypeScript literal types of JSON values.
#include "typescript/literal.hpp"

#include "text/escape.hpp"

#include <array>
#include <charconv>
#include <cmath>

namespace brenvale {
namespace {

// Shortest round-trip digits in the fixed/exponent form the generated code uses.
void append_float(double value, std::string& out) {
  if (std::signbit(value)) out += '-';
  const double magnitude = std::fabs(value);
  if (magnitude == 0.0) {
    out += "0.0";
    return;
  }
  std::array<char, 32> buffer{};
  // Scientific form gives the digits and the exponent separately: d.ddde[+-]x.
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), magnitude,
                                    std::chars_format::scientific);
  const std::string_view text(buffer.data(), static_cast<std::size_t>(result.ptr - buffer.data()));
  const std::size_t e_pos = text.find('e');
  std::string digits;
  digits += text[0];
  if (e_pos > 1) digits.append(text.substr(2, e_pos - 2));
  int exponent = 0;
  std::from_chars(text.data() + e_pos + (text[e_pos + 1] == '+' ? 2 : 1), text.data() + text.size(),
                  exponent);
  const int n = static_cast<int>(digits.size());
  if (exponent < -5 || exponent > 15) {
    out += digits[0];
    if (n > 1) {
      out += '.';
      out.append(digits, 1);
    }
    out += exponent < 0 ? "e-" : "e+";
    out += std::to_string(std::abs(exponent));
  } else if (exponent >= n - 1) {
    out += digits;
    out.append(static_cast<std::size_t>(exponent) - static_cast<std::size_t>(n) + 1, '0');
    out += ".0";
  } else if (exponent < 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-exponent) - 1, '0');
    out += digits;
  } else {
    const auto whole = static_cast<std::size_t>(exponent) + 1;
    out.append(digits, 0, whole);
    out += '.';
    out.append(digits, whole);
  }
}

template <class Integer>
void append_integer(Integer value, std::string& out) {
  std::array<char, 24> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  out.append(buffer.data(), result.ptr);
}

}  // namespace

void append_literal(const Datum& value, std::string& out) {
  switch (value.kind) {
    case Kind::null:
      out += "null";
      break;
    case Kind::boolean:
      out += value.boolean ? "true" : "false";
      break;
    case Kind::int64:
      append_integer(value.int64, out);
      break;
    case Kind::uint64:
      append_integer(value.uint64, out);
      break;
    case Kind::float64:
      append_float(value.float64, out);
      break;
    case Kind::string:
      append_quoted(value.text(), out);
      break;
    case Kind::array:
    case Kind::object:
      out += "unknown";
      break;
  }
}

std::string literal(const Datum& value) {
  std::string out;
  append_literal(value, out);
  return out;
}

}  // namespace brenvale
