// The zod module: which patterns it refuses, and what it writes for each kind of field.
#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>

#include "contract/model.hpp"
#include "emit/emit_zod.hpp"
#include "emit/zod_pattern.hpp"
#include "json/json_reader.hpp"
#include "request/emit_request.hpp"
#include "table.hpp"
#include "util/blocks_in_order.hpp"

namespace brenvale {
namespace {

// Guards the refusals at generation: each construct is found where it stands, and never inside a
// character class or after an escape.
TEST(ZodPattern, Table) {
  for (const auto& row : read_table("tests/data/zod_patterns.tsv")) {
    const auto& [pattern, at, construct] = std::tie(row[0], row[1], row[2]);
    const PatternConstruct found = refused_construct(pattern);
    EXPECT_EQ(found.what, construct) << pattern;
    if (!construct.empty()) {
      EXPECT_EQ(std::to_string(found.offset), at) << pattern;
    }
  }
}

// Code point escapes are respelled where they are whole, and only outside another escape. A
// Decimal's pattern is matched without its look-ahead, and its bounds on digits are read off it
// only where it is exactly what Pydantic writes for them.
TEST(ZodPattern, Matched) {
  for (const auto& row : read_table("tests/data/zod_matched.tsv")) {
    const auto& [pattern, matched, digits] = std::tie(row[0], row[1], row[2]);
    EXPECT_EQ(matched_pattern(pattern), matched) << pattern;
    const std::optional<DecimalDigits> read = decimal_digits(pattern);
    const auto count = [](std::optional<std::size_t> bound) {
      return bound ? std::to_string(*bound) : std::string("-");
    };
    const std::string shown = read ? count(read->max_digits) + "/" + count(read->places) : "";
    EXPECT_EQ(shown, digits) << pattern;
  }
}

// The module a `zod` command line writes for a bundle.
std::string zod_module(const std::string& defs, const std::string& command) {
  ParseResult parsed = parse_json(R"({"$defs": {)" + defs + "}}");
  EXPECT_TRUE(parsed.ok) << defs;
  std::istringstream words(command);
  std::string word;
  EmitRequest request;
  request.kind = OutputKind::zod;
  std::string contract_path;
  std::string error;
  words >> word;
  while (words >> word) {
    if (word == "--sdk" && words >> word) {
      EXPECT_TRUE(parse_sdk(word, request.sdk, error)) << error;
    } else if (word == "--contract" && words >> contract_path) {
      request.contract_path = contract_path;
    } else {
      ADD_FAILURE() << "unknown option in " << command;
    }
  }
  EXPECT_EQ(request_error(request), "");
  const Contract contract = build_contract(parsed.document, DefinitionTable::defs);
  EXPECT_EQ(contract_error(contract, request), "");
  return emit_module(contract, std::move(request));
}

// Guards unknown keys by `extra`, the write rules (sentinels, read-only fields, the document id,
// vector dimensions), the messages, both SDKs and the contract import.
TEST(ZodSchemas, Table) {
  const auto lines = [](std::string text) {
    for (std::size_t at = 0; (at = text.find("\\n", at)) != std::string::npos;)
      text.replace(at, 2, "\n");
    return text;
  };
  for (const auto& row : read_table("tests/data/zod_schemas.tsv")) {
    const auto& [defs, command, present, absent] = std::tie(row[0], row[1], row[2], row[3]);
    const std::string module = zod_module(defs, command);
    EXPECT_NE(module.find(lines(present)), std::string::npos) << defs << "\n" << module;
    if (!absent.empty()) {
      EXPECT_EQ(module.find(lines(absent)), std::string::npos) << defs << "\n" << module;
    }
  }
}

// A module written in blocks on two threads is the module written in one. Each definition is a
// block of its own, and a first definition shifts every other to the other thread, so every
// helper, import and tag flag is found by each thread in turn.
TEST(ZodSchemas, BlocksOnTwoThreadsWriteTheSameModule) {
  constexpr std::size_t always_in_blocks = 0;
  for (const auto& row : read_table("tests/data/zod_schemas.tsv")) {
    for (const std::string first : {"", R"("AAA": {"type": "string"}, )"}) {
      ParseResult parsed = parse_json(R"({"$defs": {)" + first + row[0] + "}}");
      ASSERT_TRUE(parsed.ok) << row[0];
      const Contract contract = build_contract(parsed.document, DefinitionTable::defs);
      for (const Sdk sdk : {Sdk::web, Sdk::admin}) {
        EXPECT_EQ(emit_zod_module(contract, "./c", sdk, always_in_blocks),
                  emit_zod_module(contract, "./c", sdk))
            << first << row[0];
      }
    }
  }
}

// Blocks are joined in order, and a failure on either thread reaches the caller.
TEST(BlocksInOrder, JoinsInOrderAndPassesFailuresOn) {
  const auto numbers = [](std::size_t fail_at) {
    std::string out;
    write_blocks_in_order(
        9,
        [&](std::size_t block, bool, std::string& text) {
          if (block == fail_at) throw std::runtime_error("block " + std::to_string(block));
          text += std::to_string(block);
        },
        out);
    return out;
  };
  EXPECT_EQ(numbers(99), "012345678");
  for (const std::size_t fail_at : {0U, 3U, 8U}) {
    try {
      numbers(fail_at);
      ADD_FAILURE() << "no failure from block " << fail_at;
    } catch (const std::runtime_error& error) {
      EXPECT_EQ(error.what(), "block " + std::to_string(fail_at));
    }
  }
}

}  // namespace
}  // namespace brenvale
