#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "platform/files/work_pool.h"

namespace platform {

// Work done at idle priority on the work pool, so that it never delays other
// work; its result comes back as a message. Ending it does not wait: the
// work is told it is abandoned, and its result is dropped when it comes.
// Where no thread can be had, there is no result.
template <typename Result>
class IdleWork {
 public:
  // `work` runs on the other thread, and should stop soon once `abandoned` holds.
  explicit IdleWork(std::function<Result(const std::atomic<bool>& abandoned)> work)
      : state_(std::make_shared<State>()) {
    const bool running = WorkPool::run(
        [state = state_, work = std::move(work)] {
          if (state->abandoned) return finish(*state, std::nullopt);
          finish(*state, work(state->abandoned));
        },
        WorkPool::Priority::idle);
    if (!running) state_->finished = true;
  }
  ~IdleWork() { state_->abandoned = true; }
  IdleWork(const IdleWork&) = delete;
  IdleWork& operator=(const IdleWork&) = delete;

  bool finished() const {
    const std::lock_guard lock(state_->mutex);
    return state_->finished;
  }

  // The result, once the work has finished; taken once.
  std::optional<Result> take() {
    const std::lock_guard lock(state_->mutex);
    return std::exchange(state_->result, std::nullopt);
  }

 private:
  struct State {
    std::atomic<bool> abandoned = false;
    mutable std::mutex mutex;
    bool finished = false;
    std::optional<Result> result;
  };

  static void finish(State& state, std::optional<Result> result) {
    const std::lock_guard lock(state.mutex);
    state.result = std::move(result);
    state.finished = true;
  }

  std::shared_ptr<State> state_;
};

}  // namespace platform
