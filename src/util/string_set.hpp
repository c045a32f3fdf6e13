// A set of short strings in one buffer: the names a module takes, by the hundred thousand.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace brenvale {

// Open addressing over offsets into one character buffer, each entry its length then its
// bytes: a node-based set spent a heap block and a bucket on every name. Lookups and inserts
// only. May throw std::bad_alloc.
class StringSet {
 public:
  using Handle = std::uint32_t;  // where an entry lies; stays valid as the set grows

  bool contains(std::string_view text) const { return slots_.empty() ? false : find(text) != 0; }

  // Room for `entries` more entries of `bytes` more text in all, so that a set whose size is
  // known never grows by steps: each step holds the old buffer beside the new one.
  void reserve(std::size_t entries, std::size_t bytes) {
    chars_.reserve(chars_.size() + entries * sizeof(std::uint32_t) + bytes);
    if ((size_ + entries) * 2 > slots_.size()) grow(size_ + entries);
  }

  // Adds `text` unless it is there; true when it was added. `handle`, if given, is set to
  // the entry's handle either way.
  bool insert(std::string_view text, Handle* handle = nullptr) {
    return insert(text, hash(text), handle);
  }
  // The same for a text whose hash(), computed once, the caller keeps.
  bool insert(std::string_view text, std::size_t hashed, Handle* handle = nullptr) {
    if ((size_ + 1) * 2 > slots_.size()) grow(size_ + 1);
    std::size_t at = hashed & (slots_.size() - 1);
    for (; slots_[at] != 0; at = (at + 1) & (slots_.size() - 1)) {
      if (view(slots_[at]) == text) {
        if (handle != nullptr) *handle = slots_[at];
        return false;
      }
    }
    const auto entry = static_cast<Handle>(chars_.size() + 1);
    const auto length = static_cast<std::uint32_t>(text.size());
    chars_.append(reinterpret_cast<const char*>(&length), sizeof length);
    chars_.append(text);
    slots_[at] = entry;
    ++size_;
    if (handle != nullptr) *handle = entry;
    return true;
  }

  static std::size_t hash(std::string_view text) { return std::hash<std::string_view>()(text); }

  // The text of an entry; the view lasts until the next insert.
  std::string_view view(Handle handle) const {
    std::uint32_t length = 0;
    std::memcpy(&length, chars_.data() + handle - 1, sizeof length);
    return {chars_.data() + handle - 1 + sizeof length, length};
  }

 private:
  Handle find(std::string_view text) const {
    for (std::size_t at = hash(text) & (slots_.size() - 1);; at = (at + 1) & (slots_.size() - 1)) {
      if (slots_[at] == 0 || view(slots_[at]) == text) return slots_[at];
    }
  }

  // Slots for at least `entries`, at most half of them full.
  void grow(std::size_t entries) {
    std::vector<Handle> old = std::move(slots_);
    slots_.assign(std::bit_ceil(std::max<std::size_t>(16, entries * 2)), 0);
    for (const Handle entry : old) {
      if (entry == 0) continue;
      std::size_t at = hash(view(entry)) & (slots_.size() - 1);
      while (slots_[at] != 0) at = (at + 1) & (slots_.size() - 1);
      slots_[at] = entry;
    }
  }

  std::vector<Handle> slots_;  // 0: empty
  std::string chars_;
  std::size_t size_ = 0;
};

}  // namespace brenvale
