// Fuzz target: _ext.compat, the rule set, over two bundles (see pair_of): it keeps every finding
// of the diff but the type changes between two spellings of one type.
#include "compat/diff.hpp"
#include "compat/report.hpp"
#include "compat/rules.hpp"
#include "contract/model.hpp"
#include "inputs.hpp"

using namespace brenvale;
using namespace brenvale::compat;
using brenvale::fuzz::require;

namespace {

std::vector<Finding> rules_of(const Contract& old_contract, const Contract& new_contract) {
  std::vector<Finding> findings;
  require(rule_findings(old_contract, new_contract, nullptr, findings),
          "rule set stopped without an interrupt");
  return findings;
}

std::string report_of(const std::vector<Finding>& findings, Mode mode) {
  std::string text;
  require(rule_findings_json(findings, mode, nullptr, text), "report stopped without an interrupt");
  return text;
}

bool same_finding(const Finding& a, const Finding& b) {
  return a.rule == b.rule && a.def == b.def && a.has_field == b.has_field && a.field == b.field &&
         a.old_value == b.old_value && a.new_value == b.new_value;
}

// Every diff finding is there, in its order, unchanged, but for those that respell a type.
void require_base_kept(const std::vector<Finding>& base, const std::vector<Finding>& full,
                       const Contract& old_contract, const Contract& new_contract) {
  std::size_t next = 0;
  const auto skip_respelled = [&] {
    while (next < base.size() && respelled(base[next], old_contract, new_contract)) ++next;
  };
  for (const Finding& finding : full) {
    if (next < base.size() && !same_finding(finding, base[next])) skip_respelled();
    if (next < base.size() && same_finding(finding, base[next])) ++next;
  }
  skip_respelled();
  require(next == base.size(), "a diff finding is missing from the rule set");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto pair = fuzz::pair_of({reinterpret_cast<const char*>(data), size});
  if (!pair) return 0;
  const Contract old_contract =
      build_contract(pair->old_bundle.root, DefinitionTable::defs_or_draft07);
  const Contract new_contract =
      build_contract(pair->new_bundle.root, DefinitionTable::defs_or_draft07);
  const auto full = rules_of(old_contract, new_contract);
  const std::string text = report_of(full, Mode::full);
  require(text == report_of(rules_of(old_contract, new_contract), Mode::full),
          "compat differs between two runs");
  require(fuzz::is_valid_utf8(text) && parse_json(text).document.root.is_array(),
          "compat output is not a UTF-8 JSON array");
  require(!pair->same || full.empty(), "a bundle compared with itself has findings");
  std::vector<Finding> base;
  require(diff(old_contract, new_contract, nullptr, base), "diff stopped without an interrupt");
  require_base_kept(base, full, old_contract, new_contract);
  // The report is written once the models are freed: the findings hold on to no part of them.
  Contract old_copy = build_contract(pair->old_bundle.root, DefinitionTable::defs_or_draft07);
  Contract new_copy = build_contract(pair->new_bundle.root, DefinitionTable::defs_or_draft07);
  std::vector<Finding> kept = rules_of(old_copy, new_copy);
  const ContractTexts old_texts = release_model(std::move(old_copy));
  const ContractTexts new_texts = release_model(std::move(new_copy));
  require(report_of(kept, Mode::full) == text, "the report changes once the models are freed");
  return 0;
}
