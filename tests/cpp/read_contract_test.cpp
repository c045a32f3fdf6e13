// The model read from a bundle's text keeps its strings where they stay.
#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

#include "contract/read_contract.hpp"

namespace brenvale {
namespace {

// Strings of a text without escapes are the text's own bytes, whether it was read in place or
// (a zero's exponent out of range rewritten) from a copy, and its definitions whole or one at a
// time: no copy stays.
TEST(ReadContract, BorrowsStringsOfATextWithoutEscapes) {
  for (const std::string zero : {"0", "0e999"}) {
    const std::string bundle = R"({"$defs":{"A":{"title":"T","default":)" + zero +
                               R"(,"properties":{"p":{"enum":["x"],"maxLength":3}}}}})";
    for (const std::size_t stream_from : {stream_definitions_from, std::size_t{0}}) {
      const ReadResult read = read_contract(bundle, DefinitionTable::defs, stream_from);
      ASSERT_TRUE(read.ok) << bundle;
      const Contract& contract = read.contract;
      const std::string_view name = contract.definitions.at(0).name;
      EXPECT_EQ(name.data(), bundle.data() + bundle.find("A\""));
      EXPECT_EQ(contract.extras_of(contract.definitions.at(0)).title.data(),
                bundle.data() + bundle.find("T\""));
      EXPECT_EQ(contract.properties.at(0).key.data(), bundle.data() + bundle.find("p\""));
      EXPECT_EQ(contract.data.at(0).text().data(), bundle.data() + bundle.find("x\""));
      EXPECT_EQ(contract.source, nullptr);
    }
  }
}

// A text with an escape keeps the copy its strings were decoded in.
TEST(ReadContract, KeepsItsCopyOfATextWithEscapes) {
  const std::string bundle = R"({"$defs":{"A\u00e9":{"description":"a\nb"}}})";
  const ReadResult read = read_contract(bundle, DefinitionTable::defs);
  ASSERT_TRUE(read.ok);
  EXPECT_EQ(read.contract.definitions.at(0).name, "A\xc3\xa9");
  EXPECT_EQ(read.contract.extras_of(read.contract.definitions.at(0)).description, "a\nb");
  EXPECT_NE(read.contract.source, nullptr);
}

// A schema that says only its JSON type is one node wherever it stands; one fact more and it
// is a node of its own, which keeps that fact.
TEST(ReadContract, SharesOnlyTheNodesThatSayNothingButTheirType) {
  const std::string bundle = R"({"$defs":{"A":{"properties":{
      "a":{"type":"string","title":"t"},"b":{"type":"string"},"c":{"type":"integer"},
      "d":{"type":"string","readOnly":true},"e":{"type":"string","maxLength":2},
      "f":{"type":"string","description":"x"},"g":{"type":"string","default":"y"},
      "h":{"type":["string"]},"i":{"type":"string","x-firestore-type":"bytes"},
      "j":{"type":"Str"},"k":{"type":"string","items":{"type":"string"}}}}}})";
  const ReadResult read = read_contract(bundle, DefinitionTable::defs);
  ASSERT_TRUE(read.ok);
  const Contract& contract = read.contract;
  const std::span<const Property> properties = contract.properties_of(contract.definitions.at(0));
  ASSERT_EQ(properties.size(), 11U);
  EXPECT_EQ(properties[0].node, properties[1].node);
  EXPECT_EQ(contract.node(properties[10].node).items, properties[0].node);
  for (std::size_t i = 2; i < properties.size(); ++i) {
    EXPECT_NE(properties[i].node, properties[0].node) << properties[i].key;
    for (std::size_t j = i + 1; j < properties.size(); ++j)
      EXPECT_NE(properties[i].node, properties[j].node) << properties[i].key << properties[j].key;
  }
  EXPECT_TRUE(contract.node(properties[3].node).read_only);
  EXPECT_EQ(contract.extras_of(contract.node(properties[5].node)).description, "x");
  EXPECT_EQ(contract.types(contract.node(properties[1].node)).size(), 1U);
  EXPECT_EQ(contract.schemas, 13U);
}

