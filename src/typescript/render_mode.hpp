// How generated text is written: the render mode and the side of a type.
#pragma once

#include <cstdint>

#include "contract/model.hpp"

namespace brenvale {

// How types are written: for the Firestore module; for plain DTOs (enum references by bare
// name); or canonically for the contract diff's signatures (union members sorted, string enums
// collapsed to string, other enums expanded).
enum class RenderMode : std::uint8_t { firestore, plain, canonical };

// The Firebase SDK a Firestore module is written for: the web SDK ("firebase/firestore") or the
// Admin SDK for Node ("firebase-admin/firestore").
enum class Sdk : std::uint8_t { web, admin };

}  // namespace brenvale
