// The TypeScript name of every type a module declares, refers to or imports.
#include "typescript/name_table.hpp"

#include <algorithm>
#include <array>
#include <cstring>

#include "text/identifier.hpp"
#include "text/lower_first.hpp"
#include "util/byte_order.hpp"

namespace brenvale {
namespace {

// What a raw name stands for decides which names it generates beside its own.
enum class Role { enum_definition, model, collection, other };
constexpr std::size_t role_count = 4;

struct Entry {
  std::string_view raw;
  Role role;
  StringSet::Handle name = 0;  // in the table's taken names
  bool keeps_text = false;     // safe as it is, and no name the module uses itself
};

// The names the module imports or uses from the SDK and the standard library.
constexpr std::array<std::string_view, 3> standard_names = {"Date", "Omit", "Record"};
constexpr auto library_names = [] {
  std::array<std::string_view, sdk_type_names.size() + standard_names.size()> names;
  std::copy(sdk_type_names.begin(), sdk_type_names.end(), names.begin());
  std::copy(standard_names.begin(), standard_names.end(), names.begin() + sdk_type_names.size());
  return names;
}();

constexpr std::size_t claimed_bytes = 24;  // beside the name it is claimed for
constexpr std::size_t library_bytes = [] {
  std::size_t bytes = 0;
  for (const std::string_view name : library_names) bytes += name.size();
  return bytes;
}();

Role role_of(const Definition& definition) {
  switch (definition.kind) {
    case DefinitionKind::enumeration:
      return Role::enum_definition;
    case DefinitionKind::alias:
      return Role::other;
    case DefinitionKind::model:
      return definition.has_collection ? Role::collection : Role::model;
  }
  return Role::other;
}

class Builder {
 public:
  Builder(NameTable& table, bool firestore, std::span<const std::string_view> reserved)
      : table_(table), firestore_(firestore) {
    // Every table takes the same library names: their hashes are computed once.
    static const auto hashes = [] {
      std::array<std::size_t, library_names.size()> out{};
      for (std::size_t i = 0; i < out.size(); ++i) out[i] = StringSet::hash(library_names[i]);
      return out;
    }();
    for (std::size_t i = 0; i < library_names.size(); ++i)
      table_.taken.insert(library_names[i], hashes[i]);
    for (const std::string_view name : reserved) table_.taken.insert(name);
  }

  // Names the entry `name` when neither it nor a name it brings with it (the Write and Update
  // types, the converter) is taken.
  bool try_name(Entry& entry, std::string_view name, bool own_taken) {
    if (!own_taken && table_.taken.contains(name)) return false;
    const bool generates = firestore_ && entry.role != Role::enum_definition;
    const bool collection = generates && entry.role == Role::collection;
    if (generates) {
      write_.assign(name).append(write_suffix);
      if (table_.taken.contains(write_)) return false;
    }
    if (collection) {
      update_.assign(name).append(update_suffix);
      converter_.clear();
      append_lowered_name(name, converter_suffix, converter_);
      if (table_.taken.contains(update_) || table_.taken.contains(converter_)) return false;
    }
    if (generates) table_.taken.insert(write_);
    if (collection) {
      table_.taken.insert(update_);
      table_.taken.insert(converter_);
    }
    table_.taken.insert(name, &entry.name);
    return true;
  }

  // base, base_, base_2, base_3, ...: the first that is free with everything it generates. A
  // candidate refused once stays refused for entries of the same role (names are only ever
  // taken), so each role resumes where the last of its kind stopped; another role, which
  // generates other names, starts over: an enum may take `base` where a model could not.
  void resolve(Entry& entry, const std::string& base, std::size_t from) {
    std::size_t& next = next_suffix_[base][static_cast<std::size_t>(entry.role)];
    for (std::size_t k = std::max(from, next);; ++k) {
      std::string candidate = base;
      if (k == 1) candidate += '_';
      if (k >= 2) candidate += '_' + std::to_string(k);
      if (try_name(entry, candidate, false)) {
        next = k + 1;
        return;
      }
    }
  }

