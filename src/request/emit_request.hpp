// One request for a generated module: which output and its options, checked in one place.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "contract/model.hpp"
#include "typescript/render_mode.hpp"
#include "util/ordered_set.hpp"

namespace brenvale {

// The modules brenvale writes: the Firestore module, plain DTO interfaces, Zod schemas.
enum class OutputKind : std::uint8_t { firestore, plain, zod };

// Each choice's name, indexed by its enum value; the extension module exports these lists.
inline constexpr std::array<std::string_view, 3> output_kind_names = {"firestore", "plain", "zod"};
inline constexpr std::array<std::string_view, 2> sdk_names = {"web", "admin"};

// Every option of every output; an option another kind has no use for must stay at its default.
struct EmitRequest {
  OutputKind kind = OutputKind::firestore;
  Sdk sdk = Sdk::web;
  bool jsdoc = false;                             // titles and descriptions as JSDoc comments
  bool update_paths = false;                      // Update types that take dotted field paths
  std::string_view shared_path;                   // the module the shared definitions come from
  OrderedSet<std::string> shared_names;           // definitions imported from it, not written
  std::string_view contract_path = "./contract";  // the Firestore module the Zod module checks
};

// The request's kind and SDK from their names; on an unknown name, false with `error` set to the
// one-line text that says so.
bool parse_output_kind(std::string_view name, OutputKind& kind, std::string& error);
bool parse_sdk(std::string_view name, Sdk& sdk, std::string& error);

// The first problem with the request's options, as a one-line text; empty when it can be
// written.
std::string request_error(const EmitRequest& request);

// The first thing in `contract` (borrowed) that the module `request` asks for cannot be written
// for, as a one-line text naming where it is; empty when there is none. A zod module refuses a
// pattern that Pydantic refuses and no linear-time engine can match.
std::string contract_error(const Contract& contract, const EmitRequest& request);

// The module `request` asks for (one that request_error and contract_error accept); `contract` is
// borrowed. Never fails.
std::string emit_module(const Contract& contract, EmitRequest request);

}  // namespace brenvale
