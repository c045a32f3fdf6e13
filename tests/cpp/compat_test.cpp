// Contract diff, rule set and findings report: exact findings per rule and per edge case.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "compat/diff.hpp"
#include "compat/report.hpp"
#include "compat/rules.hpp"
#include "contract/model.hpp"
#include "json/json_reader.hpp"

namespace brenvale::compat {
namespace {

// Bundle pieces: a model M with properties, one with one property p, a collection model (CM as
// a member), an object A, a property p read-required.
#define M(props) R"({"M":{"type":"object","properties":)" props "}}"
#define P(schema) M(R"({"p":)" schema "}")
#define CM(name, path) "\"" name R"(":{"type":"object","x-firestore-collection":")" path "\"}"
#define C(name, path) "{" CM(name, path) "}"
#define A R"({"A":{"type":"object"}})"
#define REQ \
  R"({"M":{"properties":{"p":{"x-firestore-presence-guaranteed":true}},"required":["p"]}})"

std::string bundle(std::string_view defs) { return "{\"$defs\":" + std::string(defs) + "}"; }

// Each finding as `def[.field] B|S message`, joined by "; ".
std::string summary(const std::vector<Finding>& findings) {
  std::string out;
  for (const Finding& f : findings) {
    if (!out.empty()) out += "; ";
    out += f.def;
    if (f.has_field) out += "." + std::string(f.field);
    out += verdict_of(f.rule, Mode::full) == Verdict::breaking ? " B " : " S ";
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

std::string diff_summary(const std::string& old_text, const std::string& new_text) {
  const Pair pair(old_text, new_text);
  std::vector<Finding> findings;
  diff(pair.old_contract, pair.new_contract, nullptr, findings);
  return summary(findings);
}

// Guards how the diff classifies definitions, reads its keys, compares signatures and orders
// findings, on the cases the rule table below does not make (a `$defs` that is no object reads
// as empty): old `$defs`, new `$defs`, summary.
TEST(CompatDiff, EdgeCases) {
  const std::string kind = " B definition kind changed (object <-> enum/scalar)";
  // clang-format off
  const std::vector<std::vector<std::string>> table = {
      {R"({"S":{"enum":["a"]},"T":{"type":"object"},"U":{"properties":{}},"V":{"enum":["a"]},
           "W":{"type":"string"},"X":{"enum":["a"],"properties":{"x":{}}}})",
       R"({"S":{"type":"object","properties":{"id":{}}},"T":{"type":["object"]},"U":[1],
           "V":{"enum":[1]},"W":{"type":"integer"},"X":{"enum":["a"],"properties":null}})",
       "S" + kind + "; T" + kind + "; U" + kind + "; X.x B field removed"},
      {R"({"M":{"type":"object","x-firestore-doc-id-field":7,"x-firestore-collection":null}})",
       C("M", "m"), "M B x-firestore-collection changed: (none) -> m"},
      {R"({"M":{"properties":{}}})",
       R"({"M":{"required":["a","b"],"properties":{"a":{},"b":{"x-firestore-presence-guaranteed":"true"}}}})",
       "M.a S field added (read-optional); M.b S field added (read-optional)"},
      {R"({"M":{"properties":{"a":{"type":"integer"},"b":{"anyOf":[{"type":"string"},{"type":"null"}]},"c":{}}}})",
       R"({"M":{"required":["c",1],"properties":{"a":{"type":"number"},"b":{"anyOf":[{"type":"null"},{"type":"string"}]},"c":{}}}})",
       ""},
      {REQ, R"({"M":{"required":"p","properties":{"p":{"x-firestore-presence-guaranteed":true}}}})",
       "M.p B read required -> optional"},
      {P(R"({"type":"string"})"), R"({"M":{"required":["p"],"properties":{"p":{"type":"boolean","x-firestore-presence-guaranteed":true}}}})",
       "M.p B type changed: string -> boolean; M.p B read optional -> required"},
      {R"({"M":{"properties":{"s":{"$ref":"#/$defs/S"},"t":{"items":{"$ref":"#/$defs/T"},"type":"array"}}},"S":{"enum":["a"]},"T":{"enum":["a"]}})",
       R"({"M":{"properties":{"s":{"$ref":"#/$defs/S"},"t":{"items":{"$ref":"#/$defs/T"},"type":"array"}}},"S":{"enum":["b"]},"T":{"enum":[1,2]}})",
       "M.t B type changed: string[] -> (1 | 2)[]"},
      {R"({"M":{"properties":{"c":{"const":0.0},"d":{"const":1},"e":{"const":"x\"\\\ty"}}}})",
       R"({"M":{"properties":{"c":{"const":-0.0},"d":{"const":1.0},"e":{"const":"/"}}}})",
       "M.c B type changed: 0.0 -> -0.0; M.d B type changed: 1 -> 1.0; M.e B type changed: \"x\\\"\\\\\ty\" -> \"/\""},
      {R"({"A":{"enum":[]},"E":{"enum":[]},"\u00e9":{"enum":[]}})", R"({"ab":{"enum":[]},"B":{"enum":[]},"a\u0000b":{"enum":[]}})",
       "A B model removed (contract gone); B S model added (additive); E B model removed (contract gone); " +
           std::string("a\0b", 3) + " S model added (additive); ab S model added (additive); \xc3\xa9 B model removed (contract gone)"},
      {R"({"M":{"x-firestore-doc-id-field":"id","x-firestore-collection":"m","properties":{"z":{},"a":{}}}})",
       R"({"M":{"x-firestore-doc-id-field":"key","x-firestore-collection":"n","properties":{"b":{},"z":{}}}})",
       "M B x-firestore-doc-id-field changed: id -> key; M B x-firestore-collection changed: m -> n; "
       "M.a B field removed; M.b S field added (read-optional)"},
      {"5", R"({"b":{"enum":["x"]},"A":{}})", "A S model added (additive); b S model added (additive)"}};
  // clang-format on
  for (const auto& row : table)
    EXPECT_EQ(diff_summary(bundle(row[0]), bundle(row[1])), row[2]) << row[0] << "\n" << row[1];
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

