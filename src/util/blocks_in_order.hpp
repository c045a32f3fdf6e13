// Text written in blocks on two threads, and joined in the blocks' order.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <future>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "util/own_thread.hpp"

namespace brenvale {

// Parts (say, definitions and properties) from which a text is written in blocks on two threads:
// a thread takes tens of microseconds to start, and this many parts take milliseconds to write.
inline constexpr std::size_t write_in_blocks_from = 16384;

// The bounds of the blocks over items 0 .. count-1, item i being `parts_of(i)` parts: block b is
// items bounds[b] .. bounds[b+1]-1. One block under `blocks_from` parts in all; otherwise blocks
// of equal parts, at least 64 so that the two threads finish together, and of at most 16,384
// parts, a few megabytes of text, so that what waits beside the text stays small however large
// it is. A block costs microseconds to hand over.
template <class PartsOf>
std::vector<std::size_t> block_bounds(std::size_t count, PartsOf&& parts_of,
                                      std::size_t blocks_from) {
  constexpr std::size_t block_count = 64;
  constexpr std::size_t block_parts_at_most = 16384;
  std::size_t parts = 0;
  for (std::size_t i = 0; i < count; ++i) parts += parts_of(i);
  if (parts < blocks_from) return {0, count};
  const std::size_t block_parts = std::min(parts / block_count, block_parts_at_most);
  std::vector<std::size_t> bounds = {0};
  std::size_t filled = 0;
  for (std::size_t i = 0; i < count; ++i) {
    filled += parts_of(i);
    if (filled < block_parts) continue;
    bounds.push_back(i + 1);
    filled = 0;
  }
  if (bounds.back() != count) bounds.push_back(count);
  return bounds;
}

// Appends blocks 0 .. blocks-1 to `out`, in order, each written by `write(block, second, text)`.
// The calling thread writes the even blocks straight into `out` (`second` false); a second
// thread writes the odd ones into texts of their own (`second` true), at most two ahead of the
// one the caller takes next, so what waits beside `out` stays small whatever the whole size.
// Each thread passes its own `second`, so `write` can keep state per thread. For a single block,
// or with no thread to be had, the caller writes every block itself. An exception from either
// thread reaches the caller, after the second thread has stopped.
template <class Write>
void write_blocks_in_order(std::size_t blocks, Write&& write, std::string& out) {
  // Before anything else is made: a small module is one block, and its text should cost no more.
  if (blocks < 2) {
    if (blocks == 1) write(0, false, out);
    return;
  }
  struct Channel {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::string> ready;  // written by the second thread, not yet appended
    std::exception_ptr error;       // what stopped the second thread
    bool stop = false;              // the caller takes no more blocks
  } channel;
  constexpr std::size_t ahead = 2;
  std::future<void> second = on_own_thread([&] {
    try {
      for (std::size_t block = 1; block < blocks; block += 2) {
        std::string text;
        write(block, true, text);
        std::unique_lock lock(channel.mutex);
        channel.changed.wait(lock, [&] { return channel.stop || channel.ready.size() < ahead; });
        if (channel.stop) return;
        channel.ready.push_back(std::move(text));
        channel.changed.notify_all();
      }
    } catch (...) {
      const std::lock_guard lock(channel.mutex);
      channel.error = std::current_exception();
      channel.changed.notify_all();
    }
  });
  if (!second.valid()) {
    for (std::size_t block = 0; block < blocks; ++block) write(block, false, out);
    return;
  }
  // However the caller leaves, the second thread is told to stop and has stopped first: it
  // writes through references to this frame.
  struct Join {
    Channel& channel;
    std::future<void>& second;
    ~Join() {
      {
        const std::lock_guard lock(channel.mutex);
        channel.stop = true;
      }
      channel.changed.notify_all();
      second.wait();
    }
  } join{channel, second};
  for (std::size_t block = 0; block < blocks; ++block) {
    if (block % 2 == 0) {
      write(block, false, out);
      continue;
    }
    std::string text;
    {
      std::unique_lock lock(channel.mutex);
      channel.changed.wait(lock, [&] { return !channel.ready.empty() || channel.error; });
      if (channel.ready.empty()) std::rethrow_exception(channel.error);
      text = std::move(channel.ready.front());
      channel.ready.pop_front();
    }
    channel.changed.notify_all();
    out += text;
  }
}

}  // namespace brenvale