// What a model says of its definitions and references, to compare two reads of one text.
std::string summary(const Contract& contract) {
  std::string out;
  const auto references = [&](NodeId id) {
    const TypeNode& node = contract.node(id);
    for (const DefId def : {node.ref_def, contract.extras_of(node).ref_target_def})
      out += def == no_id ? "-" : std::string(contract.definitions.at(def).name);
  };
  for (const Definition& d : contract.definitions) {
    out += std::string(d.name) + "(" + std::to_string(static_cast<int>(d.kind)) + " ";
    references(d.node);
    for (const Property& p : contract.properties_of(d)) {
      out += " " + std::string(p.key) + ":";
      references(p.node);
    }
    out += ") ";
  }
  out += "| foreign:";
  for (const std::string_view name : contract.foreign_names) out += " " + std::string(name);
  return out;
}

// Definitions handed over while the text is read give the model the whole tree gives, also
// where only the whole table can say which definition stands.
TEST(ReadContract, ReadsDefinitionsAsTheWholeTreeWould) {
  const std::vector<std::string> bundles = {
      R"({"$defs":{"B":{"properties":{"b":{"$ref":"#/$defs/A"},"c":{"$ref":"#/$defs/Z"}}},
          "A":{"properties":{"r":{"x-firestore-type":"reference","x-firestore-ref-target":"B"}}},
          "E":{"enum":[1]},"N":{"x-extra":{"$ref":"#/$defs/Y"},"$defs":{"Q":{}}}}})",
      R"({"$defs":{"A":{"properties":{"x":{}}},"B":{},"A":{"properties":{"y":{"$ref":"B"}}}}})",
      R"({"$defs":{"A":{"properties":{"x":{}}}},"title":"t","$defs":{"B":{}}})",
      R"({"$defs":{"A":{"$ref":"A"}},"$defs":[]})",
      R"({"$defs":[],"definitions":{"D":{"$ref":"#/definitions/D"}}})",
      R"({"definitions":{"D":{}},"$defs":{"C":{"$ref":"D"}}})",
      R"({"$defs":{}})",
      R"([{"$defs":{"A":{}}}])",
  };
  for (const std::string& bundle : bundles) {
    for (const DefinitionTable table : {DefinitionTable::defs, DefinitionTable::defs_or_draft07}) {
      ParseResult whole = parse_json(bundle);
      ASSERT_TRUE(whole.ok) << bundle;
      const bool has_table = find_definition_table(whole.document.root, table) != nullptr;
      const ReadResult read = read_contract(bundle, table, 0);
      ASSERT_TRUE(read.ok) << bundle;
      EXPECT_EQ(summary(read.contract), summary(build_contract(whole.document, table))) << bundle;
      EXPECT_EQ(read.has_table, has_table) << bundle;
    }
  }
}

// Two large texts, read on two threads, give what each gives read alone, errors included.
TEST(ReadContract, ReadsAPairAsEachAlone) {
  std::string large = R"({"$defs":{)";
  for (int i = 0; large.size() < stream_definitions_from; ++i) {
    large += (i == 0 ? "\"M" : ",\"M") + std::to_string(i) +
             R"(":{"properties":{"p":{"$ref":"#/$defs/M0"},"q":{"type":"string"}}})";
  }
  large += "}}";
  const std::string broken = large.substr(0, large.size() - 1);
  ReadPair pair = read_contracts(large, broken, DefinitionTable::defs);
  const ReadResult alone = read_contract(large, DefinitionTable::defs);
  ASSERT_TRUE(pair.first.ok);
  EXPECT_EQ(summary(pair.first.contract), summary(alone.contract));
  ASSERT_FALSE(pair.second.ok);
  EXPECT_EQ(pair.second.error.description(), "EOF while parsing an object");
  EXPECT_EQ(pair.second.error.column, broken.size());
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
