// Type rendering, literals, identifiers, enum aliases and signatures.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "compat/type_signature.hpp"
#include "json/json_reader.hpp"
#include "typescript/ident.hpp"
#include "typescript/literal.hpp"
#include "typescript/lower_first.hpp"
#include "typescript/render_enum.hpp"
#include "typescript/render_type.hpp"

namespace brenvale {
namespace {

enum class Mode { firestore, plain, canonical };

Document parse(const std::string& text) {
  ParseResult result = parse_json(text);
  EXPECT_TRUE(result.ok) << text << ": " << result.error.description;
  return std::move(result.document);
}

constexpr const char* defs_text = R"({
  "Model": {"type": "object", "properties": {}},
  "Role": {"enum": ["admin", "member"]},
  "Level": {"enum": [1, 2]},
  "Empty": {"enum": []},
  "Odd": {"enum": "x"},
  "Shared": {"type": "object"}
})";

struct RenderCase {
  const char* node;
  Mode mode;
  bool write;
  const char* expected;
};

std::string render(const RenderCase& c, Ctx& ctx, const Document& defs) {
  const Document node = parse(c.node);
  ctx.defs = &defs.root;
  ctx.plain = c.mode == Mode::plain;
  ctx.canonical = c.mode == Mode::canonical;
  return render_type(ctx, node.root, c.write);
}

class RenderTypeTest : public testing::TestWithParam<RenderCase> {};

TEST_P(RenderTypeTest, RendersExpectedText) {
  const Document defs = parse(defs_text);
  Ctx ctx;
  EXPECT_EQ(render(GetParam(), ctx, defs), GetParam().expected) << GetParam().node;
}

constexpr Mode fs = Mode::firestore;
constexpr Mode pl = Mode::plain;
constexpr Mode ca = Mode::canonical;

