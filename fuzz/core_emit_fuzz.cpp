// Fuzz target: _core.emit, the Firestore module of a bundle.
#include "contract/model.hpp"
#include "emit/emit_firestore.hpp"
#include "inputs.hpp"

using namespace brenvale;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto bundle = fuzz::bundle_of({reinterpret_cast<const char*>(data), size});
  if (bundle)
    fuzz::check_module([&] {
      return emit_firestore_module(build_contract(bundle->root, DefinitionTable::defs), {}, {});
    });
  return 0;
}
