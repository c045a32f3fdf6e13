// TypeScript text: type expressions, literals, names, and whole Firestore and plain modules.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "json/json_reader.hpp"
#include "typescript/emit_firestore.hpp"
#include "typescript/emit_plain.hpp"
#include "typescript/emit_zod.hpp"
#include "typescript/literal.hpp"
#include "typescript/lower_first.hpp"
#include "typescript/render_type.hpp"

namespace brenvale {
namespace {

Document parse(const std::string& text) {
  ParseResult result = parse_json(text);
  EXPECT_TRUE(result.ok) << text << ": " << result.error.description();
  return std::move(result.document);
}

std::string defs(const std::string& body) { return R"({"$defs": {)" + body + "}}"; }

std::string emit(const std::string& defs_body, OrderedSet<std::string> shared = {},
                 std::string_view shared_path = "") {
  return emit_firestore_module(parse(defs(defs_body)).root, std::move(shared), shared_path);
}

// Every piece is in `out`, in order.
void expect_in_order(const std::string& out, const std::vector<std::string_view>& pieces) {
  std::size_t at = 0;
  for (const std::string_view piece : pieces) {
    const std::size_t found = out.find(piece, at);
    ASSERT_NE(found, std::string::npos) << piece << "\n" << out;
    at = found + piece.size();
  }
}

std::string read_file(const std::string& path) {
  std::stringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

// Guards every byte of a whole module of each emitter.
TEST(Golden, MatchesByteForByte) {
  for (const std::string name : {"user", "plain"}) {
    const std::string dir = std::string(BRENVALE_SOURCE_DIR) + "/tests/golden/" + name;
    const Document bundle = parse(read_file(dir + ".json"));
    const std::string actual =
        name == "plain" ? emit_plain(bundle.root) : emit_firestore_module(bundle.root, {}, "");
    EXPECT_EQ(actual, read_file(dir + ".ts")) << "if the difference is intended, regenerate with "
                                                 "python -m brenvale emit|plain "
                                              << dir << ".json -o " << dir << ".ts";
  }
}

// Guards the type rules per mode (r/w Firestore read/write, p plain, c canonical for signatures)
// and union members kept once each, in order or sorted.
TEST(RenderType, Table) {
  const Document definitions = parse(R"({"Model": {"type": "object"}, "Role": {"enum": ["a"]},
      "Empty": {"enum": []}})");
  // clang-format off
  const std::vector<std::tuple<const char*, char, const char*>> table = {
      {R"({"type":"x"})", 'r', "unknown"}, {R"({"type":["string","null"]})", 'c', "null | string"},
      {R"({"anyOf":[]})", 'c', ""}, {R"({"anyOf":1,"oneOf":[{"type":"string"}]})", 'r', "string"},
      {R"({"anyOf":[{"$ref":"Role"},{"type":"string"}]})", 'r', "Role | (string & {}) | string"},
      {R"({"type":"array","prefixItems":[{"type":"string"}],"items":{}})", 'r', "[string]"},
      {R"({"type":"array","items":{"additionalProperties":{"enum":["a|b"]},"type":"object"}})",
       'p', "(Record<string, \"a|b\">)[]"},
      {R"({"type":"object","additionalProperties":1})", 'r', "Record<string, never>"},
      {R"({"enum":["a","b"]})", 'r', R"("a" | "b" | (string & {}))"},
      {R"({"enum":["a","b"]})", 'w', R"("a" | "b")"}, {R"({"enum":["a","b"]})", 'c', "string"},
      {R"({"enum":[1,2]})", 'c', "1 | 2"}, {R"({"enum":"a","type":"string"})", 'r', "string"},
      {R"({"$ref":"#/$defs/Empty"})", 'c', ""},
      {R"({"$ref":"#/definitions/Model"})", 'w', "ModelWrite"}, {R"({"$ref":"a/"})", 'r', ""},
      {R"({"x-firestore-type":"timestamp","anyOf":[{"type":"null"}]})", 'r', "Timestamp"},
      {R"({"x-firestore-type":"reference"})", 'w', "DocumentReference<DocumentData>"},
      {R"({"x-firestore-type":"reference","x-firestore-ref-target":"U"})",
       'r', "DocumentReference<U>"},
      {R"({"x-firestore-type":"bytes"})", 'p', "Bytes"},
      {R"({"x-firestore-type":"Timestamp","type":"string"})", 'r', "unknown"}};
  // clang-format on
  for (const auto& [node, mode, expected] : table) {
    Ctx ctx;
    ctx.defs = &definitions.root;
    ctx.mode = mode == 'p'   ? RenderMode::plain
               : mode == 'c' ? RenderMode::canonical
                             : RenderMode::firestore;
    EXPECT_EQ(render_type(ctx, parse(node).root, mode == 'w' ? Side::write : Side::read), expected)
        << node << " " << mode;
  }
  // Past a few members, duplicates are found through a hash set.
  std::string many = R"({"anyOf": [{"type": "null"})";
  for (int i = 0; i < 40; ++i) many += R"(, {"$ref": "m)" + std::to_string(i % 20) + "\"}";
  Ctx ctx;
  const std::string joined = render_type(ctx, parse(many + "]}").root, Side::read);
  EXPECT_EQ(std::count(joined.begin(), joined.end(), '|'), 20) << joined;
}

// Guards literal texts (shortest float digits, integers kept) and first-letter lowering.
TEST(Names, LiteralsKeysAndLowerFirst) {
  // clang-format off
  const std::vector<std::pair<std::string, std::string>> literals = {
      {"-0.0", "-0.0"}, {"100.0", "100.0"}, {"1e15", "1000000000000000.0"}, {"1e16", "1e+16"},
      {"5e-324", "5e-324"},
      {"18446744073709551616", "1.8446744073709552e+19"}, {"-1e-400", "-0.0"},
      {"-9223372036854775808", "-9223372036854775808"},
      {"18446744073709551615", "18446744073709551615"}};
  // clang-format on
  for (const auto& [text, expected] : literals)
    EXPECT_EQ(literal(parse(text).root), expected) << text;
  // clang-format off
  const std::vector<std::pair<std::string, std::string>> lowered = {
      {"USER", "uSER"}, {"_Log", "_Log"}, {"", ""}, {"\xc4\xb0x", "i\xcc\x87x"},
      {"\xf0\x90\x90\x80x", "\xf0\x90\x90\xa8x"}, {"\xe6\x97\xa5", "\xe6\x97\xa5"},
      {"\xff\x41", "\xff\x41"}};
  // clang-format on
  for (const auto& [text, expected] : lowered) EXPECT_EQ(lower_first(text), expected) << text;
}

// Guards section order (name order, collections' converters and paths last), update types,
// enum precedence over properties, and the empty module of a bundle without definitions.
TEST(EmitFirestore, SectionsFollowNameOrderWithTailLast) {
  const std::string out = emit(R"("User": {"type": "object", "x-firestore-collection": "users"},
      "Role": {"enum": ["a"]}, "Address": {"properties": {}}, "Scalar": {"type": "string"},
      "b": {"type": "object", "x-firestore-collection": "b/{x}/c"},
      "Both": {"enum": [1], "properties": {"x": {}}})");
  // clang-format off
  expect_in_order(out, {
      "import type { FirestoreDataConverter, UpdateData } from \"firebase/firestore\";",
      "export interface Address {", "export type Both = 1;", "export type Role = \"a\";",
      "export type Scalar = string;", "export interface User {", "export interface b {",
      "export type bUpdate", "export const userConverter", "export const usersPath = () => `users`;",
      "export const bConverter", "export const cPath = (x: string) => `b/${x}/c`;"});
  // clang-format on
  EXPECT_EQ(emit_firestore_module(parse(R"({"$defs": []})").root, {}, ""),
            "// AUTO-GENERATED by brenvale. DO NOT EDIT.\n"
            "// Source of truth: Pydantic models -> Firestore document contract.\n\n");
}

// Guards path functions: parameters, names, and escapes that keep the template closed.
TEST(EmitFirestore, PathFunctions) {
  // clang-format off
  const std::vector<std::pair<std::string, std::string>> table = {
      {"{tenant}", "docPath = (tenant: string) => `${tenant}`;"},
      {"/users/{uid}", "usersPath = (uid: string) => `users/${uid}`;"}, {"users/", "Path = () => `users/`;"},
      {"a/{id}/b/{id}/c/{id_2}", "cPath = (id: string, id_2: string, id_2_2: string) => `a/${id}/b/${id_2}/c/${id_2_2}`;"},
      {"a/{class}/{1}/{}", "aPath = (class_: string, _1: string, _: string) => `a/${class_}/${_1}/${_}`;"},
      {"x/{", "xPath = () => `x/{`;"}, {"{a}b/x{a}", "x_a_Path = () => `{a}b/x{a}`;"},
      {"a`b/c\\\\d/e${f}/g\\rh", "g_hPath = () => `a\\`b/c\\\\d/e\\${f}/g\\rh`;"},
      {"user-profiles/{b = alert(1)}", "user_profilesPath = (b___alert_1_: string) => `user-profiles/${b___alert_1_}`;"},
      {"\xc4\xb0tems", "i\xcc\x87temsPath = () => `\xc4\xb0tems`;"}};
  // clang-format on
  for (const auto& [collection, expected] : table) {
    const std::string out =
        emit(R"("M": {"type": "object", "x-firestore-collection": ")" + collection + "\"}");
    EXPECT_TRUE(out.ends_with("export const " + expected + "\n\n")) << collection << "\n" << out;
  }
}

// Guards the converter without a document id and with an id that needs quoting, interface
// members past the golden module's (a guarantee only when true, readOnly only when true, the id
// always a string) and the collection comment's escapes.
TEST(EmitFirestore, ConvertersAndInterfaceMembers) {
  expect_in_order(emit(R"("_Log": {"type": "object", "x-firestore-collection": "logs"})"),
                  {"export const _LogConverter: FirestoreDataConverter<_Log> = {\n"
                   "  toFirestore: (model) => {\n    return model;\n  },\n"
                   "  fromFirestore: (snapshot, options) => {\n"
                   "    return snapshot.data(options) as _Log;\n  },\n};\n\n"});
  expect_in_order(
      emit(R"("Doc": {"type": "object", "x-firestore-collection": "a\nb\u2028c",
      "x-firestore-doc-id-field": "doc-id", "required": ["req", 7],
      "properties": {"doc-id": {"type": "integer"}, "Zeta": {"type": "string"},
      "req": {"type": "string", "x-firestore-presence-guaranteed": "true"},
      "ro2": {"type": "string", "readOnly": 1}}})"),
      {"// @firestore-collection a\\nb\\u2028c\nexport interface Doc {\n  Zeta?: string;\n"
       "  \"doc-id\": string;\n  req?: string;\n  ro2?: string;\n}\n\n",
       "export interface DocWrite {\n  Zeta?: string;\n  req: string;\n  ro2?: string;\n}\n\n",
       "    const { \"doc-id\": _id, ...rest } = model;\n",
       "as Omit<Doc, \"doc-id\">;\n    return { ...data, \"doc-id\": snapshot.id };"});
}

// Guards JSDoc blocks: every line separator starts a " * " line, "*/" cannot end the block
// early, a title that repeats the name is dropped, and read, write and plain members get each.
TEST(EmitJsdoc, BlocksHoldHostileText) {
  // clang-format off
  const std::vector<std::pair<std::string, std::string>> table = {
      {"a */ b", "   * a *\\/ b\n"}, {"/* x **/", "   * /* x **\\/\n"},
      {"a\\r\\nb\\rc\\n\\nd", "   * a\n   * b\n   * c\n   *\n   * d\n"},
      {"a\u2028*/\u2029", "   * a\n   * *\\/\n   *\n"}};
  // clang-format on
  for (const auto& [description, lines] : table) {
    const std::string bundle = defs(R"("M": {"title": "Mt", "description": "d", "properties": {
        "p": {"type": "string", "description": ")" +
                                    description + R"("}}})");
    const std::string block = "  /**\n" + lines + "   */\n  p?: string;\n";
    expect_in_order(emit_firestore_module(parse(bundle).root, {}, "", {.jsdoc = true}),
                    {"/**\n * Mt\n *\n * d\n */\nexport interface M {\n" + block,
                     "/**\n * Mt\n *\n * d\n */\nexport interface MWrite {\n" + block});
    expect_in_order(emit_plain(parse(bundle).root, {.jsdoc = true}),
                    {"export interface M {\n" + block});
  }
  const std::string plain = emit_plain(parse(defs(R"("E": {"title": "E", "enum": [1]},
      "A": {"type": "string", "title": "", "description": "x"})"))
                                           .root,
                                       {.jsdoc = true});
  EXPECT_EQ(plain.substr(plain.find("/**")),
            "/**\n * x\n */\nexport type A = string;\n\nexport type E = 1;\n\n");
}

