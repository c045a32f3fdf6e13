// How generated text is written: the render mode and the side of a type.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <string_view>
#include <vector>

#include "contract/model.hpp"

namespace brenvale {

// How types are written: for the Firestore module; for plain DTOs (enum references by bare
// name); or canonically for the contract diff's signatures (union members sorted, string enums
// collapsed to string, other enums expanded).
enum class RenderMode : std::uint8_t { firestore, plain, canonical };

// The Firebase SDK a Firestore module is written for: the web SDK ("firebase/firestore") or the
// Admin SDK for Node ("firebase-admin/firestore").
enum class Sdk : std::uint8_t { web, admin };

// The SDK's types a module may import, in the byte order of their names: the order an import
// line lists them in.
enum class SdkType : std::uint8_t {
  bytes,
  document_data,
  document_reference,
  field_value,
  firestore_data_converter,
  geo_point,
  timestamp,
  update_data,
  vector_value,
};
inline constexpr std::array<std::string_view, 9> sdk_type_names = {
    "Bytes",    "DocumentData", "DocumentReference", "FieldValue", "FirestoreDataConverter",
    "GeoPoint", "Timestamp",    "UpdateData",        "VectorValue"};
static_assert(std::is_sorted(sdk_type_names.begin(), sdk_type_names.end()));
constexpr std::string_view sdk_type_name(SdkType type) {
  return sdk_type_names[static_cast<std::size_t>(type)];
}

// The SDK types a module uses. A set of bits: every type a module renders adds one.
class SdkTypes {
 public:
  void insert(SdkType type) { bits_ |= bit(type); }
  void insert_all(const SdkTypes& other) { bits_ |= other.bits_; }
  // Whether it was there.
  bool erase(SdkType type) {
    const bool had = contains(type);
    bits_ &= static_cast<std::uint16_t>(~bit(type));
    return had;
  }
  bool contains(SdkType type) const { return (bits_ & bit(type)) != 0; }
  bool empty() const { return bits_ == 0; }
  // Their names, in byte order.
  std::vector<std::string_view> names() const {
    std::vector<std::string_view> out;
    out.reserve(static_cast<std::size_t>(std::popcount(bits_)));
    for (std::size_t i = 0; i < sdk_type_names.size(); ++i) {
      if ((bits_ & (1U << i)) != 0) out.push_back(sdk_type_names[i]);
    }
    return out;
  }

 private:
  static std::uint16_t bit(SdkType type) {
    return static_cast<std::uint16_t>(1U << static_cast<unsigned>(type));
  }
  std::uint16_t bits_ = 0;
};

}  // namespace brenvale
