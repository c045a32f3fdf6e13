// The blocks of definitions in which a module is written on two threads.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "contract/model.hpp"
#include "util/blocks_in_order.hpp"

namespace brenvale {

// The bounds of the blocks of `contract`'s definitions (see block_bounds), each definition one
// part and each of its properties one more: what a module writes grows with both.
inline std::vector<std::size_t> definition_blocks(const Contract& contract,
                                                  std::size_t blocks_from) {
  return block_bounds(
      contract.definitions.size(),
      [&](std::size_t i) { return 1 + std::size_t{contract.definitions[i].properties.count}; },
      blocks_from);
}

// Appends every definition of `contract` to `out`, each by `append(context, definition, text)`,
// in blocks on two threads from `blocks_from` parts (see write_blocks_in_order). The caller's
// blocks use `ctx`; the second thread's use a copy of it, made before that thread starts, which
// is returned so that the caller joins what it collected (nullopt: one thread wrote them all).
template <class Context, class Append>
std::optional<Context> write_definitions(const Contract& contract, std::size_t blocks_from,
                                         Context& ctx, Append&& append, std::string& out) {
  const std::vector<std::size_t> bounds = definition_blocks(contract, blocks_from);
  std::optional<Context> second_ctx;
  if (bounds.size() > 2) second_ctx.emplace(ctx);
  write_blocks_in_order(
      bounds.size() - 1,
      [&](std::size_t block, bool second, std::string& text) {
        Context& part = second ? *second_ctx : ctx;
        for (std::size_t i = bounds[block]; i < bounds[block + 1]; ++i)
          append(part, contract.definitions[i], text);
      },
      out);
  return second_ctx;
}

}  // namespace brenvale
