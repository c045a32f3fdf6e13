// A bundle's text into the contract model, whose strings then lie in that text.
#include "contract/read_contract.hpp"

#include <algorithm>
#include <cstdint>
#include <future>
#include <optional>
#include <system_error>
#include <thread>

#include "contract/entry_pipeline.hpp"
#include "util/own_thread.hpp"

namespace brenvale {
namespace {

// Moves a view that lies in the reader's copy of the text to the same place in the text itself.
// Views elsewhere (the model's own pool) stay.
class Rebase {
 public:
  Rebase(std::string_view copy, std::string_view text)
      : first_(address(copy.data())), last_(first_ + copy.size()), text_(text.data()) {}

  void operator()(std::string_view& view) const {
    const std::uintptr_t at = address(view.data());
    if (view.data() == nullptr || at < first_ || at >= last_) return;
    view = {text_ + (at - first_), view.size()};
  }
  void operator()(Datum& datum) const {
    if (!datum.is_string()) return;  // a container's serialisation lives in the pool
    std::string_view view = datum.text();
    (*this)(view);
    datum.chars = view.data();
  }

 private:
  static std::uintptr_t address(const char* p) { return reinterpret_cast<std::uintptr_t>(p); }

  std::uintptr_t first_;
  std::uintptr_t last_;
  const char* text_;
};

// Every string of the model, moved by `rebase`.
void rebase_strings(Contract& contract, const Rebase& rebase) {
  for (Definition& d : contract.definitions) rebase(d.name);
  for (DefinitionExtras& x : contract.definition_extras) {
    for (std::string_view* view : {&x.collection, &x.doc_id, &x.title, &x.description})
      rebase(*view);
  }
  for (Property& property : contract.properties) rebase(property.key);
  for (std::string_view& text : contract.type_texts) rebase(text);
  for (std::string_view& key : contract.keys) rebase(key);
  for (NodeExtras& x : contract.extras) {
    for (std::string_view* view :
         {&x.firestore_text, &x.ref_target, &x.ref_name, &x.description, &x.discriminator_property})
      rebase(*view);
    rebase(x.constant);
    rebase(x.default_value);
  }
  for (Datum& datum : contract.data) rebase(datum);
  for (ConstraintEntry& entry : contract.constraints) rebase(entry.value);
  for (std::string_view& name : contract.foreign_names) rebase(name);
}

// A text without escapes decodes to itself: each string lies in the reader's copy where it lies
// in the text, so the model's strings can move onto the text.
bool decodes_to_itself(const Document& document, std::string_view text) {
  return document.strings_verbatim && document.copy.size() == text.size();
}

// Moves the model's strings, and the names a builder has yet to resolve, from the reader's
// `copy` onto the text. A text read in place holds them there already.
void move_strings(std::string_view copy, std::string_view text, Contract& contract,
                  ContractBuilder* builder = nullptr) {
  if (copy.data() == text.data()) return;
  const Rebase rebase(copy, text);
  rebase_strings(contract, rebase);
  if (builder != nullptr) builder->move_pending_names(rebase);
}

// The definitions of `$defs` go to the model as the reader meets each, and leave the tree: on
// a thread of their own when `pipelined` (see EntryPipeline), else each as it comes, built in
// one arena that each reuses.
struct Streamed {
  Streamed(Contract& contract, bool pipelined, ListPages pages, DefinitionTable table)
      : contract(contract), pipelined(pipelined), pages(pages), table(table) {}

  Contract& contract;  // what the builder builds
  bool began = false;  // the builder has begun it
  bool pipelined;
  ListPages pages;
  DefinitionTable table;  // whose spellings the definitions are read in
  std::optional<ContractBuilder> builder;
  std::optional<EntryPipeline> pipeline;  // after the builder, which it adds to until it goes
  // Large enough for the tree of a usual definition, so each one is built in the cache.
  static constexpr std::size_t scratch_size = std::size_t{16} << 10;
  std::unique_ptr<std::byte[]> scratch_block;
  std::optional<std::pmr::monotonic_buffer_resource> scratch;