INSTANTIATE_TEST_SUITE_P(
    Table, RenderTypeTest,
    testing::Values(
        // Fallbacks.
        RenderCase{"{}", fs, false, "unknown"}, RenderCase{"true", fs, false, "unknown"},
        RenderCase{R"({"title": "x"})", fs, false, "unknown"},
        RenderCase{R"({"type": "whatever"})", fs, false, "unknown"},
        // JSON types and type arrays.
        RenderCase{R"({"type": "integer"})", fs, false, "number"},
        RenderCase{R"({"type": ["string", "null"]})", fs, false, "string | null"},
        RenderCase{R"({"type": ["string", "null"]})", ca, false, "null | string"},
        RenderCase{R"({"type": ["string", 5, "null"]})", fs, false, "string | null"},
        RenderCase{R"({"type": ["integer", "number"]})", fs, false, "number"},
        // anyOf / oneOf and dedupe.
        RenderCase{R"({"anyOf": [{"$ref": "#/$defs/Model"}, {"type": "null"}]})", fs, false,
                   "Model | null"},
        RenderCase{R"({"anyOf": [{"$ref": "#/$defs/Model"}, {"type": "null"}]})", fs, true,
                   "ModelWrite | null"},
        RenderCase{R"({"anyOf": [{"type": "integer"}, {"type": "number"}]})", fs, false, "number"},
        RenderCase{R"({"anyOf": []})", fs, false, "never"},
        RenderCase{R"({"anyOf": []})", ca, false, ""},
        RenderCase{R"({"anyOf": 1, "oneOf": [{"type": "string"}]})", fs, false, "string"},
        RenderCase{R"({"anyOf": [{"type": "string"}], "oneOf": [{"type": "null"}]})", fs, false,
                   "string"},
        RenderCase{R"({"anyOf": [{"$ref": "Role"}, {"type": "string"}]})", fs, false,
                   "Role | (string & {}) | string"},
        RenderCase{R"({"anyOf": [{"type": "null"}, {"$ref": "zebra"}, {"$ref": "Ant"}]})", ca,
                   false, "Ant | null | zebra"},
        // Arrays, tuples, records.
        RenderCase{
            R"({"type": "array", "items": {"anyOf": [{"type": "string"}, {"type": "null"}]}})", fs,
            false, "(string | null)[]"},
        RenderCase{R"({"type": "array", "items": {"$ref": "#/$defs/Model"}})", fs, true,
                   "ModelWrite[]"},
        RenderCase{R"({"type": "array", "items": {"$ref": "#/$defs/Role"}})", fs, false,
                   "(Role | (string & {}))[]"},
        RenderCase{R"({"type": "array", "items": {"$ref": "#/$defs/Role"}})", fs, true, "Role[]"},
        RenderCase{R"({"type": "array"})", fs, false, "unknown[]"},
        RenderCase{R"({"type": "array", "prefixItems": [{"type": "string"}, {"type": "number"}],
                      "items": {"type": "boolean"}})",
                   fs, false, "[string, number]"},
        RenderCase{R"({"type": "array", "prefixItems": []})", fs, false, "[]"},
        RenderCase{R"({"type": "array", "items": {"type": "object", "additionalProperties":
                      {"enum": ["a|b"]}}})",
                   pl, false, "(Record<string, \"a|b\">)[]"},
        RenderCase{R"({"type": "object"})", fs, false, "Record<string, unknown>"},
        RenderCase{R"({"type": "object", "additionalProperties": true})", fs, false,
                   "Record<string, unknown>"},
        RenderCase{R"({"type": "object", "additionalProperties": {"type": "string"}})", fs, false,
                   "Record<string, string>"},
        RenderCase{R"({"type": "object", "additionalProperties": 1})", fs, false,
                   "Record<string, never>"},
        RenderCase{R"({"type": "object", "additionalProperties": false})", fs, false,
                   "Record<string, never>"},
        // Inline enums.
        RenderCase{R"({"enum": ["a", "b"]})", fs, false, R"("a" | "b" | (string & {}))"},
        RenderCase{R"({"enum": ["a", "b"]})", fs, true, R"("a" | "b")"},
        RenderCase{R"({"enum": ["a", "b"]})", pl, false, R"("a" | "b")"},
        RenderCase{R"({"enum": ["a", "b"]})", ca, false, "string"},
        RenderCase{R"({"enum": [1, 2]})", fs, false, "1 | 2"},
        RenderCase{R"({"enum": [1, 2]})", ca, false, "1 | 2"},
        RenderCase{R"({"enum": []})", fs, false, "never"},
        RenderCase{R"({"enum": []})", pl, false, "never"},
        RenderCase{R"({"enum": []})", ca, false, "string"},
        RenderCase{R"({"enum": "a", "type": "string"})", fs, false, "string"},
        // References.
        RenderCase{R"({"$ref": "#/$defs/Role"})", fs, false, "Role | (string & {})"},
        RenderCase{R"({"$ref": "#/$defs/Role"})", fs, true, "Role"},
        RenderCase{R"({"$ref": "#/$defs/Role"})", pl, false, "Role"},
        RenderCase{R"({"$ref": "#/$defs/Role"})", ca, false, "string"},
        RenderCase{R"({"$ref": "#/$defs/Level"})", ca, false, "1 | 2"},
        RenderCase{R"({"$ref": "#/$defs/Level"})", fs, false, "Level"},
        RenderCase{R"({"$ref": "#/$defs/Empty"})", fs, false, "Empty"},
        RenderCase{R"({"$ref": "#/$defs/Empty"})", ca, false, ""},
        RenderCase{R"({"$ref": "#/$defs/Odd"})", ca, false, "Odd"},
        RenderCase{R"({"$ref": "Missing"})", fs, true, "MissingWrite"},
        RenderCase{R"({"$ref": "Missing"})", ca, false, "Missing"},
        RenderCase{R"({"$ref": "#/definitions/Model"})", pl, true, "ModelWrite"},
        RenderCase{R"({"$ref": "a/"})", fs, false, ""},
        RenderCase{R"({"$ref": 5, "type": "string"})", fs, false, "string"},
        // const and literals.
        RenderCase{R"({"const": -0})", fs, false, "-0.0"},
        RenderCase{R"({"const": 5})", fs, false, "5"},
        RenderCase{R"({"const": 5.0})", fs, false, "5.0"},
        RenderCase{R"({"const": null, "type": "string"})", fs, false, "null"},
        RenderCase{R"({"const": [1]})", fs, false, "unknown"},
        RenderCase{R"({"const": "say \"hi\"\\\n"})", fs, false, R"("say \"hi\"\\\n")"},
        // Firestore types take precedence over everything else on the node.
        RenderCase{R"({"x-firestore-type": "timestamp", "anyOf": [{"type": "null"}]})", fs, false,
                   "Timestamp"},
        RenderCase{R"({"x-firestore-type": "timestamp", "x-firestore-server-timestamp": true})", fs,
                   false, "Timestamp | null"},
        RenderCase{R"({"x-firestore-type": "timestamp", "x-firestore-server-timestamp": true})", fs,
                   true, "FieldValue"},
        RenderCase{R"({"x-firestore-type": "timestamp", "x-firestore-server-timestamp": "yes"})",
                   fs, true, "Timestamp | Date"},
        RenderCase{R"({"x-firestore-type": "reference"})", fs, true,
                   "DocumentReference<DocumentData>"},
        RenderCase{R"({"x-firestore-type": "reference", "x-firestore-ref-target": "User"})", fs,
                   true, "DocumentReference<User>"},
        RenderCase{R"({"x-firestore-type": "geopoint"})", ca, false, "GeoPoint"},
        RenderCase{R"({"x-firestore-type": "vector"})", fs, true, "VectorValue"},
        RenderCase{R"({"x-firestore-type": "bytes"})", pl, false, "Bytes"},
        RenderCase{R"({"x-firestore-type": "Timestamp", "type": "string"})", fs, false,
                   "unknown"}));

struct ImportCase {
  const char* node;
  bool write;
  std::vector<std::string_view> imports;
};

class ImportsTest : public testing::TestWithParam<ImportCase> {};

TEST_P(ImportsTest, RecordsFirestoreNames) {
  Ctx ctx;
  const Document node = parse(GetParam().node);
  render_type(ctx, node.root, GetParam().write);
  EXPECT_EQ(std::vector<std::string_view>(ctx.imports.begin(), ctx.imports.end()),
            GetParam().imports);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ImportsTest,
    testing::Values(
        ImportCase{R"({"x-firestore-type": "timestamp"})", true, {"Timestamp"}},
        ImportCase{R"({"x-firestore-type": "timestamp", "x-firestore-server-timestamp": true})",
                   true,
                   {"FieldValue"}},
        ImportCase{R"({"x-firestore-type": "timestamp", "x-firestore-server-timestamp": true})",
                   false,
                   {"Timestamp"}},
        ImportCase{
            R"({"x-firestore-type": "reference"})", false, {"DocumentData", "DocumentReference"}},
        ImportCase{R"({"x-firestore-type": "reference", "x-firestore-ref-target": "X"})",
                   false,
                   {"DocumentReference"}},
        ImportCase{R"({"anyOf": [{"x-firestore-type": "vector"}, {"x-firestore-type": "bytes"},
                      {"x-firestore-type": "geopoint"}]})",
                   false,
                   {"Bytes", "GeoPoint", "VectorValue"}},
        ImportCase{R"({"x-firestore-type": "other"})", false, {}}));

TEST(SharedNames, RecordedOncePerNameWithWriteTypeOnWriteSide) {
  const Document defs = parse(defs_text);
  const Document node = parse(R"({"type": "array", "prefixItems": [
      {"$ref": "#/$defs/Shared"}, {"$ref": "#/$defs/Shared"}, {"$ref": "#/$defs/Role"},
      {"$ref": "Model"}, {"x-firestore-type": "reference", "x-firestore-ref-target": "Away"}]})");
  Ctx read;
  read.defs = &defs.root;
  read.shared = {"Shared", "Role", "Away"};
  EXPECT_EQ(render_type(read, node.root, false),
            "[Shared, Shared, Role | (string & {}), Model, DocumentReference<Away>]");
  EXPECT_EQ(read.used_shared, (OrderedSet<std::string>{"Away", "Role", "Shared"}));

  Ctx write = read;
  write.used_shared.clear();
  EXPECT_EQ(render_type(write, node.root, true),
            "[SharedWrite, SharedWrite, Role, ModelWrite, DocumentReference<Away>]");
  EXPECT_EQ(write.used_shared, (OrderedSet<std::string>{"Away", "Role", "Shared", "SharedWrite"}));
}

TEST(JoinUnion, KeepsFirstOccurrenceAndSortsOnlyWhenAsked) {
  EXPECT_EQ(join_union(false, {}), "");
  EXPECT_EQ(join_union(false, {"b"}), "b");
  EXPECT_EQ(join_union(false, {"b", "a", "b", "a | b"}), "b | a | a | b");
  EXPECT_EQ(join_union(true, {"b", "a", "b", "ab", "B"}), "B | a | ab | b");
}

TEST(JoinUnion, LongUnionsDedupeThroughTheHashSet) {
  std::vector<std::string> members;
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 50; ++i) members.push_back("m" + std::to_string(i));
  }
  const std::string joined = join_union(false, members);
  EXPECT_EQ(joined.substr(0, 12), "m0 | m1 | m2");
  EXPECT_EQ(std::count(joined.begin(), joined.end(), '|'), 49);
}

