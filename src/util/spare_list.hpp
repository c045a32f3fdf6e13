// Working lists a thread keeps from one small text to the next, so a small read allocates none.
#pragma once

#include <cstddef>
#include <utility>

namespace brenvale {

// A list longer than this goes with the text that grew it: no thread keeps more than some
// hundred kilobytes.
inline constexpr std::size_t spare_list_limit = 1024;

// Gives `list` back to the thread's `spare`, emptied, unless a large text grew it.
template <class List>
void keep_spare(List& list, List& spare) {
  if (list.capacity() > spare_list_limit) return;
  list.clear();
  spare = std::move(list);
}

}  // namespace brenvale
