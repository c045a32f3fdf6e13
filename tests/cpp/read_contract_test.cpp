// The model read from a bundle's text keeps its strings where they stay.
#include <gtest/gtest.h>

#include "contract/read_contract.hpp"

namespace brenvale {
namespace {

// Strings of a text without escapes are the text's own bytes: the reader's copy is gone.
TEST(ReadContract, BorrowsStringsOfATextWithoutEscapes) {
  const std::string bundle =
      R"({"$defs":{"A":{"title":"T","properties":{"p":{"enum":["x"],"maxLength":3}}}}})";
  const ReadResult read = read_contract(bundle, DefinitionTable::defs);
  ASSERT_TRUE(read.ok);
  const Contract& contract = read.contract;
  const std::string_view name = contract.definitions.at(0).name;
  EXPECT_EQ(name.data(), bundle.data() + bundle.find("A\""));
  EXPECT_EQ(contract.definitions.at(0).title.data(), bundle.data() + bundle.find("T\""));
  EXPECT_EQ(contract.properties.at(0).key.data(), bundle.data() + bundle.find("p\""));
  EXPECT_EQ(contract.data.at(0).text().data(), bundle.data() + bundle.find("x\""));
  EXPECT_EQ(contract.source, nullptr);
}

// A text with an escape keeps the copy its strings were decoded in.
TEST(ReadContract, KeepsItsCopyOfATextWithEscapes) {
  const std::string bundle = R"({"$defs":{"A\u00e9":{"description":"a\nb"}}})";
  const ReadResult read = read_contract(bundle, DefinitionTable::defs);
  ASSERT_TRUE(read.ok);
  EXPECT_EQ(read.contract.definitions.at(0).name, "A\xc3\xa9");
  EXPECT_EQ(read.contract.definitions.at(0).description, "a\nb");
  EXPECT_NE(read.contract.source, nullptr);
}

TEST(ReadContract, FailsAsTheReaderFails) {
  const ReadResult read = read_contract("{\"$defs\": [", DefinitionTable::defs);
  ASSERT_FALSE(read.ok);
  EXPECT_EQ(read.error.description(), "EOF while parsing a list");
  EXPECT_FALSE(read_contract("{\"definitions\": {}}", DefinitionTable::defs).has_table);
  EXPECT_TRUE(read_contract("{\"definitions\": {}}", DefinitionTable::defs_or_draft07).has_table);
}

}  // namespace
}  // namespace brenvale
