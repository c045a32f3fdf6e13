// Contract diff, rule set and findings report: exact findings per rule and per edge case.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "compat/diff.hpp"
#include "compat/report.hpp"
#include "compat/rules.hpp"
#include "compat/same_node.hpp"
#include "contract/model.hpp"
#include "json/json_reader.hpp"
#include "table.hpp"
#include "util/byte_order.hpp"

namespace brenvale::compat {
namespace {

std::string bundle(std::string_view defs) { return "{\"$defs\":" + std::string(defs) + "}"; }

// Each finding as `def[.field] B|S message`, joined by "; ".
std::string summary(const std::vector<Finding>& findings) {
  std::string out;
  for (const Finding& f : findings) {
    if (!out.empty()) out += "; ";
    out += f.def;
    if (f.has_field) out += "." + std::string(f.field);
    out += verdict_of(f, Mode::full) == Verdict::breaking ? " B " : " S ";
    append_message(f, out);
  }
  return out;
}

// Both bundles, parsed and read into models.
struct Pair {
  ParseResult old_bundle;
  ParseResult new_bundle;
  Contract old_contract;
  Contract new_contract;

  Pair(const std::string& old_text, const std::string& new_text)
      : old_bundle(parse_json(old_text)),
        new_bundle(parse_json(new_text)),
        old_contract(build_contract(old_bundle.document.root, DefinitionTable::defs)),
        new_contract(build_contract(new_bundle.document.root, DefinitionTable::defs)) {
    EXPECT_TRUE(old_bundle.ok && new_bundle.ok) << old_text << " / " << new_text;
  }
};

// A comparison in two halves (see compare_in_halves) finds what one pass finds, in its order.
constexpr std::size_t in_halves = 0;
constexpr std::size_t in_one_pass = SIZE_MAX;

std::string diff_summary(const std::string& old_text, const std::string& new_text) {
  const Pair pair(old_text, new_text);
  std::vector<Finding> findings;
  std::vector<Finding> halves;
  diff(pair.old_contract, pair.new_contract, nullptr, findings, in_one_pass);
  diff(pair.old_contract, pair.new_contract, nullptr, halves, in_halves);
  EXPECT_EQ(summary(halves), summary(findings));
  return summary(findings);
}

// Guards how the diff classifies definitions, reads its keys, compares signatures and orders
// findings, on the cases the rule table does not make (tests/data/compat_edges.tsv).
TEST(CompatDiff, EdgeCases) {
  for (const auto& row : read_table("tests/data/compat_edges.tsv")) {
    EXPECT_EQ(shown(diff_summary(bundle(row[0]), bundle(row[1]))), row[2]) << row[0] << "\n"
                                                                           << row[1];
  }
}

// Guards what lets the rules skip a definition: two models whose one field differs only in its
// Firestore type are never the same, whether the reader knew the type or not.
TEST(CompatSame, FirestoreTypes) {
  const auto same = [](std::string_view old_type, std::string_view new_type) {
    const auto model = [](std::string_view type) {
      return bundle(R"({"M": {"type": "object", "properties": {"a": {"x-firestore-type": ")" +
                    std::string(type) + R"("}}}})");
    };
    const Pair pair(model(old_type), model(new_type));
    return same_definition(pair.old_contract, pair.old_contract.definitions[0], pair.new_contract,
                           pair.new_contract.definitions[0]);
  };
  EXPECT_TRUE(same("timestamp", "timestamp"));
  EXPECT_TRUE(same("money", "money"));
  EXPECT_FALSE(same("money", "cash"));
  EXPECT_FALSE(same("timestamp", "geopoint"));
  EXPECT_FALSE(same("timestamp", "timestamps"));
}

// Guards the equality every comparison of keys, names and values goes through: texts of each
// length up to 24 differ wherever one byte differs, and only there.
TEST(CompatSame, TextsDifferAtAnyByte) {
  for (std::size_t n = 0; n <= 24; ++n) {
    const std::string text(n, 'k');
    EXPECT_TRUE(same_bytes(text, std::string(n, 'k'))) << n;
    EXPECT_FALSE(same_bytes(text, text + "k")) << n;
    for (std::size_t at = 0; at < n; ++at) {
      std::string other = text;
      other[at] = 'K';
      EXPECT_FALSE(same_bytes(text, other)) << n << " at " << at;
    }
  }
}

