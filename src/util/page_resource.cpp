// Memory for large arenas straight from the kernel, backed by huge pages where it can be.
#include "util/page_resource.hpp"

#include <bit>
#include <cstdint>
#include <new>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace brenvale {
namespace {

constexpr std::size_t huge_page = std::size_t{2} << 20;

// The last small block freed on a thread, kept for the thread's next block of its size: a small
// text's read asks for the same few blocks every time, each above the sizes malloc keeps at hand
// per thread, so each cost a search of its bins both ways. Sizes are rounded to a power of two,
// so texts of about the same size share them.
constexpr std::size_t spare_limit = std::size_t{64} << 10;

struct SpareBlock {
  void* data = nullptr;
  std::size_t size = 0;

  SpareBlock() = default;
  SpareBlock(const SpareBlock&) = delete;
  SpareBlock& operator=(const SpareBlock&) = delete;
  ~SpareBlock() {
    if (data != nullptr) ::operator delete(data);
  }
};

// Out of line: inlined, GCC asks the thread's address again after each call that follows.
[[gnu::noinline]] SpareBlock& spare_block() {
  thread_local SpareBlock spare;
  return spare;
}

bool is_small(std::size_t bytes, std::size_t alignment) {
  return bytes <= spare_limit && alignment <= __STDCPP_DEFAULT_NEW_ALIGNMENT__;
}

class LargePageResource final : public std::pmr::memory_resource {
  void* do_allocate(std::size_t bytes, std::size_t alignment) override {
#if defined(__linux__)
    if (bytes >= huge_page && alignment <= huge_page) {
      void* block =
          mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      if (block == MAP_FAILED) throw std::bad_alloc();
      advise_huge_pages(block, bytes);
      return block;
    }
#endif
    if (is_small(bytes, alignment)) {
      const std::size_t size = std::bit_ceil(bytes);
      SpareBlock& spare = spare_block();
      if (spare.data != nullptr && spare.size == size) return std::exchange(spare.data, nullptr);
      return ::operator new(size);
    }
    return std::pmr::new_delete_resource()->allocate(bytes, alignment);
  }

  void do_deallocate(void* block, std::size_t bytes, std::size_t alignment) override {
#if defined(__linux__)
    if (bytes >= huge_page && alignment <= huge_page) {
      munmap(block, bytes);
      return;
    }
#endif
    if (is_small(bytes, alignment)) {
      const std::size_t size = std::bit_ceil(bytes);
      SpareBlock& spare = spare_block();
      if (spare.data == nullptr) {
        spare.data = block;
        spare.size = size;
        return;
      }
      ::operator delete(block);
      return;
    }
    std::pmr::new_delete_resource()->deallocate(block, bytes, alignment);
  }

  bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override {
    return this == &other;
  }
};

}  // namespace

void advise_huge_pages(void* data, std::size_t bytes) {
#if defined(__linux__)
  // From the first huge page boundary in the storage, whole huge pages only.
  const std::size_t skip =
      (huge_page - reinterpret_cast<std::uintptr_t>(data) % huge_page) % huge_page;
  if (bytes <= skip) return;
  const std::size_t length = (bytes - skip) / huge_page * huge_page;
  if (length != 0) madvise(static_cast<char*>(data) + skip, length, MADV_HUGEPAGE);  // advice only
#else
  (void)data;
  (void)bytes;
#endif
}

std::pmr::memory_resource& large_page_resource() {
  static LargePageResource resource;
  return resource;
}

}  // namespace brenvale
