// Text written in blocks on two threads, and joined in the blocks' order.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <future>
#include <mutex>
#include <string>
#include <utility>

#include "util/own_thread.hpp"

namespace brenvale {

// Appends blocks 0 .. blocks-1 to `out`, in order, each written by `write(block, second, text)`.
// The calling thread writes the even blocks straight into `out` (`second` false); a second
// thread writes the odd ones into texts of their own (`second` true), at most two ahead of the
// one the caller takes next, so what waits beside `out` stays small whatever the whole size.
// Each thread passes its own `second`, so `write` can keep state per thread. For a single block,
// or with no thread to be had, the caller writes every block itself. An exception from either
// thread reaches the caller, after the second thread has stopped.
template <class Write>
void write_blocks_in_order(std::size_t blocks, Write&& write, std::string& out) {
  struct Channel {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::string> ready;  // written by the second thread, not yet appended
    std::exception_ptr error;       // what stopped the second thread
    bool stop = false;              // the caller takes no more blocks
  } channel;
  constexpr std::size_t ahead = 2;
  if (blocks < 2) {
    if (blocks == 1) write(0, false, out);
    return;
  }
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
