#include "platform/files/work_pool.h"

#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace platform {

namespace {

// From linux/ioprio.h, which not every C library's headers carry.
constexpr int kIoprioWhoProcess = 1;  // with the thread's id: that thread alone
constexpr int kIoprioClassIdle = 3;
constexpr int kIoprioClassShift = 13;

// Where the system refuses, the thread stays as it was.
void lowerToIdlePriority() {
  const sched_param none{};
  sched_setscheduler(0, SCHED_IDLE, &none);
  syscall(SYS_ioprio_set, kIoprioWhoProcess, static_cast<int>(gettid()), kIoprioClassIdle << kIoprioClassShift);
}

class Lane {
 public:
  Lane(unsigned mostThreads, WorkPool::Priority priority) : mostThreads_(mostThreads), priority_(priority) {}

  bool run(std::function<void()> task) {
    std::unique_lock lock(mutex_);
    if (waiting_ == 0 && threads_ < mostThreads_) {
      try {
        std::thread([this] { work(); }).detach();
        ++threads_;
      } catch (const std::system_error&) {
      } catch (const std::bad_alloc&) {
      }
    }
    if (threads_ == 0) return false;
    tasks_.push_back(std::move(task));
    lock.unlock();
    more_.notify_one();
    return true;
  }

 private:
  void work() {
    if (priority_ == WorkPool::Priority::idle) lowerToIdlePriority();
    std::unique_lock lock(mutex_);
    while (true) {
      ++waiting_;
      more_.wait(lock, [this] { return !tasks_.empty(); });
      --waiting_;
      std::function<void()> task = std::move(tasks_.front());
      tasks_.pop_front();
      lock.unlock();
      task();
      task = nullptr;
      lock.lock();
    }
  }

  const unsigned mostThreads_;
  const WorkPool::Priority priority_;
  std::mutex mutex_;
  std::condition_variable more_;
  std::deque<std::function<void()>> tasks_;
  unsigned threads_ = 0;
  unsigned waiting_ = 0;
};

unsigned normalThreads() {
  constexpr unsigned kMostThreads = 3;
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  return std::min(cores - 1, kMostThreads);
}

}  // namespace

bool WorkPool::run(std::function<void()> task, Priority priority) {
  // Never destroyed: its threads live as long as the process, and may be
  // in the middle of a task when it ends.
  static Lane& normal = *new Lane(normalThreads(), Priority::normal);
  static Lane& idle = *new Lane(1, Priority::idle);
  return (priority == Priority::normal ? normal : idle).run(std::move(task));
}

}  // namespace platform
