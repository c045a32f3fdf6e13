// The Firestore-mode module: interfaces, update types, converters, path functions.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "contract/model.hpp"
#include "typescript/render_mode.hpp"
#include "util/blocks_in_order.hpp"
#include "util/ordered_set.hpp"

namespace brenvale {

// Output forms beyond the default module, each off unless asked for.
struct FirestoreOptions {
  // Update types that accept dotted field paths into nested models ("settings.theme"), down to a
  // fixed depth; for the Admin SDK, where its UpdateData can expand the model.
  bool update_paths = false;
  // Titles and descriptions as JSDoc blocks above declarations and members.
  bool jsdoc = false;
  // The SDK whose types the module imports and whose converter signature it implements.
  Sdk sdk = Sdk::web;
};

// The names the module of `contract` and `options` declares or uses itself, which no definition
// is given; the zod module builds its table with them, so it names every type as this module
// does.
std::vector<std::string_view> module_reserved_names(const Contract& contract,
                                                    const FirestoreOptions& options);

// `contract` is borrowed; `shared` is taken over by the run. Empty `shared` is plain `emit`.
// A contract of `blocks_from` definitions and properties or more has its declarations written
// in blocks on two threads (see write_blocks_in_order); the text is the same either way. Never
// fails.
std::string emit_firestore_module(const Contract& contract, OrderedSet<std::string> shared,
                                  std::string_view shared_path,
                                  const FirestoreOptions& options = {},
                                  std::size_t blocks_from = write_in_blocks_from);

// The names client code compiles against for one collection model, exactly as
// emit_firestore_module writes them for the bundle without shared definitions.
struct ClientNames {
  std::string_view definition;  // the raw definition name, borrowed from the bundle
  std::string converter;
  std::string path_function;
  std::vector<std::string> path_parameters;  // in path order
};

// What client code compiles against in the module of `contract` (borrowed): the names of every
// collection model, in definition order, and each definition whose exported type the module
// names otherwise than the bundle does (a name TypeScript cannot spell, or one that clashes), with
// that name, in definition order. Never fails.
struct ModuleNames {
  std::vector<ClientNames> collections;
  std::vector<std::pair<std::string_view, std::string>> renamed;  // raw name, exported name
};
ModuleNames client_names(const Contract& contract);

}  // namespace brenvale
