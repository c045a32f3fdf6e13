// Contract diff and findings report: rule table, finding order, escaping, exact texts.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "compat/diff.hpp"
#include "compat/report.hpp"
#include "json/json_reader.hpp"

namespace brenvale::compat {
namespace {

Value parsed_root(const ParseResult& result) {
  EXPECT_TRUE(result.ok) << result.error.description;
  return result.document.root;
}

// The text compat() returns for two bundle texts.
std::string compat_text(std::string_view old_json, std::string_view new_json) {
  const std::string old_text(old_json);
  const std::string new_text(new_json);
  const ParseResult old_bundle = parse_json(old_text);
  const ParseResult new_bundle = parse_json(new_text);
  return findings_json(diff(parsed_root(old_bundle), parsed_root(new_bundle)));
}

std::string bundle(std::string_view defs) { return "{\"$defs\":" + std::string(defs) + "}"; }

struct DiffCase {
  const char* name;
  std::string old_defs;
  std::string new_defs;
  std::string expected;
};

void PrintTo(const DiffCase& c, std::ostream* os) { *os << c.name; }

class CompatDiff : public testing::TestWithParam<DiffCase> {};

TEST_P(CompatDiff, ReportsExactFindings) {
  const DiffCase& c = GetParam();
  EXPECT_EQ(compat_text(bundle(c.old_defs), bundle(c.new_defs)), c.expected);
}

// Definition-level rows.
const DiffCase definition_cases[] = {
    {"ModelAdded", R"j({})j", R"j({"Order":{"type":"object"}})j",
     R"j([{"def":"Order","field":null,"message":"model added (additive)","verdict":"SAFE"}])j"},
    {"EnumAdded", R"j({})j", R"j({"Status":{"enum":["a"]}})j",
     R"j([{"def":"Status","field":null,"message":"model added (additive)","verdict":"SAFE"}])j"},
    {"ModelRemoved", R"j({"Order":{"properties":{"id":{"type":"string"}}}})j", R"j({})j",
     R"j([{"def":"Order","field":null,"message":"model removed (contract gone)","verdict":"BREAKING"}])j"},
    {"EnumToObjectIsOneFinding", R"j({"S":{"enum":["a","b"]}})j",
     R"j({"S":{"type":"object","x-firestore-collection":"s","x-firestore-doc-id-field":"id","properties":{"id":{"type":"string"}}}})j",
     R"j([{"def":"S","field":null,"message":"definition kind changed (object <-> enum/scalar)","verdict":"BREAKING"}])j"},
    {"ObjectToScalar", R"j({"S":{"type":"object"}})j", R"j({"S":{"type":"string"}})j",
     R"j([{"def":"S","field":null,"message":"definition kind changed (object <-> enum/scalar)","verdict":"BREAKING"}])j"},
    {"TypeArrayWithObjectIsScalar", R"j({"S":{"type":"object"}})j",
     R"j({"S":{"type":["object"]}})j",
     R"j([{"def":"S","field":null,"message":"definition kind changed (object <-> enum/scalar)","verdict":"BREAKING"}])j"},
    {"NonObjectDefinitionIsScalar", R"j({"S":{"properties":{}}})j", R"j({"S":[1]})j",
     R"j([{"def":"S","field":null,"message":"definition kind changed (object <-> enum/scalar)","verdict":"BREAKING"}])j"},
    {"EnumsAreNotCompared", R"j({"S":{"enum":["a","b"]},"T":{"type":"string"}})j",
     R"j({"S":{"enum":[1]},"T":{"type":"integer"}})j", "[]"},
    {"EnumWithPropertiesIsModel", R"j({"S":{"enum":["a"],"properties":{"x":{}}}})j",
     R"j({"S":{"enum":["a"],"properties":{}}})j",
     R"j([{"def":"S","field":"x","message":"field removed","verdict":"BREAKING"}])j"},
    {"NullPropertiesIsEmptyModel",
     R"j({"M":{"properties":{"b":{"type":"string"},"a":{"type":"number"}}}})j",
     R"j({"M":{"properties":null}})j",
     R"j([{"def":"M","field":"a","message":"field removed","verdict":"BREAKING"},)j"
     R"j({"def":"M","field":"b","message":"field removed","verdict":"BREAKING"}])j"},
    {"TypeObjectWithoutPropertiesIsEmptyModel", R"j({"M":{"type":"object"}})j",
     R"j({"M":{"type":"object","properties":{"a":{}}}})j",
     R"j([{"def":"M","field":"a","message":"field added (read-optional)","verdict":"SAFE"}])j"},
};
INSTANTIATE_TEST_SUITE_P(Definitions, CompatDiff, testing::ValuesIn(definition_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// Document id and collection keys.
const DiffCase key_cases[] = {
    {"DocIdAdded", R"j({"M":{"type":"object"}})j",
     R"j({"M":{"type":"object","x-firestore-doc-id-field":"id"}})j",
     R"j([{"def":"M","field":null,"message":"x-firestore-doc-id-field changed: (none) -> id","verdict":"BREAKING"}])j"},
    {"DocIdRemoved", R"j({"M":{"type":"object","x-firestore-doc-id-field":"id"}})j",
     R"j({"M":{"type":"object"}})j",
     R"j([{"def":"M","field":null,"message":"x-firestore-doc-id-field changed: id -> (none)","verdict":"BREAKING"}])j"},
    {"DocIdRenamed", R"j({"M":{"type":"object","x-firestore-doc-id-field":"id"}})j",
     R"j({"M":{"type":"object","x-firestore-doc-id-field":"uid"}})j",
     R"j([{"def":"M","field":null,"message":"x-firestore-doc-id-field changed: id -> uid","verdict":"BREAKING"}])j"},
    {"DocIdNumberToMissingIsSilent", R"j({"M":{"type":"object","x-firestore-doc-id-field":7}})j",
     R"j({"M":{"type":"object"}})j", "[]"},
    {"DocIdLiteralNoneAgainstMissing",
     R"j({"M":{"type":"object","x-firestore-doc-id-field":"(none)"}})j",
     R"j({"M":{"type":"object"}})j",
     R"j([{"def":"M","field":null,"message":"x-firestore-doc-id-field changed: (none) -> (none)","verdict":"BREAKING"}])j"},
    {"CollectionChanged", R"j({"M":{"type":"object","x-firestore-collection":"orders"}})j",
     R"j({"M":{"type":"object","x-firestore-collection":"shops/{shopId}/orders"}})j",
     R"j([{"def":"M","field":null,"message":"x-firestore-collection changed: orders -> shops/{shopId}/orders","verdict":"BREAKING"}])j"},
    {"CollectionNullToStringDiffers", R"j({"M":{"type":"object","x-firestore-collection":null}})j",
     R"j({"M":{"type":"object","x-firestore-collection":"m"}})j",
     R"j([{"def":"M","field":null,"message":"x-firestore-collection changed: (none) -> m","verdict":"BREAKING"}])j"},
};
INSTANTIATE_TEST_SUITE_P(Keys, CompatDiff, testing::ValuesIn(key_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// Property-level rows.
const DiffCase property_cases[] = {
    {"AddedOptional", R"j({"M":{"properties":{}}})j",
     R"j({"M":{"properties":{"a":{"type":"string"}}}})j",
     R"j([{"def":"M","field":"a","message":"field added (read-optional)","verdict":"SAFE"}])j"},
    {"AddedRequiredWithoutGuaranteeIsSafe", R"j({"M":{"properties":{}}})j",
     R"j({"M":{"required":["a"],"properties":{"a":{"type":"string"}}}})j",
     R"j([{"def":"M","field":"a","message":"field added (read-optional)","verdict":"SAFE"}])j"},
    {"AddedGuaranteedButNotRequiredIsSafe", R"j({"M":{"properties":{}}})j",
     R"j({"M":{"properties":{"a":{"x-firestore-presence-guaranteed":true}}}})j",
     R"j([{"def":"M","field":"a","message":"field added (read-optional)","verdict":"SAFE"}])j"},
    {"AddedGuaranteeNotBooleanIsSafe", R"j({"M":{"properties":{}}})j",
     R"j({"M":{"required":["a"],"properties":{"a":{"x-firestore-presence-guaranteed":"true"}}}})j",
     R"j([{"def":"M","field":"a","message":"field added (read-optional)","verdict":"SAFE"}])j"},
    {"AddedReadRequired", R"j({"M":{"properties":{}}})j",
     R"j({"M":{"required":["a"],"properties":{"a":{"x-firestore-presence-guaranteed":true}}}})j",
     R"j([{"def":"M","field":"a","message":"field added as read-required","verdict":"BREAKING"}])j"},
    {"Removed", R"j({"M":{"properties":{"a":{}}}})j", R"j({"M":{"properties":{}}})j",
     R"j([{"def":"M","field":"a","message":"field removed","verdict":"BREAKING"}])j"},
    {"TypeChanged", R"j({"M":{"properties":{"a":{"type":"string"}}}})j",
     R"j({"M":{"properties":{"a":{"type":"integer"}}}})j",
     R"j([{"def":"M","field":"a","message":"type changed: string -> number","verdict":"BREAKING"}])j"},
    {"IntegerToNumberIsSameSignature", R"j({"M":{"properties":{"a":{"type":"integer"}}}})j",
     R"j({"M":{"properties":{"a":{"type":"number"}}}})j", "[]"},
    {"UnionOrderIsIgnored",
     R"j({"M":{"properties":{"a":{"anyOf":[{"type":"string"},{"type":"null"}]}}}})j",
     R"j({"M":{"properties":{"a":{"anyOf":[{"type":"null"},{"type":"string"}]}}}})j", "[]"},
    {"BecameNullable",
     R"j({"M":{"properties":{"a":{"$ref":"#/$defs/Addr"}}},"Addr":{"type":"object"}})j",
     R"j({"M":{"properties":{"a":{"anyOf":[{"$ref":"#/$defs/Addr"},{"type":"null"}]}}},"Addr":{"type":"object"}})j",
     R"j([{"def":"M","field":"a","message":"type changed: Addr -> Addr | null","verdict":"BREAKING"}])j"},
    {"RequiredToOptional",
     R"j({"M":{"required":["a"],"properties":{"a":{"x-firestore-presence-guaranteed":true}}}})j",
     R"j({"M":{"required":["a"],"properties":{"a":{}}}})j",
     R"j([{"def":"M","field":"a","message":"read required -> optional","verdict":"BREAKING"}])j"},
    {"OptionalToRequired",
     R"j({"M":{"properties":{"a":{"x-firestore-presence-guaranteed":true}}}})j",
     R"j({"M":{"required":["a"],"properties":{"a":{"x-firestore-presence-guaranteed":true}}}})j",
     R"j([{"def":"M","field":"a","message":"read optional -> required","verdict":"BREAKING"}])j"},
    {"RequiredWithoutGuaranteeIsSilent", R"j({"M":{"properties":{"a":{}}}})j",
     R"j({"M":{"required":["a"],"properties":{"a":{}}}})j", "[]"},
    {"NonStringRequiredEntriesIgnored",
     R"j({"M":{"required":["a"],"properties":{"a":{"x-firestore-presence-guaranteed":true}}}})j",
     R"j({"M":{"required":[1,null,"a"],"properties":{"a":{"x-firestore-presence-guaranteed":true}}}})j",
     "[]"},
    {"RequiredNotArrayIsEmpty",
     R"j({"M":{"required":["a"],"properties":{"a":{"x-firestore-presence-guaranteed":true}}}})j",
     R"j({"M":{"required":"a","properties":{"a":{"x-firestore-presence-guaranteed":true}}}})j",
     R"j([{"def":"M","field":"a","message":"read required -> optional","verdict":"BREAKING"}])j"},
    {"TypeChangeBeforeRequiredness", R"j({"M":{"properties":{"a":{"type":"string"}}}})j",
     R"j({"M":{"required":["a"],"properties":{"a":{"type":"boolean","x-firestore-presence-guaranteed":true}}}})j",
     R"j([{"def":"M","field":"a","message":"type changed: string -> boolean","verdict":"BREAKING"},)j"
     R"j({"def":"M","field":"a","message":"read optional -> required","verdict":"BREAKING"}])j"},
    {"StringEnumMembersDoNotMatter",
     R"j({"M":{"properties":{"s":{"$ref":"#/$defs/S"}}},"S":{"enum":["a","b"]}})j",
     R"j({"M":{"properties":{"s":{"$ref":"#/$defs/S"}}},"S":{"enum":["c"]}})j", "[]"},
    {"EachSideResolvesAgainstItsOwnDefs",
     R"j({"M":{"properties":{"s":{"$ref":"#/$defs/S"}}},"S":{"enum":["a"]}})j",
     R"j({"M":{"properties":{"s":{"$ref":"#/$defs/S"}}},"S":{"enum":[1,2]}})j",
     R"j([{"def":"M","field":"s","message":"type changed: string -> 1 | 2","verdict":"BREAKING"}])j"},
    {"NestedRefResolvesAgainstItsOwnDefs",
     R"j({"M":{"properties":{"s":{"type":"array","items":{"$ref":"#/$defs/S"}}}},"S":{"enum":["a"]}})j",
     R"j({"M":{"properties":{"s":{"type":"array","items":{"$ref":"#/$defs/S"}}}},"S":{"enum":[1,2]}})j",
     R"j([{"def":"M","field":"s","message":"type changed: string[] -> (1 | 2)[]","verdict":"BREAKING"}])j"},
    {"NegativeZeroDiffersFromZero", R"j({"M":{"properties":{"c":{"const":0.0}}}})j",
     R"j({"M":{"properties":{"c":{"const":-0.0}}}})j",
     R"j([{"def":"M","field":"c","message":"type changed: 0.0 -> -0.0","verdict":"BREAKING"}])j"},
    {"IntegerDiffersFromFloat", R"j({"M":{"properties":{"c":{"const":1}}}})j",
     R"j({"M":{"properties":{"c":{"const":1.0}}}})j",
     R"j([{"def":"M","field":"c","message":"type changed: 1 -> 1.0","verdict":"BREAKING"}])j"},
    {"IgnoredKeysDoNotMatter",
     R"j({"M":{"properties":{"a":{"type":"string","title":"A","description":"old"}}}})j",
     R"j({"M":{"properties":{"a":{"type":"string","title":"B","maxLength":3}}}})j", "[]"},
    {"RefToRenamedModel",
     R"j({"M":{"properties":{"a":{"$ref":"#/$defs/Addr"}}},"Addr":{"type":"object"}})j",
     R"j({"M":{"properties":{"a":{"$ref":"#/$defs/Place"}}},"Place":{"type":"object"}})j",
     R"j([{"def":"Addr","field":null,"message":"model removed (contract gone)","verdict":"BREAKING"},)j"
     R"j({"def":"M","field":"a","message":"type changed: Addr -> Place","verdict":"BREAKING"},)j"
     R"j({"def":"Place","field":null,"message":"model added (additive)","verdict":"SAFE"}])j"},
    {"TimestampBecomesServerFilled",
     R"j({"M":{"properties":{"t":{"x-firestore-type":"timestamp"}}}})j",
     R"j({"M":{"properties":{"t":{"x-firestore-type":"timestamp","x-firestore-server-timestamp":true}}}})j",
     R"j([{"def":"M","field":"t","message":"type changed: Timestamp -> Timestamp | null","verdict":"BREAKING"}])j"},
    {"DocIdFieldFollowsTheSameRequirednessRule",
     R"j({"M":{"x-firestore-doc-id-field":"id","required":["id"],"properties":{"id":{"x-firestore-presence-guaranteed":true}}}})j",
     R"j({"M":{"x-firestore-doc-id-field":"id","properties":{"id":{"x-firestore-presence-guaranteed":true}}}})j",
     R"j([{"def":"M","field":"id","message":"read required -> optional","verdict":"BREAKING"}])j"},
};
INSTANTIATE_TEST_SUITE_P(Properties, CompatDiff, testing::ValuesIn(property_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// Ordering across and within definitions.
const DiffCase order_cases[] = {
    {"DefinitionsInByteOrder", R"j({})j",
     R"j({"ab":{"enum":[]},"a":{"enum":[]},"B":{"enum":[]},"Ab":{"enum":[]}})j",
     R"j([{"def":"Ab","field":null,"message":"model added (additive)","verdict":"SAFE"},)j"
     R"j({"def":"B","field":null,"message":"model added (additive)","verdict":"SAFE"},)j"
     R"j({"def":"a","field":null,"message":"model added (additive)","verdict":"SAFE"},)j"
     R"j({"def":"ab","field":null,"message":"model added (additive)","verdict":"SAFE"}])j"},
    {"AddedAndRemovedInterleave", R"j({"A":{"enum":[]},"C":{"enum":[]},"E":{"enum":[]}})j",
     R"j({"B":{"enum":[]},"C":{"enum":[]},"D":{"enum":[]}})j",
     R"j([{"def":"A","field":null,"message":"model removed (contract gone)","verdict":"BREAKING"},)j"
     R"j({"def":"B","field":null,"message":"model added (additive)","verdict":"SAFE"},)j"
     R"j({"def":"D","field":null,"message":"model added (additive)","verdict":"SAFE"},)j"
     R"j({"def":"E","field":null,"message":"model removed (contract gone)","verdict":"BREAKING"}])j"},
    {"NonAsciiSortsAfterAscii", R"j({"\u00e9":{"enum":[]}})j", R"j({"z":{"enum":[]}})j",
     "[{\"def\":\"z\",\"field\":null,\"message\":\"model added (additive)\",\"verdict\":\"SAFE\"},"
     "{\"def\":\"\xc3\xa9\",\"field\":null,\"message\":\"model removed (contract "
     "gone)\",\"verdict\":\"BREAKING\"}]"},
    {"DocIdThenCollectionThenProperties",
     R"j({"M":{"x-firestore-doc-id-field":"id","x-firestore-collection":"m","properties":{"z":{},"a":{}}}})j",
     R"j({"M":{"x-firestore-doc-id-field":"key","x-firestore-collection":"n","properties":{"b":{},"z":{}}}})j",
     R"j([{"def":"M","field":null,"message":"x-firestore-doc-id-field changed: id -> key","verdict":"BREAKING"},)j"
     R"j({"def":"M","field":null,"message":"x-firestore-collection changed: m -> n","verdict":"BREAKING"},)j"
     R"j({"def":"M","field":"a","message":"field removed","verdict":"BREAKING"},)j"
     R"j({"def":"M","field":"b","message":"field added (read-optional)","verdict":"SAFE"}])j"},
    {"PropertiesInByteOrder", R"j({"M":{"properties":{}}})j",
     R"j({"M":{"properties":{"ab":{},"a":{},"B":{},"Ab":{}}}})j",
     R"j([{"def":"M","field":"Ab","message":"field added (read-optional)","verdict":"SAFE"},)j"
     R"j({"def":"M","field":"B","message":"field added (read-optional)","verdict":"SAFE"},)j"
     R"j({"def":"M","field":"a","message":"field added (read-optional)","verdict":"SAFE"},)j"
     R"j({"def":"M","field":"ab","message":"field added (read-optional)","verdict":"SAFE"}])j"},
};
INSTANTIATE_TEST_SUITE_P(Order, CompatDiff, testing::ValuesIn(order_cases),
                         [](const auto& info) { return std::string(info.param.name); });

struct BundleCase {
  const char* name;
  const char* old_json;
  const char* new_json;
  const char* expected;
};

void PrintTo(const BundleCase& c, std::ostream* os) { *os << c.name; }

class CompatBundles : public testing::TestWithParam<BundleCase> {};

TEST_P(CompatBundles, ReportsExactFindings) {
  EXPECT_EQ(compat_text(GetParam().old_json, GetParam().new_json), GetParam().expected);
}

// Whole bundles, including roots without a usable definition table.
const BundleCase bundle_cases[] = {
    {"WorkedExample",
     R"j({"$defs":{"Order":{"type":"object","properties":{"id":{"type":"string"},"total":{"type":"number"}}}}})j",
     R"j({"$defs":{"Invoice":{"type":"object"},"Order":{"type":"object","properties":{"id":{"type":"string"}}}}})j",
     R"j([{"def":"Invoice","field":null,"message":"model added (additive)","verdict":"SAFE"},)j"
     R"j({"def":"Order","field":"total","message":"field removed","verdict":"BREAKING"}])j"},
    {"IdenticalBundles",
     R"j({"$defs":{"M":{"x-firestore-collection":"m","required":["a"],"properties":{"a":{"x-firestore-presence-guaranteed":true,"$ref":"#/$defs/S"}}},"S":{"enum":["x"]}}})j",
     R"j({"$defs":{"M":{"x-firestore-collection":"m","required":["a"],"properties":{"a":{"x-firestore-presence-guaranteed":true,"$ref":"#/$defs/S"}}},"S":{"enum":["x"]}}})j",
     "[]"},
    {"NoDefsOnEitherSide", "{}", R"j({"title":"x"})j", "[]"},
    {"NonObjectRoots", "[1,2]", "null", "[]"},
    {"DefsNotAnObject", R"j({"$defs":[{"M":{}}]})j", R"j({"$defs":"M"})j", "[]"},
    {"FromNothingEverythingIsAdded", "5",
     R"j({"$defs":{"b":{"enum":["x"]},"A":{"type":"object"}}})j",
     R"j([{"def":"A","field":null,"message":"model added (additive)","verdict":"SAFE"},)j"
     R"j({"def":"b","field":null,"message":"model added (additive)","verdict":"SAFE"}])j"},
    {"ToNothingEverythingIsRemoved", R"j({"$defs":{"A":{"type":"object"}}})j",
     R"j({"$defs":null})j",
     R"j([{"def":"A","field":null,"message":"model removed (contract gone)","verdict":"BREAKING"}])j"},
    {"DuplicateKeyLastWins", R"j({"$defs":{"M":{"type":"object"}}})j",
     R"j({"$defs":{"M":{"type":"object"},"M":{"type":"string"}}})j",
     R"j([{"def":"M","field":null,"message":"definition kind changed (object <-> enum/scalar)","verdict":"BREAKING"}])j"},
    {"NamesAreEscaped", R"j({"$defs":{}})j",
     R"j({"$defs":{"q\"b\\n\nx":{},"caf\u00e9/s\u001b":{"enum":[]}}})j",
     R"j([{"def":"caf)j"
     "\xc3\xa9"
     R"j(/s\u001b","field":null,"message":"model added (additive)","verdict":"SAFE"},)j"
     R"j({"def":"q\"b\\n\nx","field":null,"message":"model added (additive)","verdict":"SAFE"}])j"},
    {"SignaturesKeepTheirLiteralEscapes",
     R"j({"$defs":{"M":{"properties":{"a":{"const":"x\"\\\ty"}}}}})j",
     R"j({"$defs":{"M":{"properties":{"a":{"const":"/"}}}}})j",
     R"j([{"def":"M","field":"a","message":"type changed: \"x\\\"\\\\\ty\" -> \"/\"","verdict":"BREAKING"}])j"},
};
INSTANTIATE_TEST_SUITE_P(Bundles, CompatBundles, testing::ValuesIn(bundle_cases),
                         [](const auto& info) { return std::string(info.param.name); });

