// Runs an instrumented build of the core over the bundles named on the command line, as the
// extension modules would: every output form of each bundle, and compat of each bundle against
// itself and against the next. What it writes is thrown away; the branch counts it leaves behind
// are what the optimised build is compiled with.
#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "compat/diff.hpp"
#include "compat/finding.hpp"
#include "compat/report.hpp"
#include "compat/rules.hpp"
#include "contract/read_contract.hpp"
#include "request/emit_request.hpp"

namespace {

using brenvale::DefinitionTable;
using brenvale::EmitRequest;
using brenvale::OutputKind;
using brenvale::Sdk;

// The requests the command line makes most: each output, each SDK, the optional forms.
std::vector<EmitRequest> requests() {
  std::vector<EmitRequest> all(6);
  all[1].sdk = Sdk::admin;
  all[1].jsdoc = true;
  all[2].update_paths = true;
  all[3].kind = OutputKind::plain;
  all[4].kind = OutputKind::plain;
  all[4].jsdoc = true;
  all[5].kind = OutputKind::zod;
  return all;
}

// Bytes written, so no call is optimised away.
std::size_t emit_all(const std::string& text) {
  std::size_t written = 0;
  for (const DefinitionTable table : {DefinitionTable::defs, DefinitionTable::defs_or_draft07}) {
    const brenvale::ReadResult read = brenvale::read_contract(text, table);
    if (!read.ok) continue;
    for (EmitRequest& request : requests()) {
      if (!brenvale::contract_error(read.contract, request).empty()) continue;
      written += brenvale::emit_module(read.contract, std::move(request)).size();
    }
  }
  return written;
}

std::size_t compare(const std::string& old_text, const std::string& new_text) {
  brenvale::ReadPair read =
      brenvale::read_contracts(old_text, new_text, DefinitionTable::defs_or_draft07);
  if (!read.first.ok || !read.second.ok) return 0;
  std::size_t written = 0;
  std::vector<brenvale::compat::Finding> findings;
  brenvale::compat::diff(read.first.contract, read.second.contract, nullptr, findings);
  written += brenvale::compat::findings_json(findings).size();
  findings.clear();
  brenvale::compat::rule_findings(read.first.contract, read.second.contract, nullptr, findings);
  for (const brenvale::compat::Mode mode : brenvale::compat::mode_values) {
    std::string report;
    brenvale::compat::rule_findings_json(findings, mode, nullptr, report);
    written += report.size();
  }
  return written;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> texts;
  for (const char* path : std::span(argv + 1, static_cast<std::size_t>(argc - 1))) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
      std::fprintf(stderr, "cannot read %s\n", path);
      return 1;
    }
    texts.emplace_back(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  // A few rounds: later calls take the paths that reuse what earlier ones left.
  constexpr int rounds = 3;
  std::size_t written = 0;
  for (int round = 0; round < rounds; ++round) {
    for (std::size_t i = 0; i < texts.size(); ++i) {
      written += emit_all(texts[i]);
      written += compare(texts[i], texts[i]);
      if (i + 1 < texts.size()) written += compare(texts[i], texts[i + 1]);
    }
  }
  std::printf("trained on %zu bundles, %zu bytes written\n", texts.size(), written);
  return written == 0 ? 1 : 0;
}
