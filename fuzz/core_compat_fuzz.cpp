// Fuzz target: _core.compat, the contract diff and its report, over two bundles (see pair_of).
#include "compat/diff.hpp"
#include "compat/report.hpp"
#include "contract/model.hpp"
#include "inputs.hpp"

using namespace brenvale;
using brenvale::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto pair = fuzz::pair_of({reinterpret_cast<const char*>(data), size});
  if (!pair) return 0;
  const Contract old_contract = build_contract(pair->old_bundle.root, DefinitionTable::defs);
  const Contract new_contract = build_contract(pair->new_bundle.root, DefinitionTable::defs);
  const auto diff_of = [&] {
    std::vector<compat::Finding> findings;
    compat::diff(old_contract, new_contract, nullptr, findings);
    return findings;
  };
  const std::vector<compat::Finding> findings = diff_of();
  const std::string text = compat::findings_json(findings);
  require(text == compat::findings_json(diff_of()), "compat differs between two runs");
  require(fuzz::is_valid_utf8(text) && parse_json(text).document.root.is_array(),
          "compat output is not a UTF-8 JSON array");
  require(!pair->same || findings.empty(), "a bundle compared with itself has findings");
  // The report is written once the models are freed: the findings hold on to no part of them.
  Contract old_copy = build_contract(pair->old_bundle.root, DefinitionTable::defs);
  Contract new_copy = build_contract(pair->new_bundle.root, DefinitionTable::defs);
  std::vector<compat::Finding> kept;
  compat::diff(old_copy, new_copy, nullptr, kept);
  const ContractTexts old_texts = release_model(std::move(old_copy));
  const ContractTexts new_texts = release_model(std::move(new_copy));
  require(compat::findings_json(kept) == text, "the report changes once the models are freed");
  return 0;
}
