// Fuzz target: _ext.zod, the zod module for either SDK (picked by the input's length), with a
// contract path taken from the input, after the pattern check it runs first.
#include "contract/model.hpp"
#include "emit/emit_zod.hpp"
#include "emit/zod_pattern.hpp"
#include "inputs.hpp"

using namespace brenvale;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto bundle = fuzz::bundle_of({reinterpret_cast<const char*>(data), size});
  if (!bundle) return 0;
  const Contract contract = build_contract(bundle->root, DefinitionTable::defs_or_draft07);
  const std::string refused = zod_contract_error(contract);
  fuzz::require(refused.find('\n') == std::string::npos, "a refusal is more than one line");
  fuzz::check_module([&] {
    return emit_zod_module(contract, fuzz::import_path(bundle->root),
                           size % 2 == 0 ? Sdk::web : Sdk::admin);
  });
  return 0;
}
