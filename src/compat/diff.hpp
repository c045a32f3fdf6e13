// Two contract models -> ordered findings of the contract diff, each SAFE or BREAKING.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "compat/finding.hpp"
#include "contract/model.hpp"

namespace brenvale::compat {

// One diff of two models (borrowed): the findings so far, and whether each referenced name
// reads alike in both.
struct Diff {
  const Contract& old_contract;
  const Contract& new_contract;
  std::vector<Finding>& findings;
  InterruptCheck interrupted = nullptr;  // polled between properties; may be null
  // Set when the other half of a comparison stopped (see compare_in_halves); may be null.
  const std::atomic<bool>* cancelled = nullptr;
  std::unordered_map<std::string_view, bool> same_reference{};  // enumerations' names

  bool stop() const {
    return (cancelled != nullptr && cancelled->load(std::memory_order_relaxed)) ||
           (interrupted != nullptr && interrupted());
  }
};

// Compares some definitions of both models: `olds` and `news`, each a run of its model's
// definitions, in byte order, that no name of the other run falls between. Appends to
// `diff.findings`; returns false when `diff.stop()` stopped it.
using DefinitionPass = std::function<bool(std::span<const Definition> olds,
                                          std::span<const Definition> news, Diff& diff)>;

// Definitions and properties of both models from which a comparison runs in two halves: a
// thread takes tens of microseconds to start, and this many parts take milliseconds to compare.
inline constexpr std::size_t compare_in_halves_from = 16384;

// Are the two models together `halves_from` definitions and properties or more?
bool large_comparison(const Contract& old_contract, const Contract& new_contract,
                      std::size_t halves_from);

// Runs `pass` over every definition of both models. A comparison of `halves_from` parts or more
// runs in two halves by name, the second on a thread of its own, whose findings then follow the
// first's: the order of one pass. `interrupted` is polled on the calling thread only. Returns
// false when it stopped the work.
bool compare_in_halves(const Contract& old_contract, const Contract& new_contract,
                       InterruptCheck interrupted, std::vector<Finding>& findings,
                       const DefinitionPass& pass, std::size_t halves_from);

// Appends the diff's findings for the definition `name`, on each side or nullptr. Returns false
// when the interrupt stopped it.
bool diff_definition(Diff& diff, std::string_view name, const Definition* old_def,
                     const Definition* new_def);

// Does every `$ref` read alike in both models? A name can read otherwise only where it names an
// enumeration in either model, whose members the reference may show. Where every one reads
// alike, two equal definitions (same_definition) have no findings in the diff.
bool references_read_alike(const Contract& old_contract, const Contract& new_contract);

// Every definition of both models, in byte order. Returns false when `interrupted` (may be null)
// stopped it, leaving the findings incomplete.
bool diff(const Contract& old_contract, const Contract& new_contract, InterruptCheck interrupted,
          std::vector<Finding>& findings, std::size_t halves_from = compare_in_halves_from);

// Room in `findings` for one finding per property and definition of either model, what a
// wholesale change writes, so the list does not move (holding both copies) while it grows;
// pages reserved but never written cost nothing. May throw std::bad_alloc.
void reserve_findings(const Contract& old_contract, const Contract& new_contract,
                      std::vector<Finding>& findings);

// Is the property read-required: required, and its presence promised to the reader?
bool read_required(const Contract& contract, const Property& property);

}  // namespace brenvale::compat
