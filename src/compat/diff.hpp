// Two contract bundles -> ordered findings, each SAFE or BREAKING.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "json/json_value.hpp"

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

// Polled between definitions and properties; true stops the work. A plain function pointer, so
// the caller decides what an interrupt is (the Python module checks for signals).
using InterruptCheck = bool (*)();

// Both bundles are borrowed; the findings own their texts. Never fails.
std::vector<Finding> diff(const Value& old_bundle, const Value& new_bundle);
// The same, appending to `findings`; returns false when `interrupted` (may be null) stopped it,
// leaving the findings incomplete.
bool diff(const Value& old_bundle, const Value& new_bundle, InterruptCheck interrupted,
          std::vector<Finding>& findings);

}  // namespace brenvale::compat
