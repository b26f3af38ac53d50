#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

namespace platform {

// Lowers the calling thread to idle priority, for the processor (SCHED_IDLE)
// and for the disk (the idle I/O class): it gets only what the rest of the
// machine leaves over. Where the system refuses, the thread stays as it was.
void lowerToIdlePriority();

// Work done on a thread of its own at idle priority, so that it never delays
// other work; its result comes back as a message. Ending it does not wait:
// the work is told it is abandoned, and its result is dropped when it comes.
// Where no thread can be had, there is no result.
template <typename Result>
class IdleWork {
 public:
  // `work` runs on the other thread, and should stop soon once `abandoned` holds.
  explicit IdleWork(std::function<Result(const std::atomic<bool>& abandoned)> work)
      : state_(std::make_shared<State>()) {
    try {
      std::thread([state = state_, work = std::move(work)] {
        lowerToIdlePriority();
        Result result = work(state->abandoned);
        const std::lock_guard lock(state->mutex);
        state->result = std::move(result);
        state->finished = true;
      }).detach();
    } catch (const std::system_error&) {
      state_->finished = true;
    } catch (const std::bad_alloc&) {
      state_->finished = true;
    }
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

  std::shared_ptr<State> state_;
};

}  // namespace platform
