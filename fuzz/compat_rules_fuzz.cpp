// Fuzz target: the compat rule set over two bundles, the input split at its first NUL byte.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "check.hpp"
#include "compat/diff.hpp"
#include "compat/report.hpp"
#include "compat/rules.hpp"
#include "json/json_reader.hpp"
#include "utf8.hpp"

using namespace brenvale;
using namespace brenvale::fuzz;

namespace {

std::vector<compat::RuleFinding> rule_findings(const Value& old_bundle, const Value& new_bundle,
                                               compat::Mode mode) {
  std::vector<compat::RuleFinding> findings;
  require(compat::rule_findings(old_bundle, new_bundle, mode, nullptr, findings),
          "rule set stopped without an interrupt");
  return findings;
}

bool same_finding(const compat::Finding& a, const compat::Finding& b) {
  return a.def == b.def && a.field == b.field && a.verdict == b.verdict && a.message == b.message;
}

// Every diff finding is there, in its order, unchanged under the full mode.
void require_base_kept(const std::vector<compat::Finding>& base,
                       const std::vector<compat::RuleFinding>& extended) {
  std::size_t next = 0;
  for (const compat::RuleFinding& finding : extended) {
    if (next < base.size() && same_finding(finding.finding, base[next])) ++next;
  }
  require(next == base.size(), "a diff finding is missing from the rule set");
}

// A mode only turns findings of other directions SAFE; it never adds or removes any.
void require_mode_only_relabels(const std::vector<compat::RuleFinding>& full,
                                const std::vector<compat::RuleFinding>& moded,
                                compat::Direction kept) {
  require(full.size() == moded.size(), "a mode changed the number of findings");
  for (std::size_t i = 0; i < full.size(); ++i) {
    const bool breaking =
        full[i].finding.verdict == compat::Verdict::breaking && full[i].direction == kept;
    require(moded[i].rule == full[i].rule && moded[i].finding.message == full[i].finding.message,
            "a mode changed a finding");
    require((moded[i].finding.verdict == compat::Verdict::breaking) == breaking,
            "a mode gave the wrong verdict");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  if (!is_valid_utf8(input)) return 0;
  // As in the compat target: no NUL means old and new are the same text.
  const std::size_t split = input.find('\0');
  const bool same = split == std::string_view::npos;
  const std::string old_text(input.substr(0, split));
  const std::string new_text(same ? input : input.substr(split + 1));
  const ParseResult old_bundle = parse_json(old_text);
  const ParseResult new_bundle = parse_json(new_text);
  if (!old_bundle.ok || !new_bundle.ok) return 0;
  const Value& old_root = old_bundle.document.root;
  const Value& new_root = new_bundle.document.root;

  const auto full = rule_findings(old_root, new_root, compat::Mode::full);
  std::string text;
  std::string again;
  compat::rule_findings_json(full, nullptr, text);
  compat::rule_findings_json(rule_findings(old_root, new_root, compat::Mode::full), nullptr, again);
  require(text == again, "the rule set differs between two runs");
  if (same) require(full.empty(), "a bundle compared with itself has findings");
  require_base_kept(compat::diff(old_root, new_root), full);
  require_mode_only_relabels(full, rule_findings(old_root, new_root, compat::Mode::backward),
                             compat::Direction::backward);
  require_mode_only_relabels(full, rule_findings(old_root, new_root, compat::Mode::forward),
                             compat::Direction::forward);
  require(is_valid_utf8(text), "rule set output is not UTF-8");
  const ParseResult report = parse_json(text);
  require(report.ok && report.document.root.is_array(), "rule set output is not a JSON array");
  return 0;
}
