// Fuzz target: _ext.compat, the rule set with its modes, over two bundles (see pair_of): it keeps
// every finding of the diff, and a mode only relabels findings.
#include "compat/diff.hpp"
#include "compat/report.hpp"
#include "compat/rules.hpp"
#include "inputs.hpp"

using namespace brenvale;
using namespace brenvale::compat;
using brenvale::fuzz::require;

namespace {

std::vector<RuleFinding> rules_of(const Value& old_bundle, const Value& new_bundle, Mode mode) {
  std::vector<RuleFinding> findings;
  require(rule_findings(old_bundle, new_bundle, mode, nullptr, findings),
          "rule set stopped without an interrupt");
  return findings;
}

std::string report_of(const std::vector<RuleFinding>& findings) {
  std::string text;
  require(rule_findings_json(findings, nullptr, text), "report stopped without an interrupt");
  return text;
}

// Every diff finding is there, in its order, unchanged under the full mode.
void require_base_kept(const std::vector<Finding>& base, const std::vector<RuleFinding>& full) {
  std::size_t next = 0;
  for (const RuleFinding& rule : full) {
    const Finding& f = rule.finding;
    if (next < base.size() && f.def == base[next].def && f.field == base[next].field &&
        f.verdict == base[next].verdict && f.message == base[next].message)
      ++next;
  }
  require(next == base.size(), "a diff finding is missing from the rule set");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto pair = fuzz::pair_of({reinterpret_cast<const char*>(data), size});
  if (!pair) return 0;
  const Value& old_root = pair->old_bundle.root;
  const Value& new_root = pair->new_bundle.root;
  const auto full = rules_of(old_root, new_root, Mode::full);
  const std::string text = report_of(full);
  require(text == report_of(rules_of(old_root, new_root, Mode::full)),
          "compat differs between two runs");
  require(fuzz::is_valid_utf8(text) && parse_json(text).document.root.is_array(),
          "compat output is not a UTF-8 JSON array");
  require(!pair->same || full.empty(), "a bundle compared with itself has findings");
  require_base_kept(diff(old_root, new_root), full);
  for (const Mode mode : {Mode::backward, Mode::forward})
    require(rules_of(old_root, new_root, mode).size() == full.size(),
            "a mode changed the findings");
  return 0;
}
