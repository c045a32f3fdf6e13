// One request for a generated module: its checks and error texts, and the emitter it picks.
#include "request/emit_request.hpp"

#include <utility>

#include "emit/emit_firestore.hpp"
#include "emit/emit_plain.hpp"
#include "emit/emit_zod.hpp"
#include "emit/zod_pattern.hpp"
#include "text/fill.hpp"

namespace brenvale {
namespace {

template <class Enum, std::size_t size>
bool parse_name(const std::array<std::string_view, size>& names, std::string_view name,
                Enum& value) {
  for (std::size_t i = 0; i < size; ++i) {
    if (names[i] == name) {
      value = static_cast<Enum>(i);
      return true;
    }
  }
  return false;
}

std::string filled(const Template& pattern, std::string_view value) {
  std::string text;
  fill(text, pattern, {{"value", value}});
  return text;
}

// Which options each kind reads beside the bundle.
struct KindOptions {
  bool sdk;
  bool jsdoc;
  bool update_paths;
  bool shared;
  bool contract_path;
};
constexpr KindOptions kind_options[] = {
    {.sdk = true, .jsdoc = true, .update_paths = true, .shared = true, .contract_path = false},
    {.sdk = false, .jsdoc = true, .update_paths = false, .shared = false, .contract_path = false},
    {.sdk = true, .jsdoc = false, .update_paths = false, .shared = false, .contract_path = true},
};

}  // namespace

bool parse_output_kind(std::string_view name, OutputKind& kind, std::string& error) {
  if (parse_name(output_kind_names, name, kind)) return true;
  error = filled("kind must be 'firestore', 'plain' or 'zod', not '{value}'", name);
  return false;
}

bool parse_sdk(std::string_view name, Sdk& sdk, std::string& error) {
  if (parse_name(sdk_names, name, sdk)) return true;
  error = filled("sdk must be 'web' or 'admin', not '{value}'", name);
  return false;
}

std::string request_error(const EmitRequest& request) {
  const KindOptions& reads = kind_options[static_cast<std::size_t>(request.kind)];
  const std::string_view kind = output_kind_names[static_cast<std::size_t>(request.kind)];
  const EmitRequest defaults;
  const auto unused = [&](std::string_view option) {
    std::string text;
    fill(text, "{option}: not for the {kind} module", {{"option", option}, {"kind", kind}});
    return text;
  };
  // The texts name each option by what it does, so they read the same to a caller of the
  // Python function and of the command line, whose spellings differ.
  if (!reads.sdk && request.sdk != defaults.sdk) return unused("an SDK");
  if (!reads.jsdoc && request.jsdoc) return unused("JSDoc");
  if (!reads.update_paths && request.update_paths) return unused("update paths");
  if (!reads.shared && (!request.shared_path.empty() || !request.shared_names.empty()))
    return unused("shared definitions");
  if (!reads.contract_path && request.contract_path != defaults.contract_path)
    return unused("a contract path");
  if (request.shared_path.empty() != request.shared_names.empty())
    return "shared definitions need both the module that holds them and their names";
  return {};
}

std::string contract_error(const Contract& contract, const EmitRequest& request) {
  return request.kind == OutputKind::zod ? zod_contract_error(contract) : std::string();
}

std::string emit_module(const Contract& contract, EmitRequest request) {
  switch (request.kind) {
    case OutputKind::plain:
      return emit_plain(contract, {.jsdoc = request.jsdoc});
    case OutputKind::zod:
      return emit_zod_module(contract, request.contract_path, request.sdk);
    case OutputKind::firestore:
      break;
  }
  return emit_firestore_module(
      contract, std::move(request.shared_names), request.shared_path,
      {.update_paths = request.update_paths, .jsdoc = request.jsdoc, .sdk = request.sdk});
}

}  // namespace brenvale