// Guards shared mode: what is referenced is imported, nothing shared is written, an unused
// shared module is not imported, and the path is a quoted literal.
TEST(EmitFirestore, SharedModeImportsWhatIsReferenced) {
  const std::string out = emit(R"("Address": {"type": "object"}, "Role": {"enum": ["a"]},
      "Unused": {"type": "object", "x-firestore-collection": "unused"},
      "User": {"type": "object", "properties": {"home": {"$ref": "#/$defs/Address"},
        "role": {"$ref": "#/$defs/Role"}, "ghost": {"$ref": "#/$defs/Gh-ost"}}})",
                               {"Address", "Role", "Unused", "Gh-ost"}, "./x\";\nf(\"");
  expect_in_order(out, {"import type { Address, AddressWrite, Gh_ost, Gh_ostWrite, Role } from "
                        "\"./x\\\";\\nf(\\\"\";\n\n",
                        "  role?: Role | (string & {});\n"});
  EXPECT_EQ(out.find("unused"), std::string::npos);
  EXPECT_EQ(emit(R"("A": {"type": "object"})", {"B"}, "./s").find("./s"), std::string::npos);
}

// Guards aliases of definitions that are neither enums nor models, with the cycles they can
// form outside an object, array, tuple or record.
TEST(EmitFirestore, Aliases) {
  expect_in_order(
      emit(R"("Tags": {"type": "array", "items": {"$ref": "#/$defs/Tag"}},
      "Tag": {"type": "object"}, "Weird": 5,
      "Json": {"anyOf": [{"$ref": "#/$defs/Json"}, {"type": "array", "items": {"$ref": "#/$defs/Json"}}]},
      "CycleA": {"anyOf": [{"$ref": "#/$defs/CycleB"}, {"type": "null"}]},
      "CycleB": {"oneOf": [{"anyOf": [{"$ref": "#/$defs/CycleA"}]}, {"$ref": "#/$defs/Tags"}]})"),
      {"export type CycleA = unknown | null;\n\n", "export type CycleB = unknown | Tags;\n\n",
       "export type Json = unknown | Json[];\n\nexport type JsonWrite = unknown | JsonWrite[];\n\n",
       "export type Tags = Tag[];\n\nexport type TagsWrite = TagWrite[];\n\n",
       "export type Weird = unknown;\n\n"});
}

