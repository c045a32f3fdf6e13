// Fuzz target: _ext.emit_plain, the plain DTO module with JSDoc.
#include "contract/model.hpp"
#include "emit/emit_plain.hpp"
#include "inputs.hpp"

using namespace brenvale;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto bundle = fuzz::bundle_of({reinterpret_cast<const char*>(data), size});
  if (bundle)
    fuzz::check_module([&] {
      return emit_plain(build_contract(bundle->root, DefinitionTable::defs_or_draft07),
                        {.jsdoc = true});
    });
  return 0;
}
