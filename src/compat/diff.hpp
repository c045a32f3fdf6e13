// Two contract bundles -> ordered findings, each SAFE or BREAKING.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "json_value.hpp"

namespace brenvale::compat {

enum class Verdict : unsigned char { safe, breaking };

struct Finding {
  std::string def;
  std::optional<std::string> field;  // absent for definition-level findings
  Verdict verdict;
  std::string message;
};

Finding field_finding(std::string_view def, std::string_view field, Verdict verdict,
                      std::string_view message);

// Both bundles are borrowed; the findings own their texts. Never fails.
std::vector<Finding> diff(const Value& old_bundle, const Value& new_bundle);

}  // namespace brenvale::compat