// Guards how the name table resolves collisions (sanitised names, generated Write/Update names,
// library names, converters, same-named collections) and odd references; whether every name
// compiles is the hostile-name corpus's job.
TEST(EmitFirestore, NamesAreSafeAndUnique) {
  const std::string out = emit(R"("Foo_Bar": {"type": "object"}, "Foo-Bar": {"type": "object"},
      "x": {"properties": {"a": {"$ref": "#/$defs/Foo-Bar"}, "b": {"$ref": "#"}, "c": {"$ref":
      "#/$defs/"}}}, "Date": {"type": "object"}, "A": {"type": "object"},
      "AWrite": {"type": "object"}, "CUpdate": {"enum": [3]}, "C": {"type": "object",
      "x-firestore-collection": "c"}, "User": {"type": "object", "x-firestore-collection": "users"},
      "user": {"type": "object", "x-firestore-collection": "orgs/{o}/users"}, "y": {"type":
      "object", "x-firestore-collection": "a/{u}/users", "x-firestore-doc-id-field": "__proto__"})");
  // clang-format off
  for (const std::string_view piece : {
      "export interface Foo_Bar {", "export interface Foo_Bar_Write {", "export interface A_ {",
      "export interface Foo_BarWrite {", "  a?: Foo_Bar_;", "  b?: __;", "  c?: _;",
      "export interface Date_ {", "export interface A_Write {", "export interface AWrite {",
      "export interface AWriteWrite {", "export interface C_Write {",
      "export type C_Update = UpdateData<C_Write>;", "export const usersPath = () =>",
      "export const userConverter: FirestoreDataConverter<User> =",
      "export const user_Converter: FirestoreDataConverter<user_> =",
      "    return { ...data, [\"__proto__\"]: snapshot.id };",
      "export const orgs_usersPath = (o: string) =>", "export const a_usersPath = (u: string) =>"})
    EXPECT_NE(out.find(piece), std::string::npos) << piece << "\n" << out;
  // clang-format on
}

