// Compat rule set: one table row per rule, with its direction and its verdict in every mode.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "compat/rules.hpp"
#include "json/json_reader.hpp"

namespace brenvale::compat {
namespace {

struct RuleCase {
  const char* rule;
  const char* old_defs;  // the `$defs` of each bundle
  const char* new_defs;
  const char* direction;
  const char* verdicts;  // under full, backward and forward: B for BREAKING, S for SAFE
  const char* message;
};

void PrintTo(const RuleCase& c, std::ostream* os) { *os << c.rule << ": " << c.message; }

// The findings of the row's rule under one mode, and how many the rule set adds to the diff's.
std::vector<RuleFinding> of_rule(const RuleCase& c, Mode mode, std::size_t& added) {
  const std::string old_text = std::string("{\"$defs\":") + c.old_defs + "}";
  const std::string new_text = std::string("{\"$defs\":") + c.new_defs + "}";
  const ParseResult old_bundle = parse_json(old_text);
  const ParseResult new_bundle = parse_json(new_text);
  EXPECT_TRUE(old_bundle.ok && new_bundle.ok);
  std::vector<RuleFinding> all;
  EXPECT_TRUE(
      rule_findings(old_bundle.document.root, new_bundle.document.root, mode, nullptr, all));
  added = all.size() - diff(old_bundle.document.root, new_bundle.document.root).size();
  std::erase_if(all, [&](const RuleFinding& finding) { return finding.rule != c.rule; });
  return all;
}

class CompatRules : public testing::TestWithParam<RuleCase> {};

TEST_P(CompatRules, OnlyItsFindingWithItsDirectionAndVerdictPerMode) {
  const RuleCase& c = GetParam();
  const Mode modes[] = {Mode::full, Mode::backward, Mode::forward};
  for (int i = 0; i < 3; ++i) {
    std::size_t added = 0;
    const std::vector<RuleFinding> found = of_rule(c, modes[i], added);
    ASSERT_EQ(found.size(), 1u) << "mode " << i;
    // Nothing else fires: a diff finding's rule replaces nothing, a new rule adds only itself.
    EXPECT_LE(added, 1u);
    EXPECT_EQ(found[0].finding.message, c.message);
    EXPECT_EQ(direction_name(found[0].direction), c.direction);
    EXPECT_EQ(found[0].finding.verdict, c.verdicts[i] == 'B' ? Verdict::breaking : Verdict::safe)
        << "mode " << i;
  }
}

#define M(props) R"({"M":{"type":"object","properties":)" props "}}"
#define P(schema) M(R"({"p":)" schema "}")

const RuleCase rule_cases[] = {
    // The diff's findings, each under its rule.
    {"model-added", "{}", R"({"A":{"type":"object"}})", "forward", "SSS", "model added (additive)"},
    {"model-removed", R"({"A":{"type":"object"}})", "{}", "backward", "BBS",
     "model removed (contract gone)"},
    {"definition-kind-changed", R"({"A":{"type":"object"}})", R"({"A":{"type":"string"}})",
     "backward", "BBS", "definition kind changed (object <-> enum/scalar)"},
    {"doc-id-field-changed", R"({"A":{"type":"object"}})",
     R"({"A":{"type":"object","x-firestore-doc-id-field":"id"}})", "backward", "BBS",
     "x-firestore-doc-id-field changed: (none) -> id"},
    {"collection-changed", R"({"A":{"type":"object","x-firestore-collection":"a"}})",
     R"({"A":{"type":"object","x-firestore-collection":"b"}})", "backward", "BBS",
     "x-firestore-collection changed: a -> b"},
    {"field-added-read-required", M("{}"),
     R"({"M":{"properties":{"p":{"x-firestore-presence-guaranteed":true}},"required":["p"]}})",
     "backward", "BBS", "field added as read-required"},
    {"field-added", M("{}"), P("{}"), "forward", "SSS", "field added (read-optional)"},
    {"field-removed", P("{}"), M("{}"), "forward", "BSB", "field removed"},
    {"type-changed", P(R"({"type":"string"})"), P(R"({"type":"boolean"})"), "backward", "BBS",
     "type changed: string -> boolean"},
    {"read-required-to-optional",
     R"({"M":{"properties":{"p":{"x-firestore-presence-guaranteed":true}},"required":["p"]}})",
     R"({"M":{"properties":{"p":{}},"required":["p"]}})", "forward", "BSB",
     "read required -> optional"},
    {"read-optional-to-required", R"({"M":{"properties":{"p":{}},"required":["p"]}})",
     R"({"M":{"properties":{"p":{"x-firestore-presence-guaranteed":true}},"required":["p"]}})",
     "backward", "BBS", "read optional -> required"},
    // Stored documents under the new contract.
    {"enum-member-removed",
     R"({"E":{"enum":[1,2]},"M":{"properties":{"a":{"$ref":"#/$defs/E"},"b":{"$ref":"#/$defs/E"}}}})",
     R"({"E":{"enum":[1]},"M":{"properties":{"a":{"$ref":"#/$defs/E"},"b":{"$ref":"#/$defs/E"}}}})",
     "backward", "BBS", "enum member removed: 2"},
    {"enum-member-removed", P(R"({"enum":["a","b"]})"), P(R"({"enum":["a"]})"), "backward", "BBS",
     "enum member removed: \"b\""},
    {"enum-member-removed", P(R"({"anyOf":[{"const":"a"},{"const":"b"},{"type":"null"}]})"),
     P(R"({"anyOf":[{"const":"a"},{"type":"null"}]})"), "backward", "BBS",
     "enum member removed: \"b\""},
    {"enum-member-removed", P(R"({"type":"array","items":{"enum":["a","b"]}})"),
     P(R"({"type":"array","items":{"enum":["a"]}})"), "backward", "BBS",
     "enum member removed: \"b\""},
    {"type-narrowed", P(R"({"type":"number"})"), P(R"({"type":"integer"})"), "backward", "BBS",
     "type narrowed: number -> integer"},
    {"type-narrowed", P(R"({"type":"string"})"), P(R"({"enum":["a"]})"), "backward", "BBS",
     "type narrowed: string -> \"a\""},
    {"alias-type-changed", R"({"A":{"type":["string","null"]}})", R"({"A":{"type":"string"}})",
     "backward", "BBS", "type changed: null | string -> string"},
    {"max-length-tightened", P(R"({"maxLength":10})"), P(R"({"maxLength":5})"), "backward", "BBS",
     "maxLength tightened: 10 -> 5"},
    {"min-length-tightened", P("{}"), P(R"({"minLength":1})"), "backward", "BBS",
     "minLength tightened: (none) -> 1"},
    {"maximum-tightened", P(R"({"maximum":9})"), P(R"({"maximum":8.5})"), "backward", "BBS",
     "maximum tightened: 9 -> 8.5"},
    {"minimum-tightened", R"({"Age":{"type":"integer","minimum":0}})",
     R"({"Age":{"type":"integer","minimum":18}})", "backward", "BBS", "minimum tightened: 0 -> 18"},
    {"exclusive-maximum-tightened", P("{}"), P(R"({"exclusiveMaximum":1})"), "backward", "BBS",
     "exclusiveMaximum tightened: (none) -> 1"},
    {"exclusive-minimum-tightened", P(R"({"exclusiveMinimum":1})"), P(R"({"exclusiveMinimum":2})"),
     "backward", "BBS", "exclusiveMinimum tightened: 1 -> 2"},
    {"max-items-tightened", P(R"({"anyOf":[{"maxItems":3},{"type":"null"}]})"),
     P(R"({"anyOf":[{"maxItems":2},{"type":"null"}]})"), "backward", "BBS",
     "maxItems tightened: 3 -> 2"},
    {"min-items-tightened", P(R"({"minItems":0})"), P(R"({"minItems":1})"), "backward", "BBS",
     "minItems tightened: 0 -> 1"},
    {"multiple-of-tightened", P(R"({"multipleOf":2})"), P(R"({"multipleOf":4})"), "backward", "BBS",
     "multipleOf tightened: 2 -> 4"},
    {"pattern-tightened", P("{}"), P(R"({"pattern":"^a"})"), "backward", "BBS",
     "pattern tightened: (none) -> \"^a\""},
    {"format-tightened", P("{}"), P(R"({"format":"email"})"), "backward", "BBS",
     "format tightened: (none) -> \"email\""},
    {"unique-items-tightened", P("{}"), P(R"({"uniqueItems":true})"), "backward", "BBS",
     "uniqueItems tightened: (none) -> true"},
    {"additional-properties-tightened", M("{}"),
     R"({"M":{"type":"object","properties":{},"additionalProperties":false}})", "backward", "BBS",
     "additionalProperties tightened: (none) -> false"},
    {"default-removed", P(R"({"default":0})"), P("{}"), "backward", "BBS", "default removed: 0"},
    {"discriminator-value-removed",
     R"({"A":{"oneOf":[],"discriminator":{"propertyName":"k","mapping":{"cat":"#/c","dog":"#/d"}}}})",
     R"({"A":{"oneOf":[],"discriminator":{"propertyName":"k","mapping":{"cat":"#/c"}}}})",
     "backward", "BBS", "discriminator value removed: \"dog\""},
    // New documents under old readers.
    {"enum-member-added", R"({"E":{"enum":["a"]}})", R"({"E":{"enum":["a","b"]}})", "forward",
     "BSB", "enum member added: \"b\""},
    {"type-widened", R"({"N":{"type":"integer"}})", R"({"N":{"type":"number"}})", "forward", "BSB",
     "type widened: integer -> number"},
    {"max-length-loosened", P(R"({"maxLength":5})"), P("{}"), "forward", "BSB",
     "maxLength loosened: 5 -> (none)"},
    {"min-length-loosened", P(R"({"minLength":2})"), P(R"({"minLength":1})"), "forward", "BSB",
     "minLength loosened: 2 -> 1"},
    {"maximum-loosened", P(R"({"maximum":1})"), P(R"({"maximum":2})"), "forward", "BSB",
     "maximum loosened: 1 -> 2"},
    {"minimum-loosened", P(R"({"minimum":1})"), P(R"({"minimum":-1})"), "forward", "BSB",
     "minimum loosened: 1 -> -1"},
    {"exclusive-maximum-loosened", P(R"({"exclusiveMaximum":1})"), P("{}"), "forward", "BSB",
     "exclusiveMaximum loosened: 1 -> (none)"},
    {"exclusive-minimum-loosened", P(R"({"exclusiveMinimum":1})"), P(R"({"exclusiveMinimum":0})"),
     "forward", "BSB", "exclusiveMinimum loosened: 1 -> 0"},
    {"max-items-loosened", P(R"({"maxItems":1})"), P(R"({"maxItems":2})"), "forward", "BSB",
     "maxItems loosened: 1 -> 2"},
    {"min-items-loosened", P(R"({"minItems":1})"), P("{}"), "forward", "BSB",
     "minItems loosened: 1 -> (none)"},
    {"multiple-of-loosened", P(R"({"multipleOf":0.3})"), P(R"({"multipleOf":0.1})"), "forward",
     "BSB", "multipleOf loosened: 0.3 -> 0.1"},
    {"pattern-loosened", P(R"({"pattern":"^a"})"), P("{}"), "forward", "BSB",
     "pattern loosened: \"^a\" -> (none)"},
    {"format-loosened", P(R"({"format":"email"})"), P("{}"), "forward", "BSB",
     "format loosened: \"email\" -> (none)"},
    {"unique-items-loosened", P(R"({"uniqueItems":true})"), P(R"({"uniqueItems":false})"),
     "forward", "BSB", "uniqueItems loosened: true -> false"},
    {"additional-properties-loosened", P(R"({"additionalProperties":false})"),
     P(R"({"additionalProperties":{"type":"string"}})"), "forward", "BSB",
     "additionalProperties loosened: false -> unknown"},
    {"discriminator-value-added", R"({"A":{"discriminator":{"mapping":{}}}})",
     R"({"A":{"discriminator":{"mapping":{"cat":"#/c"}}}})", "forward", "BSB",
     "discriminator value added: \"cat\""},
    {"field-added-closed-model",
     R"({"M":{"type":"object","properties":{},"additionalProperties":false}})",
     R"({"M":{"type":"object","properties":{"p":{}},"additionalProperties":false}})", "forward",
     "BSB", "field added to a model that forbids extra keys"},
    // Client source compiled against the old module.
    {"read-only-added", P("{}"), P(R"({"readOnly":true})"), "client", "BSS", "readOnly added"},
    {"read-only-removed", P(R"({"readOnly":true})"), P("{}"), "client", "BSS", "readOnly removed"},
    {"converter-renamed", R"({"User":{"type":"object","x-firestore-collection":"users"}})",
     R"({"Member":{"type":"object","x-firestore-collection":"users"}})", "client", "BSS",
     "converter renamed: userConverter -> memberConverter"},
    {"path-function-renamed", R"({"U":{"type":"object","x-firestore-collection":"users"}})",
     R"({"U":{"type":"object","x-firestore-collection":"user-profiles"}})", "client", "BSS",
     "path function renamed: usersPath -> user_profilesPath"},
    {"path-parameter-added", R"({"U":{"type":"object","x-firestore-collection":"users"}})",
     R"({"U":{"type":"object","x-firestore-collection":"orgs/{org}/users"}})", "client", "BSS",
     "path parameter added: org"},
};

INSTANTIATE_TEST_SUITE_P(Table, CompatRules, testing::ValuesIn(rule_cases));

}  // namespace
}  // namespace brenvale::compat
