// The reader that fills the model as it reads agrees with the value tree on every bundle of the
// table: the same model, the same failure, the same table of definitions.
#include <gtest/gtest.h>

#include "contract/read_contract.hpp"
#include "model_dump.hpp"
#include "table.hpp"

namespace brenvale {
namespace {

TEST(ReadContract, AgreesWithTheTree) {
  for (const auto& row : read_table("tests/data/read_contract.tsv")) {
    const std::string& bundle = row[1];
    for (const DefinitionTable table : {DefinitionTable::defs, DefinitionTable::defs_or_draft07}) {
      SCOPED_TRACE(row[0] + (table == DefinitionTable::defs ? " ($defs)" : " (draft-07)"));
      const ParseResult parsed = parse_json(bundle);
      const ReadResult read = read_contract(bundle, table, ReadRoute::direct);
      ASSERT_EQ(read.ok, parsed.ok);
      if (!parsed.ok) {
        EXPECT_EQ(read.error.description(), parsed.error.description());
        EXPECT_EQ(read.error.line, parsed.error.line);
        EXPECT_EQ(read.error.column, parsed.error.column);
        continue;
      }
      EXPECT_EQ(read.has_table, find_definition_table(parsed.document.root, table) != nullptr);
      EXPECT_EQ(testing::dump_contract(read.contract),
                testing::dump_contract(build_contract(parsed.document.root, table)));
    }
  }
}

// Strings of a text without escapes are the text's own bytes: nothing is copied.
TEST(ReadContract, BorrowsStringsOfATextWithoutEscapes) {
  const std::string bundle = R"({"$defs":{"A":{"properties":{"p":{"type":"string"}}}}})";
  const ReadResult read = read_contract(bundle, DefinitionTable::defs, ReadRoute::direct);
  ASSERT_TRUE(read.ok);
  const std::string_view name = read.contract.definitions.at(0).name;
  EXPECT_EQ(name, "A");
  EXPECT_EQ(name.data(), bundle.data() + bundle.find("A\""));
  EXPECT_EQ(read.contract.source, nullptr);
}

}  // namespace
}  // namespace brenvale