// Guards the plain module: enum bodies, Firestore keys ignored, the Firestore types it imports.
TEST(EmitPlain, DefinitionKindsAndFirestoreKeysIgnored) {
  EXPECT_EQ(emit_plain(parse(defs(R"("E1": {"enum": null}, "E2": {"enum": [null, true, 1.5]},
      "M": {"type": "object", "x-firestore-collection": "m", "x-firestore-doc-id-field": "id",
        "required": ["id"], "properties": {"id": {"type": "integer", "readOnly": true},
        "at": {"x-firestore-type": "timestamp", "x-firestore-presence-guaranteed": true}}},
      "U": {"anyOf": [{"type": "string"}, {"$ref": "#/$defs/E1"}]}, "number": {"type": "number"})"))
                           .root),
            "// AUTO-GENERATED by brenvale (plain mode). DO NOT EDIT.\n"
            "// Source of truth: Pydantic models (plain DTOs).\n\n"
            "import type { Timestamp } from \"firebase/firestore\";\n\n"
            "export type E1 = never;\n\nexport type E2 = null | true | 1.5;\n\n"
            "export interface M {\n  at?: Timestamp;\n  id: number;\n}\n\n"
            "export type U = string | E1;\n\nexport type number_ = number;\n\n");
}

// Guards what the Pydantic agreement cannot see: what reads admit beyond Pydantic (open enums,
// pending server timestamps), write-only values, tagged unions zod cannot read, claimed names.
TEST(EmitZod, ReadAndWriteSides) {
  const Document bundle =
      parse(defs(R"("E": {"enum": ["a"]}, "A": {"properties": {"k": {"const": 1}}},
      "MSchema": {}, "M": {"type": "object", "x-firestore-collection": "m", "properties": {
      "e": {"$ref": "#/$defs/E"}, "s": {"x-firestore-type": "timestamp",
      "x-firestore-server-timestamp": true}, "t": {"x-firestore-type": "timestamp"}, "u": {"oneOf":
      [{"$ref": "#/$defs/A"}, {"$ref": "#/$defs/M"}], "discriminator": {"propertyName": "k"}}}})"));
  const auto is = [](const std::string& type) {
    return "z.custom<" + type + ">((value) => value instanceof " + type + ")";
  };
  expect_in_order(
      emit_zod_module(bundle.root, "./c"),
      {"e: z.union([z.lazy(() => ESchema), z.string()]).optional(),\n  s: " + is("Timestamp") +
           ".nullable().optional(),\n",
       "  u: z.union([z.lazy(() => ASchema), z.lazy(() => MSchema_2)]).optional(),\n",
       "  e: z.lazy(() => ESchema).optional(),\n  s: " + is("FieldValue") +
           ".optional(),\n  t: z.union([" + is("Timestamp") + ", z.date()]).optional(),\n",
       "export const MSchemaSchema: z.ZodType<contract.MSchema> = z.unknown();\n"});
}

}  // namespace
}  // namespace brenvale
