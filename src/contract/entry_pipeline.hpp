// Definitions handed from the reader to the model's builder on a thread of its own, in batches:
// the reader parses the next definitions while the builder reads the last ones.
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <memory>
#include <memory_resource>
#include <mutex>
#include <thread>
#include <vector>

#include "json/json_value.hpp"

namespace brenvale {

// Bump allocation in one block, then in blocks from the heap; counts what it gave out, so a
// batch knows when it has grown large enough to hand over.
class BatchArena final : public std::pmr::memory_resource {
 public:
  BatchArena();
  std::size_t used() const { return used_; }
  void release();

 private:
  void* do_allocate(std::size_t bytes, std::size_t alignment) override;
  void do_deallocate(void*, std::size_t, std::size_t) override {}
  bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override {
    return this == &other;
  }

  std::unique_ptr<std::byte[]> block_;
  std::pmr::monotonic_buffer_resource memory_;
  std::size_t used_ = 0;
};

// The reader builds each entry in the arena `take` last returned (`first_arena` for the first),
// and hands it over with `take`; the builder thread calls `add` on every entry, in the order
// taken. An arena is reused only after the builder has read its batch. May throw
// std::system_error when no thread can be started.
class EntryPipeline {
 public:
  using Add = void (*)(void* context, const Member& entry);
  EntryPipeline(Add add, void* context);
  // Stops the builder, which drops the entries it has not added.
  ~EntryPipeline();
  EntryPipeline(const EntryPipeline&) = delete;
  EntryPipeline& operator=(const EntryPipeline&) = delete;

  std::pmr::memory_resource& first_arena() { return batches_[0].arena; }
  std::pmr::memory_resource& take(const Member& entry);
  // Waits until the builder has added every entry taken; rethrows what adding one threw.
  void finish();

 private:
  struct Batch {
    BatchArena arena;
    std::vector<Member> entries;
  };
  static constexpr std::size_t depth = 4;

  void hand_over();
  void build();
  void stop(bool drop);

  Add add_;
  void* context_;
  std::array<Batch, depth> batches_;
  std::mutex mutex_;
  std::condition_variable handed_;  // a batch handed over, or the last
  std::condition_variable freed_;   // a batch read
  std::size_t handed_over_ = 0;     // batches handed over; the reader fills the next
  std::size_t built_ = 0;           // batches the builder has read
  bool closed_ = false;             // no batch comes after those handed over
  bool dropping_ = false;           // the builder adds nothing more
  bool builder_waits_ = false;
  bool reader_waits_ = false;
  std::exception_ptr failure_;  // the builder's, read after it stopped
  std::thread thread_;          // last: it starts once everything above is ready
};

}  // namespace brenvale
