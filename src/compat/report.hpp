// Findings -> the compact JSON array text returned by compat().
#pragma once

#include <string>
#include <vector>

#include "diff.hpp"

namespace brenvale::compat {

std::string findings_json(const std::vector<Finding>& findings);

}  // namespace brenvale::compat