TEST(Literal, FloatsUseShortestDigitsInFixedOrExponentForm) {
  const std::vector<std::pair<std::string, std::string>> table = {
      {"0.0", "0.0"},
      {"-0.0", "-0.0"},
      {"2.0", "2.0"},
      {"100.0", "100.0"},
      {"1e15", "1000000000000000.0"},
      {"1e16", "1e+16"},
      {"1.5e-7", "1.5e-7"},
      {"2.5e20", "2.5e+20"},
      {"0.5", "0.5"},
      {"0.00001", "0.00001"},
      {"12.5", "12.5"},
      {"-12.5", "-12.5"},
      {"0.1", "0.1"},
      {"123456.789", "123456.789"},
      {"1e-6", "1e-6"},
      {"1.7976931348623157e308", "1.7976931348623157e+308"},
      {"5e-324", "5e-324"},
      {"18446744073709551616", "1.8446744073709552e+19"},
      {"1e-400", "0.0"},
      {"-1e-400", "-0.0"}};
  for (const auto& [text, expected] : table) {
    EXPECT_EQ(literal(parse(text).root), expected) << text;
  }
}

TEST(Literal, IntegersKeepTheirKind) {
  EXPECT_EQ(literal(parse("-9223372036854775808").root), "-9223372036854775808");
  EXPECT_EQ(literal(parse("18446744073709551615").root), "18446744073709551615");
  EXPECT_EQ(literal(parse("-0").root), "-0.0");
  EXPECT_EQ(literal(parse("true").root), "true");
  EXPECT_EQ(literal(parse("{}").root), "unknown");
}