// Guards the report's exact text: null field, verdict names, and every escape of the one
// JSON-string escaper on each text member.
TEST(CompatReport, ExactText) {
  const std::string raw("\"\\\b\t\n\f\r\0\x01\v\x1b\x1f /\x7f\xc3\xa9\xf0\x9f\x94\xa5", 21);
  const std::string written = R"("\"\\\b\t\n\f\r\u0000\u0001\u000b\u001b\u001f /)"
                              "\x7f\xc3\xa9\xf0\x9f\x94\xa5\"";
  const std::string message =
      "\"type changed: " + written.substr(1, written.size() - 2) + " -> " + written.substr(1);
  EXPECT_EQ(findings_json({definition_finding(Rule::model_added, raw),
                           field_finding(Rule::type_changed, raw, raw, raw, raw)}),
            "[{\"def\":" + written +
                ",\"field\":null,\"message\":\"model added (additive)\",\"verdict\":\"SAFE\"},"
                "{\"def\":" +
                written + ",\"field\":" + written + ",\"message\":" + message +
                ",\"verdict\":\"BREAKING\"}]");
}

// Each finding of the rule set as `def[.field] rule directions`, joined by "; ".
std::string rule_summary(const std::string& old_text, const std::string& new_text) {
  const Pair pair(old_text, new_text);
  std::vector<Finding> findings;
  std::vector<Finding> halves;
  EXPECT_TRUE(rule_findings(pair.old_contract, pair.new_contract, nullptr, findings, in_one_pass));
  EXPECT_TRUE(rule_findings(pair.old_contract, pair.new_contract, nullptr, halves, in_halves));
  EXPECT_EQ(summary(halves), summary(findings));
  std::string out;
  for (const Finding& f : findings) {
    if (!out.empty()) out += "; ";
    out += f.def;
    if (f.has_field) out += "." + std::string(f.field);
    out += " " + std::string(rule_info(f.rule).id) + " ";
    append_directions(f.directions, out);
  }
  return out;
}

// Guards whole comparisons: the direction each type change is given, and an app's release with
// the changes that break compiled clients (tests/data/compat_cases.tsv).
TEST(CompatRules, WholeComparisons) {
  for (const auto& row : read_table("tests/data/compat_cases.tsv")) {
    EXPECT_EQ(rule_summary(bundle(row[1]), bundle(row[2])), row[3]) << row[0];
  }
}

// One row of tests/data/compat_rules.tsv.
struct RuleCase {
  std::string rule;
  std::string old_defs;  // the `$defs` of each bundle
  std::string new_defs;
  std::string direction_and_verdicts;  // then B or S under full, backward and forward
  std::string message;
};

void PrintTo(const RuleCase& c, std::ostream* os) { *os << c.rule << ": " << c.message; }

std::vector<RuleCase> rule_cases() {
  std::vector<RuleCase> cases;
  for (const auto& row : read_table("tests/data/compat_rules.tsv")) {
    cases.push_back({row[0], row[1], row[2], row[3], row[4]});
  }
  return cases;
}

class CompatRules : public testing::TestWithParam<RuleCase> {};

