// One canonical JSON text per value tree: compares trees and feeds them back to the reader.
#pragma once

#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>

#include "json/json_value.hpp"

namespace brenvale::fuzz {

inline void append_string(std::string& out, std::string_view text) {
  out += '"';
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
      out += escape;
    } else {
      out += c;
    }
  }
  out += '"';
}

inline void append_tree(std::string& out, const Value& value) {
  char digits[32];
  switch (value.kind) {
    case Kind::null:
      out += "null";
      return;
    case Kind::boolean:
      out += value.boolean ? "true" : "false";
      return;
    case Kind::int64:
      out.append(digits, std::to_chars(digits, digits + sizeof digits, value.int64).ptr);
      return;
    case Kind::uint64:
      out.append(digits, std::to_chars(digits, digits + sizeof digits, value.uint64).ptr);
      return;
    case Kind::float64: {
      const std::string_view text(digits,
                                  std::to_chars(digits, digits + sizeof digits, value.float64).ptr);
      out += text;
      // Without a fraction or exponent the reader would take it back as an integer.
      if (text.find_first_of(".e") == std::string_view::npos) out += ".0";
      return;
    }
    case Kind::string:
      append_string(out, value.string());
      return;
    case Kind::array: {
      out += '[';
      bool first = true;
      for (const Value& item : value.array()) {
        if (!first) out += ',';
        first = false;
        append_tree(out, item);
      }
      out += ']';
      return;
    }
    case Kind::object: {
      out += '{';
      bool first = true;
      for (const Member& member : value.object()) {
        if (!first) out += ',';
        first = false;
        append_string(out, member.key);
        out += ':';
        append_tree(out, member.value);
      }
      out += '}';
      return;
    }
  }
}

inline std::string tree_text(const Value& value) {
  std::string out;
  append_tree(out, value);
  return out;
}

}  // namespace brenvale::fuzz
