// The TypeScript name of every type a module declares, refers to or imports.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "contract/model.hpp"
#include "typescript/render_mode.hpp"
#include "util/ordered_set.hpp"
#include "util/string_set.hpp"

namespace brenvale {

// Built once per module. Raw names (definition names, shared names, `$ref` last segments and
// `x-firestore-ref-target` values) are borrowed from the bundle and the shared set, which
// outlive the table.
struct NameTable {
  static constexpr std::uint32_t as_written = 0xFFFFFFFF;

  const Contract* contract = nullptr;  // the contract the table was built for
  // Most definitions are named as the bundle writes them (as_written); the others by an index
  // into `made_names`, texts in `made`. Empty when every one is named as written.
  std::vector<std::uint32_t> made_of;
  std::vector<std::string_view> made_names;
  // The names of raw names that name no definition, by raw name in byte order.
  std::vector<std::pair<std::string_view, std::string_view>> others;
  std::unique_ptr<char[]> made;
  StringSet taken;  // every name declared, generated or imported
  std::unordered_map<std::string, std::size_t> next_claim;  // keeps claim() linear

  // Appends the TypeScript name of `raw`; a name the table was not built with is made safe.
  void append(std::string_view raw, std::string& out) const;
  // The name of a definition of the contract the table was built for.
  std::string_view of(DefId definition) const {
    const std::uint32_t made_at = made_of.empty() ? as_written : made_of[definition];
    return made_at == as_written ? contract->definitions[definition].name : made_names[made_at];
  }
  std::string name_of(std::string_view raw) const;
  // The name of the write form of `raw`'s type.
  void append_write(std::string_view raw, std::string& out) const;
  // Takes `base` for a declaration beside the types, or base_2, base_3, ... when it is taken.
  std::string claim(const std::string& base);
  // The same, giving where the name lies in `taken`: a caller that claims every name first may
  // then keep views of them (views last until the next insert).
  StringSet::Handle claim_entry(const std::string& base);
};

// The plain module (RenderMode::plain) generates no names beside the definitions': its table
// takes no claims, and lets its set of taken names go once built.
// `reserved` names the module declares or uses itself (helper types, globals of one SDK form)
// beside the library names; none is given to a definition. The table makes room for `claims`
// names the caller claims later, about as long as a definition's name with a suffix.
NameTable build_name_table(const Contract& contract, const OrderedSet<std::string>& shared,
                           RenderMode mode, std::span<const std::string_view> reserved = {},
                           std::size_t claims = 0);

// What a definition's write and update types add to its name.
inline constexpr std::string_view write_suffix = "Write";
inline constexpr std::string_view update_suffix = "Update";
inline constexpr std::string_view converter_suffix = "Converter";

// Appends `stem` with its first character lowered, then `suffix`, made a safe identifier: the
// form of the module's function and constant names.
void append_lowered_name(std::string_view stem, std::string_view suffix, std::string& out);

// The names derived from a definition's TypeScript name `type_name`, the only place that spells
// their suffixes. The table keeps every one of them free for its definition.
std::string write_name(std::string_view type_name);
std::string update_name(std::string_view type_name);
// The converter of a collection model.
std::string converter_name(std::string_view type_name);
// The zod module's names: claimed from the table, since nothing keeps them free.
std::string schema_name(std::string_view type_name);
std::string write_schema_name(std::string_view type_name);
std::string validating_converter_name(std::string_view type_name);

}  // namespace brenvale
