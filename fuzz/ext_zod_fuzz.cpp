// Fuzz target: _ext.zod, the zod module, with a contract path taken from the input.
#include "contract/model.hpp"
#include "emit/emit_zod.hpp"
#include "inputs.hpp"

using namespace brenvale;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto bundle = fuzz::bundle_of({reinterpret_cast<const char*>(data), size});
  if (!bundle) return 0;
  fuzz::check_module([&] {
    return emit_zod_module(build_contract(bundle->root, DefinitionTable::defs_or_draft07),
                           fuzz::import_path(bundle->root));
  });
  return 0;
}
