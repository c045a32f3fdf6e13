// Memory for large arenas straight from the kernel, backed by huge pages where it can be.
#pragma once

#include <cstddef>
#include <memory_resource>

namespace brenvale {

// Blocks of a few megabytes or more are mapped anew and advised to use transparent huge
// pages, which spares a parse of a large text most of its page faults; smaller blocks come
// from operator new, and each thread keeps the last small one freed for its next one of that
// size. Thread-safe; throws std::bad_alloc when memory runs out.
std::pmr::memory_resource& large_page_resource();

// Advises the whole huge pages within `bytes` at `data` to be backed by transparent huge pages,
// where the system offers them. For large storage that is written once it is reserved.
void advise_huge_pages(void* data, std::size_t bytes);

}  // namespace brenvale
