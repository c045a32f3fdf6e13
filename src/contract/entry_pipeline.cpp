// Definitions handed from the reader to a builder thread, a batch of them at a time.
#include "contract/entry_pipeline.hpp"

namespace brenvale {
namespace {

// A batch is handed over once its trees take this much, or it holds this many entries: each
// hand-over may wake the other thread, and in a stress bundle's read batches of 256 KB waited
// on each other a few dozen times where batches of 32 KB waited some hundreds.
constexpr std::size_t batch_bytes = std::size_t{256} << 10;
constexpr std::size_t batch_entries = 1024;
constexpr std::size_t block_bytes = batch_bytes + batch_bytes / 2;

}  // namespace

BatchArena::BatchArena()
    : block_(std::make_unique_for_overwrite<std::byte[]>(block_bytes)),
      memory_(block_.get(), block_bytes) {}

void BatchArena::release() {
  memory_.release();
  used_ = 0;
}

void* BatchArena::do_allocate(std::size_t bytes, std::size_t alignment) {
  used_ += bytes;
  return memory_.allocate(bytes, alignment);
}

EntryPipeline::EntryPipeline(Add add, void* context) : add_(add), context_(context) {
  for (Batch& batch : batches_) batch.entries.reserve(batch_entries);
  thread_ = std::thread([this] { build(); });
}

EntryPipeline::~EntryPipeline() { stop(true); }

std::pmr::memory_resource& EntryPipeline::take(const Member& entry) {
  Batch& batch = batches_[handed_over_ % depth];
  batch.entries.push_back(entry);
  if (batch.arena.used() < batch_bytes && batch.entries.size() < batch_entries) return batch.arena;
  hand_over();
  Batch& next = batches_[handed_over_ % depth];
  next.arena.release();
  next.entries.clear();
  return next.arena;
}

// Hands the batch being filled to the builder, then waits until the next one is free.
void EntryPipeline::hand_over() {
  std::unique_lock lock(mutex_);
  ++handed_over_;
  if (builder_waits_) handed_.notify_one();
  while (handed_over_ - built_ == depth) {
    reader_waits_ = true;
    freed_.wait(lock);
  }
  reader_waits_ = false;
}

void EntryPipeline::build() {
  for (;;) {
    Batch* batch = nullptr;
    bool drop = false;
    {
      std::unique_lock lock(mutex_);
      while (built_ == handed_over_ && !closed_) {
        builder_waits_ = true;
        handed_.wait(lock);
      }
      builder_waits_ = false;
      if (built_ == handed_over_) return;
      batch = &batches_[built_ % depth];
      drop = dropping_ || failure_ != nullptr;
    }
    if (!drop) {
      try {
        for (const Member& entry : batch->entries) add_(context_, entry);
      } catch (...) {
        failure_ = std::current_exception();
      }
    }
    std::lock_guard lock(mutex_);
    ++built_;
    if (reader_waits_) freed_.notify_one();
  }
}

void EntryPipeline::stop(bool drop) {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    if (!drop && !batches_[handed_over_ % depth].entries.empty()) ++handed_over_;
    closed_ = true;
    dropping_ = drop;
    handed_.notify_one();
  }
  thread_.join();
}

void EntryPipeline::finish() {
  stop(false);
  if (failure_ != nullptr) std::rethrow_exception(failure_);
}

}  // namespace brenvale
