// Fuzz target: _ext.emit_plain, the plain DTO module with JSDoc.
#include "inputs.hpp"
#include "typescript/emit_plain.hpp"

using namespace brenvale;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto bundle = fuzz::bundle_of({reinterpret_cast<const char*>(data), size});
  if (bundle) fuzz::check_module([&] { return emit_plain(bundle->root, {.jsdoc = true}); });
  return 0;
}
