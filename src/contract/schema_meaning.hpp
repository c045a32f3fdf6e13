// What the schema's keys and words mean to the model, and its keys to Firestore.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "contract/model.hpp"
#include "json/key_atoms.hpp"
#include "util/utf8_decode.hpp"

namespace brenvale {

// The definition a `$ref` names: its last segment ("#/$defs/User" names "User"), as written.
constexpr std::string_view last_segment(std::string_view ref) {
  const std::size_t slash = ref.rfind('/');
  return slash == std::string_view::npos ? ref : ref.substr(slash + 1);
}

// May the `$ref` hold an escape, which decode_ref_name undoes? Few do: the rest name their last
// segment as written. A loop of its own: find_first_of calls memchr on the two bytes for each
// byte of the ref, and the model asks this of every `$ref`.
constexpr bool may_hold_ref_escape(std::string_view ref) {
  for (const char c : ref) {
    if (c == '%' || c == '~') return true;
  }
  return false;
}

// The definition a `$ref` names, its escapes undone. Its fragment is percent-decoded first
// (RFC 3986: `#/$defs/Line%20Item` names "Line Item"); when that is a JSON pointer, its last
// segment is unescaped (RFC 6901: `~1` is "/", then `~0` is "~", so `~01` is "~1"). A ref with
// no pointer in it names its last segment as written. nullopt when an escape is malformed (a `%`
// without two hex digits, a `~` without 0 or 1) or the fragment decodes to no UTF-8 text: the
// ref names nothing, and is left unresolved.
inline std::optional<std::string> decode_ref_name(std::string_view ref) {
  const std::size_t hash = ref.find('#');
  if (hash == std::string_view::npos) return std::string(last_segment(ref));
  const auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  const std::string_view fragment = ref.substr(hash + 1);
  std::string pointer;
  pointer.reserve(fragment.size());
  for (std::size_t i = 0; i < fragment.size(); ++i) {
    if (fragment[i] != '%') {
      pointer += fragment[i];
      continue;
    }
    const int high = i + 2 < fragment.size() ? hex(fragment[i + 1]) : -1;
    const int low = high >= 0 ? hex(fragment[i + 2]) : -1;
    if (low < 0) return std::nullopt;
    pointer += static_cast<char>(high * 16 + low);
    i += 2;
  }
  std::uint32_t code_point = 0;
  for (std::string_view rest = pointer; !rest.empty();) {
    const std::size_t length = decode_utf8(rest, code_point);
    if (length == 0) return std::nullopt;
    rest.remove_prefix(length);
  }
  if (!pointer.starts_with('/')) return std::string(last_segment(ref));
  // Every segment's escapes must be sound, not only the last one's.
  for (std::size_t at = pointer.find('~'); at != std::string::npos;
       at = pointer.find('~', at + 1)) {
    if (at + 1 == pointer.size() || (pointer[at + 1] != '0' && pointer[at + 1] != '1'))
      return std::nullopt;
  }
  const std::string_view segment = last_segment(pointer);
  std::string name;
  name.reserve(segment.size());
  for (std::size_t i = 0; i < segment.size(); ++i) {
    // Each `~` is read with its own digit, so `~01` is "~1", as undoing `~1` first makes it.
    if (segment[i] != '~') {
      name += segment[i];
    } else {
      name += segment[++i] == '1' ? '/' : '~';
    }
  }
  return name;
}

// A string under `x-firestore-type`, as the reader classified it.
constexpr FirestoreKind firestore_kind_of(Word word) {
  switch (word) {
    case Word::timestamp:
      return FirestoreKind::timestamp;
    case Word::reference:
      return FirestoreKind::reference;
    case Word::geopoint:
      return FirestoreKind::geopoint;
    case Word::vector:
      return FirestoreKind::vector;
    case Word::bytes:
      return FirestoreKind::bytes;
    default:
      return FirestoreKind::other;
  }
}

// A string under `type`, or an entry of an array there.
constexpr JsonType json_type_of(Word word) {
  switch (word) {
    case Word::null:
      return JsonType::null;
    case Word::string:
      return JsonType::string;
    case Word::number:
      return JsonType::number;
    case Word::integer:
      return JsonType::integer;
    case Word::boolean:
      return JsonType::boolean;
    case Word::object:
      return JsonType::object;
    case Word::array:
      return JsonType::array;
    default:
      return JsonType::other;
  }
}

// What a node is, from the facts read: the first that applies wins. `firestore_named`: it has a
// string `x-firestore-type`; `json_typed`: a `type` that is a string or an array.
constexpr TypeForm form_of(const TypeNode& n, bool firestore_named, bool json_typed) {
  if (firestore_named) return TypeForm::firestore;
  if (n.has_ref) return TypeForm::reference;
  if (n.has_constant) return TypeForm::literal;
  if (n.has_enum) return TypeForm::enumeration;
  if (n.has_alternatives) return TypeForm::alternatives;
  return json_typed ? TypeForm::json : TypeForm::unknown;
}

// Both SDKs read an update's key as a dotted field path: split at each `.`, refused when a
// segment is empty or holds one of `~*/[]`. A plain field name is one they read as itself.
inline constexpr std::string_view field_path_specials = ".~*/[]";
inline constexpr std::array<bool, 256> field_path_special_bytes = [] {
  std::array<bool, 256> bytes{};
  for (const char c : field_path_specials) bytes[static_cast<unsigned char>(c)] = true;
  return bytes;
}();
constexpr bool is_plain_field_name(std::string_view name) {
  // Every key is asked: one look in a table per byte, not a search of the specials.
  return !name.empty() && std::none_of(name.begin(), name.end(), [](char c) {
    return field_path_special_bytes[static_cast<unsigned char>(c)];
  });
}

// A bound Pydantic checks after a union or a Literal, which it writes under its own name: the key
// that means it. Bundles written before brenvale renamed them hold these names; the second
// module reads them so, so that such a bundle and a newer one of the same models agree.
constexpr Atom pydantic_bound(std::string_view key) {
  constexpr std::array<std::pair<std::string_view, Atom>, 5> bounds = {{
      {"ge", Atom::minimum},
      {"gt", Atom::exclusive_minimum},
      {"le", Atom::maximum},
      {"lt", Atom::exclusive_maximum},
      {"multiple_of", Atom::multiple_of},
  }};
  for (const auto& [name, atom] : bounds) {
    if (key == name) return atom;
  }
  return Atom::other;
}

// The keys of bounds and restrictions, kept as data for zod's checks and compat's rules.
constexpr bool is_constraint_key(Atom atom) {
  switch (atom) {
    case Atom::max_length:
    case Atom::min_length:
    case Atom::maximum:
    case Atom::minimum:
    case Atom::exclusive_maximum:
    case Atom::exclusive_minimum:
    case Atom::max_items:
    case Atom::min_items:
    case Atom::max_properties:
    case Atom::min_properties:
    case Atom::property_names:
    case Atom::pattern_properties:
    case Atom::pattern:
    case Atom::format:
    case Atom::multiple_of:
    case Atom::unique_items:
    case Atom::additional_properties:
      return true;
    default:
      return false;
  }
}

// The constraint keys whose values are also read as schemas: a map's values, its keys, and the
// values under each pattern of its keys.
constexpr bool holds_schemas(Atom atom) {
  return atom == Atom::additional_properties || atom == Atom::property_names ||
         atom == Atom::pattern_properties;
}

// A scalar value as a datum; a string's text stays where it is.
inline Datum scalar_datum(const Value& value) {
  Datum d;
  d.present = true;
  d.kind = value.kind;
  switch (value.kind) {
    case Kind::boolean:
      d.boolean = value.boolean;
      break;
    case Kind::int64:
      d.int64 = value.int64;
      break;
    case Kind::uint64:
      d.uint64 = value.uint64;
      break;
    case Kind::float64:
      d.float64 = value.float64;
      break;
    case Kind::string:
      d.chars = value.chars;
      d.size = value.size;
      break;
    default:
      break;
  }
  return d;
}

// A scalar as a container's serialisation writes it: tagged text, equal exactly when the values
// are (floats bit for bit).
inline void serialise_scalar(const Datum& d, std::string& out) {
  switch (d.kind) {
    case Kind::null:
      out += 'n';
      return;
    case Kind::boolean:
      out += d.boolean ? 't' : 'f';
      return;
    case Kind::int64:
      out += 'i' + std::to_string(d.int64) + ';';
      return;
    case Kind::uint64:
      out += 'u' + std::to_string(d.uint64) + ';';
      return;
    case Kind::float64:
      out += 'd' + std::to_string(std::bit_cast<std::uint64_t>(d.float64)) + ';';
      return;
    default:
      out += 's' + std::to_string(d.size) + ':';
      out += d.text();
      return;
  }
}

}  // namespace brenvale
