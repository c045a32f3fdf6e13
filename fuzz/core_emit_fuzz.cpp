// Fuzz target: _core.emit, the Firestore module of a bundle, read as the native function reads
// it (the model's strings moved onto the text, its definitions read whole or one at a time), and
// the same as the model of the tree gives.
#include "contract/model.hpp"
#include "contract/read_contract.hpp"
#include "emit/emit_firestore.hpp"
#include "inputs.hpp"

using namespace brenvale;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto bundle = fuzz::bundle_of({reinterpret_cast<const char*>(data), size});
  if (!bundle) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  const ReadResult read = read_contract(text, DefinitionTable::defs);
  fuzz::require(read.ok, "a bundle the tree reads is refused");
  fuzz::check_module([&] { return emit_firestore_module(read.contract, {}, {}); });
  const std::string tree_module =
      emit_firestore_module(build_contract(bundle->root, DefinitionTable::defs), {}, {});
  fuzz::require(emit_firestore_module(read.contract, {}, {}) == tree_module,
                "the model read from the text and the tree's model write different modules");
  // Definitions handed over one at a time, as in a large text, give the same model.
  const ReadResult streamed = read_contract(text, DefinitionTable::defs, 0);
  fuzz::require(streamed.ok, "a bundle the tree reads is refused when streamed");
  fuzz::require(emit_firestore_module(streamed.contract, {}, {}) == tree_module,
                "definitions read one at a time and the tree's model write different modules");
  return 0;
}
