// Memory for large arenas straight from the kernel, backed by huge pages where it can be.
#pragma once

#include <memory_resource>

namespace brenvale {

// Blocks of a few megabytes or more are mapped anew and advised to use transparent huge
// pages, which spares a parse of a large text most of its page faults; smaller blocks come
// from operator new. Stateless and thread-safe; throws std::bad_alloc when memory runs out.
std::pmr::memory_resource& large_page_resource();

}  // namespace brenvale
