// The one ordered-set type: iteration in ascending byte order, no duplicates.
#pragma once

#include <functional>
#include <set>

namespace brenvale {

template <class T>
using OrderedSet = std::set<T, std::less<>>;

}  // namespace brenvale
