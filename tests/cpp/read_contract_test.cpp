// The model read from a bundle's text keeps its strings where they stay.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <span>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "contract/entry_pipeline.hpp"
#include "contract/read_contract.hpp"
#include "table.hpp"

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

// Guards what a `$ref` names (tests/data/ref_names.tsv), where a schema reads it and where none
// does, read whole and a definition at a time: a decoded name lies in the model's own texts.
TEST(ReadContract, DecodesTheNameARefGives) {
  const std::string defs = R"({"$defs": {"Model": {}, "shop/Address": {}, "Line Item": {},
      "a~b": {}, "~1": {}, "\u00e9": {}, "a%zz": {}, "a~1b": {}, "x%41": {}, )";
  const auto foreign_names = [](const Contract& contract) {
    return std::vector<std::string>(contract.foreign_names.begin(), contract.foreign_names.end());
  };
  for (const auto& row : read_table("tests/data/ref_names.tsv")) {
    const auto& [ref, name, resolved] = std::tie(row[0], row[1], row[2]);
    std::vector<std::string> foreign;
    if (resolved != "yes") foreign.push_back(name);
    const std::string in_schema =
        defs + R"("~M": {"properties": {"p": {"$ref": ")" + ref + "\"}}}}}";
    const std::string outside = defs + R"("~M": {"x-note": {"$ref": ")" + ref + "\"}}}}";
    for (const std::size_t stream_from : {stream_definitions_from, std::size_t{0}}) {
      const ReadResult read = read_contract(in_schema, DefinitionTable::defs, stream_from);
      ASSERT_TRUE(read.ok) << ref;
      const TypeNode& node = read.contract.node(read.contract.properties.at(0).node);
      EXPECT_EQ(read.contract.ref_name(node), name) << ref;
      EXPECT_EQ(node.ref_def != no_id, resolved == "yes") << ref;
      EXPECT_EQ(foreign_names(read.contract), foreign) << ref;
      const ReadResult named = read_contract(outside, DefinitionTable::defs, stream_from);
      ASSERT_TRUE(named.ok) << ref;
      EXPECT_EQ(foreign_names(named.contract), foreign) << ref << " outside a schema";
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

// A large text whose definitions go to a builder thread in batches (of many small definitions,
// and of one larger than a batch) gives the model one thread gives, also when the reader starts
// over (a zero's exponent out of range), reads from a copy (an escape) or fails at the end.
TEST(ReadContract, ReadsOnTwoThreadsAsOnOne) {
  std::string large = R"({"$defs":{"Big":{"properties":{)";
  for (int i = 0; i < 20000; ++i)
    large += (i == 0 ? "\"p" : ",\"p") + std::to_string(i) + R"(":{"enum":["a","b"]})";
  large += "}}";
  for (int i = 0; large.size() < 3 * stream_definitions_from; ++i) {
    large += ",\"M" + std::to_string(i) + R"(":{"properties":{"p":{"$ref":"#/$defs/M)" +
             std::to_string(i / 2) + R"("},"q":{"type":"string","maxLength":)" + std::to_string(i) +
             "}}}";
  }
  const std::vector<std::string> tails = {"}}", ",\"Z\":{\"default\":0e999}}}",
                                          ",\"Z\\u00e9\":{}}}"};
  for (const std::string& tail : tails) {
    const std::string text = large + tail;
    const ReadResult one = read_contract(text, DefinitionTable::defs, 0, Threads::one);
    const ReadResult two = read_contract(text, DefinitionTable::defs, 0, Threads::two);
    ASSERT_TRUE(one.ok && two.ok) << tail;
    EXPECT_EQ(summary(two.contract), summary(one.contract)) << tail;
    EXPECT_EQ(two.contract.properties.size(), one.contract.properties.size()) << tail;
  }
  const std::string broken = large + "}";
  const ReadResult two = read_contract(broken, DefinitionTable::defs, 0, Threads::two);
  ASSERT_FALSE(two.ok);
  EXPECT_EQ(two.error.column, broken.size());
}

// The builder thread gets every entry in order, while the arena it was built in is intact,
// even when it is slower than the reader and every batch waits for a free one.
TEST(EntryPipeline, HandsOverEveryEntryInOrderWhileItsArenaHolds) {
  constexpr std::size_t entry_bytes = std::size_t{64} << 10;
  struct Seen {
    std::vector<std::size_t> order;
    bool intact = true;
  } seen;
  const auto add = [](void* context, const Member& entry) {
    auto& out = *static_cast<Seen*>(context);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    const std::string_view bytes = entry.value.string();
    const auto mark = static_cast<char>(bytes.size() % 251);
    out.intact = out.intact && bytes.find_first_not_of(mark) == std::string_view::npos;
    out.order.push_back(bytes.size());
  };
  {
    EntryPipeline pipeline(add, &seen);
    std::pmr::memory_resource* arena = &pipeline.first_arena();
    for (std::size_t i = 0; i < 66; ++i) {
      const std::size_t size = entry_bytes + i;
      auto* chars = static_cast<char*>(arena->allocate(size, 1));
      std::memset(chars, static_cast<char>(size % 251), size);
      Member entry{"k", Value()};
      entry.value.kind = Kind::string;
      entry.value.size = static_cast<std::uint32_t>(size);
      entry.value.chars = chars;
      arena = &pipeline.take(entry);
    }
    pipeline.finish();
  }
  ASSERT_EQ(seen.order.size(), 66U);
  for (std::size_t i = 0; i < seen.order.size(); ++i) EXPECT_EQ(seen.order[i], entry_bytes + i);
  EXPECT_TRUE(seen.intact);
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