struct EscapeCase {
  const char* name;
  std::string raw;
  std::string written;
};

void PrintTo(const EscapeCase& c, std::ostream* os) { *os << c.name; }

class CompatEscaping : public testing::TestWithParam<EscapeCase> {};

// Every text member of a finding goes through the same escaper.
TEST_P(CompatEscaping, WritesEachTextMember) {
  const EscapeCase& c = GetParam();
  const std::string raw = "a" + c.raw + "z";
  const std::string written = "\"a" + c.written + "z\"";
  EXPECT_EQ(findings_json({field_finding(raw, raw, Verdict::breaking, raw)}),
            "[{\"def\":" + written + ",\"field\":" + written + ",\"message\":" + written +
                ",\"verdict\":\"BREAKING\"}]");
}

const EscapeCase escape_cases[] = {
    {"QuotationMark", "\"", "\\\""},
    {"Backslash", "\\", "\\\\"},
    {"Backspace", "\b", "\\b"},
    {"Tab", "\t", "\\t"},
    {"LineFeed", "\n", "\\n"},
    {"FormFeed", "\f", "\\f"},
    {"CarriageReturn", "\r", "\\r"},
    {"Nul", std::string(1, '\0'), "\\u0000"},
    {"StartOfHeading", "\x01", "\\u0001"},
    {"VerticalTab", "\v", "\\u000b"},
    {"Escape", "\x1b", "\\u001b"},
    {"UnitSeparator", "\x1f", "\\u001f"},
    {"Space", " ", " "},
    {"Solidus", "/", "/"},
    {"Delete", "\x7f", "\x7f"},
    {"TwoByteUtf8", "\xc3\xa9", "\xc3\xa9"},
    {"FourByteUtf8", "\xf0\x9f\x94\xa5", "\xf0\x9f\x94\xa5"},
    {"Consecutive", "\"\n\x02", "\\\"\\n\\u0002"},
};
INSTANTIATE_TEST_SUITE_P(Table, CompatEscaping, testing::ValuesIn(escape_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CompatReport, EmptyListIsEmptyArray) { EXPECT_EQ(findings_json({}), "[]"); }

TEST(CompatReport, DefinitionFindingHasNullFieldAndSafeVerdict) {
  const std::vector<Finding> findings = {
      Finding{"A", std::nullopt, Verdict::safe, "m"},
      field_finding("B", "", Verdict::breaking, ""),
  };
  EXPECT_EQ(findings_json(findings),
            R"j([{"def":"A","field":null,"message":"m","verdict":"SAFE"},)j"
            R"j({"def":"B","field":"","message":"","verdict":"BREAKING"}])j");
}

TEST(CompatDiffApi, FindingsOwnTheirTextsAfterTheBundlesAreGone) {
  std::vector<Finding> findings;
  {
    const std::string old_text = bundle(R"j({"Order":{"properties":{"total":{}}}})j");
    const std::string new_text = bundle(R"j({"Order":{"properties":{}},"Status":{"enum":[]}})j");
    const ParseResult old_bundle = parse_json(old_text);
    const ParseResult new_bundle = parse_json(new_text);
    findings = diff(parsed_root(old_bundle), parsed_root(new_bundle));
  }
  ASSERT_EQ(findings.size(), 2u);
  EXPECT_EQ(findings[0].def, "Order");
  EXPECT_EQ(findings[0].field, std::optional<std::string>("total"));
  EXPECT_EQ(findings[0].verdict, Verdict::breaking);
  EXPECT_EQ(findings[0].message, "field removed");
  EXPECT_EQ(findings[1].def, "Status");
  EXPECT_EQ(findings[1].field, std::nullopt);
  EXPECT_EQ(findings[1].verdict, Verdict::safe);
  EXPECT_EQ(findings[1].message, "model added (additive)");
}

TEST(CompatDiffApi, NulInsideNamesIsData) {
  const std::string old_text = bundle(R"j({"a\u0000b":{"enum":[]}})j");
  const std::string new_text = bundle(R"j({"a":{"enum":[]}})j");
  const ParseResult old_bundle = parse_json(old_text);
  const ParseResult new_bundle = parse_json(new_text);
  EXPECT_EQ(
      findings_json(diff(parsed_root(old_bundle), parsed_root(new_bundle))),
      R"j([{"def":"a","field":null,"message":"model added (additive)","verdict":"SAFE"},)j"
      R"j({"def":"a\u0000b","field":null,"message":"model removed (contract gone)","verdict":"BREAKING"}])j");
}

}  // namespace
}  // namespace brenvale::compat
