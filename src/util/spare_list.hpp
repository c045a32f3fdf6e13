// Working lists a thread keeps from one small text to the next, so a small read allocates none.
#pragma once

#include <array>
#include <cstddef>
#include <utility>
#include <vector>

namespace brenvale {

// A list longer than this goes with the text that grew it.
inline constexpr std::size_t spare_list_limit = 1024;

// Gives `list` back to the thread's `spare`, emptied, unless a large text grew it.
template <class List>
void keep_spare(List& list, List& spare) {
  if (list.capacity() > spare_list_limit) return;
  list.clear();
  spare = std::move(list);
}

// Lists of a model, which a thread keeps two of each (a comparison holds two models at once).
// A list of more bytes than this goes with its model. With the reader's and the builder's
// working lists, a thread keeps at most about half a megabyte.
inline constexpr std::size_t spare_model_list_bytes = std::size_t{16} << 10;

template <class T>
struct SpareListPair {
  std::array<std::vector<T>, 2> lists;

  // Keeps `list`, emptied, in a free place, if it has room and is no larger than the limit.
  void keep(std::vector<T>& list) {
    if (list.capacity() == 0 || list.capacity() * sizeof(T) > spare_model_list_bytes) return;
    for (std::vector<T>& spare : lists) {
      if (spare.capacity() != 0) continue;
      list.clear();
      spare = std::move(list);
      return;
    }
  }
  // Hands a kept list to `list`, which has no room of its own, if one is kept.
  void take(std::vector<T>& list) {
    for (std::vector<T>& spare : lists) {
      if (spare.capacity() == 0) continue;
      list = std::move(spare);
      return;
    }
  }
};

}  // namespace brenvale
