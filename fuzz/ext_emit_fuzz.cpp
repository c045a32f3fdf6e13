// Fuzz target: _ext.emit, the Firestore module in every form it offers (update paths, JSDoc,
// the Admin SDK), alone and with shared definitions taken from the input.
#include "contract/model.hpp"
#include "emit/emit_firestore.hpp"
#include "inputs.hpp"

using namespace brenvale;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const auto bundle = fuzz::bundle_of(input);
  if (!bundle) return 0;
  const Value& root = bundle->root;
  const Contract contract = build_contract(root, DefinitionTable::defs_or_draft07);
  // Update paths are for the web SDK only.
  for (const FirestoreOptions options :
       {FirestoreOptions{.update_paths = true}, FirestoreOptions{.jsdoc = true},
        FirestoreOptions{.update_paths = true, .jsdoc = true}, FirestoreOptions{.sdk = Sdk::admin},
        FirestoreOptions{.jsdoc = true, .sdk = Sdk::admin}}) {
    fuzz::check_module([&] { return emit_firestore_module(contract, {}, {}, options); });
    fuzz::check_module([&] {
      return emit_firestore_module(contract, fuzz::shared_names(root, input),
                                   fuzz::import_path(root), options);
    });
  }
  return 0;
}
