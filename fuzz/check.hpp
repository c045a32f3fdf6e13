// A failed property ends the run the way libFuzzer and ctest both notice: a message and abort().
#pragma once

#include <cstdio>
#include <cstdlib>

namespace brenvale::fuzz {

inline void require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "fuzz property broken: %s\n", property);
  std::abort();
}

}  // namespace brenvale::fuzz
