// The JSON reader: the tree it builds and the errors it reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "json_reader.hpp"

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

// Every corpus text: the y_ ones parse, the n_ ones fail with a description from the set.
TEST(JsonCorpus, ConformanceSuite) {
  const std::filesystem::path dir =
      std::filesystem::path(BRENVALE_SHARED_DIR) / "jsontestsuite" / "test_parsing";
  if (!std::filesystem::exists(dir)) {
    const char* ci = std::getenv("CI");
    if (ci != nullptr && std::string(ci) == "true") FAIL() << "missing corpus at " << dir;
    GTEST_SKIP() << "the shared JSON corpus is not beside the repo: " << dir;
  }
  int seen = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    const std::string text = bytes.str();
    const ParseResult r = parse_json(text);
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
  EXPECT_GT(seen, 300);
}

}  // namespace
}  // namespace brenvale