 private:
  NameTable& table_;
  bool firestore_;
  std::string write_;  // the generated names of the entry being tried
  std::string update_;
  std::string converter_;
  // Where each role's search for a base resumes: keeps resolution linear.
  std::unordered_map<std::string, std::array<std::size_t, role_count>> next_suffix_;
};

// Lists each entry's name in the table. Most names are their raw name, which a definition's
// name then needs no room for; the others are copied out of `taken`, which moves as it grows,
// into one block of their own.
void list_names(const Contract& contract, std::span<const Entry> entries, NameTable& table) {
  std::size_t made_bytes = 0;
  for (const Entry& entry : entries) {
    const std::string_view name = table.taken.view(entry.name);
    if (name != entry.raw) made_bytes += name.size();
  }
  if (made_bytes != 0) table.made = std::make_unique_for_overwrite<char[]>(made_bytes);
  char* next = table.made.get();
  table.contract = &contract;
  table.made_of.assign(contract.definitions.size(), NameTable::as_written);
  table.others.reserve(entries.size() - contract.definitions.size());
  // Definitions are among the entries, in the same order.
  DefId definition = 0;
  for (const Entry& entry : entries) {
    const bool is_definition = definition < contract.definitions.size() &&
                               contract.definitions[definition].name == entry.raw;
    std::string_view name = table.taken.view(entry.name);
    if (name != entry.raw) {
      name = {static_cast<const char*>(std::memcpy(next, name.data(), name.size())), name.size()};
      next += name.size();
      if (is_definition) {
        table.made_of[definition] = static_cast<std::uint32_t>(table.made_names.size());
        table.made_names.push_back(name);
      }
    } else {
      name = entry.raw;
    }
    if (is_definition)
      ++definition;
    else
      table.others.emplace_back(entry.raw, name);
  }
}

}  // namespace

void NameTable::append(std::string_view raw, std::string& out) const {
  if (const Definition* definition = contract->find(raw)) {
    out += of(contract->id_of(*definition));
    return;
  }
  const auto found = std::lower_bound(
      others.begin(), others.end(), raw,
      [](const auto& entry, std::string_view key) { return byte_less(entry.first, key); });
  if (found != others.end() && found->first == raw) {
    out += found->second;
  } else {
    append_safe_identifier(raw, out);
  }
}

std::string NameTable::name_of(std::string_view raw) const {
  std::string out;
  append(raw, out);
  return out;
}

void NameTable::append_write(std::string_view raw, std::string& out) const {
  append(raw, out);
  out += write_suffix;
}

std::string NameTable::claim(const std::string& base) {
  return std::string(taken.view(claim_entry(base)));
}

StringSet::Handle NameTable::claim_entry(const std::string& base) {
  StringSet::Handle entry = 0;
  // Most bases are free: only a taken one needs to remember where its search stopped.
  if (!next_claim.contains(base) && taken.insert(base, &entry)) return entry;
  std::size_t& next = next_claim[base];
  for (std::size_t k = std::max<std::size_t>(next, 1);; ++k) {
    const std::string candidate = k == 1 ? base : base + '_' + std::to_string(k);
    if (taken.insert(candidate, &entry)) {
      next = k + 1;
      return entry;
    }
  }
}

std::string write_name(std::string_view type_name) {
  return std::string(type_name) + std::string(write_suffix);
}

std::string update_name(std::string_view type_name) {
  return std::string(type_name) + std::string(update_suffix);
}

void append_lowered_name(std::string_view stem, std::string_view suffix, std::string& out) {
  const std::size_t start = out.size();
  append_lower_first(stem, out);
  out += suffix;
  // Almost every name is safe as joined: only one that is not is made safe.
  if (is_safe_identifier(std::string_view(out).substr(start))) return;
  const std::string joined = out.substr(start);
  out.resize(start);
  append_safe_identifier(joined, out);
}

std::string converter_name(std::string_view type_name) {
  std::string out;
  append_lowered_name(type_name, converter_suffix, out);
  return out;
}

std::string schema_name(std::string_view type_name) { return std::string(type_name) + "Schema"; }

std::string write_schema_name(std::string_view type_name) {
  return write_name(type_name) + "Schema";
}

std::string validating_converter_name(std::string_view type_name) {
  std::string out;
  append_lowered_name(type_name, "ValidatingConverter", out);
  return out;
}

// Does every definition keep its name as written, with no other name to resolve? A plain
// module of such a bundle then needs no entries, no set of taken names and no list of made
// names: on 250,000 definitions they held about 10 MB beside the model while it was written.
bool names_itself(const Contract& contract, const OrderedSet<std::string>& shared, RenderMode mode,
                  std::span<const std::string_view> reserved, std::size_t claims) {
  if (mode != RenderMode::plain || !reserved.empty() || claims != 0 || !shared.empty() ||
      !contract.foreign_names.empty())
    return false;
  return std::all_of(
      contract.definitions.begin(), contract.definitions.end(), [](const Definition& d) {
        return is_safe_identifier(d.name) &&
               std::find(library_names.begin(), library_names.end(), d.name) == library_names.end();
      });
}

NameTable build_name_table(const Contract& contract, const OrderedSet<std::string>& shared,
                           RenderMode mode, std::span<const std::string_view> reserved,
                           std::size_t claims) {
  if (names_itself(contract, shared, mode, reserved, claims)) {
    NameTable table;
    table.contract = &contract;
    return table;
  }
  std::vector<Entry> entries;
  entries.reserve(contract.definitions.size() + contract.foreign_names.size() + shared.size());
  for (const Definition& definition : contract.definitions)
    entries.push_back({definition.name, role_of(definition)});
  for (const std::string_view raw : contract.foreign_names) entries.push_back({raw, Role::other});
  for (const std::string& raw : shared) {
    if (contract.find(raw) == nullptr) entries.push_back({raw, Role::other});
  }
  // Definitions and foreign names each come in byte order: often there is nothing to sort.
  const auto by_raw = [](const Entry& a, const Entry& b) { return byte_less(a.raw, b.raw); };
  if (!std::is_sorted(entries.begin(), entries.end(), by_raw))
    std::stable_sort(entries.begin(), entries.end(), by_raw);
  entries.erase(std::unique(entries.begin(), entries.end(),
                            [](const Entry& a, const Entry& b) { return a.raw == b.raw; }),
                entries.end());

  NameTable table;
  const bool firestore = mode == RenderMode::firestore;
  // Room for every name the table takes, counted first (a name made safe may be longer; the
  // suffixes are the longest a name brings).
  std::size_t count = library_names.size() + reserved.size() + claims;
  std::size_t bytes = claims * claimed_bytes;
  for (const Entry& entry : entries) {
    const std::size_t brought = !firestore || entry.role == Role::enum_definition ? 0
                                : entry.role == Role::collection                  ? 3
                                                                                  : 1;
    count += 1 + brought;
    bytes += (1 + brought) * entry.raw.size() + brought * converter_suffix.size();
  }
  for (const std::string_view name : reserved) bytes += name.size();
  if (!entries.empty()) bytes += claims * (bytes / entries.size());
  table.taken.reserve(count, bytes + library_bytes);
  Builder builder(table, firestore, reserved);
  // Safe names hold their own text first, so a name made safe never takes it from them.
  for (Entry& entry : entries) {
    entry.keeps_text =
        is_safe_identifier(entry.raw) &&
        std::find(reserved.begin(), reserved.end(), entry.raw) == reserved.end() &&
        std::find(library_names.begin(), library_names.end(), entry.raw) == library_names.end();
    if (entry.keeps_text) table.taken.insert(entry.raw);
  }
  for (Entry& entry : entries) {
    if (!entry.keeps_text) continue;
    if (!builder.try_name(entry, entry.raw, true))
      builder.resolve(entry, std::string(entry.raw), 1);
  }
  for (Entry& entry : entries) {
    if (!entry.keeps_text) builder.resolve(entry, safe_identifier(entry.raw), 0);
  }
  list_names(contract, entries, table);
  if (mode == RenderMode::plain) table.taken = StringSet();
  return table;
}

}  // namespace brenvale
