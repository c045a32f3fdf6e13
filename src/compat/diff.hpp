// Two contract models -> ordered findings of the contract diff, each SAFE or BREAKING.
#pragma once

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
  std::unordered_map<std::string_view, bool> same_reference{};  // enumerations' names

  bool stop() const { return interrupted != nullptr && interrupted(); }
};

// Appends the diff's findings for the definition `name`, on each side or nullptr. Returns false
// when the interrupt stopped it.
bool diff_definition(Diff& diff, std::string_view name, const Definition* old_def,
                     const Definition* new_def);

// Every definition of both models, in byte order. Returns false when `interrupted` (may be null)
// stopped it, leaving the findings incomplete.
bool diff(const Contract& old_contract, const Contract& new_contract, InterruptCheck interrupted,
          std::vector<Finding>& findings);

// Room in `findings` for one finding per property and definition of either model, what a
// wholesale change writes, so the list does not move (holding both copies) while it grows;
// pages reserved but never written cost nothing. May throw std::bad_alloc.
void reserve_findings(const Contract& old_contract, const Contract& new_contract,
                      std::vector<Finding>& findings);

// Is the property read-required: required, and its presence promised to the reader?
bool read_required(const Contract& contract, const Property& property);

}  // namespace brenvale::compat