// Guards each rule: it fires once, alone (a diff finding's rule replaces it, a new rule adds
// only itself), with its message, direction and verdict in every mode.
TEST_P(CompatRules, OnlyItsFindingWithItsDirectionAndVerdictPerMode) {
  const RuleCase& c = GetParam();
  const Pair pair(bundle(c.old_defs), bundle(c.new_defs));
  std::vector<Finding> base;
  ASSERT_TRUE(diff(pair.old_contract, pair.new_contract, nullptr, base));
  std::vector<Finding> all;
  ASSERT_TRUE(rule_findings(pair.old_contract, pair.new_contract, nullptr, all));
  EXPECT_LE(all.size(), base.size() + 1);
  std::erase_if(all, [&](const Finding& f) { return rule_info(f.rule).id != c.rule; });
  ASSERT_EQ(all.size(), 1u);
  std::string message;
  append_message(all[0], message);
  EXPECT_EQ(message, c.message);
  const std::string_view expected(c.direction_and_verdicts);
  std::string directions;
  append_directions(all[0].directions, directions);
  EXPECT_EQ(directions + " ", expected.substr(0, expected.size() - 3));
  const Mode modes[] = {Mode::full, Mode::backward, Mode::forward};
  for (std::size_t i = 0; i < 3; ++i) {
    const char verdict = verdict_of(all[0], modes[i]) == Verdict::breaking ? 'B' : 'S';
    EXPECT_EQ(verdict, expected[expected.size() - 3 + i]) << "mode " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Table, CompatRules, testing::ValuesIn(rule_cases()));

bool always_interrupted() { return true; }

// An interrupt stops a comparison in halves too: it fails, with no finding of the other half.
TEST(CompatRules, InterruptStopsBothHalves) {
  std::string defs = "{";
  for (int i = 0; i < 400; ++i) {
    defs += (i == 0 ? "\"M" : ",\"M") + std::to_string(i) +
            R"(":{"properties":{"a":{"type":"string"},"b":{"type":"integer"}}})";
  }
  const Pair pair(bundle(defs + "}"), bundle(defs + R"(,"N":{}})"));
  std::vector<Finding> findings;
  EXPECT_FALSE(
      rule_findings(pair.old_contract, pair.new_contract, always_interrupted, findings, in_halves));
  EXPECT_LT(findings.size(), 2U);
  findings.clear();
  EXPECT_FALSE(diff(pair.old_contract, pair.new_contract, always_interrupted, findings, in_halves));
  EXPECT_LT(findings.size(), 2U);
}

// Guards docs/compat.md's rule table: a row for every direction each rule's findings take, with
// the verdicts a finding of those directions gets in each mode.
TEST(CompatRules, DocsTableShowsEveryDirectionOfEveryRule) {
  std::istringstream doc(read_file(std::string(BRENVALE_SOURCE_DIR) + "/docs/compat.md"));
  std::map<std::string, std::set<std::string>> documented;
  for (std::string line; std::getline(doc, line);) {
    if (!line.starts_with("| `")) continue;
    std::vector<std::string> cells;
    std::istringstream parts(line.substr(2));
    for (std::string cell; std::getline(parts, cell, '|');) cells.push_back(cell);
    const std::string rule = cells[0].substr(1, cells[0].find('`', 1) - 1);
    const std::string directions = cells[1].substr(1, cells[1].size() - 2);
    Finding finding = definition_finding(Rule::model_added, "");
    for (std::size_t r = 0; r < rule_count; ++r) {
      if (rule_info(Rule(r)).id == rule) finding.rule = Rule(r);
    }
    finding.directions = {};
    for (const Direction d : {Direction::backward, Direction::forward, Direction::client}) {
      if (directions.find(direction_name(d)) != std::string::npos)
        finding.directions = finding.directions | Directions::of(d);
    }
    std::string verdicts;
    for (const Mode mode : {Mode::full, Mode::backward, Mode::forward})
      verdicts += verdict_of(finding, mode) == Verdict::breaking ? " B |" : " S |";
    EXPECT_EQ(cells[2] + "|" + cells[3] + "|" + cells[4] + "|", verdicts) << line;
    documented[rule].insert(directions);
  }
  for (std::size_t r = 0; r < rule_count; ++r) {
    const RuleInfo& info = rule_info(Rule(r));
    std::set<std::string> expected = {"client", "backward+client", "forward+client",
                                      "backward+forward+client"};
    if (Rule(r) != Rule::type_changed && Rule(r) != Rule::alias_type_changed) {
      std::string directions;
      append_directions(info.directions, directions);
      expected = {directions};
      // A narrowing or a widening breaks client code too where the module's type changes, and
      // so does a change of the extras a model without fields types in an index signature.
      if (Rule(r) == Rule::type_narrowed || Rule(r) == Rule::type_widened ||
          Rule(r) == Rule::additional_properties_tightened ||
          Rule(r) == Rule::additional_properties_loosened)
        expected.insert(directions + "+client");
    }
    EXPECT_EQ(documented[std::string(info.id)], expected) << info.id;
  }
}

}  // namespace
}  // namespace brenvale::compat
