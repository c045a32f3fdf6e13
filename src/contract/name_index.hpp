// A hash index from definition names to ids: one probe where a binary search missed the cache.
#pragma once

#include <bit>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "json/key_atoms.hpp"

namespace brenvale {

// Open addressing over ids; the names stay where they are and `name_of(id)` reads them, so the
// index holds four bytes per slot and at least half its slots empty. Lookups only: it is never
// iterated. May throw std::bad_alloc when built.
class NameIndex {
 public:
  static constexpr std::uint32_t empty = 0xFFFFFFFF;

  // Indexes ids 0..count-1, whose names are distinct.
  template <class NameOf>
  void build(std::uint32_t count, NameOf name_of) {
    slots_.assign(std::bit_ceil(std::size_t{count} * 2 + 2), empty);
    mask_ = slots_.size() - 1;
    for (std::uint32_t id = 0; id < count; ++id) {
      std::size_t at = hash(name_of(id)) & mask_;
      while (slots_[at] != empty) at = (at + 1) & mask_;
      slots_[at] = id;
    }
  }

  // The id named `name`, or `empty`.
  template <class NameOf>
  std::uint32_t find(std::string_view name, NameOf name_of) const {
    if (slots_.empty()) return empty;
    for (std::size_t at = hash(name) & mask_;; at = (at + 1) & mask_) {
      const std::uint32_t id = slots_[at];
      if (id == empty || name_of(id) == name) return id;
    }
  }

 private:
  // A name of sixteen bytes or fewer, as most are, is read as two words that cover it and
  // mixed by one wide multiplication: std::hash reads it in a loop out of line, and building
  // and probing a small model's index hashed each name in about fifty instructions.
  static std::size_t hash(std::string_view name) {
    const std::size_t n = name.size();
    if (n > 16) return std::hash<std::string_view>()(name);
    // The reader's own two words of a key, for four bytes or more.
    KeyHash::Words w{};
    if (n >= KeyHash::shortest) {
      w = KeyHash::words(name);
    } else if (n != 0) {
      const auto byte = [&name](std::size_t at) {
        return std::uint64_t{static_cast<unsigned char>(name[at])};
      };
      w.front = byte(0) << 16 | byte(n / 2) << 8 | byte(n - 1);
    }
    const unsigned __int128 product =
        static_cast<unsigned __int128>(w.front ^ 0xA0761D6478BD642FU) *
        (w.back ^ n ^ 0xE7037ED1A0B428DBU);
    return static_cast<std::size_t>(static_cast<std::uint64_t>(product) ^
                                    static_cast<std::uint64_t>(product >> 64));
  }

  std::vector<std::uint32_t> slots_;
  std::size_t mask_ = 0;
};

}  // namespace brenvale