  static std::pmr::memory_resource& begin(void* context, std::size_t objects) {
    auto* self = static_cast<Streamed*>(context);
    self->pipeline.reset();
    self->builder.reset();
    self->contract = Contract();
    self->builder.emplace(self->contract, objects, 0, self->pages, self->table);
    self->began = true;
    // Asked once: the count is read from the system on each call, which costs microseconds.
    static const bool several_cores = std::thread::hardware_concurrency() >= 2;
    if (self->pipelined && several_cores) {
      try {
        return self->pipeline.emplace(&add, self).first_arena();
      } catch (const std::system_error&) {
        self->pipeline.reset();  // no thread to be had: the definitions come one at a time
      }
    }
    if (!self->scratch.has_value()) {
      self->scratch_block = std::make_unique_for_overwrite<std::byte[]>(scratch_size);
      self->scratch.emplace(self->scratch_block.get(), scratch_size);
    }
    self->scratch->release();
    return *self->scratch;
  }
  static void add(void* context, const Member& entry) {
    static_cast<Streamed*>(context)->builder->add(entry);
  }
  static std::pmr::memory_resource& take(void* context, const Member& entry) {
    auto* self = static_cast<Streamed*>(context);
    if (self->pipeline.has_value()) return self->pipeline->take(entry);
    self->builder->add(entry);
    self->scratch->release();
    return *self->scratch;
  }
  // The reader failed: the builder thread, if any, ends before the text it reads goes.
  static void stop(void* context) { static_cast<Streamed*>(context)->pipeline.reset(); }
  // Once the reader is done: every definition taken is in the model.
  void finish() {
    if (pipeline.has_value()) pipeline->finish();
    pipeline.reset();
  }
};

}  // namespace

ReadResult read_contract(std::string_view text, DefinitionTable table, std::size_t stream_from,
                         Threads threads, ListPages pages) {
  ReadResult result;
  Streamed streamed(result.contract, threads == Threads::two, pages, table);
  const EntrySink sink{Atom::defs, &streamed, &Streamed::begin, &Streamed::take, &Streamed::stop};
  // A text without escapes is read in place: a copy would cost as much memory again.
  ParseResult parsed = parse_json_in_place(text, text.size() >= stream_from ? &sink : nullptr);
  streamed.finish();
  if (!parsed.ok) {
    result.error = parsed.error;
    return result;
  }
  bool built = false;  // the model is whole
  bool moved = false;  // the model's strings lie in `text` already, and the copy is gone
  if (parsed.document.table_keys == 1 && parsed.document.handed_over != 0) {
    Document& document = parsed.document;
    if (decodes_to_itself(document, text)) {
      // Before the definitions are sorted: the sort's buffer never stands beside the copy.
      result.has_table = find_definition_table(document.root, table) != nullptr;
      result.doubt = doubtful_table(document.root);
      move_strings(document.copy, text, streamed.builder->contract(), &*streamed.builder);
      document.root = Value();
      document.text.reset();
      moved = true;
    }
    built = streamed.builder->finish();
  }
  streamed.builder.reset();
  if (!built && streamed.began) {
    result.contract = Contract();  // what the stream began
    if (parsed.document.handed_over != 0) {
      // Two tables, or two definitions of one name: which stands takes the whole tree. Rare.
      parsed = parse_json_in_place(text);
      moved = false;
    }
  }
  if (!moved) {
    result.has_table = find_definition_table(parsed.document.root, table) != nullptr;
    result.doubt = doubtful_table(parsed.document.root);
  }
  const std::string_view copy = parsed.document.copy;
  const bool verbatim = !moved && decodes_to_itself(parsed.document, text);
  if (!built) {
    build_contract_into(result.contract, parsed.document.root, table, parsed.document.objects);
  }
  adopt_text(result.contract, parsed.document);
  if (verbatim) {
    move_strings(copy, text, result.contract);
    result.contract.source.reset();
  }
  result.ok = true;
  return result;
}

ReadPair read_contracts(std::string_view first, std::string_view second, DefinitionTable table) {
  if (std::max(first.size(), second.size()) < stream_definitions_from) {
    // Each model is made where it stays: a model is a score of lists, moved list by list.
    return {read_contract(first, table, stream_definitions_from, Threads::one),
            read_contract(second, table, stream_definitions_from, Threads::one)};
  }
  ReadPair pair;
  // The thread reads borrowed texts into a model of its own; get() hands over the model, or
  // what the read threw.
  std::future<ReadResult> reading = on_own_thread([first, table] {
    return read_contract(first, table, stream_definitions_from, Threads::one, ListPages::huge);
  });
  if (!reading.valid()) {
    // No thread to be had: one after the other, each with the second thread it may get.
    pair.first = read_contract(first, table);
    pair.second = read_contract(second, table);
    return pair;
  }
  pair.second =
      read_contract(second, table, stream_definitions_from, Threads::one, ListPages::huge);
  pair.first = reading.get();
  return pair;
}

}  // namespace brenvale
