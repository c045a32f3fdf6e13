// Work on a thread of its own, where one can be had.
#pragma once

#include <future>
#include <system_error>
#include <type_traits>
#include <utility>

namespace brenvale {

// Starts `work` on a thread of its own. The future is invalid when no thread could be started
// (std::async throws std::system_error then): the caller does the work itself instead.
template <class Work>
std::future<std::invoke_result_t<Work>> on_own_thread(Work&& work) {
  try {
    return std::async(std::launch::async, std::forward<Work>(work));
  } catch (const std::system_error&) {
    return {};
  }
}

}  // namespace brenvale
