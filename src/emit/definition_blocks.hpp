// The blocks of definitions in which a module is written on two threads.
#pragma once

#include <cstddef>
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

}  // namespace brenvale