struct RuleCase {
  const char* rule;
  const char* old_defs;  // the `$defs` of each bundle
  const char* new_defs;
  const char* direction_and_verdicts;  // then B or S under full, backward and forward
  const char* message;
};

void PrintTo(const RuleCase& c, std::ostream* os) { *os << c.rule << ": " << c.message; }

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
  EXPECT_EQ(std::string(direction_name(rule_info(all[0].rule).direction)) + " ",
            expected.substr(0, expected.size() - 3));
  const Mode modes[] = {Mode::full, Mode::backward, Mode::forward};
  for (std::size_t i = 0; i < 3; ++i) {
    const char verdict = verdict_of(all[0].rule, modes[i]) == Verdict::breaking ? 'B' : 'S';
    EXPECT_EQ(verdict, expected[expected.size() - 3 + i]) << "mode " << i;
  }
}

// clang-format off
const RuleCase rule_cases[] = {
    // The diff's findings, each under its rule.
    {"model-added", "{}", A, "forward SSS", "model added (additive)"},
    {"model-removed", A, "{}", "backward BBS", "model removed (contract gone)"},
    {"definition-kind-changed", A, R"({"A":{"type":"string"}})", "backward BBS",
     "definition kind changed (object <-> enum/scalar)"},
    {"doc-id-field-changed", A, R"({"A":{"type":"object","x-firestore-doc-id-field":"id"}})",
     "backward BBS", "x-firestore-doc-id-field changed: (none) -> id"},
    {"collection-changed", C("A", "a"), C("A", "b"), "backward BBS",
     "x-firestore-collection changed: a -> b"},
    {"field-added-read-required", M("{}"), REQ, "backward BBS", "field added as read-required"},
    {"field-added", M("{}"), P("{}"), "forward SSS", "field added (read-optional)"},
    {"field-removed", P("{}"), M("{}"), "forward BSB", "field removed"},
    {"type-changed", P(R"({"type":"string"})"), P(R"({"type":"boolean"})"), "backward BBS",
     "type changed: string -> boolean"},
    {"read-required-to-optional", REQ, R"({"M":{"properties":{"p":{}},"required":["p"]}})",
     "forward BSB", "read required -> optional"},
    {"read-optional-to-required", R"({"M":{"properties":{"p":{}},"required":["p"]}})", REQ,
     "backward BBS", "read optional -> required"},
    // Stored documents under the new contract; an enum referenced twice is one finding.
    {"enum-member-removed",
     R"({"E":{"enum":[1,2]},"M":{"properties":{"a":{"$ref":"#/$defs/E"},"b":{"$ref":"#/$defs/E"}}}})",
     R"({"E":{"enum":[1]},"M":{"properties":{"a":{"$ref":"#/$defs/E"},"b":{"$ref":"#/$defs/E"}}}})",
     "backward BBS", "enum member removed: 2"},
    {"type-narrowed", P(R"({"type":"number"})"), P(R"({"type":"integer"})"), "backward BBS",
     "type narrowed: number -> integer"},
    {"type-narrowed", P(R"({"type":"string"})"), P(R"({"enum":["a"]})"), "backward BBS",
     "type narrowed: string -> \"a\""},
    {"alias-type-changed", R"({"A":{"type":["string","null"]}})", R"({"A":{"type":"string"}})",
     "backward BBS", "type changed: null | string -> string"},
    {"max-length-tightened", P(R"({"maxLength":10})"), P(R"({"maxLength":5})"), "backward BBS",
     "maxLength tightened: 10 -> 5"},
    {"min-length-tightened", P("{}"), P(R"({"minLength":1})"), "backward BBS",
     "minLength tightened: (none) -> 1"},
    {"maximum-tightened", P(R"({"maximum":9})"), P(R"({"maximum":8.5})"), "backward BBS",
     "maximum tightened: 9 -> 8.5"},
    {"minimum-tightened", R"({"Age":{"type":"integer","minimum":0}})",
     R"({"Age":{"type":"integer","minimum":18}})", "backward BBS", "minimum tightened: 0 -> 18"},
    {"exclusive-maximum-tightened", P("{}"), P(R"({"exclusiveMaximum":1})"), "backward BBS",
     "exclusiveMaximum tightened: (none) -> 1"},
    {"exclusive-minimum-tightened", P(R"({"exclusiveMinimum":1})"), P(R"({"exclusiveMinimum":2})"),
     "backward BBS", "exclusiveMinimum tightened: 1 -> 2"},
    {"max-items-tightened", P(R"({"anyOf":[{"maxItems":3},{"type":"null"}]})"),
     P(R"({"anyOf":[{"maxItems":2},{"type":"null"}]})"), "backward BBS",
     "maxItems tightened: 3 -> 2"},
    {"min-items-tightened", P(R"({"minItems":0})"), P(R"({"minItems":1})"), "backward BBS",
     "minItems tightened: 0 -> 1"},
    {"multiple-of-tightened", P(R"({"multipleOf":2})"), P(R"({"multipleOf":4})"), "backward BBS",
     "multipleOf tightened: 2 -> 4"},
    {"pattern-tightened", P("{}"), P(R"({"pattern":"^a"})"), "backward BBS",
     "pattern tightened: (none) -> \"^a\""},
    {"format-tightened", P("{}"), P(R"({"format":"email"})"), "backward BBS",
     "format tightened: (none) -> \"email\""},
    {"unique-items-tightened", P("{}"), P(R"({"uniqueItems":true})"), "backward BBS",
     "uniqueItems tightened: (none) -> true"},
    {"additional-properties-tightened", M("{}"),
     R"({"M":{"type":"object","properties":{},"additionalProperties":false}})", "backward BBS",
     "additionalProperties tightened: (none) -> false"},
    {"default-removed", P(R"({"default":0})"), P("{}"), "backward BBS", "default removed: 0"},
    {"discriminator-value-removed",
     R"({"A":{"oneOf":[],"discriminator":{"propertyName":"k","mapping":{"cat":"#/c","dog":"#/d"}}}})",
     R"({"A":{"oneOf":[],"discriminator":{"propertyName":"k","mapping":{"cat":"#/c"}}}})",
     "backward BBS", "discriminator value removed: \"dog\""},
    // New documents under old readers.
    {"enum-member-added", R"({"E":{"enum":["a"]}})", R"({"E":{"enum":["a","b"]}})", "forward BSB",
     "enum member added: \"b\""},
    {"type-widened", R"({"N":{"type":"integer"}})", R"({"N":{"type":"number"}})", "forward BSB",
     "type widened: integer -> number"},
    {"max-length-loosened", P(R"({"maxLength":5})"), P("{}"), "forward BSB",
     "maxLength loosened: 5 -> (none)"},
    {"min-length-loosened", P(R"({"minLength":2})"), P(R"({"minLength":1})"), "forward BSB",
     "minLength loosened: 2 -> 1"},
    {"maximum-loosened", P(R"({"maximum":1})"), P(R"({"maximum":2})"), "forward BSB",
     "maximum loosened: 1 -> 2"},
    {"minimum-loosened", P(R"({"minimum":1})"), P(R"({"minimum":-1})"), "forward BSB",
     "minimum loosened: 1 -> -1"},
    {"exclusive-maximum-loosened", P(R"({"exclusiveMaximum":1})"), P("{}"), "forward BSB",
     "exclusiveMaximum loosened: 1 -> (none)"},
    {"exclusive-minimum-loosened", P(R"({"exclusiveMinimum":1})"), P(R"({"exclusiveMinimum":0})"),
     "forward BSB", "exclusiveMinimum loosened: 1 -> 0"},
    {"max-items-loosened", P(R"({"maxItems":1})"), P(R"({"maxItems":2})"), "forward BSB",
     "maxItems loosened: 1 -> 2"},
    {"min-items-loosened", P(R"({"minItems":1})"), P("{}"), "forward BSB",
     "minItems loosened: 1 -> (none)"},
    {"multiple-of-loosened", P(R"({"multipleOf":0.3})"), P(R"({"multipleOf":0.1})"), "forward BSB",
     "multipleOf loosened: 0.3 -> 0.1"},
    {"pattern-loosened", P(R"({"pattern":"^a"})"), P("{}"), "forward BSB",
     "pattern loosened: \"^a\" -> (none)"},
    {"format-loosened", P(R"({"format":"email"})"), P("{}"), "forward BSB",
     "format loosened: \"email\" -> (none)"},
    {"unique-items-loosened", P(R"({"uniqueItems":true})"), P(R"({"uniqueItems":false})"),
     "forward BSB", "uniqueItems loosened: true -> false"},
    {"additional-properties-loosened", P(R"({"additionalProperties":false})"),
     P(R"({"additionalProperties":{"type":"string"}})"), "forward BSB",
     "additionalProperties loosened: false -> unknown"},
    {"discriminator-value-added", R"({"A":{"discriminator":{"mapping":{}}}})",
     R"({"A":{"discriminator":{"mapping":{"cat":"#/c"}}}})", "forward BSB",
     "discriminator value added: \"cat\""},
    {"field-added-closed-model",
     R"({"M":{"type":"object","properties":{},"additionalProperties":false}})",
     R"({"M":{"type":"object","properties":{"p":{}},"additionalProperties":false}})", "forward BSB",
     "field added to a model that forbids extra keys"},
    // Client source compiled against the old module.
    {"read-only-added", P("{}"), P(R"({"readOnly":true})"), "client BSS", "readOnly added"},
    {"read-only-removed", P(R"({"readOnly":true})"), P("{}"), "client BSS", "readOnly removed"},
    {"converter-renamed", C("User", "users"), C("1B", "users"), "client BSS",
     "converter renamed: userConverter -> _1BConverter"},
    // A new collection of the same name qualifies the path function of an unchanged model.
    {"path-function-renamed", C("A", "a/{x}/items"), "{" CM("A", "a/{x}/items") "," CM("B", "b/items") "}",
     "client BSS", "path function renamed: itemsPath -> a_itemsPath"},
    {"path-parameter-added", C("U", "users"), C("U", "orgs/{org}/users"), "client BSS",
     "path parameter added: org"}};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Table, CompatRules, testing::ValuesIn(rule_cases));

}  // namespace
}  // namespace brenvale::compat
