// Contract diff, rule set and findings report: exact findings per rule and per edge case.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "compat/diff.hpp"
#include "compat/report.hpp"
#include "compat/rules.hpp"
#include "json/json_reader.hpp"
#include "table.hpp"

namespace brenvale::compat {
namespace {

std::string bundle(std::string_view defs) { return "{\"$defs\":" + std::string(defs) + "}"; }

// Each finding as `def[.field] B|S message`, joined by "; ".
std::string summary(const std::vector<Finding>& findings) {
  std::string out;
  for (const Finding& f : findings) {
    if (!out.empty()) out += "; ";
    out +=
        f.def + (f.field ? "." + *f.field : "") + (f.verdict == Verdict::breaking ? " B " : " S ");
    out += f.message;
  }
  return out;
}

std::vector<Finding> diff_of(const std::string& old_text, const std::string& new_text) {
  const ParseResult old_bundle = parse_json(old_text);
  const ParseResult new_bundle = parse_json(new_text);
  EXPECT_TRUE(old_bundle.ok && new_bundle.ok) << old_text << " / " << new_text;
  return diff(old_bundle.document.root, new_bundle.document.root);
}

// Guards how the diff classifies definitions, reads its keys, compares signatures and orders
// findings, on the cases the rule table does not make (tests/data/compat_edges.tsv).
TEST(CompatDiff, EdgeCases) {
  for (const auto& row : read_table("tests/data/compat_edges.tsv")) {
    EXPECT_EQ(shown(summary(diff_of(bundle(row[0]), bundle(row[1])))), row[2]) << row[0] << "\n"
                                                                               << row[1];
  }
}

// Guards the report's exact text: null field, verdict names, and every escape of the one
// JSON-string escaper on each text member.
TEST(CompatReport, ExactText) {
  const std::string raw("\"\\\b\t\n\f\r\0\x01\v\x1b\x1f /\x7f\xc3\xa9\xf0\x9f\x94\xa5", 21);
  const std::string written = R"("\"\\\b\t\n\f\r\u0000\u0001\u000b\u001b\u001f /)"
                              "\x7f\xc3\xa9\xf0\x9f\x94\xa5\"";
  EXPECT_EQ(findings_json({Finding{raw, std::nullopt, Verdict::safe, raw},
                           field_finding(raw, raw, Verdict::breaking, raw)}),
            "[{\"def\":" + written + ",\"field\":null,\"message\":" + written +
                ",\"verdict\":\"SAFE\"},{\"def\":" + written + ",\"field\":" + written +
                ",\"message\":" + written + ",\"verdict\":\"BREAKING\"}]");
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
  const ParseResult old_bundle = parse_json(bundle(c.old_defs));
  const ParseResult new_bundle = parse_json(bundle(c.new_defs));
  ASSERT_TRUE(old_bundle.ok && new_bundle.ok);
  const std::size_t base = diff(old_bundle.document.root, new_bundle.document.root).size();
  const std::string_view expected(c.direction_and_verdicts);
  const Mode modes[] = {Mode::full, Mode::backward, Mode::forward};
  for (std::size_t i = 0; i < 3; ++i) {
    std::vector<RuleFinding> all;
    ASSERT_TRUE(
        rule_findings(old_bundle.document.root, new_bundle.document.root, modes[i], nullptr, all));
    EXPECT_LE(all.size(), base + 1);
    std::erase_if(all, [&](const RuleFinding& finding) { return finding.rule != c.rule; });
    ASSERT_EQ(all.size(), 1u) << "mode " << i;
    EXPECT_EQ(all[0].finding.message, c.message);
    const char verdict = all[0].finding.verdict == Verdict::breaking ? 'B' : 'S';
    EXPECT_EQ(std::string(direction_name(all[0].direction)) + " ",
              expected.substr(0, expected.size() - 3));
    EXPECT_EQ(verdict, expected[expected.size() - 3 + i]) << "mode " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Table, CompatRules, testing::ValuesIn(rule_cases()));

}  // namespace
}  // namespace brenvale::compat
