// Fuzz target: _core.emit_shared, with shared definitions and a module path taken from the input.
#include "contract/model.hpp"
#include "emit/emit_firestore.hpp"
#include "inputs.hpp"

using namespace brenvale;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const auto bundle = fuzz::bundle_of(input);
  if (!bundle) return 0;
  const Value& root = bundle->root;
  const Contract contract = build_contract(root, DefinitionTable::defs);
  fuzz::check_module([&] {
    return emit_firestore_module(contract, fuzz::shared_names(root, input),
                                 fuzz::import_path(root));
  });
  return 0;
}
