// Findings -> the compact JSON array texts returned by _core.compat() and _ext.compat().
#pragma once

#include <string>
#include <vector>

#include "compat/finding.hpp"

namespace brenvale::compat {

// `[{"def", "field", "message", "verdict"}]`, each verdict the rule's own. Never fails.
std::string findings_json(const std::vector<Finding>& findings);
// The same objects with "direction" and "rule" members too, keys still in byte order, verdicts
// under `mode`, written to `out`. Returns false when `interrupted` (may be null) stopped it;
// `out` is then partial.
bool rule_findings_json(const std::vector<Finding>& findings, Mode mode, InterruptCheck interrupted,
                        std::string& out);

}  // namespace brenvale::compat
