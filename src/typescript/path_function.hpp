// The path functions of collection models: their names, parameters and template text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "typescript/name_table.hpp"

namespace brenvale {

// A collection's path function parameters and its template text (before the leading slashes
// are dropped). Each placeholder gets its own parameter: a repeated or clashing name takes _2,
// _3, ...
struct PathParts {
  std::vector<std::string> parameters;
  std::string path;
};

PathParts path_parts(std::string_view collection);

// The path function names of the collections, in order, claimed from `names`: a name two
// collections would share is qualified by the path for both, and one still taken gets _2, _3,
// ...
std::vector<std::string> path_function_names(const std::vector<std::string_view>& collections,
                                             NameTable& names);

}  // namespace brenvale
