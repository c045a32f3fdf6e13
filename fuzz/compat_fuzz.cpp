// Fuzz target: the contract diff, its report and the compat rule set over two bundles, the
// input split at its first NUL byte.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "check.hpp"
#include "compat/diff.hpp"
#include "compat/report.hpp"
#include "compat/rules.hpp"
#include "json/json_reader.hpp"

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

// Deterministic, UTF-8 and a JSON array.
void require_report(const std::string& text, const std::string& again) {
  require(text == again, "compat differs between two runs");
  require(fuzz::is_valid_utf8(text) && parse_json(text).document.root.is_array(),
          "compat output is not a UTF-8 JSON array");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  // Python only ever hands over UTF-8; the reader target covers the rest.
  if (!fuzz::is_valid_utf8(input)) return 0;
  // No valid JSON text holds a raw NUL, so it is a free separator. Without one, old and new are
  // the same text.
  const std::size_t split = input.find('\0');
  const bool same = split == std::string_view::npos;
  const ParseResult old_bundle = parse_json(std::string(input.substr(0, split)));
  const ParseResult new_bundle = parse_json(std::string(same ? input : input.substr(split + 1)));
  if (!old_bundle.ok || !new_bundle.ok) return 0;
  const Value& old_root = old_bundle.document.root;
  const Value& new_root = new_bundle.document.root;

  const std::vector<Finding> base = diff(old_root, new_root);
  require_report(findings_json(base), findings_json(diff(old_root, new_root)));
  const auto full = rules_of(old_root, new_root, Mode::full);
  std::string text;
  std::string again;
  rule_findings_json(full, nullptr, text);
  rule_findings_json(rules_of(old_root, new_root, Mode::full), nullptr, again);
  require_report(text, again);
  require(!same || (base.empty() && full.empty()), "a bundle compared with itself has findings");
  require_base_kept(base, full);
  // A mode only relabels findings; it never adds or removes any.
  for (const Mode mode : {Mode::backward, Mode::forward})
    require(rules_of(old_root, new_root, mode).size() == full.size(),
            "a mode changed the findings");
  return 0;
}