TEST(Ident, BareOnlyForAsciiIdentifiers) {
  const std::vector<std::pair<std::string, std::string>> table = {
      {"name", "name"},
      {"_x$1", "_x$1"},
      {"$", "$"},
      {"class", "class"},
      {"1st", "\"1st\""},
      {"a-b", "\"a-b\""},
      {"a b", "\"a b\""},
      {"a.b", "\"a.b\""},
      {"", "\"\""},
      {"caf\xc3\xa9", "\"caf\xc3\xa9\""},
      {"say\"hi", "\"say\\\"hi\""},
      {"back\\slash", "\"back\\\\slash\""},
      {"line\nbreak\r", "\"line\\nbreak\\r\""}};
  for (const auto& [name, expected] : table) EXPECT_EQ(ident(name), expected) << name;
}

TEST(RenderEnum, BodiesFromMembersOrNever) {
  const std::vector<std::pair<std::string, std::string>> table = {
      {R"({"enum": ["admin", "member"]})", "export type E = \"admin\" | \"member\";\n\n"},
      {R"({"enum": [1, 2]})", "export type E = 1 | 2;\n\n"},
      {R"({"enum": ["a", "a"]})", "export type E = \"a\" | \"a\";\n\n"},
      {R"({"enum": [null, true, 1.5]})", "export type E = null | true | 1.5;\n\n"},
      {R"({"enum": []})", "export type E = never;\n\n"},
      {R"({"enum": "a"})", "export type E = never;\n\n"},
      {R"({"enum": null})", "export type E = never;\n\n"}};
  for (const auto& [definition, expected] : table) {
    EXPECT_EQ(render_enum("E", parse(definition).root), expected) << definition;
  }
}

TEST(TypeSignature, CanonicalAndIndependentOfEnumMembers) {
  const Document defs = parse(R"({"Role": {"enum": ["a", "b"]}, "apple": {"type": "object"},
                                  "zoo": {"type": "object"}})");
  const Document renamed = parse(R"({"Role": {"enum": ["x"]}})");
  const Document upper = parse(R"({"anyOf": [{"type": "null"}, {"$ref": "#/$defs/Model"}]})");
  const Document lower = parse(R"({"anyOf": [{"type": "null"}, {"$ref": "#/$defs/zoo"}]})");
  const Document early = parse(R"({"anyOf": [{"type": "null"}, {"$ref": "#/$defs/apple"}]})");
  const Document role = parse(R"({"$ref": "#/$defs/Role"})");
  EXPECT_EQ(read_type_signature(defs.root, upper.root), "Model | null");
  EXPECT_EQ(read_type_signature(defs.root, lower.root), "null | zoo");
  EXPECT_EQ(read_type_signature(defs.root, early.root), "apple | null");
  EXPECT_EQ(read_type_signature(defs.root, role.root), "string");
  EXPECT_EQ(read_type_signature(renamed.root, role.root), "string");
  EXPECT_EQ(read_type_signature(empty_object(), role.root), "Role");
}

TEST(LowerFirst, FullMappingOfTheFirstCharacterOnly) {
  const std::vector<std::pair<std::string, std::string>> table = {
      {"User", "user"},
      {"USER", "uSER"},
      {"_Log", "_Log"},
      {"9Lives", "9Lives"},
      {"", ""},
      {"\xc4\xb0stanbul", "i\xcc\x87stanbul"},  // U+0130 lowers to two code points
      {"\xc3\x89t\xc3\xa9", "\xc3\xa9t\xc3\xa9"},
      {"\xce\xa3igma", "\xcf\x83igma"},
      {"\xf0\x90\x90\x80x", "\xf0\x90\x90\xa8x"},  // U+10400 DESERET CAPITAL LONG I
      {"\xe6\x97\xa5", "\xe6\x97\xa5"},
      {"\xff\x41", "\xff\x41"}};
  for (const auto& [text, expected] : table) EXPECT_EQ(lower_first(text), expected) << text;
}

}  // namespace
}  // namespace brenvale
