// Memory for large arenas straight from the kernel, backed by huge pages where it can be.
#include "util/page_resource.hpp"

#include <cstdint>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace brenvale {
namespace {

constexpr std::size_t huge_page = std::size_t{2} << 20;

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
    return std::pmr::new_delete_resource()->allocate(bytes, alignment);
  }

  void do_deallocate(void* block, std::size_t bytes, std::size_t alignment) override {
#if defined(__linux__)
    if (bytes >= huge_page && alignment <= huge_page) {
      munmap(block, bytes);
      return;
    }
#endif
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
